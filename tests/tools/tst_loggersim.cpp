// The logger simulator as its users meet it: a process that prints a device,
// a pseudo-terminal that answers triggers, links that come and go. Cards are
// decoded here on their own terms, not through the simulator's encoder.

#include "card.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

// Bounds that only end a test that would otherwise hang; nothing is timed.
constexpr int kGiveUpMs = 30000;
// Long enough that a reply, had there been one, would have come.
constexpr int kQuietMs = 500;

class Sim {
public:
  explicit Sim(QString runtimeDir = {}) : runtimeDir_(std::move(runtimeDir)) {}
  ~Sim() { Stop(SIGTERM); }

  bool Start(const QStringList& args)
  {
    if (runtimeDir_.isEmpty()) runtimeDir_ = ownRuntime_.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtimeDir_);
    proc_.setProcessEnvironment(env);
    proc_.start(DZ_SIM_PATH, args);
    if (!proc_.waitForStarted(kGiveUpMs)) return false;
    while (!proc_.canReadLine()) {
      if (!proc_.waitForReadyRead(kGiveUpMs)) return false;
    }
    device_ = QString::fromLocal8Bit(proc_.readLine()).trimmed();
    return !device_.isEmpty();
  }

  // Exit code after the signal, or -1 when it did not end normally.
  int Stop(int sig)
  {
    if (proc_.state() == QProcess::NotRunning) return -1;
    ::kill(pid_t(proc_.processId()), sig);
    if (!proc_.waitForFinished(kGiveUpMs)) {
      proc_.kill();
      proc_.waitForFinished();
      return -1;
    }
    return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
  }

  QString Device() const { return device_; }
  QString PortsDir() const { return runtimeDir_ + "/dedizivi-ports"; }
  qint64 Pid() const { return proc_.processId(); }

private:
  QTemporaryDir ownRuntime_;
  QString runtimeDir_;
  QProcess proc_;
  QString device_;
};

// The device as the program uses it: raw, stale input dropped on open.
class Port {
public:
  ~Port() { Close(); }

  bool Open(const QString& path)
  {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return false;
    termios t {};
    if (::tcgetattr(fd_, &t) != 0) return false;
    cfmakeraw(&t);
    // Stale input only: on a pseudo-terminal, discarding our output queue
    // also discards what the simulator has not read yet (an erase command
    // sent just before) - a real line has sent it by then.
    return ::tcsetattr(fd_, TCSANOW, &t) == 0 && ::tcflush(fd_, TCIFLUSH) == 0;
  }

  void Close()
  {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool Send(const QByteArray& bytes)
  {
    if (::write(fd_, bytes.constData(), size_t(bytes.size())) != bytes.size()) return false;
    return ::tcdrain(fd_) == 0;
  }

  // Reads until `count` bytes came, or nothing came for `quietMs`.
  QByteArray Read(qsizetype count, int quietMs = kGiveUpMs)
  {
    QByteArray out;
    while (out.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0) break;
      char buf[4096];
      const ssize_t n = ::read(fd_, buf, size_t(std::min<qsizetype>(sizeof buf, count - out.size())));
      if (n > 0) out.append(buf, n);
      else if (!(n < 0 && errno == EAGAIN)) break;
    }
    return out;
  }

  QByteArray ReadUntilQuiet() { return Read(std::numeric_limits<int>::max(), kQuietMs); }

private:
  int fd_ = -1;
};

QByteArray Card(int model, uint32_t seed, vexa::Eol eol = vexa::Eol::CrLf)
{
  return QByteArray::fromStdString(vexa::GenerateCard(model, seed, eol));
}

QList<QByteArray> SplitLines(const QByteArray& card, const QByteArray& eol)
{
  QList<QByteArray> lines = card.split(eol.back());
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  if (eol.size() == 2) {
    for (QByteArray& l : lines) {
      if (!l.endsWith(eol.front())) return {};
      l.chop(1);
    }
  }
  return lines;
}

bool AllDigits(const QByteArray& s)
{
  return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Digit(const QByteArray& s, int i) { return s[i] - '0'; }

// Words of a card as the program reads them; fails the test on a line that a
// logger would not send (bad characters, wrong width, a piece out of range).
QList<int> DecodeWords(int model, const QList<QByteArray>& lines)
{
  QList<int> words;
  if (model == 2 || model == 3) {
    const int width = model == 2 ? 4 : 6;
    for (const QByteArray& line : lines) {
      if (line.size() != 7 * width || !AllDigits(line)) {
        qWarning("bad seven-channel line '%s'", line.constData());
        return {};
      }
      for (int g = 0; g < 7; ++g) {
        const QByteArray grp = line.mid(g * width, width);
        if (model == 2)
          words << Digit(grp, 0) * 256 + Digit(grp, 1) * 100 + Digit(grp, 2) * 10 + Digit(grp, 3);
        else
          words << (Digit(grp, 1) * 10 + Digit(grp, 2)) * 256 + Digit(grp, 3) * 100
                       + Digit(grp, 4) * 10 + Digit(grp, 5);
        if (grp.mid(width - 3).toInt() > 255) {
          qWarning("group '%s' spells a remainder above 255", grp.constData());
          return {};
        }
      }
    }
    return words;
  }
  for (qsizetype i = 0; i + 3 < lines.size(); i += 4) {
    for (int k = 0; k < 4; ++k) {
      if (!AllDigits(lines[i + k]) || (k > 0 && lines[i + k].size() != 1)) {
        qWarning("bad four-line word at line %lld", qlonglong(i + k));
        return {};
      }
    }
    const int rest = lines[i + 1].toInt() * 100 + lines[i + 2].toInt() * 10 + lines[i + 3].toInt();
    if (rest > 255) {
      qWarning("four-line word at line %lld spells a remainder of %d", qlonglong(i), rest);
      return {};
    }
    words << lines[i].toInt() * 256 + rest;
  }
  return words;
}

// Physical value of a word as the program converts it (radiation with the
// simulator's sensor constant 10 and offset 6).
double Physical(int model, int word, double reference)
{
  switch (model) {
  case 0: case 8: return (word - 240) / 10.0;
  case 1: return (word / 1024.0 - 0.29) / 0.0024;
  case 2: return (word - 500) / 10.0 + reference;
  case 3: return (word - 2731) / 10.0;
  case 4: return (word - 6) / 50.0 * 1000.0 / 10.0;
  case 5: return (word / 100.0 - 0.64) / 0.0248;
  case 6: return (word * 0.003027 - 0.64) / 0.0248;
  default: return word;
  }
}

struct Range { double lo, hi, minSpread; };

// What a plausible card of each model shows: temperatures of a mild climate
// with a daily cycle, a radiation day with dark nights, humidity in range.
Range Plausible(int model)
{
  switch (model) {
  case 4: return {0.0, 2100.0, 800.0};
  case 5: case 6: return {0.0, 100.0, 20.0};
  case 7: return {0.0, 1023.0, 100.0};
  default: return {3.0, 35.0, 8.0};
  }
}

QByteArray EolBytes(vexa::Eol eol) { return vexa::EolText(eol); }

} // namespace

class TestLoggerSim : public QObject {
  Q_OBJECT

private slots:
  void generatedCards_data();
  void generatedCards();
  void wordSpelling();
  void seeds();
  void downloads_data();
  void downloads();
  void streamFileExactly();
  void eraseAndIgnoredBytes();
  void streamControl();
  void reopenedPort();
  void links();
  void registration();
  void badOptions_data();
  void badOptions();
};

void TestLoggerSim::generatedCards_data()
{
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("eol");
  for (int m = 0; m < vexa::kModelCount; ++m)
    QTest::addRow("model %d", m) << m << int(vexa::Eol::CrLf);
  QTest::addRow("model 0 lf") << 0 << int(vexa::Eol::Lf);
  QTest::addRow("model 3 cr") << 3 << int(vexa::Eol::Cr);
  QTest::addRow("model 4 lf") << 4 << int(vexa::Eol::Lf);
}

void TestLoggerSim::generatedCards()
{
  QFETCH(int, model);
  QFETCH(int, eol);
  const vexa::Eol e = vexa::Eol(eol);
  const QByteArray card = Card(model, 7, e);
  const QByteArray eolText = EolBytes(e);
  QVERIFY(card.endsWith(eolText));
  // No other line break may hide inside a line.
  const QByteArray other = eolText == "\n" ? "\r" : eolText == "\r" ? "\n" : "";
  if (!other.isEmpty()) QVERIFY(!card.contains(other));

  const QList<QByteArray> lines = SplitLines(card, eolText);
  const bool seven = model == 2 || model == 3;
  QCOMPARE(lines.size(), seven ? 1171 : 4096);

  const QList<int> all = DecodeWords(model, lines);
  QCOMPARE(all.size(), seven ? 1171 * 7 : 1024);
  const QList<int> words = seven ? all.mid(0, 1170 * 7) : all;
  const std::vector<int> meant = vexa::GenerateWords(model, 7);
  QCOMPARE(words, QList<int>(meant.begin(), meant.end()));
  if (seven) {
    // The closing line is an all-zero record, not a sample.
    for (int w : all.mid(1170 * 7)) QCOMPARE(w, 0);
  }
  if (model == 3) {
    for (const QByteArray& l : lines.mid(0, 1170))
      for (int g = 0; g < 7; ++g) QCOMPARE(l[g * 6], g == 0 ? '7' : char('0' + g));
  }

  const int maxWord = model == 3 ? 99 * 256 + 255 : 1023;
  const Range range = Plausible(model);
  double lo = 1e9, hi = -1e9;
  int darkSamples = 0;
  for (qsizetype i = 0; i < words.size(); ++i) {
    const int w = words[i];
    QVERIFY2(w >= 0 && w <= maxWord, qPrintable(QString("word %1 = %2").arg(i).arg(w)));
    double value = 0;
    if (model == 2 && i % 7 == 0) {
      value = w / 10.0 * 2.0; // reference
    } else {
      const double ref = model == 2 ? words[i - i % 7] / 10.0 * 2.0 : 0.0;
      value = Physical(model, w, ref);
    }
    QVERIFY2(value >= range.lo && value <= range.hi,
             qPrintable(QString("word %1 = %2 reads %3").arg(i).arg(w).arg(value)));
    lo = std::min(lo, value);
    hi = std::max(hi, value);
    if (model == 4 && value <= 0.0) ++darkSamples;
  }
  QVERIFY2(hi - lo >= range.minSpread, qPrintable(QString("%1 to %2").arg(lo).arg(hi)));
  if (model == 4) {
    // Nights: roughly half of the samples, never all or none of them.
    QVERIFY(darkSamples > words.size() / 4 && darkSamples < words.size() * 3 / 4);
  }
}

void TestLoggerSim::wordSpelling()
{
  // Edges of each spelling, and words out of range clamped to what the
  // loggers record.
  const QList<int> tenBit{0, 9, 10, 99, 100, 255, 256, 511, 767, 768, 1023};
  for (int model : {0, 2, 5}) {
    std::vector<int> words(size_t(vexa::WordCount(model)), 0);
    for (qsizetype i = 0; i < tenBit.size(); ++i) words[size_t(i)] = tenBit[i];
    words[size_t(tenBit.size())] = -5;
    words[size_t(tenBit.size()) + 1] = 5000;
    const QByteArray card = QByteArray::fromStdString(vexa::EncodeCard(model, words, vexa::Eol::Lf));
    const QList<int> got = DecodeWords(model, SplitLines(card, "\n"));
    QCOMPARE(got.mid(0, tenBit.size()), tenBit);
    QCOMPARE(got[tenBit.size()], 0);
    QCOMPARE(got[tenBit.size() + 1], 1023);
  }
  std::vector<int> words(size_t(vexa::WordCount(3)), 0);
  const QList<int> lm335{2731, 2560, 2815, 3011, 99 * 256 + 255, 30000};
  for (qsizetype i = 0; i < lm335.size(); ++i) words[size_t(i)] = lm335[i];
  const QByteArray card = QByteArray::fromStdString(vexa::EncodeCard(3, words, vexa::Eol::Lf));
  QCOMPARE(card.left(42), QByteArray("710171110000210255311195499255599255600000"));
  const QList<int> got = DecodeWords(3, SplitLines(card, "\n"));
  QCOMPARE(got.mid(0, 5), lm335.mid(0, 5));
  QCOMPARE(got[5], 99 * 256 + 255);
}

void TestLoggerSim::seeds()
{
  for (int m = 0; m < vexa::kModelCount; ++m) {
    QCOMPARE(Card(m, 42), Card(m, 42));
    QVERIFY(Card(m, 42) != Card(m, 43));
  }
  QVERIFY(Card(0, 0) != Card(0, 0xFFFFFFFFu));
}

void TestLoggerSim::downloads_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QByteArray>("trigger");
  QTest::addColumn<QByteArray>("expected");
  QTest::newRow("defaults") << QStringList{"--fast"} << QByteArray("1") << Card(0, 1);
  QTest::newRow("model 1 seed 5") << QStringList{"--fast", "--model", "1", "--seed", "5"}
                                  << QByteArray("1") << Card(1, 5);
  QTest::newRow("model 2 trigger 7") << QStringList{"--fast", "--model=2", "--seed=9"}
                                     << QByteArray("7") << Card(2, 9);
  QTest::newRow("model 3 eol lf") << QStringList{"--fast", "--model", "3", "--eol", "lf"}
                                  << QByteArray("7") << Card(3, 1, vexa::Eol::Lf);
  QTest::newRow("model 6 eol cr, 7") << QStringList{"--fast", "--model", "6", "--eol", "cr"}
                                     << QByteArray("7") << Card(6, 1, vexa::Eol::Cr);
  // Paced: the same bytes as fast, only spread out.
  QTest::newRow("paced 230400") << QStringList{"--baud", "230400", "--model", "8"}
                                << QByteArray("1") << Card(8, 1);
}

void TestLoggerSim::downloads()
{
  QFETCH(QStringList, args);
  QFETCH(QByteArray, trigger);
  QFETCH(QByteArray, expected);
  Sim sim;
  QVERIFY(sim.Start(args));
  Port port;
  QVERIFY(port.Open(sim.Device()));
  QVERIFY(port.Send(trigger));
  QCOMPARE(port.Read(expected.size()), expected);
  QCOMPARE(port.ReadUntilQuiet(), QByteArray());
  QCOMPARE(sim.Stop(SIGTERM), 0);
}

void TestLoggerSim::streamFileExactly()
{
  // Bytes a generated card never holds: NUL, a lone CR, 0xFF, the command
  // digits, and no line break at the end.
  QByteArray bytes("12\r34\n\n\r\n9 7 1\x00\xff", 17);
  for (int i = 0; i < 6000; ++i) bytes += char('0' + i % 10);
  QTemporaryDir dir;
  const QString path = dir.filePath("card.bin");
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  f.close();

  Sim sim;
  QVERIFY(sim.Start({"--fast", "--stream", path, "--eol", "lf"}));
  Port port;
  QVERIFY(port.Open(sim.Device()));
  for (const char* trigger : {"1", "7"}) {
    QVERIFY(port.Send(trigger));
    QCOMPARE(port.Read(bytes.size()), bytes);
    QCOMPARE(port.ReadUntilQuiet(), QByteArray());
  }
  // An erased card keeps the layout of --model (default 0): all words 0.
  QVERIFY(port.Send("91"));
  QCOMPARE(port.ReadUntilQuiet(), QByteArray::fromStdString(vexa::ErasedCard(0, vexa::Eol::Lf)));
}

void TestLoggerSim::eraseAndIgnoredBytes()
{
  Sim sim;
  QVERIFY(sim.Start({"--fast", "--model", "3", "--seed", "11"}));
  const QByteArray card = Card(3, 11);
  Port port;
  QVERIFY(port.Open(sim.Device()));

  // Everything but the three commands goes unanswered and changes nothing.
  QByteArray noise;
  for (int c = 0; c < 256; ++c)
    if (c != '1' && c != '7' && c != '9') noise += char(c);
  QVERIFY(port.Send(noise));
  QCOMPARE(port.ReadUntilQuiet(), QByteArray());
  QVERIFY(port.Send("7"));
  QCOMPARE(port.Read(card.size()), card);

  // The program sends the erase command and closes the port at once.
  QVERIFY(port.Send("9"));
  port.Close();
  QVERIFY(port.Open(sim.Device()));
  QCOMPARE(port.ReadUntilQuiet(), QByteArray());
  QVERIFY(port.Send("7"));
  const QByteArray erased = port.Read(card.size() + 1, kQuietMs);
  const QList<QByteArray> lines = SplitLines(erased, "\r\n");
  QCOMPARE(lines.size(), 1171);
  const QList<int> words = DecodeWords(3, lines);
  QCOMPARE(words.size(), 1171 * 7);
  QVERIFY(std::all_of(words.begin(), words.end(), [](int w) { return w == 0; }));
  // The card stays erased; a second erase changes nothing.
  QVERIFY(port.Send("91"));
  QCOMPARE(port.ReadUntilQuiet(), erased);
}

void TestLoggerSim::streamControl()
{
  // 9600 baud: a card takes seconds, so the commands below land mid-stream.
  Sim sim;
  QVERIFY(sim.Start({"--model", "5", "--seed", "3"}));
  const QByteArray card = Card(5, 3);
  Port port;
  QVERIFY(port.Open(sim.Device()));

  // A trigger during a stream neither restarts nor doubles it.
  QVERIFY(port.Send("1"));
  QByteArray got = port.Read(40);
  QCOMPARE(got.size(), 40);
  QVERIFY(port.Send("17"));
  got += port.Read(60);
  QCOMPARE(got, card.left(100));

  // "9" ends the stream; what follows is the erased card only.
  QVERIFY(port.Send("9"));
  got += port.ReadUntilQuiet();
  QVERIFY2(got.size() < card.size(), "stream did not stop");
  QCOMPARE(got, card.left(got.size()));
  QVERIFY(port.Send("1"));
  const QByteArray erased = QByteArray::fromStdString(vexa::ErasedCard(5, vexa::Eol::CrLf));
  QCOMPARE(port.Read(16), erased.left(16));
}

void TestLoggerSim::reopenedPort()
{
  Sim sim;
  QVERIFY(sim.Start({"--baud", "115200", "--model", "7"}));
  const QByteArray card = Card(7, 1);
  Port port;
  for (int round = 0; round < 4; ++round) {
    QVERIFY(port.Open(sim.Device()));
    QVERIFY(port.Send("1"));
    QCOMPARE(port.Read(card.size()), card);
    port.Close();
  }
  // Closing mid-stream abandons that stream: the next download starts from
  // the first byte instead of carrying on with the old one. The pause lets
  // the simulator see the hang-up, as it would between a user's clicks.
  QVERIFY(port.Open(sim.Device()));
  QVERIFY(port.Send("1"));
  QCOMPARE(port.Read(200).size(), 200);
  port.Close();
  QThread::msleep(300);
  QVERIFY(port.Open(sim.Device()));
  QVERIFY(port.Send("1"));
  QCOMPARE(port.Read(card.size()), card);
  QCOMPARE(sim.Stop(SIGINT), 0);
}

void TestLoggerSim::links()
{
  QTemporaryDir dir;
  const QString link = dir.filePath("logger");

  // A stale link from a killed run is replaced.
  QVERIFY(QFile::link("/nonexistent/pts", link));
  {
    Sim sim;
    QVERIFY(sim.Start({"--fast", "--link", link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.Device());
    Port port;
    QVERIFY(port.Open(link));
    QVERIFY(port.Send("1"));
    QCOMPARE(port.Read(Card(0, 1).size()), Card(0, 1));
    port.Close();
    QCOMPARE(sim.Stop(SIGTERM), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
  }
  // A file that is not a link is left alone, and the simulator does not run.
  QFile file(link);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("keep");
  file.close();
  QProcess p;
  p.start(DZ_SIM_PATH, {"--link", link});
  QVERIFY(p.waitForFinished(kGiveUpMs));
  QVERIFY(p.exitCode() != 0);
  QVERIFY(p.readAllStandardOutput().isEmpty());
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("keep"));
}

void TestLoggerSim::registration()
{
  QTemporaryDir runtime;
  QTemporaryDir elsewhere;
  const QString ports = runtime.filePath("dedizivi-ports");
  const auto entries = [&] { return QDir(ports).entryList(QDir::System | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); };

  {
    Sim sim(runtime.path());
    QVERIFY(sim.Start({"--fast"}));
    QFileInfo info(ports);
    QVERIFY(info.isDir());
    QCOMPARE((info.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther
                                       | QFile::WriteGroup | QFile::WriteOther)).toInt(), 0);
    const QString name = QString("vexa-logger-sim-%1").arg(sim.Pid());
    QCOMPARE(entries(), QStringList{name});
    QCOMPARE(QFileInfo(ports + "/" + name).symLinkTarget(), sim.Device());
    QCOMPARE(sim.Stop(SIGTERM), 0);
    QVERIFY(entries().isEmpty());
  }
  {
    // --link inside the ports directory is the registration itself.
    Sim sim(runtime.path());
    QVERIFY(sim.Start({"--fast", "--link", ports + "/bench-logger"}));
    QCOMPARE(entries(), QStringList{"bench-logger"});
    QCOMPARE(sim.Stop(SIGINT), 0);
    QVERIFY(entries().isEmpty());
  }
  {
    // Two simulators at once, one linked elsewhere: each is listed once.
    Sim a(runtime.path());
    Sim b(runtime.path());
    const QString outside = elsewhere.filePath("logger");
    QVERIFY(a.Start({"--fast", "--link", outside}));
    QVERIFY(b.Start({"--fast"}));
    QStringList want{QString("vexa-logger-sim-%1").arg(a.Pid()),
                     QString("vexa-logger-sim-%1").arg(b.Pid())};
    want.sort();
    QCOMPARE(entries(), want);
    QCOMPARE(QFileInfo(outside).symLinkTarget(), a.Device());
    QCOMPARE(a.Stop(SIGTERM), 0);
    QCOMPARE(entries(), QStringList{want.filter(QString::number(b.Pid()))});
    QVERIFY(!QFileInfo(outside).isSymLink());
    QCOMPARE(b.Stop(SIGTERM), 0);
    QVERIFY(entries().isEmpty());
  }
}

void TestLoggerSim::badOptions_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::newRow("model 9") << QStringList{"--model", "9"};
  QTest::newRow("model -1") << QStringList{"--model", "-1"};
  QTest::newRow("model text") << QStringList{"--model", "two"};
  QTest::newRow("model missing") << QStringList{"--model"};
  QTest::newRow("seed text") << QStringList{"--seed", "1x"};
  QTest::newRow("baud zero") << QStringList{"--baud", "0"};
  QTest::newRow("baud and fast") << QStringList{"--baud", "9600", "--fast"};
  QTest::newRow("eol") << QStringList{"--eol", "crcr"};
  QTest::newRow("unknown") << QStringList{"--verbose"};
  QTest::newRow("stray") << QStringList{"4"};
  QTest::newRow("missing stream") << QStringList{"--stream", "/nonexistent/card"};
}

void TestLoggerSim::badOptions()
{
  QFETCH(QStringList, args);
  QProcess p;
  p.start(DZ_SIM_PATH, args);
  QVERIFY(p.waitForFinished(kGiveUpMs));
  QCOMPARE(p.exitStatus(), QProcess::NormalExit);
  QCOMPARE(p.exitCode(), 2);
  QVERIFY(p.readAllStandardOutput().isEmpty());
  QVERIFY(!p.readAllStandardError().isEmpty());

  QProcess help;
  help.start(DZ_SIM_PATH, {"--help"});
  QVERIFY(help.waitForFinished(kGiveUpMs));
  QCOMPARE(help.exitCode(), 0);
  QVERIFY(help.readAllStandardOutput().startsWith("usage: vexa-logger-sim"));
}

QTEST_GUILESS_MAIN(TestLoggerSim)
#include "tst_loggersim.moc"

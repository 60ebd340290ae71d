// dedizivi-cli download and erase against the logger simulator: what reaches
// the raw file, when a download ends, what is converted, the exit statuses.

#include "clitest.h"
#include "ptypair.h"
#include "testsupport.h"

#include "card.h"

#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <thread>

#include <sys/stat.h>

using namespace clitest;

class TestCliDownload : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void fullCard_data();
  void fullCard();
  void cutByPulledCable();
  void interruptedByCtrlC();
  void idleEndsAPartialCard();
  void corruptLineFailsWithRawKept();
  void lineNoiseLeavesOutputs_data();
  void lineNoiseLeavesOutputs();
  void endlessDataIsStopped_data();
  void endlessDataIsStopped();
  void failuresBeforeAnyData();
  void erase();

private:
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  QString StreamFile(const QString& name, const std::string& bytes);
  // The data file that 'convert' makes of a raw file.
  QByteArray Converted(int model, const QString& raw);

  QTemporaryDir m_dir;
};

void TestCliDownload::initTestCase()
{
  QVERIFY(m_dir.isValid());
  QVERIFY(QFile::exists(QStringLiteral(DZ_CLI_PATH)));
}

QString TestCliDownload::StreamFile(const QString& name, const std::string& bytes)
{
  const QString path = Path(name);
  if (!WriteFile(path, Bytes(bytes)))
    return {};
  return path;
}

QByteArray TestCliDownload::Converted(int model, const QString& raw)
{
  const Result r = RunCli({"convert", "--model", QString::number(model), raw});
  if (r.status != 0)
    qWarning("convert failed: %s", r.err.constData());
  return r.out;
}

void TestCliDownload::fullCard_data()
{
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("eol");
  QTest::addColumn<int>("samples");
  QTest::addColumn<int>("columns");
  QTest::newRow("two channels, CR LF") << 0 << int(vexa::Eol::CrLf) << 512 << 2;
  QTest::newRow("seven channels, CR") << 2 << int(vexa::Eol::Cr) << 1170 << 7;
  QTest::newRow("one channel, LF") << 8 << int(vexa::Eol::Lf) << 1024 << 1;
}

// A full card ends the download by itself: every byte the simulator sent is
// in the raw file, and the outputs are what 'convert' makes of it.
void TestCliDownload::fullCard()
{
  QFETCH(int, model);
  QFETCH(int, eol);
  QFETCH(int, samples);
  QFETCH(int, columns);
  const QString tag = QString::number(model);
  const std::string card = vexa::GenerateCard(model, 7 + model, vexa::Eol(eol));
  const QString stream = StreamFile("full" + tag + ".stream", card);
  QVERIFY(!stream.isEmpty());

  dztest::Simulator sim;
  const QString port = sim.Start({"--model", tag, "--stream", stream, "--fast"});
  QVERIFY(!port.isEmpty());
  const Result r = RunCli({"download", "--port", port, "--model", tag, "--raw", Path("full" + tag + ".raw"), "-o",
                           Path("full" + tag + ".txt"), "--csv", Path("full" + tag + ".csv"), "--start",
                           "2024-05-01T08:00:00", "--interval", "1h", "--wait", "20"});
  QVERIFY2(r.status == 0, r.err.constData());
  QVERIFY(r.out.isEmpty());

  const QByteArray raw = ReadFile(Path("full" + tag + ".raw"));
  QCOMPARE(raw.size(), qsizetype(card.size()));
  QVERIFY(raw == Bytes(card));

  const QByteArray data = ReadFile(Path("full" + tag + ".txt"));
  QCOMPARE(data, Converted(model, stream));
  QCOMPARE(data.count("\r\n"), samples);

  const QList<QByteArray> csv = CrLfLines(ReadFile(Path("full" + tag + ".csv")));
  QCOMPARE(csv.size(), samples + 1);
  QCOMPARE(csv[0].count(','), columns + 1);
  QVERIFY(csv[1].startsWith("1,2024-05-01T08:00:00+00:00,"));
  QVERIFY(csv[25].startsWith("25,2024-05-02T08:00:00+00:00,"));
}

// Killing the simulator is a pulled cable: what arrived is kept, the samples
// that arrived whole are converted, and the status says the card is short.
void TestCliDownload::cutByPulledCable()
{
  const std::string card = vexa::GenerateCard(0, 3, vexa::Eol::CrLf);
  const QString stream = StreamFile("cut.stream", card);
  dztest::Simulator sim;
  // Paced so that the cut lands well inside the card.
  const QString port = sim.Start({"--model", "0", "--stream", stream, "--baud", "20000"});
  QVERIFY(!port.isEmpty());

  QProcess cli;
  StartCli(cli, {"download", "--port", port, "--model", "0", "--raw", Path("cut.raw"), "-o", Path("cut.txt"),
                 "--csv", Path("cut.csv"), "--idle", "30"});
  QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(Path("cut.raw")).size() >= 2000, 20000);
  sim.Kill();
  const Result r = Finish(cli);
  QVERIFY2(r.status == 3, r.err.constData());
  QVERIFY2(r.err.contains("the port went away"), r.err.constData());

  const QByteArray raw = ReadFile(Path("cut.raw"));
  QVERIFY(raw.size() >= 2000);
  QVERIFY(raw.size() < qsizetype(card.size()));
  QVERIFY(Bytes(card).startsWith(raw));
  QVERIFY2(r.err.contains(QByteArray::number(LineBreaks(raw) + (raw.endsWith('\n') || raw.endsWith('\r') ? 0 : 1)) +
                          " of 4096 lines"),
           r.err.constData());

  // Eight lines a sample: the rows before the first incomplete one, as the
  // full card converts them.
  const int whole = LineBreaks(raw) / 8;
  QVERIFY(whole > 0);
  const QList<QByteArray> full = CrLfLines(Converted(0, stream));
  const QList<QByteArray> got = CrLfLines(ReadFile(Path("cut.txt")));
  QCOMPARE(got.size(), whole);
  QCOMPARE(got, full.mid(0, whole));
  QCOMPARE(CrLfLines(ReadFile(Path("cut.csv"))).size(), whole + 1);
}

// Ctrl-C ends a download cleanly: same keeping and converting as a cut.
void TestCliDownload::interruptedByCtrlC()
{
  const std::string card = vexa::GenerateCard(8, 5, vexa::Eol::CrLf);
  const QString stream = StreamFile("int.stream", card);
  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "8", "--stream", stream, "--baud", "20000"});
  QVERIFY(!port.isEmpty());

  QProcess cli;
  StartCli(cli, {"download", "--port", port, "--model", "8", "--raw", Path("int.raw"), "-o", Path("int.txt")});
  QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(Path("int.raw")).size() >= 1000, 20000);
  ::kill(pid_t(cli.processId()), SIGINT);
  const Result r = Finish(cli);
  QVERIFY2(r.status == 3, r.err.constData());
  QVERIFY2(r.err.contains("interrupted"), r.err.constData());
  const QByteArray raw = ReadFile(Path("int.raw"));
  QVERIFY(raw.size() < qsizetype(card.size()));
  QVERIFY(Bytes(card).startsWith(raw));
  const int whole = LineBreaks(raw) / 4;
  QCOMPARE(CrLfLines(ReadFile(Path("int.txt"))), CrLfLines(Converted(8, stream)).mid(0, whole));

  // Before any data, Ctrl-C converts nothing and leaves no file behind.
  dztest::Simulator silent;
  const QString empty = StreamFile("empty.stream", "");
  const QString quiet = silent.Start({"--model", "8", "--stream", empty, "--fast"});
  QProcess idle;
  StartCli(idle, {"download", "--port", quiet, "--model", "8", "--raw", Path("none.raw"), "-o", Path("none.txt")});
  QVERIFY(idle.waitForStarted());
  QByteArray said;
  QTRY_VERIFY_WITH_TIMEOUT((said += idle.readAllStandardError()).contains("waiting for the logger"), 10000);
  ::kill(pid_t(idle.processId()), SIGINT);
  const Result none = Finish(idle);
  QCOMPARE(none.status, 130);
  QVERIFY(!QFile::exists(Path("none.raw")));
  QVERIFY(!QFile::exists(Path("none.txt")));
  // Its entry holds no bytes: nothing to export, and the command says why.
  const QJsonObject entry = NewestArchived();
  QCOMPARE(entry["bytes"].toInteger(), 0);
  const Result noBytes = RunCli({"archive", "export", QString::number(entry["id"].toInteger()), "-o", Path("none.txt")});
  QVERIFY2(noBytes.status == 1 && noBytes.err.contains("holds no bytes"), noBytes.err.constData());
  QVERIFY(!QFile::exists(Path("none.txt")));
}

// A logger that stops sending mid-card: the idle time ends the download.
void TestCliDownload::idleEndsAPartialCard()
{
  const std::string card = vexa::GenerateCard(1, 11, vexa::Eol::CrLf);
  // 100 lines and half of the next: twelve whole samples of eight lines.
  std::size_t end = 0;
  for (int i = 0; i < 100; ++i)
    end = card.find("\r\n", end) + 2;
  const std::string part = card.substr(0, end + 1);
  const QString stream = StreamFile("part.stream", part);
  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "1", "--stream", stream, "--fast"});
  QVERIFY(!port.isEmpty());
  const Result r = RunCli({"download", "--port", port, "--model", "1", "--raw", Path("part.raw"), "-o",
                           Path("part.txt"), "--idle", "0.3"});
  QVERIFY2(r.status == 3, r.err.constData());
  QVERIFY2(r.err.contains("no data for the idle time) after 101 of 4096 lines; 12 of 512 samples"),
           r.err.constData());
  QCOMPARE(ReadFile(Path("part.raw")), Bytes(part));
  const QList<QByteArray> full = CrLfLines(Converted(1, StreamFile("whole1.stream", card)));
  QCOMPARE(CrLfLines(ReadFile(Path("part.txt"))), full.mid(0, 12));
  // Exported from the archive, it converts as it was received: the same
  // samples, the same status and word.
  const Result exported = RunCli({"archive", "export", QString::number(NewestArchived()["id"].toInteger()), "-o",
                                  Path("part-again.txt")});
  QVERIFY2(exported.status == 3, exported.err.constData());
  QVERIFY2(exported.err.contains("ended short (no data for the idle time) after 101 of 4096 lines; 12 of 512 samples"),
           exported.err.constData());
  QCOMPARE(ReadFile(Path("part-again.txt")), ReadFile(Path("part.txt")));

  // A whole card but for its final line end: the last line is a line as it
  // stands (the logger did not cut it), so every sample converts.
  const QString noEnd = StreamFile("noend.stream", card.substr(0, card.size() - 2));
  dztest::Simulator again;
  const QString port2 = again.Start({"--model", "1", "--stream", noEnd, "--fast"});
  const Result whole = RunCli({"download", "--port", port2, "--model", "1", "-o", Path("noend.txt"), "--idle", "0.3"});
  QVERIFY2(whole.status == 0, whole.err.constData());
  QVERIFY2(whole.err.contains("its last line was converted as it stands"), whole.err.constData());
  QCOMPARE(CrLfLines(ReadFile(Path("noend.txt"))), full);
}

// A full card with a bad line is no short download: the conversion fails,
// no output is written, and the raw file keeps the bytes for a later look.
void TestCliDownload::corruptLineFailsWithRawKept()
{
  std::string card = vexa::GenerateCard(8, 2, vexa::Eol::CrLf);
  std::size_t at = 0;
  for (int i = 0; i < 40; ++i) // line 41: sample 11
    at = card.find("\r\n", at) + 2;
  card.replace(at, card.find("\r\n", at) - at, "x");
  const QString stream = StreamFile("bad.stream", card);
  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "8", "--stream", stream, "--fast"});
  QVERIFY(!port.isEmpty());
  QVERIFY(WriteFile(Path("bad.txt"), "yesterday\r\n"));
  const Result r = RunCli({"download", "--port", port, "--model", "8", "--raw", Path("bad.raw"), "-o",
                           Path("bad.txt"), "--csv", Path("bad.csv")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("sample 11: 'x' is not a valid integer value"), r.err.constData());
  QCOMPARE(ReadFile(Path("bad.raw")), Bytes(card));
  QCOMPARE(ReadFile(Path("bad.txt")), QByteArray("yesterday\r\n"));
  QVERIFY(!QFile::exists(Path("bad.csv")));
}

void TestCliDownload::lineNoiseLeavesOutputs_data()
{
  QTest::addColumn<QByteArray>("stream");
  QTest::newRow("one byte of noise") << QByteArray("x");
  QTest::newRow("a stray XOFF") << QByteArray("\x13");
  QTest::newRow("half a sample") << QByteArray("1\r\n0\r\n5\r\n7\r\n1\r\n");
}

// Not one whole sample: outputs that exist stay as they were, rather than
// become empty; the raw file keeps what came.
void TestCliDownload::lineNoiseLeavesOutputs()
{
  QFETCH(QByteArray, stream);
  const QString path = Path("noise.stream");
  QVERIFY(WriteFile(path, stream));
  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "0", "--stream", path, "--fast"});
  QVERIFY(!port.isEmpty());
  QVERIFY(WriteFile(Path("kept.txt"), "23,4 24,5\r\n"));
  QVERIFY(WriteFile(Path("kept.csv"), "sample,CANAL1,CANAL2\r\n1,23.4,24.5\r\n"));
  QFile::remove(Path("noise.raw"));
  const Result r = RunCli({"download", "--port", port, "--model", "0", "--raw", Path("noise.raw"), "-o",
                           Path("kept.txt"), "--csv", Path("kept.csv"), "--idle", "0.3"});
  QVERIFY2(r.status == 3, r.err.constData());
  QVERIFY2(r.err.contains("0 of 512 samples converted, so no output was written or changed"), r.err.constData());
  QCOMPARE(ReadFile(Path("kept.txt")), QByteArray("23,4 24,5\r\n"));
  QCOMPARE(ReadFile(Path("kept.csv")), QByteArray("sample,CANAL1,CANAL2\r\n1,23.4,24.5\r\n"));
  QCOMPARE(ReadFile(Path("noise.raw")), stream);
  // Nor does it make outputs that were not there.
  const Result none = RunCli({"download", "--port", port, "--model", "0", "--csv", Path("new.csv"), "--idle", "0.3"});
  QVERIFY2(none.status == 3, none.err.constData());
  QVERIFY(!QFile::exists(Path("new.csv")));
  QVERIFY(none.out.isEmpty());
}

void TestCliDownload::endlessDataIsStopped_data()
{
  QTest::addColumn<QByteArray>("pattern");  // sent over and over
  QTest::addColumn<qsizetype>("lastLine"); // the raw file ends inside a line this long
  QTest::addColumn<qsizetype>("kept");     // or, when not 0, holds exactly this much
  QTest::newRow("digits without a line break") << QByteArray("0123456789") << qsizetype(256) << qsizetype(0);
  QTest::newRow("lines longer than any card line")
    << QByteArray(300, '5') + "\r\n" << qsizetype(256) << qsizetype(0);
  // Lines of the longest length allowed: 4096 of them would be more bytes
  // than any card holds, so the byte bound ends it first.
  QTest::newRow("more bytes than any card") << QByteArray(256, '5') + "\r\n" << qsizetype(-1) << qsizetype(1 << 20);
}

// A line that sends without end (noise, a wrong rate or port) ends the
// download with status 1 once it can no longer be a card; the raw file keeps
// what came up to there, and no more.
void TestCliDownload::endlessDataIsStopped()
{
  QFETCH(QByteArray, pattern);
  QFETCH(qsizetype, lastLine);
  QFETCH(qsizetype, kept);
  serialtest::PtyPair pty;
  QVERIFY(pty.Ok());
  QByteArray chunk;
  while (chunk.size() < 8192)
    chunk += pattern;
  std::atomic<bool> stop{false};
  std::thread line([&] {
    // Keeps sending until the download is over, as a noisy line does.
    for (qsizetype at = 0; !stop;) {
      const qsizetype offset = at % pattern.size();
      const ssize_t n = ::write(pty.Master(), chunk.constData() + offset, size_t(chunk.size() - offset));
      if (n > 0) {
        at += n;
      } else {
        pollfd p{pty.Master(), POLLOUT, 0};
        ::poll(&p, 1, 50);
      }
    }
  });
  QFile::remove(Path("endless.raw"));
  const Result r = RunCli({"download", "--port", QString::fromStdString(pty.Path()), "--model", "0", "--raw",
                           Path("endless.raw"), "-o", Path("endless.txt"), "--idle", "30"});
  stop = true;
  line.join();
  QVERIFY2(r.status == 1, r.err.constData());
  QVERIFY2(r.err.contains("This is no logger card"), r.err.constData());
  // Up to the byte that made a line too long, or the stream too large; what
  // came before it need not begin with a line, should the port have opened
  // in the middle of one.
  const QByteArray raw = ReadFile(Path("endless.raw"));
  QVERIFY(raw.size() <= (1 << 20));
  if (lastLine >= 0)
    QCOMPARE(raw.size() - raw.lastIndexOf('\n') - 1, lastLine);
  if (kept > 0)
    QCOMPARE(raw.size(), kept);
  // What came, unchanged: the pattern over and over, from wherever the port
  // began to listen.
  const qsizetype shift = pattern.repeated(2).indexOf(raw.left(pattern.size()));
  QVERIFY(shift >= 0);
  qsizetype same = 0;
  while (same < raw.size() && raw[same] == pattern[(same + shift) % pattern.size()])
    ++same;
  QCOMPARE(same, raw.size());
  QVERIFY(!QFile::exists(Path("endless.txt")));
  // The archive keeps the same bytes, under an end of their own.
  const QJsonObject entry = NewestArchived();
  QCOMPARE(entry["end"].toString(), QStringLiteral("not-a-card"));
  QCOMPARE(entry["bytes"].toInteger(), raw.size());
}

void TestCliDownload::failuresBeforeAnyData()
{
  // No such port: named, nothing created.
  Result r = RunCli({"download", "--port", Path("no-such-tty"), "--model", "0", "--raw", Path("nx.raw"), "-o",
                     Path("nx.txt")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("no-such-tty") && r.err.contains("Unable to open com port"), r.err.constData());
  QVERIFY(!QFile::exists(Path("nx.raw")));

  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "0", "--stream", StreamFile("silent.stream", ""), "--fast"});
  QVERIFY(!port.isEmpty());

  // A raw file that holds data is never appended to.
  QVERIFY(WriteFile(Path("old.raw"), "0\r\n"));
  r = RunCli({"download", "--port", port, "--model", "0", "--raw", Path("old.raw")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("already exists"), r.err.constData());
  QCOMPARE(ReadFile(Path("old.raw")), QByteArray("0\r\n"));
  // Nor is anything that is no regular file taken (a FIFO would wait for a
  // reader at the open, before the port).
  QCOMPARE(::mkfifo(Path("raw.fifo").toLocal8Bit().constData(), 0600), 0);
  r = RunCli({"download", "--port", port, "--model", "0", "--raw", Path("raw.fifo")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("is not a regular file"), r.err.constData());
  QVERIFY(QFileInfo(Path("raw.fifo")).exists() && !QFileInfo(Path("raw.fifo")).isFile());

  // A logger that never answers.
  r = RunCli({"download", "--port", port, "--model", "0", "--raw", Path("silent.raw"), "-o", Path("silent.txt"),
              "--wait", "0.3"});
  QCOMPARE(r.status, 4);
  QVERIFY2(r.err.contains("no data from the logger"), r.err.constData());
  QVERIFY(!QFile::exists(Path("silent.raw")));
  QVERIFY(!QFile::exists(Path("silent.txt")));

  // A radiation download without a usable constant fails before it starts,
  // by the conversion's own rule: a constant so small that a reading would
  // overflow included.
  r = RunCli({"download", "--port", port, "--model", "4", "--constant", "1.5"});
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.contains("'1.5' is not a valid floating point value"), r.err.constData());
  r = RunCli({"download", "--port", port, "--model", "4", "--constant", "1e-40", "--wait", "0.3"});
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.contains("Floating point overflow"), r.err.constData());

  const QList<QStringList> usage{
    {"download", "--port", port},
    {"download", "--port", port, "--model", "0", "--idle", "soon"},
    {"download", "--port", port, "--model", "0", "--baud", "fast"},
    {"download", "--port", port, "--model", "0", "--raw", Path("same"), "-o", Path("same")},
    {"download", "--port", port, "--model", "0", "extra"},
  };
  for (const QStringList& args : usage) {
    r = RunCli(args);
    QVERIFY2(r.status == 2, qPrintable(args.join(' ') + ": " + r.err));
  }
}

// Erase sends "9": the simulator's next download is an erased card, every
// word 0. Without --yes and without a terminal nothing is sent.
void TestCliDownload::erase()
{
  dztest::Simulator sim;
  const std::string card = vexa::GenerateCard(8, 9, vexa::Eol::CrLf);
  const QString stream = StreamFile("erase.stream", card);
  const QString port = sim.Start({"--model", "8", "--stream", stream, "--fast"});
  QVERIFY(!port.isEmpty());

  Result r = RunCli({"erase", "--port", port});
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.contains("not a terminal"), r.err.constData());
  r = RunCli({"download", "--port", port, "--model", "8", "--raw", Path("before.raw"), "-q"});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(ReadFile(Path("before.raw")), Bytes(card));

  r = RunCli({"erase", "--port", port, "--yes"});
  QVERIFY2(r.status == 0, r.err.constData());
  r = RunCli({"download", "--port", port, "--model", "8", "--raw", Path("after.raw"), "-o", Path("after.txt"), "-q"});
  QVERIFY2(r.status == 0, r.err.constData());
  const QList<QByteArray> lines = CrLfLines(ReadFile(Path("after.raw")));
  QCOMPARE(lines.size(), 4096);
  for (const QByteArray& l : lines)
    QCOMPARE(l, QByteArray("0"));
  QByteArray zeros;
  for (int i = 0; i < 4096; ++i)
    zeros += "0\r\n";
  QVERIFY(WriteFile(Path("zeros.raw"), zeros));
  QCOMPARE(ReadFile(Path("after.txt")), Converted(8, Path("zeros.raw")));
}

QTEST_GUILESS_MAIN(TestCliDownload)
#include "tst_cli_download.moc"

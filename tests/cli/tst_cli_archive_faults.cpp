// The archive of downloads under faults, through dedizivi-cli and the logger
// simulator: its files as outputs, odd files in its place, writes that fail,
// tampered and damaged files, read-only copies, a live download's lock
// removed by hand, another program's lock, file size limits, dates, backups
// and what a row may hold. Each case is one a careless user or an attacker
// meets; none may cost a download, hang, or destroy what the archive holds.

#include "clitest.h"
#include "testsupport.h"

#include "../serial/ptypair.h"
#include "archive.h"
#include "card.h"
#include "recorder.h"
#include "sqlite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <mutex>
#include <random>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace clitest;

namespace {

constexpr uid_t kNobody = 65534;

QString ArchivePath()
{
  return QString::fromStdString(dz::Archive::DefaultPath());
}

// dedizivi-cli with a deadline: a command that hangs fails the test instead.
Result RunWithin(const QStringList& args, int seconds = 20, std::function<void()> inChild = {})
{
  QProcess p;
  p.setProgram(QStringLiteral(DZ_CLI_PATH));
  p.setArguments(args);
  p.setStandardInputFile(QProcess::nullDevice());
  if (inChild)
    p.setChildProcessModifier(inChild);
  p.start();
  Result r;
  if (!p.waitForFinished(seconds * 1000)) {
    p.kill();
    p.waitForFinished();
    r.err = "dedizivi-cli did not finish: " + args.join(' ').toUtf8();
    return r;
  }
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

// As a user who is not root (root writes read-only files): "nobody" when the
// test runs as root.
Result RunAsUser(const QStringList& args)
{
  if (::geteuid() != 0)
    return RunWithin(args);
  QProcess p;
  p.setProgram(QStringLiteral("setpriv"));
  p.setArguments(QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", QStringLiteral(DZ_CLI_PATH)} + args);
  p.setStandardInputFile(QProcess::nullDevice());
  return Finish((p.start(), p));
}

QJsonArray ListJson()
{
  const Result r = RunWithin({"archive", "list", "--json"});
  if (r.status != 0)
    qWarning("archive list failed: %s", r.err.constData());
  return QJsonDocument::fromJson(r.out).array();
}

dz::DownloadStart Start(const std::string& port, int model)
{
  dz::DownloadStart s;
  s.From = dz::Source::CommandLine;
  s.Port = port;
  s.Line.Baud = 1200;
  s.Model = model;
  s.Trigger = "1";
  return s;
}

// An entry written straight into the archive, as a program that is gone
// left it (owner given) or ended it.
std::int64_t Entry(const std::string& port, const std::string& bytes, const std::string& owner = {},
                   bool ended = true)
{
  std::vector<dz::ArchiveNotice> notices;
  const auto archive = dz::Archive::OpenForWriting(dz::Archive::DefaultPath(), notices);
  const dz::Stamp now = dz::StampNow();
  const std::int64_t id = archive->Begin(Start(port, 8), now, owner);
  for (std::size_t at = 0; at < bytes.size(); at += 65536) {
    const std::string_view piece = std::string_view(bytes).substr(0, std::min(bytes.size(), at + 65536));
    archive->Add(id, std::string_view(bytes).substr(at, 65536), std::int64_t(piece.size()), 0, now);
  }
  if (ended)
    archive->End(id, {dz::EndReason::Closed, 8, std::nullopt, std::nullopt}, now);
  return id;
}

// The notices a recorder gave, from its thread.
struct Notices {
  std::mutex Mutex;
  std::vector<dz::ArchiveNotice> List;
  dz::ArchiveRecorder::NoticeHandler Handler()
  {
    return [this](const dz::ArchiveNotice& n) {
      const std::lock_guard lock(Mutex);
      List.push_back(n);
    };
  }
  int Count(dz::ArchiveNotice::Kind kind)
  {
    const std::lock_guard lock(Mutex);
    return int(std::count_if(List.begin(), List.end(), [kind](const auto& n) { return n.What == kind; }));
  }
};

// A socket bound at `path`, as a program listening there leaves it.
class BoundSocket {
public:
  explicit BoundSocket(const QString& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0))
  {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    if (m_fd >= 0 && std::size_t(name.size()) < sizeof address.sun_path) {
      std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
      m_ok = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
  }
  ~BoundSocket() { ::close(m_fd); }
  bool Ok() const { return m_ok; }

private:
  int m_fd;
  bool m_ok = false;
};

void SetFileSizeLimit(rlim_t bytes)
{
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

} // namespace

class TestCliArchiveFaults : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  QString m_data; // this test's XDG_DATA_HOME
  std::unique_ptr<dztest::Simulator> m_sim;
  QString m_port;

  QString Path(const QString& name) const { return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + "-" + name); }
  QString Stream(const QString& name, const std::string& bytes)
  {
    return WriteFile(Path(name), Bytes(bytes)) ? Path(name) : QString();
  }
  // A simulator that sends `card` at every trigger, started once per test.
  QString Port(const std::string& card)
  {
    m_sim = std::make_unique<dztest::Simulator>();
    m_port = m_sim->Start({"--stream", Stream("card.stream", card), "--fast"});
    return m_port;
  }
  Result Download(int model, const QStringList& more = {}, std::function<void()> inChild = {})
  {
    return RunWithin(QStringList{"download", "--port", m_port, "--model", QString::number(model), "--wait", "15", "-q"} +
                       more,
                     30, std::move(inChild));
  }

private slots:
  void initTestCase() { QVERIFY(m_dir.isValid()); }
  void init()
  {
    m_data = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + "-" +
                            QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_').replace('/', '_'));
    QVERIFY(QDir().mkpath(m_data + "/dedizivi"));
    qputenv("XDG_DATA_HOME", m_data.toLocal8Bit());
  }
  void cleanup() { m_sim.reset(); }

  // No command writes over the archive, its journal, its locks, however the
  // file is named: status 2, nothing written, every entry still there.
  void archiveIsNeverAnOutput_data()
  {
    QTest::addColumn<QString>("target"); // relative to the data folder, or a link made there
    QTest::addColumn<QString>("link");   // when not empty: a link at this name to `target`
    QTest::newRow("the archive") << "dedizivi/archive.sqlite" << "";
    QTest::newRow("through ./ and ..") << "dedizivi/../dedizivi/./archive.sqlite" << "";
    QTest::newRow("a symbolic link") << "dedizivi/archive.sqlite" << "symbolic";
    QTest::newRow("a hard link") << "dedizivi/archive.sqlite" << "hard";
    QTest::newRow("its write-ahead log, not there yet") << "dedizivi/archive.sqlite-wal" << "";
    QTest::newRow("its shared memory") << "dedizivi/archive.sqlite-shm" << "";
    QTest::newRow("its journal") << "dedizivi/archive.sqlite-journal" << "";
    QTest::newRow("in its lock folder") << "dedizivi/archive.sqlite-running/out.txt" << "";
    QTest::newRow("a link into its lock folder") << "dedizivi/archive.sqlite-running/new" << "symbolic";
  }
  void archiveIsNeverAnOutput()
  {
    QFETCH(QString, target);
    QFETCH(QString, link);
    const std::string card = vexa::GenerateCard(8, 4, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    QVERIFY2(Download(8, {"-o", "/dev/null"}).status == 0, "the first download");
    const QByteArray before = ReadFile(ArchivePath());
    QString name = m_data + "/" + target;
    if (link == "symbolic") {
      QVERIFY(QFile::link(name, m_data + "/link"));
      name = m_data + "/link";
    } else if (link == "hard") {
      QCOMPARE(::link(name.toLocal8Bit().constData(), (m_data + "/hard").toLocal8Bit().constData()), 0);
      name = m_data + "/hard";
    }
    serialtest::PtyPair pty;
    const QString raw = Stream("in.raw", card);
    const QList<QStringList> commands{
      {"archive", "export", "1", "--raw", name},
      {"archive", "export", "1", "--csv", name},
      {"convert", "--model", "8", raw, "-o", name},
      {"download", "--model", "8", "--port", QString::fromStdString(pty.Path()), "--raw", name},
      {"archive", "backup", name},
    };
    for (const QStringList& args : commands) {
      const Result r = RunWithin(args);
      QVERIFY2(r.status == 2, qPrintable(args.join(' ') + ": " + r.err));
      QVERIFY2(r.err.contains("is a file of the archive of downloads"), r.err.constData());
    }
    QCOMPARE(ReadFile(ArchivePath()), before);
    QCOMPARE(ListJson().size(), 1);
    QVERIFY(!QFileInfo::exists(m_data + "/dedizivi/archive.sqlite-running/out.txt"));
  }

  // Something that is no file where the archive's files belong: nothing
  // waits on it; the download warns once and writes its outputs as ever.
  void nothingInItsPlaceBlocks_data()
  {
    QTest::addColumn<QString>("what");
    QTest::newRow("a FIFO as the archive") << "fifo";
    QTest::newRow("a FIFO as its write-ahead log") << "fifo-wal";
    QTest::newRow("a FIFO as its journal") << "fifo-journal";
    QTest::newRow("a socket as the archive") << "socket";
    QTest::newRow("a device as the archive") << "device";
    QTest::newRow("a FIFO as its lock folder") << "fifo-locks";
    QTest::newRow("a FIFO as a running download's lock") << "fifo-lock";
  }
  void nothingInItsPlaceBlocks()
  {
    QFETCH(QString, what);
    const std::string card = vexa::GenerateCard(0, 6, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    const QString archive = ArchivePath();
    const auto fifo = [](const QString& at) { return ::mkfifo(at.toLocal8Bit().constData(), 0600) == 0; };
    std::unique_ptr<BoundSocket> socket;
    if (what == "fifo") {
      QVERIFY(fifo(archive));
    } else if (what == "fifo-wal" || what == "fifo-journal") {
      Entry("COM1", "1\r\n");
      QVERIFY(fifo(archive + (what == "fifo-wal" ? "-wal" : "-journal")));
    } else if (what == "socket") {
      socket = std::make_unique<BoundSocket>(archive);
      QVERIFY(socket->Ok());
    } else if (what == "device") {
      QVERIFY(QFile::link(QStringLiteral("/dev/zero"), archive));
    } else if (what == "fifo-locks") {
      QVERIFY(fifo(archive + "-running"));
    } else {
      // A row still open whose lock, of the form the program gives them, is a FIFO.
      const std::string owner = "999999999-0123456789abcdef";
      Entry("COM1", "1\r\n", owner, false);
      QVERIFY(QDir().mkpath(archive + "-running"));
      QVERIFY(fifo(archive + "-running/" + QString::fromStdString(owner)));
    }
    const Result list = RunWithin({"archive", "list"});
    QVERIFY2(list.status == 0 || list.status == 1, list.err.constData());
    const Result r = Download(0, {"-o", Path("out.txt")});
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY2(r.err.count("warning") <= 1, r.err.constData());
    QCOMPARE(ReadFile(Path("out.txt")), RunWithin({"convert", "--model", "0", Stream("c.raw", card)}).out);
  }

  // Batches that cannot be written leave an entry that says so, with what it
  // holds: never "full" with a part of the card.
  void writesThatFailLeaveTheEntryIncomplete_data()
  {
    QTest::addColumn<QString>("fault");
    QTest::newRow("a file size limit") << "size";
    QTest::newRow("another program's lock, held past the wait") << "lock";
  }
  void writesThatFailLeaveTheEntryIncomplete()
  {
    QFETCH(QString, fault);
    const std::string card = vexa::GenerateCard(2, 8, vexa::Eol::CrLf);
    std::int64_t held = 0;
    if (fault == "size") {
      QVERIFY(!Port(card).isEmpty());
      Entry("COM1", "1\r\n"); // the archive exists; its journal is folded in
      const Result r = Download(2, {"-o", "/dev/null"}, [] { SetFileSizeLimit(40 * 1024); });
      QVERIFY2(r.status == 0, r.err.constData());
      QCOMPARE(r.err.count("warning"), 1);
    } else {
      const std::string path = dz::Archive::DefaultPath();
      Notices notices;
      dz::ArchiveRecorder recorder(path, Start("COM1", 2), notices.Handler(), std::chrono::milliseconds(600));
      recorder.Append(card.substr(0, 1000));
      QTRY_VERIFY_WITH_TIMEOUT(recorder.Id() != 0 && ListJson().size() == 1 && ListJson()[0].toObject()["bytes"].toInteger() == 1000, 20000);
      {
        dz::SqliteDb other(path, SQLITE_OPEN_READWRITE);
        other.SetBusyTimeout(10000);
        other.Exec("BEGIN EXCLUSIVE");
        recorder.Append(card.substr(1000));
        recorder.Finish({dz::EndReason::FullCard, 2, std::nullopt, std::nullopt});
        recorder.Wait();
        other.Exec("ROLLBACK");
      }
      QCOMPARE(notices.Count(dz::ArchiveNotice::NotArchived), 1);
      held = 1000;
    }
    const QJsonObject e = ListJson()[0].toObject();
    QCOMPARE(e["end"].toString(), QStringLiteral("incomplete"));
    QVERIFY(e["bytes"].toInteger() < qint64(card.size()));
    if (fault == "lock")
      QCOMPARE(e["bytes"].toInteger(), held);
    const Result raw = RunWithin({"archive", "export", QString::number(e["id"].toInteger()), "--raw", "-"});
    QCOMPARE(raw.out.size(), e["bytes"].toInteger());
  }

  // A file size limit never kills a download: the archive's write fails and
  // is said; the outputs that fit are written.
  void fileSizeLimitNeverKills()
  {
    const std::string card = vexa::GenerateCard(0, 9, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    const Result r = Download(0, {"-o", Path("out.txt"), "--raw", Path("out.raw")}, [] { SetFileSizeLimit(24 * 1024); });
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY2(r.err.contains("warning: the archive cannot be written"), r.err.constData());
    QCOMPARE(ReadFile(Path("out.raw")), Bytes(card));
    QCOMPARE(ReadFile(Path("out.txt")), RunWithin({"convert", "--model", "0", Path("out.raw")}).out);
  }

  // Whatever a row names as its lock, only files of the program's own form
  // in the lock folder are ever opened or removed.
  void rowsNeverNameFilesOutside_data()
  {
    QTest::addColumn<QString>("owner");
    QTest::newRow("up and out of the lock folder") << "../../precious";
    QTest::newRow("beside the archive") << "../precious";
  }
  void rowsNeverNameFilesOutside()
  {
    QFETCH(QString, owner);
    const QString precious = m_data + "/precious";
    QVERIFY(WriteFile(precious, "the user's own\n"));
    QVERIFY(WriteFile(m_data + "/dedizivi/precious", "the user's own\n"));
    Entry("COM1", "1\r\n", owner.toStdString(), false);
    const std::string card = vexa::GenerateCard(8, 2, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    QCOMPARE(RunWithin({"archive", "list"}).status, 0);
    QCOMPARE(Download(8, {"-o", "/dev/null"}).status, 0);
    QCOMPARE(ReadFile(precious), QByteArray("the user's own\n"));
    QCOMPARE(ReadFile(m_data + "/dedizivi/precious"), QByteArray("the user's own\n"));
    const QJsonArray list = ListJson();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[1].toObject()["end"].toString(), QStringLiteral("interrupted"));
  }

  // No more bytes than 'convert' takes from a file: a row that holds more
  // (tampered, or from before the bound) is refused, as such a file is.
  void exportIsBoundedAsConvert()
  {
    std::string big;
    while (big.size() <= (1 << 20))
      big += "1\r\n";
    const std::int64_t id = Entry("COM1", big);
    const Result r = RunWithin({"archive", "export", QString::number(id), "-o", Path("big.txt")});
    QVERIFY2(r.status == 1, r.err.constData());
    QVERIFY2(r.err.contains("more than any logger card"), r.err.constData());
    QVERIFY(!QFileInfo::exists(Path("big.txt")));

    // And the archive keeps no more of a download than a card can be.
    Notices notices;
    std::int64_t recorded = 0;
    {
      dz::ArchiveRecorder recorder(dz::Archive::DefaultPath(), Start("COM2", 8), notices.Handler());
      for (int i = 0; i < 40; ++i)
        recorder.Append(big.substr(0, 65536));
      recorder.Finish({dz::EndReason::Closed, 8, std::nullopt, std::nullopt});
      recorder.Wait();
      recorded = recorder.Id();
    }
    QCOMPARE(notices.Count(dz::ArchiveNotice::NotACard), 1);
    const auto archive = dz::Archive::OpenExisting(dz::Archive::DefaultPath());
    const auto e = archive->Find(recorded);
    QVERIFY(e);
    QCOMPARE(e->End, dz::EndReason::NotACard);
    QCOMPARE(e->Bytes, std::int64_t(1 << 20));
  }

  // Damage found by any read or write, not only at the open: the file is
  // kept aside and a new archive begun, said once; no warning forever after.
  void damageAnyTimeSetsTheFileAside_data()
  {
    QTest::addColumn<QString>("first");
    QTest::newRow("found by list") << "list";
    QTest::newRow("found by a download") << "download";
  }
  void damageAnyTimeSetsTheFileAside()
  {
    QFETCH(QString, first);
    const std::string card = vexa::GenerateCard(8, 3, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    QCOMPARE(Download(8, {"-o", "/dev/null"}).status, 0);
    const QString archive = ArchivePath();
    std::int64_t page = 0;
    {
      dz::SqliteDb db(archive.toStdString(), SQLITE_OPEN_READONLY);
      page = db.QueryInt("SELECT rootpage FROM sqlite_master WHERE name = 'downloads'");
    }
    QVERIFY(page > 1);
    {
      QFile f(archive);
      QVERIFY(f.open(QIODevice::ReadWrite));
      QByteArray noise(4096, '\0');
      std::mt19937 random(7);
      for (char& c : noise)
        c = char(random());
      QVERIFY(f.seek((page - 1) * 4096));
      QCOMPARE(f.write(noise), noise.size());
    }
    const QByteArray damaged = ReadFile(archive);

    const Result r = first == "list" ? RunWithin({"archive", "list"}) : Download(8, {"-o", "/dev/null"});
    QVERIFY2(r.status == 0, r.err.constData());
    QCOMPARE(r.err.count("warning"), 1);
    const QStringList aside = QDir(m_data + "/dedizivi").entryList({"archive.unreadable-*.sqlite"});
    QCOMPARE(aside.size(), 1);
    QCOMPARE(ReadFile(m_data + "/dedizivi/" + aside[0]), damaged);
    const Result again = Download(8, {"-o", "/dev/null"});
    QVERIFY2(again.status == 0 && !again.err.contains("warning"), again.err.constData());
    const Result list = RunWithin({"archive", "list", "--json"});
    QVERIFY2(list.status == 0 && list.err.isEmpty(), list.err.constData());
    QCOMPARE(QJsonDocument::fromJson(list.out).array().size(), first == "list" ? 1 : 2);
  }

  // A read-only spell of the archive does not stop archiving for good, and
  // a copy on a read-only folder can be listed and exported.
  void readOnlyArchives()
  {
    const std::string card = vexa::GenerateCard(8, 5, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    // Everything here belongs to the user who runs the commands.
    QCOMPARE(::chmod(m_dir.path().toLocal8Bit().constData(), 0755), 0);
    for (const QString& folder : {m_data, m_data + "/dedizivi"})
      QCOMPARE(::chown(folder.toLocal8Bit().constData(), kNobody, kNobody) == 0 || ::geteuid() != 0, true);
    QCOMPARE(::chmod(m_port.toLocal8Bit().constData(), 0666), 0);
    const QStringList download{"download", "--port", m_port, "--model", "8", "--wait", "15", "-q", "-o", "/dev/null"};
    Result r = RunAsUser(download);
    QVERIFY2(r.status == 0 && r.err.isEmpty(), r.err.constData());
    const QString archive = ArchivePath();
    QCOMPARE(::chmod(archive.toLocal8Bit().constData(), 0444), 0);
    r = RunAsUser({"archive", "list"});
    QVERIFY2(r.status == 0 && r.out.count('\n') == 2, r.err.constData());
    QCOMPARE(::chmod(archive.toLocal8Bit().constData(), 0644), 0);
    r = RunAsUser(download);
    QVERIFY2(r.status == 0 && r.err.isEmpty(), r.err.constData());
    QCOMPARE(ListJson().size(), 2);

    // A copy as a plain copy makes it (its journal mode and all), in a
    // folder nobody may write: read as it stands.
    const QString copy = m_data + "/copy/dedizivi";
    QVERIFY(QDir().mkpath(copy));
    QVERIFY(QFile::copy(archive, copy + "/archive.sqlite"));
    QCOMPARE(::chmod((copy + "/archive.sqlite").toLocal8Bit().constData(), 0444), 0);
    QCOMPARE(::chmod(copy.toLocal8Bit().constData(), 0555), 0);
    qputenv("XDG_DATA_HOME", (m_data + "/copy").toLocal8Bit());
    r = RunAsUser({"archive", "list"});
    QVERIFY2(r.status == 0 && r.out.count('\n') == 3, r.err.constData());
    r = RunAsUser({"archive", "export", "1", "-o", "-"});
    QVERIFY2(r.status == 0, r.err.constData());
    QCOMPARE(r.out, RunWithin({"convert", "--model", "8", Stream("c.raw", card)}).out);
    QCOMPARE(QDir(copy).entryList(QDir::Files).size(), 1);
    QCOMPARE(::chmod(copy.toLocal8Bit().constData(), 0755), 0);
  }

  // A download being written cannot be deleted or pruned, its lock file
  // removed by hand or not; what deleted entries left behind goes, and the
  // space comes back.
  void liveDownloadCannotBeDeleted()
  {
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    QProcess cli;
    QVERIFY(!StartDownloadOn(cli, pty, "8").isEmpty());
    const std::string card = vexa::GenerateCard(8, 4, vexa::Eol::CrLf);
    QVERIFY(pty.Send(Bytes(card.substr(0, 600))));
    QTRY_VERIFY_WITH_TIMEOUT(!ListJson().isEmpty() && ListJson()[0].toObject()["bytes"].toInteger() == 600, 20000);
    const QString id = QString::number(ListJson()[0].toObject()["id"].toInteger());
    const QDir locks(ArchivePath() + "-running");
    for (const QString& lock : locks.entryList(QDir::Files))
      QVERIFY(QFile::remove(locks.filePath(lock)));

    Result r = RunWithin({"archive", "delete", id});
    QVERIFY2(r.status == 1 && r.err.contains("still running"), r.err.constData());
    r = RunWithin({"archive", "prune", "--before", QDate::currentDate().addDays(1).toString(Qt::ISODate)});
    QVERIFY2(r.status == 0 && r.out.contains("kept 1 download still running"), r.out.constData());
    QCOMPARE(ListJson()[0].toObject()["end"].toString(), QStringLiteral("running"));
    r = RunWithin({"archive", "export", id, "--raw", Path("so-far.raw")});
    QVERIFY2(r.status == 0 && r.err.contains("still being written"), r.err.constData());

    QVERIFY(pty.Send(Bytes(card.substr(600))));
    r = Finish(cli);
    QVERIFY2(r.status == 0, r.err.constData());
    QCOMPARE(ListJson()[0].toObject()["end"].toString(), QStringLiteral("full"));
    QCOMPARE(ListJson()[0].toObject()["bytes"].toInteger(), qint64(card.size()));

    // Bytes of an entry deleted while an earlier program still wrote it.
    const qint64 before = QFileInfo(ArchivePath()).size();
    {
      dz::SqliteDb db(dz::Archive::DefaultPath(), SQLITE_OPEN_READWRITE);
      dz::SqliteStatement orphan(db.Handle(), "INSERT INTO chunks (download, data) VALUES (9999, ?)");
      orphan.BindBlob(1, std::string(1 << 20, '5')).Run();
    }
    QVERIFY(QFileInfo(ArchivePath()).size() > before + (1 << 19));
    QCOMPARE(RunWithin({"archive", "delete", id}).status, 0);
    dz::SqliteDb db(dz::Archive::DefaultPath(), SQLITE_OPEN_READONLY);
    QCOMPARE(db.QueryInt("SELECT count(*) FROM chunks"), 0);
    QVERIFY(QFileInfo(ArchivePath()).size() < before);
  }

  // Another program holding the archive locked: the outputs are written when
  // the download ends, the command waits for the lock, then archives it whole.
  void lockNeverHoldsADownloadUp()
  {
    const std::string card = vexa::GenerateCard(0, 12, vexa::Eol::CrLf);
    QVERIFY(!Port(card).isEmpty());
    Entry("COM1", "1\r\n");
    auto other = std::make_unique<dz::SqliteDb>(dz::Archive::DefaultPath(), SQLITE_OPEN_READWRITE);
    other->SetBusyTimeout(10000);
    other->Exec("BEGIN EXCLUSIVE");
    QProcess cli;
    StartCli(cli, {"download", "--port", m_port, "--model", "0", "--wait", "15", "-o", Path("out.txt")});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(Path("out.txt")).size() > 0, 8000);
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += cli.readAllStandardError()).contains("waiting for the archive"), 8000);
    QCOMPARE(cli.state(), QProcess::Running);
    other->Exec("ROLLBACK");
    other.reset();
    const Result r = Finish(cli);
    QVERIFY2(r.status == 0, r.err.constData());
    const QJsonObject e = ListJson()[0].toObject();
    QCOMPARE(e["end"].toString(), QStringLiteral("full"));
    QCOMPARE(e["bytes"].toInteger(), qint64(card.size()));
  }

  void pruneTakesOnlyDates_data()
  {
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("status");
    QTest::newRow("a date") << "2024-05-01" << 0;
    QTest::newRow("a local time") << "2024-05-01T08:00" << 0;
    QTest::newRow("UTC with a fraction") << "2024-05-01T08:00:00.250Z" << 0;
    QTest::newRow("an offset") << "2024-05-01T08:00:00-03:00" << 0;
    QTest::newRow("hour 25") << "2024-05-01T25:00:00" << 2;
    QTest::newRow("an offset of 25 hours") << "2024-05-01T08:00:00+25:00" << 2;
    QTest::newRow("a trailing newline") << "2024-05-01\n" << 2;
    QTest::newRow("month 13") << "2024-13-01" << 2;
    QTest::newRow("30 February") << "2024-02-30" << 2;
    QTest::newRow("a blank after") << "2024-05-01T08:00:00 " << 2;
    QTest::newRow("words") << "yesterday" << 2;
  }
  void pruneTakesOnlyDates()
  {
    QFETCH(QString, date);
    QFETCH(int, status);
    Entry("COM1", "1\r\n");
    const Result r = RunWithin({"archive", "prune", "--before", date});
    QVERIFY2(r.status == status, r.err.constData());
    QCOMPARE(ListJson().size(), 1); // all of them before today
  }

  // The backup holds what a killed program left in the journal; a plain
  // copy of the file need not.
  void backupHoldsTheNewest()
  {
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    QProcess cli;
    QVERIFY(!StartDownloadOn(cli, pty, "8").isEmpty());
    QVERIFY(pty.Send("1\r\n2\r\n3\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!ListJson().isEmpty() && ListJson()[0].toObject()["bytes"].toInteger() == 9, 20000);
    ::kill(pid_t(cli.processId()), SIGKILL);
    QVERIFY(cli.waitForFinished(20000));
    QVERIFY(QFileInfo(ArchivePath() + "-wal").size() > 0);

    const QString copy = m_data + "/copy/dedizivi/archive.sqlite";
    QVERIFY(QDir().mkpath(m_data + "/copy/dedizivi"));
    const Result r = RunWithin({"archive", "backup", copy});
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY(!QFileInfo::exists(copy + "-wal"));
    qputenv("XDG_DATA_HOME", (m_data + "/copy").toLocal8Bit());
    const QJsonArray list = ListJson();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].toObject()["bytes"].toInteger(), 9);
    QCOMPARE(RunWithin({"archive", "export", "1", "--raw", "-"}).out, QByteArray("1\r\n2\r\n3\r\n"));
  }

  // What a row holds never reaches the terminal as a command.
  void listEscapesWhatRowsHold()
  {
    Entry("/dev/ttyUSB0\n     2  forged\x1b[2J\xc2\x9b" "31m", "1\r\n");
    const Result r = RunWithin({"archive", "list"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out.count('\n'), 2);
    QVERIFY(!r.out.contains('\x1b'));
    QVERIFY(!r.out.contains("\xc2\x9b"));
    QVERIFY2(r.out.contains("/dev/ttyUSB0\\n     2  forged\\e[2J\\xC2\\x9B31m"), r.out.constData());
    const Result json = RunWithin({"archive", "list", "--json"});
    QVERIFY(!json.out.contains('\x1b') && !json.out.contains("\xc2\x9b"));
    QCOMPARE(QJsonDocument::fromJson(json.out).array()[0].toObject()["port"].toString(),
             QString::fromUtf8("/dev/ttyUSB0\n     2  forged\x1b[2J\xc2\x9b" "31m"));
  }
};

QTEST_GUILESS_MAIN(TestCliArchiveFaults)
#include "tst_cli_archive_faults.moc"

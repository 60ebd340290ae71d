// dedizivi-cli's outputs under careless paths: two names for one file, an
// output on the input or the port, links, devices, FIFOs, a failure on one
// output of several, and the slips of a command line typed in haste.

#include "clitest.h"
#include "ptypair.h"
#include "testsupport.h"

#include "card.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace clitest;

namespace {

QStringList Listing(const QString& dir)
{
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t ModeOf(const QString& path, bool follow = false)
{
  struct stat st {};
  const QByteArray p = path.toLocal8Bit();
  if ((follow ? ::stat(p.constData(), &st) : ::lstat(p.constData(), &st)) != 0)
    return 0;
  return st.st_mode;
}

} // namespace

class TestCliPaths : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();
  void aliasedFilesAreRefused_data();
  void aliasedFilesAreRefused();
  void outputsThatAreNoRegularFile();
  void outputsAreOneTransaction();
  void newOutputsTakeTheUmask_data();
  void newOutputsTakeTheUmask();
  void commandLineSlips();

private:
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  // A device node of our own where we may make one, so that no system device
  // is at stake should a build replace it; the system's otherwise (where we
  // may not make nodes, we may not replace the system's either).
  QString Device(const QString& name, unsigned minor);
  QString FullDevice() { return Device(QStringLiteral("full"), 7); }

  QTemporaryDir m_dir;
  QByteArray m_card;
  QByteArray m_data; // what convert makes of it
};

void TestCliPaths::initTestCase()
{
  QVERIFY(m_dir.isValid());
  m_card = Bytes(vexa::GenerateCard(8, 3, vexa::Eol::CrLf));
  QVERIFY(WriteFile(Path("card.raw"), m_card));
  const Result r = RunCli({"convert", "--model", "8", Path("card.raw")});
  QCOMPARE(r.status, 0);
  m_data = r.out;
  QCOMPARE(m_data.count("\r\n"), 1024);
}

void TestCliPaths::init()
{
  // Each case starts from the card alone, whatever the case before did.
  for (const QString& name : Listing(m_dir.path())) {
    if (QFileInfo(Path(name)).isDir() && !QFileInfo(Path(name)).isSymLink())
      QDir(Path(name)).removeRecursively();
    else
      QFile::remove(Path(name));
  }
  QVERIFY(WriteFile(Path("card.raw"), m_card));
}

QString TestCliPaths::Device(const QString& name, unsigned minor)
{
  const QString node = Path(name + "-device");
  if (::mknod(node.toLocal8Bit().constData(), S_IFCHR | 0666, makedev(1, minor)) == 0)
    return node;
  return "/dev/" + name;
}

void TestCliPaths::aliasedFilesAreRefused_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QString>("input"); // standard input, when not empty
  QTest::addColumn<QByteArray>("message");
  const QString card = QStringLiteral("card.raw");
  const QStringList convert{"convert", "--model", "8", card};
  QTest::newRow("output on its input") << convert + QStringList{"-o", card} << QString() << QByteArray("same file");
  QTest::newRow("output on a hard link of the input")
    << convert + QStringList{"-o", "hard.raw"} << QString() << QByteArray("-o 'hard.raw' and the input 'card.raw'");
  QTest::newRow("output on a symbolic link to the input")
    << convert + QStringList{"--csv", "sym.raw"} << QString() << QByteArray("same file");
  QTest::newRow("output on the input by another path")
    << convert + QStringList{"-o", "sub/../card.raw"} << QString() << QByteArray("same file");
  QTest::newRow("output on standard input")
    << QStringList{"convert", "--model", "8", "-o", card} << card << QByteArray("the input (standard input)");
  QTest::newRow("data file and CSV, two spellings")
    << convert + QStringList{"-o", "./x.txt", "--csv", "x.txt"} << QString()
    << QByteArray("-o './x.txt' and --csv 'x.txt' are the same file");
  QTest::newRow("data file and CSV through a link to a new file")
    << convert + QStringList{"-o", "later.txt", "--csv", "sub/target.txt"} << QString() << QByteArray("same file");
  // Refused before the port is opened: no such port would otherwise fail with 1.
  QTest::newRow("download, raw file and data file")
    << QStringList{"download", "--port", "no-such-port", "--model", "8", "--raw", "./y.txt", "-o", "y.txt"}
    << QString() << QByteArray("are the same file");
  QTest::newRow("download, raw file and CSV by link")
    << QStringList{"download", "--port", "no-such-port", "--model", "8", "--raw", "sub/target.txt", "--csv",
                   "later.txt"}
    << QString() << QByteArray("are the same file");
  QTest::newRow("download, data file on the port")
    << QStringList{"download", "--port", "./tty", "--model", "8", "-o", "tty-link"} << QString()
    << QByteArray("-o 'tty-link' and --port './tty' are the same file");
}

// Nothing is opened, written or created: the card is as it was, the folder
// holds what it held, the logger heard nothing.
void TestCliPaths::aliasedFilesAreRefused()
{
  QFETCH(QStringList, args);
  QFETCH(QString, input);
  QFETCH(QByteArray, message);
  serialtest::PtyPair pty;
  QVERIFY(pty.Ok());
  QDir().mkpath(Path("sub"));
  QVERIFY(QFile::link(QString::fromStdString(pty.Path()), Path("tty")));
  QVERIFY(QFile::link(QString::fromStdString(pty.Path()), Path("tty-link")));
  QCOMPARE(::link(Path("card.raw").toLocal8Bit().constData(), Path("hard.raw").toLocal8Bit().constData()), 0);
  QVERIFY(QFile::link(QStringLiteral("card.raw"), Path("sym.raw")));
  QVERIFY(QFile::link(QStringLiteral("sub/target.txt"), Path("later.txt"))); // to a file not there yet
  const QStringList before = Listing(m_dir.path());

  const Result r = RunCli(args, {m_dir.path(), input.isEmpty() ? QProcess::nullDevice() : Path(input)});
  QVERIFY2(r.status == 2, r.err.constData());
  QVERIFY2(r.err.contains(message), r.err.constData());
  QVERIFY(r.out.isEmpty());
  QCOMPARE(ReadFile(Path("card.raw")), m_card);
  QCOMPARE(Listing(m_dir.path()), before);
  QVERIFY(Listing(Path("sub")).isEmpty());
  QVERIFY(pty.Received().isEmpty()); // no trigger went out
}

// Links are followed, devices and FIFOs written in place, nothing that is no
// regular file replaced, and a replaced file keeps its permissions.
void TestCliPaths::outputsThatAreNoRegularFile()
{
  const QStringList convert{"convert", "--model", "8", Path("card.raw")};

  const QString null = Device(QStringLiteral("null"), 3);
  Result r = RunCli(convert + QStringList{"-o", null});
  QVERIFY2(r.status == 0, r.err.constData());
  QVERIFY(S_ISCHR(ModeOf(null)));

  // What /dev/stdout is: a link to the process's own descriptor, a pipe here.
  QVERIFY(QFile::link(QStringLiteral("/proc/self/fd/1"), Path("stdout")));
  r = RunCli(convert + QStringList{"-o", Path("stdout")});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(r.out, m_data);
  QVERIFY(S_ISLNK(ModeOf(Path("stdout"))));

  // A full device: the write error is reported, the node stays a node.
  const QString full = FullDevice();
  r = RunCli(convert + QStringList{"-o", full});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("No space left on device"), r.err.constData());
  QVERIFY(S_ISCHR(ModeOf(full)));

  // A FIFO gets the data through, and stays a FIFO.
  const QString fifo = Path("fifo");
  QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  QByteArray fromFifo;
  std::thread reader([&] { fromFifo = ReadFile(fifo); });
  r = RunCli(convert + QStringList{"-o", fifo});
  // Should the command not have opened it, this ends the reader's wait.
  const int unblock = ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
  if (unblock >= 0)
    ::close(unblock);
  reader.join();
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(fromFifo, m_data);
  QVERIFY(S_ISFIFO(ModeOf(fifo)));

  // A link to a private file elsewhere: the target is replaced in its own
  // folder and keeps 0600; the link stays a link; no temporary is left.
  QTemporaryDir elsewhere;
  const QString target = elsewhere.filePath("private.txt");
  QVERIFY(WriteFile(target, "old\r\n"));
  QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
  QVERIFY(QFile::link(target, Path("link.txt")));
  QVERIFY(QFile::link(elsewhere.filePath("new.txt"), Path("dangling.txt")));
  r = RunCli(convert + QStringList{"-o", Path("link.txt"), "--csv", Path("dangling.txt")});
  QVERIFY2(r.status == 0, r.err.constData());
  QVERIFY(S_ISLNK(ModeOf(Path("link.txt"))));
  QVERIFY(S_ISLNK(ModeOf(Path("dangling.txt"))));
  QCOMPARE(ReadFile(target), m_data);
  QCOMPARE(ModeOf(target) & 07777, mode_t(0600));
  QVERIFY(ReadFile(elsewhere.filePath("new.txt")).startsWith("sample,CANAL1\r\n"));
  QCOMPARE(Listing(elsewhere.path()), (QStringList{"new.txt", "private.txt"}));

  // A plain file keeps its mode too; a folder is not replaced.
  QVERIFY(WriteFile(Path("shared.txt"), "old\r\n"));
  QVERIFY(::chmod(Path("shared.txt").toLocal8Bit().constData(), 0640) == 0);
  QDir().mkpath(Path("folder"));
  r = RunCli(convert + QStringList{"-o", Path("shared.txt")});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(ModeOf(Path("shared.txt")) & 07777, mode_t(0640));
  r = RunCli(convert + QStringList{"-o", Path("folder")});
  QCOMPARE(r.status, 1);
  QVERIFY(QFileInfo(Path("folder")).isDir());
  QVERIFY(Listing(Path("folder")).isEmpty());
}

// With several outputs, a failure on any one leaves every one as it was.
void TestCliPaths::outputsAreOneTransaction()
{
  const QStringList convert{"convert", "--model", "8", Path("card.raw")};
  QVERIFY(WriteFile(Path("data.txt"), "old data\r\n"));
  QVERIFY(WriteFile(Path("data.csv"), "old csv\r\n"));
  const QStringList before = Listing(m_dir.path());

  Result r = RunCli(convert + QStringList{"-o", Path("data.txt"), "--csv", Path("no-folder/data.csv")});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("no-folder/data.csv"), r.err.constData());
  QCOMPARE(ReadFile(Path("data.txt")), QByteArray("old data\r\n"));
  QCOMPARE(Listing(m_dir.path()), before);

  const QString full = FullDevice();
  r = RunCli(convert + QStringList{"-o", Path("data.txt"), "--csv", full});
  QCOMPARE(r.status, 1);
  QCOMPARE(ReadFile(Path("data.txt")), QByteArray("old data\r\n"));
  r = RunCli(convert + QStringList{"-o", full, "--csv", Path("data.csv")});
  QCOMPARE(r.status, 1);
  QCOMPARE(ReadFile(Path("data.csv")), QByteArray("old csv\r\n"));
  QVERIFY(S_ISCHR(ModeOf(full)));
  if (!full.startsWith(QStringLiteral("/dev/")))
    QVERIFY(QFile::remove(full));
  QCOMPARE(Listing(m_dir.path()), before);

  r = RunCli(convert + QStringList{"-o", Path("data.txt"), "--csv", Path("data.csv")});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(ReadFile(Path("data.txt")), m_data);
  QCOMPARE(Listing(m_dir.path()), before);
}

void TestCliPaths::commandLineSlips()
{
  const QStringList convert{"convert", "--model", "8", Path("card.raw")};
  const QList<QPair<QStringList, QByteArray>> usage{
    {convert + QStringList{"-o", ""}, "-o needs a file name"},
    {convert + QStringList{"--csv", ""}, "--csv needs a file name"},
    {QStringList{"convert", "--model", "8", ""}, "input file name cannot be empty"},
    {convert + QStringList{"--model", "7"}, "'--model' given more than once"},
    {convert + QStringList{"-o", "a.txt", "--output", "b.txt"}, "'--output' given more than once"},
  };
  for (const auto& [args, message] : usage) {
    const Result r = RunCli(args);
    QVERIFY2(r.status == 2, qPrintable(args.join(' ')));
    QVERIFY2(r.err.contains(message), r.err.constData());
    QVERIFY(r.out.isEmpty());
  }

  // A port named by a relative path is that path, not one under /dev.
  serialtest::PtyPair pty;
  QVERIFY(pty.Ok());
  QVERIFY(QFile::link(QString::fromStdString(pty.Path()), Path("logger")));
  const Result r =
    RunCli({"download", "--port", "./logger", "--model", "8", "--wait", "0.3"}, {m_dir.path()});
  QVERIFY2(r.status == 4, r.err.constData());
  QVERIFY2(r.err.contains("no data from the logger on './logger'"), r.err.constData());
  QCOMPARE(pty.Received(), QByteArray("1"));
}

void TestCliPaths::newOutputsTakeTheUmask_data()
{
  QTest::addColumn<QString>("command");
  QTest::addColumn<int>("mask");
  QTest::newRow("convert, 022") << "convert" << 022;
  QTest::newRow("convert, 077") << "convert" << 077;
  QTest::newRow("download, 027") << "download" << 027;
  QTest::newRow("archive export, 002") << "export" << 002;
}

// Every file a command makes anew has the mode the user's umask gives a new
// file (0666 less the mask), as an ordinary user meets it: the suite may run
// as root, who reads any file, so the mode is read back and another user
// tries to read the file.
void TestCliPaths::newOutputsTakeTheUmask()
{
  QFETCH(QString, command);
  QFETCH(int, mask);
  // Another user may pass through the folder, as through a home folder.
  QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ExeOther));
  QStringList outputs{Path("new.txt"), Path("new.csv")};
  QStringList args{"-o", outputs[0], "--csv", outputs[1]};
  dztest::Simulator sim;
  if (command != "convert") {
    outputs << Path("new.raw");
    args << "--raw" << outputs[2];
    const QString port = sim.Start({"--stream", Path("card.raw"), "--fast"});
    QVERIFY(!port.isEmpty());
    const QStringList download{"download", "--port", port, "--model", "8", "--wait", "20", "-q"};
    if (command == "export") {
      const Result r = RunCli(download);
      QVERIFY2(r.status == 0, r.err.constData());
      const Result list = RunCli({"archive", "list", "--json"});
      const QString id = QString::number(QJsonDocument::fromJson(list.out).array()[0].toObject()["id"].toInteger());
      args = QStringList{"archive", "export", id} + args;
    } else {
      args = download + args;
    }
  } else {
    args = QStringList{"convert", "--model", "8", Path("card.raw")} + args;
  }
  const mode_t before = ::umask(mode_t(mask));
  const Result r = RunCli(args);
  ::umask(before);
  QVERIFY2(r.status == 0, r.err.constData());
  for (const QString& file : outputs) {
    QCOMPARE(ModeOf(file) & 07777, mode_t(0666 & ~mask));
    const bool othersRead = (mask & 004) == 0;
    const int rc = QProcess::execute(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups",
                                                                 "cat", file});
    QVERIFY2((rc == 0) == othersRead, qPrintable(file));
  }
  QCOMPARE(ReadFile(outputs[0]), m_data);
}

QTEST_GUILESS_MAIN(TestCliPaths)
#include "tst_cli_paths.moc"

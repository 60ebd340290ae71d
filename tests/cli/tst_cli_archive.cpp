// The archive of downloads through dedizivi-cli against the logger simulator
// and a pseudo-terminal: what a download leaves there, a download killed
// halfway, an unreadable archive, two downloads at once, and the archive
// command's list, export, delete and prune.

#include "clitest.h"
#include "testsupport.h"

#include "../serial/ptypair.h"
#include "archive.h"
#include "card.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <csignal>

using namespace clitest;

class TestCliArchive : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { QVERIFY(m_dir.isValid()); }
  // Each test has an archive of its own.
  void init()
  {
    const QString data = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
    QVERIFY(QDir().mkpath(data));
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
  }
  void downloadKeptAndExportedAsConvert();
  void killedHalfwayReadsInterrupted();
  void unreadableArchiveIsMovedAside();
  void twoDownloadsAtOnce();

private:
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  QString StreamFile(const QString& name, const std::string& bytes)
  {
    return WriteFile(Path(name), Bytes(bytes)) ? Path(name) : QString();
  }
  static QJsonArray List()
  {
    const Result r = RunCli({"archive", "list", "--json"});
    if (r.status != 0)
      qWarning("archive list failed: %s", r.err.constData());
    return QJsonDocument::fromJson(r.out).array();
  }
  static std::optional<dz::ArchivedDownload> Entry(std::int64_t id)
  {
    const auto archive = dz::Archive::OpenExisting(dz::Archive::DefaultPath());
    return archive ? archive->Find(id) : std::nullopt;
  }

  QTemporaryDir m_dir;
};

// A full card lands whole; export gives back its bytes and exactly what
// 'convert' makes of them, with convert's statuses; erases are noted;
// delete and prune remove entries.
void TestCliArchive::downloadKeptAndExportedAsConvert()
{
  const std::string card = vexa::GenerateCard(2, 21, vexa::Eol::Cr);
  const QString stream = StreamFile("seven.stream", card);
  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "2", "--stream", stream, "--fast"});
  QVERIFY(!port.isEmpty());
  Result r = RunCli({"download", "--port", port, "--model", "2", "--wait", "20", "-o", Path("seven.txt")});
  QVERIFY2(r.status == 0, r.err.constData());
  r = RunCli({"download", "--port", port, "--model", "2", "--wait", "20", "-o", Path("again.txt"), "--no-archive"});
  QVERIFY2(r.status == 0, r.err.constData());

  QJsonArray list = List();
  QCOMPARE(list.size(), 1);
  const QJsonObject e = list[0].toObject();
  const QString id = QString::number(e["id"].toInteger());
  QCOMPARE(e["kind"].toString(), QStringLiteral("download"));
  QCOMPARE(e["source"].toString(), QStringLiteral("cli"));
  QCOMPARE(e["port"].toString(), port);
  QCOMPARE(e["model"].toInt(-1), 2);
  QCOMPARE(e["trigger"].toString(), QStringLiteral("7"));
  QCOMPARE(e["end"].toString(), QStringLiteral("full"));
  QCOMPARE(e["bytes"].toInteger(), qint64(card.size()));
  QCOMPARE(e["lines"].toInteger(), qint64(1171));
  QVERIFY(e["baud"].toInt() > 0);
  QVERIFY(e["constant"].isNull());
  const QString started = e["started"].toString();
  QVERIFY2(QDateTime::fromString(started, Qt::ISODate).isValid() && started.size() == 25, qPrintable(started));
  QVERIFY(!e["ended"].toString().isEmpty());

  r = RunCli({"archive", "export", id, "--raw", Path("back.raw"), "-o", Path("back.txt")});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(ReadFile(Path("back.raw")), Bytes(card));
  QCOMPARE(ReadFile(Path("back.txt")), ReadFile(Path("seven.txt")));
  // --interval alone stamps the CSV from the download's start.
  r = RunCli({"archive", "export", id, "--csv", Path("back.csv"), "--interval", "1h", "--decimal", "comma"});
  QVERIFY2(r.status == 0, r.err.constData());
  const Result convert = RunCli({"convert", "--model", "2", stream, "--csv", Path("convert.csv"), "--start", started,
                                 "--interval", "1h", "--decimal", "comma"});
  QVERIFY2(convert.status == 0, convert.err.constData());
  QCOMPARE(ReadFile(Path("back.csv")), ReadFile(Path("convert.csv")));
  // The seven-channel LM335 layout does not fit this card: convert's status, no file.
  r = RunCli({"archive", "export", id, "--model", "3", "-o", Path("wrong.txt")});
  QCOMPARE(r.status, 1);
  QVERIFY(!QFile::exists(Path("wrong.txt")));
  QCOMPARE(RunCli({"archive", "export", "999", "-o", Path("none.txt")}).status, 2);

  r = RunCli({"erase", "--port", port, "--yes"});
  QVERIFY2(r.status == 0, r.err.constData());
  list = List();
  QCOMPARE(list.size(), 2);
  const QJsonObject erase = list[0].toObject();
  QCOMPARE(erase["kind"].toString(), QStringLiteral("erase"));
  QCOMPARE(erase["trigger"].toString(), QStringLiteral("9"));
  QCOMPARE(erase["bytes"].toInteger(), qint64(0));
  const QString eraseId = QString::number(erase["id"].toInteger());
  QCOMPARE(RunCli({"archive", "export", eraseId, "--raw", Path("erase.raw")}).status, 2);

  QCOMPARE(RunCli({"archive", "delete", eraseId}).status, 0);
  QCOMPARE(RunCli({"archive", "delete", eraseId}).status, 2);
  r = RunCli({"archive", "prune", "--before", "2000-01-01"});
  QVERIFY2(r.status == 0 && r.out.contains("deleted 0 entries"), r.out.constData());
  const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
  r = RunCli({"archive", "prune", "--before", tomorrow});
  QVERIFY2(r.status == 0 && r.out.contains("deleted 1 entry"), r.out.constData());
  QCOMPARE(List().size(), 0);
}

// SIGKILL halfway: what arrived before stays in the archive, and the
// download reads as interrupted (running while the program lived).
void TestCliArchive::killedHalfwayReadsInterrupted()
{
  serialtest::PtyPair pty;
  QVERIFY(pty.Ok());
  QProcess cli;
  QCOMPARE(StartDownloadOn(cli, pty, "8"), QByteArray("1"));

  const std::string card = vexa::GenerateCard(8, 4, vexa::Eol::CrLf);
  const QByteArray half = Bytes(card.substr(0, card.size() / 2 + 3)); // ends inside a line
  QElapsedTimer sent;
  QVERIFY(pty.Send(half));
  sent.start();
  std::int64_t id = 0;
  QTRY_VERIFY_WITH_TIMEOUT(!List().isEmpty() && (id = List()[0].toObject()["id"].toInteger()) > 0, 20000);
  QTRY_COMPARE_WITH_TIMEOUT(Entry(id)->Bytes, half.size(), 20000);
  qInfo("the bytes were in the archive %lld ms after they were sent", static_cast<long long>(sent.elapsed()));
  QCOMPARE(Entry(id)->End, dz::EndReason::Running);

  ::kill(pid_t(cli.processId()), SIGKILL);
  QVERIFY(cli.waitForFinished(20000));

  const QJsonObject e = List()[0].toObject();
  QCOMPARE(e["end"].toString(), QStringLiteral("interrupted"));
  QCOMPARE(e["bytes"].toInteger(), half.size());
  QVERIFY(!e["ended"].toString().isEmpty());
  const Result r = RunCli({"archive", "export", QString::number(id), "--raw", Path("half.raw")});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(ReadFile(Path("half.raw")), half);
  // And converts as the download would have: its whole samples, the line it
  // was cut in left out, status 3.
  const Result c = RunCli({"archive", "export", QString::number(id), "-o", Path("half.txt")});
  QVERIFY2(c.status == 3 && c.err.contains("ended short (the program writing it stopped)"), c.err.constData());
  const QByteArray whole = RunCli({"convert", "--model", "8", StreamFile("whole8.stream", card)}).out;
  QCOMPARE(CrLfLines(ReadFile(Path("half.txt"))), CrLfLines(whole).mid(0, LineBreaks(half) / 4));
}

// A file in the archive's place that is no archive: kept under a new name,
// a new archive begun, and the download goes on and converts as ever.
void TestCliArchive::unreadableArchiveIsMovedAside()
{
  const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + "/dedizivi";
  QVERIFY(QDir().mkpath(folder));
  const QByteArray mine = QByteArray("my notes, not a database\n").repeated(100);
  QVERIFY(WriteFile(folder + "/archive.sqlite", mine));

  const std::string card = vexa::GenerateCard(0, 9, vexa::Eol::CrLf);
  const QString stream = StreamFile("zero.stream", card);
  dztest::Simulator sim;
  const QString port = sim.Start({"--model", "0", "--stream", stream, "--fast"});
  const Result r = RunCli({"download", "--port", port, "--model", "0", "--wait", "20", "-o", Path("zero.txt")});
  QVERIFY2(r.status == 0, r.err.constData());
  QCOMPARE(r.err.count("was not a readable archive"), 1);
  QCOMPARE(r.err.count("warning"), 1);
  QCOMPARE(ReadFile(Path("zero.txt")), RunCli({"convert", "--model", "0", stream}).out);

  const QStringList aside = QDir(folder).entryList({"archive.unreadable-*.sqlite"});
  QCOMPARE(aside.size(), 1);
  QCOMPARE(ReadFile(folder + "/" + aside[0]), mine);
  const QJsonArray list = List();
  QCOMPARE(list.size(), 1);
  QCOMPARE(list[0].toObject()["bytes"].toInteger(), qint64(card.size()));
}

// Two downloads on two ports at the same time: both running while they run
// (neither taken for interrupted), both kept whole.
void TestCliArchive::twoDownloadsAtOnce()
{
  const std::string cards[] = {vexa::GenerateCard(0, 31, vexa::Eol::CrLf), vexa::GenerateCard(8, 32, vexa::Eol::Lf)};
  const char* const models[] = {"0", "8"};
  dztest::Simulator sims[2];
  QProcess clis[2];
  for (int i = 0; i < 2; ++i) {
    const QString stream = StreamFile(QStringLiteral("two%1.stream").arg(i), cards[i]);
    // Paced, so that both are under way together.
    const QString port = sims[i].Start({"--model", models[i], "--stream", stream, "--baud", "30000"});
    QVERIFY(!port.isEmpty());
    StartCli(clis[i], {"download", "--port", port, "--model", models[i], "--wait", "30", "-q"});
  }
  const auto bothRunning = [] {
    const QJsonArray list = List();
    int running = 0;
    for (const QJsonValue& v : list)
      running += v.toObject()["end"].toString() == "running" && v.toObject()["bytes"].toInteger() > 0;
    return running == 2;
  };
  QTRY_VERIFY_WITH_TIMEOUT(bothRunning(), 30000);
  for (QProcess& cli : clis) {
    const Result r = Finish(cli);
    QVERIFY2(r.status == 0, r.err.constData());
  }
  const auto archive = dz::Archive::OpenExisting(dz::Archive::DefaultPath());
  const std::vector<dz::ArchivedDownload> list = archive->List();
  QCOMPARE(list.size(), std::size_t(2));
  for (const dz::ArchivedDownload& d : list) {
    QCOMPARE(d.End, dz::EndReason::FullCard);
    const std::string& card = cards[d.Model == 0 ? 0 : 1];
    QCOMPARE(archive->Raw(d.Id), card);
  }
}

QTEST_GUILESS_MAIN(TestCliArchive)
#include "tst_cli_archive.moc"

// The archive of downloads through dedizivi-cli against the logger simulator
// and a pseudo-terminal: what a download leaves there, a download killed
// halfway, an unreadable archive, two downloads at once, and the archive
// command's list, export, dating, daily summary, delete and prune.

#include "clitest.h"
#include "testsupport.h"

#include "../serial/ptypair.h"
#include "archive.h"
#include "card.h"
#include "models.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <QScopeGuard>

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
  void listGivesEveryFieldOfItsDownload_data();
  void listGivesEveryFieldOfItsDownload();
  void killedHalfwayReadsInterrupted();
  void everyEndWithItsTimes_data();
  void everyEndWithItsTimes();
  void unreadableArchiveIsMovedAside();
  void twoDownloadsAtOnce();
  void datedExportKeepsRecordedSamples_data();
  void datedExportKeepsRecordedSamples();
  void whatEachDayHeld();

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
  // A whole card archived as a download begun at `started`, as a recorder leaves it.
  static QString ArchiveCard(int model, const std::string& card, const QDateTime& started)
  {
    std::vector<dz::ArchiveNotice> notices;
    const auto archive = dz::Archive::OpenForWriting(dz::Archive::DefaultPath(), notices);
    dz::DownloadStart start;
    start.From = dz::Source::CommandLine;
    start.Port = "/dev/ttyUSB0";
    start.Model = model;
    start.Trigger = std::string(1, vexa::ModelTrigger(model));
    const dz::Stamp at = dz::StampAt(started.toMSecsSinceEpoch());
    const std::int64_t id = archive->Begin(start, at, {});
    dz::LineCounter lines;
    lines.Add(card);
    archive->Add(id, card, std::int64_t(card.size()), lines.Lines(), at);
    archive->End(id, {dz::EndReason::FullCard, model, model == 4 ? std::optional<std::string>("1,5") : std::nullopt,
                      model == 4 ? std::optional<std::string>("0") : std::nullopt}, at);
    return QString::number(id);
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
  // The download's start is the one moment its samples were not taken: an
  // interval alone does not date it.
  r = RunCli({"archive", "export", id, "--csv", Path("back.csv"), "--interval", "1h"});
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.contains("is not dated"), r.err.constData());
  QVERIFY(!QFile::exists(Path("back.csv")));
  // Dated well before it, every sample was recorded: the CSV is convert's.
  r = RunCli({"archive", "set", id, "--start", "2020-01-01T00:00:00+01:00", "--interval", "1h"});
  QVERIFY2(r.status == 0 && r.out.contains("1170 of its 1170 samples recorded"), (r.out + r.err).constData());
  r = RunCli({"archive", "export", id, "--csv", Path("back.csv"), "--decimal", "comma"});
  QVERIFY2(r.status == 0 && r.err.isEmpty(), r.err.constData());
  const Result convert = RunCli({"convert", "--model", "2", stream, "--csv", Path("convert.csv"), "--start",
                                 "2020-01-01T00:00:00+01:00", "--interval", "1h", "--decimal", "comma"});
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

void TestCliArchive::listGivesEveryFieldOfItsDownload_data()
{
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("lines"); // of the card sent; 0: all of it
  QTest::addColumn<QStringList>("options");
  QTest::addColumn<QJsonObject>("expected"); // the fields the options decide
  QTest::newRow("seven channels, full card")
    << 2 << 0 << QStringList{"--baud", "4800"}
    << QJsonObject{{"baud", 4800}, {"trigger", "7"}, {"end", "full"}, {"lines", 1171}, {"constant", QJsonValue()},
                   {"offset", QJsonValue()}, {"first_sample", QJsonValue()}, {"interval", QJsonValue()},
                   {"recorded", QJsonValue()}};
  QTest::newRow("radiation, dated, idle")
    << 4 << 100
    << QStringList{"--baud", "2400", "--constant", "1,5", "--offset", "3", "--csv", "-", "--start",
                   "2024-05-01T08:00:00+02:00", "--interval", "30m", "--idle", "0.3"}
    << QJsonObject{{"baud", 2400}, {"trigger", "1"}, {"end", "idle"}, {"lines", 100}, {"constant", "1,5"},
                   {"offset", "3"}, {"first_sample", "2024-05-01T06:00:00+00:00"}, {"interval", 1800},
                   {"recorded", 25}};
}

// Every field `list --json` gives of a download, each against what that
// download used: the line, the model, the radiation fields, the timing, the
// bytes and lines it brought, when and how it ended. Nothing more, nothing less.
void TestCliArchive::listGivesEveryFieldOfItsDownload()
{
  QFETCH(int, model);
  QFETCH(int, lines);
  QFETCH(QStringList, options);
  QFETCH(QJsonObject, expected);
  const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/" + QString::number(model);
  QVERIFY(QDir().mkpath(data));
  qputenv("XDG_DATA_HOME", data.toLocal8Bit()); // an archive of its own
  std::string card = vexa::GenerateCard(model, 13, vexa::Eol::CrLf);
  if (lines > 0) {
    std::size_t end = 0;
    for (int i = 0; i < lines; ++i)
      end = card.find("\r\n", end) + 2;
    card.resize(end);
  }
  dztest::Simulator sim;
  const QString port = sim.Start({"--stream", StreamFile("fields.stream", card), "--fast"});
  QVERIFY(!port.isEmpty());
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  const Result r = RunCli(QStringList{"download", "--port", port, "--model", QString::number(model), "--wait", "20",
                                      "-q", "-o", Path("fields.txt")} + options);
  QVERIFY2(r.status == 0 || r.status == 3, r.err.constData());
  const QDateTime after = QDateTime::currentDateTime().addSecs(1);

  const QJsonArray list = List();
  QCOMPARE(list.size(), 1);
  const QJsonObject e = list[0].toObject();
  expected["kind"] = "download";
  expected["source"] = "cli";
  expected["port"] = port;
  expected["port_by_id"] = QJsonValue(); // a pseudo-terminal has no stable name
  expected["data_bits"] = 8;
  expected["stop_bits"] = "1";
  expected["parity"] = "none";
  expected["flow_control"] = "none";
  expected["model"] = model;
  expected["model_text"] = QString::fromUtf8(dz::FindModel(model)->SelectorText.data());
  expected["bytes"] = qint64(card.size());
  for (const QString& key : {QStringLiteral("id"), QStringLiteral("started"), QStringLiteral("ended")})
    expected[key] = e[key];
  QCOMPARE(e.keys(), expected.keys());
  for (const QString& key : expected.keys())
    QVERIFY2(e[key] == expected[key], qPrintable(key + ": " + QJsonDocument(QJsonObject{{key, e[key]}}).toJson()));
  QVERIFY(e["id"].toInteger() > 0);
  // When it ran, with the offset of the time: in this run, between the two
  // moments around it, the end not before the start.
  const QDateTime started = QDateTime::fromString(e["started"].toString(), Qt::ISODate);
  const QDateTime ended = QDateTime::fromString(e["ended"].toString(), Qt::ISODate);
  QVERIFY2(started >= before && ended <= after && started <= ended, qPrintable(e["started"].toString()));
  QVERIFY(e["started"].toString().endsWith("+00:00"));
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

void TestCliArchive::everyEndWithItsTimes_data()
{
  QTest::addColumn<QString>("way");
  QTest::addColumn<QString>("end");
  QTest::newRow("full card") << "full" << "full";
  QTest::newRow("idle") << "idle" << "idle";
  QTest::newRow("Ctrl-C after data") << "ctrl-c" << "closed";
  QTest::newRow("line lost") << "hang-up" << "line-lost";
  QTest::newRow("killed") << "kill" << "interrupted";
}

// However a download ends, its entry says how, with the bytes that came, when
// it started (during the run) and when it ended: after its data, which comes
// a second and more after the start, never at the start itself.
void TestCliArchive::everyEndWithItsTimes()
{
  QFETCH(QString, way);
  QFETCH(QString, end);
  const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/" + way;
  QVERIFY(QDir().mkpath(data));
  qputenv("XDG_DATA_HOME", data.toLocal8Bit()); // an archive of its own

  const std::string card = vexa::GenerateCard(8, 23, vexa::Eol::CrLf);
  const QByteArray sent = Bytes(way == "full" ? card : card.substr(0, card.size() / 3));
  serialtest::PtyPair pty;
  QVERIFY(pty.Ok());
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  QProcess cli;
  QCOMPARE(StartDownloadOn(cli, pty, "8", way == "idle" ? "0.5" : "60"), QByteArray("1"));
  QTest::qWait(1200);
  QVERIFY(pty.Send(sent));
  if (way != "full" && way != "idle") {
    QTRY_VERIFY_WITH_TIMEOUT(!List().isEmpty() && List()[0].toObject()["bytes"].toInteger() == sent.size(), 20000);
    if (way == "ctrl-c")
      ::kill(pid_t(cli.processId()), SIGINT);
    else if (way == "hang-up")
      pty.CloseMaster();
    else
      ::kill(pid_t(cli.processId()), SIGKILL);
  }
  QVERIFY(cli.waitForFinished(30000));
  const QDateTime after = QDateTime::currentDateTime().addSecs(1);

  const QJsonObject e = NewestArchived();
  QCOMPARE(e["end"].toString(), end);
  QCOMPARE(e["bytes"].toInteger(), sent.size());
  const QDateTime started = QDateTime::fromString(e["started"].toString(), Qt::ISODate);
  const QDateTime ended = QDateTime::fromString(e["ended"].toString(), Qt::ISODate);
  QVERIFY2(started.isValid() && ended.isValid(), qPrintable(e["started"].toString() + " " + e["ended"].toString()));
  QVERIFY2(before <= started && started < ended && ended <= after,
           qPrintable(e["started"].toString() + " " + e["ended"].toString()));
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
// (neither taken for interrupted), both kept whole, the one given a timing dated.
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
    QStringList args = {"download", "--port", port, "--model", models[i], "--wait", "30", "-q"};
    if (i == 0) // dated as it is downloaded, with no CSV
      args << "--start" << "2026-01-01T00:00:00+01:00" << "--interval" << "30m";
    StartCli(clis[i], args);
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
    QCOMPARE(d.FirstSample, std::string(d.Model == 0 ? "2026-01-01T00:00:00+01:00" : ""));
    QCOMPARE(d.IntervalSeconds, d.Model == 0 ? 1800 : 0);
  }
}

// A dated download's CSV holds the samples the logger can have taken: none
// at or after the moment the download began, none past what its card holds
// (--all keeps those rows, without a time); standard error says how many
// were left out, and the list gives the same count.
void TestCliArchive::datedExportKeepsRecordedSamples_data()
{
  QTest::addColumn<int>("model");
  QTest::addColumn<int>("minutesBefore"); // first sample, before the download began
  QTest::addColumn<QString>("interval");
  QTest::addColumn<bool>("all");
  QTest::addColumn<int>("rows");
  QTest::addColumn<int>("recorded");
  QTest::addColumn<QByteArray>("said");
  QTest::newRow("two channels: the card's 500, not its 512")
    << 0 << 36000 << "1h" << false << 500 << 500 << QByteArray("12 of 512 rows left out as not recorded");
  QTest::newRow("--all keeps the other 12 without a time")
    << 0 << 36000 << "1h" << true << 512 << 500 << QByteArray("12 of 512 rows kept without a time");
  QTest::newRow("seven channels: all 1170") << 2 << 2000 << "1m" << false << 1170 << 1170 << QByteArray();
  QTest::newRow("dated shortly before the download")
    << 8 << 95 << "30m" << false << 4 << 4 << QByteArray("1020 of 1024 rows left out");
  QTest::newRow("a sample due as the download began was not taken")
    << 8 << 90 << "30m" << false << 3 << 3 << QByteArray("1021 of 1024 rows left out");
  QTest::newRow("first sample after the download began")
    << 7 << -60 << "1h" << false << 0 << 0 << QByteArray("none of the 1024 samples was recorded");
}

void TestCliArchive::datedExportKeepsRecordedSamples()
{
  QFETCH(int, model);
  QFETCH(int, minutesBefore);
  QFETCH(QString, interval);
  QFETCH(bool, all);
  QFETCH(int, rows);
  QFETCH(int, recorded);
  QFETCH(QByteArray, said);
  const QDateTime began(QDate(2026, 5, 20), QTime(10, 0), Qt::UTC);
  const QDateTime first = began.addSecs(-60 * minutesBefore);
  const QString id = ArchiveCard(model, vexa::GenerateCard(model, 3, vexa::Eol::CrLf), began);
  Result r = RunCli({"archive", "set", id, "--start", first.toString(Qt::ISODate), "--interval", interval});
  QVERIFY2(r.status == 0, r.err.constData());
  const QJsonObject listed = List()[0].toObject();
  QCOMPARE(listed["recorded"].toInt(-1), recorded);
  QCOMPARE(listed["first_sample"].toString(), first.toString(Qt::ISODate).replace("Z", "+00:00"));

  QStringList args = {"archive", "export", id, "--csv", Path("dated.csv"), "-o", Path("dated.txt")};
  if (all)
    args << "--all";
  r = RunCli(args);
  QVERIFY2(r.status == 0, r.err.constData());
  QVERIFY2(said.isEmpty() ? r.err.isEmpty() : r.err.contains(said), r.err.constData());
  const QList<QByteArray> csv = CrLfLines(ReadFile(Path("dated.csv")));
  QCOMPARE(csv.size(), rows + 1);
  QVERIFY(csv[0].startsWith("sample,time,"));
  const qint64 step = listed["interval"].toInteger() * 1000;
  for (int row = 1; row <= rows; ++row) {
    const QList<QByteArray> fields = csv[row].split(',');
    QCOMPARE(fields[0], QByteArray::number(row));
    if (row <= recorded) {
      const QDateTime at = QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODate);
      QCOMPARE(at.toMSecsSinceEpoch(), first.toMSecsSinceEpoch() + (row - 1) * step);
      QVERIFY(at < began);
    } else {
      QVERIFY(fields[1].isEmpty());
    }
  }
  // The data file is the design's, whole.
  QCOMPARE(ReadFile(Path("dated.txt")).count("\r\n"), dz::FindModel(model)->Samples);
}

// The summary counts local calendar days: hourly samples across the spring
// change give a day of 23 samples and 23 hours. Its numbers are those a
// spreadsheet gets from the data file: the radiation logger's daily light
// integral, the temperature loggers' degree-days above a base.
void TestCliArchive::whatEachDayHeld()
{
  qputenv("TZ", "Europe/Madrid");
  const auto restore = qScopeGuard([] { qputenv("TZ", "UTC"); });
  const QDateTime began(QDate(2026, 5, 20), QTime(10, 0), Qt::UTC);
  const std::string par = vexa::GenerateCard(4, 5, vexa::Eol::CrLf);
  const QString radiation = ArchiveCard(4, par, began);
  Result r = RunCli({"archive", "summary", radiation, "--json"});
  QCOMPARE(r.status, 1);
  QVERIFY2(r.err.contains("is not dated") && r.err.contains("archive set " + radiation.toUtf8()), r.err.constData());
  QCOMPARE(RunCli({"archive", "summary", radiation, "--base", "10"}).status, 2); // not a temperature

  QCOMPARE(RunCli({"archive", "set", radiation, "--start", "2026-03-28T12:00", "--interval", "1h"}).status, 0);
  r = RunCli({"archive", "summary", radiation, "--json"});
  QVERIFY2(r.status == 0, r.err.constData());
  const QJsonArray days = QJsonDocument::fromJson(r.out)["days"].toArray();
  QCOMPARE(days[0]["date"].toString(), QStringLiteral("2026-03-28"));
  QCOMPARE(days[0]["samples"].toInt(), 12);
  QCOMPARE(days[1]["date"].toString(), QStringLiteral("2026-03-29"));
  QCOMPARE(days[1]["samples"].toInt(), 23);
  QCOMPARE(days[1]["hours"].toDouble(), 23.0);
  int samples = 0;
  for (int i = 0; i < days.size(); ++i) {
    samples += days[i]["samples"].toInt();
    if (i > 0)
      QCOMPARE(QDate::fromString(days[i]["date"].toString(), Qt::ISODate),
               QDate::fromString(days[i - 1]["date"].toString(), Qt::ISODate).addDays(1));
  }
  QCOMPARE(samples, 1000); // the card's capacity, all before the download

  // By hand, from the data file: 2026-03-29 is rows 13 to 35.
  const QString stream = StreamFile("par.stream", par);
  const QList<QByteArray> values = CrLfLines(RunCli({"convert", "--model", "4", "--constant", "1,5", stream}).out);
  double sum = 0;
  double low = 1e9;
  double high = -1e9;
  for (int row = 13; row <= 35; ++row) {
    const double v = QByteArray(values[row - 1]).replace(',', '.').toDouble();
    sum += v;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  QVERIFY(sum > 0);
  const QJsonObject channel = days[1]["channels"].toArray()[0].toObject();
  QCOMPARE(channel["name"].toString(), QStringLiteral("CANAL1"));
  QCOMPARE(channel["min"].toDouble(), low);
  QCOMPARE(channel["max"].toDouble(), high);
  QVERIFY(qAbs(channel["mean"].toDouble() - sum / 23) <= 0.0005);
  QVERIFY(qAbs(days[1]["dli"].toDouble() - sum * 3600 / 1e6) <= 0.0005);
  QVERIFY(!channel.contains("degree_days"));

  // Degree-days above 10 °C of a two-channel card sampled every 30 minutes.
  const std::string temps = vexa::GenerateCard(0, 6, vexa::Eol::CrLf);
  const QString temperature = ArchiveCard(0, temps, began);
  QCOMPARE(RunCli({"archive", "set", temperature, "--start", "2026-05-01T00:00", "--interval", "30m"}).status, 0);
  r = RunCli({"archive", "summary", temperature, "--base", "10", "--csv", Path("days.csv"), "--decimal", "comma"});
  QVERIFY2(r.status == 0 && r.out.isEmpty(), r.err.constData());
  const QList<QByteArray> csv = CrLfLines(ReadFile(Path("days.csv")));
  QCOMPARE(csv[0], QByteArray("date;samples;hours;CANAL1_min;CANAL1_mean;CANAL1_max;CANAL1_degree_days;"
                              "CANAL2_min;CANAL2_mean;CANAL2_max;CANAL2_degree_days"));
  const QList<QByteArray> temperatures = CrLfLines(RunCli({"convert", "--model", "0", StreamFile("t.stream", temps)}).out);
  double above = 0;
  for (int row = 1; row <= 48; ++row)
    above += std::max(0.0, QByteArray(temperatures[row - 1].split(' ')[0]).replace(',', '.').toDouble() - 10);
  const QList<QByteArray> first = csv[1].split(';');
  QCOMPARE(first[0], QByteArray("2026-05-01"));
  QCOMPARE(first[1], QByteArray("48"));
  QCOMPARE(first[2], QByteArray("24"));
  QVERIFY2(qAbs(QByteArray(first[6]).replace(',', '.').toDouble() - above * 1800 / 86400) <= 0.0005, first[6].constData());
  QCOMPARE(csv.size(), 1 + 11); // 500 samples of 30 minutes: 10 days and 10 hours
}

QTEST_GUILESS_MAIN(TestCliArchive)
#include "tst_cli_archive.moc"

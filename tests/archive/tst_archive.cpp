// The archive of downloads on its own: what a recorder writes while bytes
// arrive and when it ends, how a download whose program is gone reads, and
// what happens to a file that is no archive or cannot be written.

#include "archive.h"
#include "models.h"
#include "recorder.h"
#include "sqlite.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <mutex>

using namespace dz;

namespace {

DownloadStart Start(const std::string& port, int model)
{
  DownloadStart s;
  s.From = Source::CommandLine;
  s.Port = port;
  s.Line.Baud = 1200;
  s.Model = model;
  s.Trigger = model == 2 || model == 3 ? "7" : "1";
  return s;
}

// The notices a recorder gave, from its thread.
struct Notices {
  std::mutex Mutex;
  std::vector<ArchiveNotice> List;
  ArchiveRecorder::NoticeHandler Handler()
  {
    return [this](const ArchiveNotice& n) {
      const std::lock_guard lock(Mutex);
      List.push_back(n);
    };
  }
  std::vector<ArchiveNotice> Copy()
  {
    const std::lock_guard lock(Mutex);
    return List;
  }
};

std::optional<ArchivedDownload> Entry(const std::string& path, std::int64_t id)
{
  const auto archive = Archive::OpenExisting(path);
  return archive ? archive->Find(id) : std::nullopt;
}

QByteArray ReadFile(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestArchive : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  std::string Path(const QString& name) { return m_dir.filePath(name).toStdString(); }

private slots:
  void initTestCase() { QVERIFY(m_dir.isValid()); }

  // Two downloads at once: each one's bytes reach the archive in batches
  // while it runs (and it reads as running, not interrupted), then whole,
  // with its line count and how it ended.
  void recordersWriteAsBytesArrive()
  {
    const std::string path = Path("live/archive.sqlite");
    Notices notices;
    ArchiveRecorder a(path, Start("/dev/ttyUSB0", 4), notices.Handler());
    ArchiveRecorder b(path, Start("/dev/ttyUSB1", 2), notices.Handler());
    // A CR LF split across two reads is one line break.
    a.Append("12\r");
    a.Append("\n3\r\n4");
    // Many lines in one read, as a fast line brings them.
    std::string lines;
    while (lines.size() < 5000)
      lines += "7777\n";
    b.Append(lines + "\r");
    QTRY_VERIFY_WITH_TIMEOUT(a.Id() != 0 && b.Id() != 0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(Entry(path, a.Id())->Bytes == 8 && Entry(path, b.Id())->Bytes == 5001, 20000);
    for (const std::int64_t id : {a.Id(), b.Id()}) {
      QCOMPARE(Entry(path, id)->End, EndReason::Running);
      QVERIFY(Entry(path, id)->Ended.empty());
    }
    QCOMPARE(Entry(path, a.Id())->Lines, 3);

    a.Append("5\r\n");
    a.NoteLineLost();
    a.Finish({EndReason::Closed, 4, "1,5", "3"});
    b.Finish({EndReason::FullCard, 3, std::nullopt, std::nullopt});
    a.Wait();
    b.Wait();
    for (const ArchiveNotice& n : notices.Copy())
      QFAIL(n.Detail.c_str());

    const auto archive = Archive::OpenExisting(path);
    const std::vector<ArchivedDownload> list = archive->List();
    QCOMPARE(list.size(), std::size_t(2));
    const ArchivedDownload& da = list[0].Id == a.Id() ? list[0] : list[1];
    const ArchivedDownload& db = list[0].Id == a.Id() ? list[1] : list[0];
    QCOMPARE(archive->Raw(a.Id()), std::string("12\r\n3\r\n45\r\n"));
    QCOMPARE(da.Bytes, 11);
    QCOMPARE(da.Lines, 3);
    QCOMPARE(da.End, EndReason::LineLost);
    QCOMPARE(da.Model, 4);
    QCOMPARE(da.ModelText, std::string(FindModel(4)->SelectorText));
    QCOMPARE(da.Constant.value_or("-"), std::string("1,5"));
    QCOMPARE(da.Offset.value_or("-"), std::string("3"));
    QCOMPARE(da.Port, std::string("/dev/ttyUSB0"));
    QCOMPARE(da.Trigger, std::string("1"));
    QVERIFY(!da.Ended.empty());
    // The model it was converted with, not the one it was opened with.
    QCOMPARE(db.Model, 3);
    QCOMPARE(db.End, EndReason::FullCard);
    QCOMPARE(archive->Raw(b.Id()), lines + "\r");

    SqliteDb sql(path, SQLITE_OPEN_READONLY);
    QCOMPARE(sql.QueryText("PRAGMA journal_mode"), std::string("wal"));
    QCOMPARE(sql.QueryInt("PRAGMA user_version"), 2);
    QCOMPARE(sql.QueryInt("PRAGMA auto_vacuum"), 2); // incremental: deletes give space back
  }

  // A download whose lock no program holds was left by a program that died:
  // it reads as interrupted, ended at its last batch, and the next writer
  // says so for good. One still held reads as running and is not deleted.
  void liveOrInterrupted()
  {
    const std::string path = Path("locks/archive.sqlite");
    std::vector<ArchiveNotice> notices;
    const auto archive = Archive::OpenForWriting(path, notices);
    QVERIFY(notices.empty());
    const Stamp then = StampAt(1714550400000); // 2024-05-01
    const std::int64_t dead = archive->Begin(Start("COM1", 0), then, "12345-gone");
    archive->Add(dead, "1\r\n2\r\n", 6, 2, then);
    // Two more that ended, so that a prune and a delete each take several.
    std::int64_t ended[2];
    for (std::int64_t& id : ended) {
      id = archive->Begin(Start("COM3", 8), then, "");
      archive->Add(id, "3\r\n", 3, 1, then);
      archive->End(id, {EndReason::Idle, 8, std::nullopt, std::nullopt}, then);
    }
    auto lock = std::make_unique<LiveLock>(path);
    const std::int64_t live = archive->Begin(Start("COM2", 0), then, lock->Name());

    auto find = [&](std::int64_t id) { return *archive->Find(id); };
    QCOMPARE(find(dead).End, EndReason::Interrupted);
    QCOMPARE(find(dead).Ended, then.Iso);
    QCOMPARE(find(dead).Bytes, 6);
    QCOMPARE(find(live).End, EndReason::Running);
    QVERIFY_THROWS_EXCEPTION(ArchiveError, archive->Delete(live));
    int running = 0;
    QCOMPARE(archive->Prune(then.Ms, running), 0);
    QCOMPARE(archive->Prune(then.Ms + 1, running), 3);
    QCOMPARE(running, 1);
    for (const std::int64_t id : {dead, ended[0], ended[1]}) {
      QVERIFY(!archive->Find(id));
      QCOMPARE(archive->Raw(id), std::string());
    }
    for (std::int64_t& id : ended)
      id = archive->Begin(Start("COM3", 8), then, "");
    QVERIFY(archive->Delete(ended[0]));
    QVERIFY(archive->Delete(ended[1]));
    QCOMPARE(archive->List().size(), std::size_t(1));

    archive->MarkInterrupted();
    QCOMPARE(find(live).End, EndReason::Running);
    lock.reset(); // the program dies
    QCOMPARE(find(live).End, EndReason::Interrupted);
    archive->MarkInterrupted();
    SqliteDb db(path, SQLITE_OPEN_READONLY);
    QCOMPARE(db.QueryText("SELECT end_reason FROM downloads"), std::string("interrupted"));
    QVERIFY(archive->Delete(live));
    QVERIFY(!archive->Delete(live));
  }

  // A file that is no archive is kept under a new name, with its journal, and
  // a new archive records the download; one made by a newer program is left
  // alone and the download goes unarchived, said once.
  void fileThatIsNoArchive_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("another program's database") << "foreign";
  }
  void fileThatIsNoArchive()
  {
    QFETCH(QString, kind);
    const QString folder = m_dir.filePath("aside-" + kind);
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/archive.sqlite";
    if (kind == "garbage") {
      WriteFile(path, QByteArray("not a database, but the user's bytes ").repeated(200));
      WriteFile(path + "-wal", "old journal");
    } else {
      SqliteDb(path.toStdString(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).Exec("CREATE TABLE t(x)");
    }
    const QByteArray before = ReadFile(path);

    Notices notices;
    {
      ArchiveRecorder r(path.toStdString(), Start("COM1", 0), notices.Handler());
      r.Append("1\r\n");
    }
    const std::vector<ArchiveNotice> told = notices.Copy();
    QCOMPARE(told.size(), std::size_t(1));
    QCOMPARE(told[0].What, ArchiveNotice::MovedAside);
    const QString aside = QString::fromStdString(told[0].MovedTo);
    QVERIFY2(aside.startsWith(folder + "/archive.unreadable-") && aside.endsWith(".sqlite"), qPrintable(aside));
    QCOMPARE(ReadFile(aside), before);
    if (kind == "garbage") {
      QCOMPARE(ReadFile(aside + "-wal"), QByteArray("old journal"));
    }
    const auto list = Archive::OpenExisting(path.toStdString())->List();
    QCOMPARE(list.size(), std::size_t(1));
    QCOMPARE(list[0].Bytes, 3);
    QCOMPARE(list[0].End, EndReason::Quit);
  }

  void archiveThatCannotBeWritten()
  {
    // Newer: a schema this program does not know.
    const QString newer = m_dir.filePath("newer.sqlite");
    SqliteDb(newer.toStdString(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).Exec("PRAGMA user_version = 99");
    const QByteArray before = ReadFile(newer);
    // Unwritable whoever runs the test: its folder is a plain file.
    WriteFile(m_dir.filePath("plain"), "x");
    const QString unwritable = m_dir.filePath("plain/archive.sqlite");

    for (const QString& path : {newer, unwritable}) {
      Notices notices;
      {
        ArchiveRecorder r(path.toStdString(), Start("COM1", 0), notices.Handler());
        // Several batches fail; it is said once.
        for (int i = 0; i < 3; ++i) {
          r.Append("1\r\n");
          QTest::qWait(int(ArchiveRecorder::kBatchInterval.count()));
        }
      }
      const std::vector<ArchiveNotice> told = notices.Copy();
      QCOMPARE(told.size(), std::size_t(1));
      QCOMPARE(told[0].What, ArchiveNotice::CannotWrite);
      QVERIFY(!told[0].Detail.empty());
    }
    QCOMPARE(ReadFile(newer), before);
    QVERIFY_THROWS_EXCEPTION(ArchiveError, Archive::OpenExisting(newer.toStdString()));
  }

  // An archive of the first version, as programs before dating wrote it,
  // is brought up to date in place: its downloads and bytes stay, none is
  // dated, and a timing can be set and cleared.
  void firstVersionArchiveMigrates()
  {
    const std::string path = Path("first-version.sqlite");
    {
      SqliteDb db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
      db.Exec("PRAGMA journal_mode = WAL");
      db.Exec("CREATE TABLE downloads (id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL,"
              " source TEXT NOT NULL, started TEXT NOT NULL, started_ms INTEGER NOT NULL, updated TEXT NOT NULL,"
              " ended TEXT, end_reason TEXT, owner TEXT, port TEXT NOT NULL, port_by_id TEXT, baud INTEGER,"
              " data_bits INTEGER, stop_bits TEXT, parity TEXT, flow_control TEXT, model INTEGER, model_text TEXT,"
              " trigger_sent TEXT, rad_constant TEXT, rad_offset TEXT, bytes INTEGER NOT NULL DEFAULT 0,"
              " lines INTEGER NOT NULL DEFAULT 0);"
              "CREATE INDEX downloads_by_start ON downloads(started_ms);"
              "CREATE TABLE chunks (id INTEGER PRIMARY KEY, download INTEGER NOT NULL, data BLOB NOT NULL);"
              "CREATE INDEX chunks_by_download ON chunks(download, id);"
              "INSERT INTO downloads (kind, source, started, started_ms, updated, ended, end_reason, port, baud,"
              " data_bits, stop_bits, parity, flow_control, model, model_text, trigger_sent, bytes, lines)"
              " VALUES ('download', 'window', '2024-05-01T08:00:00+02:00', 1714543200000,"
              " '2024-05-01T08:01:00+02:00', '2024-05-01T08:01:00+02:00', 'closed', 'COM1', 1200, 8, '1', 'none',"
              " 'none', 8, 'x', '1', 6, 2);"
              "INSERT INTO chunks (download, data) VALUES (1, '1\r\n2\r\n');"
              "PRAGMA user_version = 1;");
    }
    const auto archive = Archive::OpenExisting(path);
    QVERIFY(archive);
    const auto before = archive->Find(1);
    QVERIFY(before);
    QCOMPARE(before->Started.Iso, std::string("2024-05-01T08:00:00+02:00"));
    QCOMPARE(before->End, EndReason::Closed);
    QVERIFY(before->FirstSample.empty());
    QCOMPARE(before->IntervalSeconds, 0);
    QCOMPARE(archive->Raw(1), std::string("1\r\n2\r\n"));

    QVERIFY(archive->SetTiming(1, "2024-04-01T08:00:00+02:00", 3600));
    QCOMPARE(archive->Find(1)->FirstSample, std::string("2024-04-01T08:00:00+02:00"));
    QCOMPARE(archive->Find(1)->IntervalSeconds, 3600);
    QVERIFY(!archive->SetTiming(2, "2024-04-01T08:00:00+02:00", 3600));
    // A recorder writes the migrated archive as ever.
    {
      ArchiveRecorder r(path, Start("COM2", 0), {});
      r.Append("7\r\n");
    }
    QCOMPARE(archive->List().size(), std::size_t(2));
    QVERIFY(archive->SetTiming(1, "", 0));
    QVERIFY(archive->Find(1)->FirstSample.empty());
    SqliteDb sql(path, SQLITE_OPEN_READONLY);
    QCOMPARE(sql.QueryInt("PRAGMA user_version"), 2);
  }

  void defaultPathFollowsXdg()
  {
    qputenv("XDG_DATA_HOME", "/data/home");
    QCOMPARE(Archive::DefaultPath(), std::string("/data/home/dedizivi/archive.sqlite"));
    // A relative XDG_DATA_HOME is ignored, as the XDG rules say.
    qputenv("XDG_DATA_HOME", "relative");
    qputenv("HOME", "/home/tecnico");
    QCOMPARE(Archive::DefaultPath(), std::string("/home/tecnico/.local/share/dedizivi/archive.sqlite"));
  }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"

// Files the program writes, killed (SIGKILL) at random moments while they are
// being written: the data file of the main window, the port settings store
// and the command line's output. Every time, the file is exactly the old or
// exactly the new one, and what stays behind beside it is only what the
// writer's own documentation allows.

#include "comport.h"
#include "comsettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

QByteArray ReadFile(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Same as hard_writer's Content().
QByteArray Content(int n, int size)
{
  QByteArray s;
  for (int line = 0; s.size() < size; ++line)
    s += QByteArray::number(n) + " " + QByteArray::number(line * 7 + n) + " " + QByteArray(20, n ? 'b' : 'a') + "\r\n";
  s.resize(size);
  return s;
}

// Starts a writer, lets it run a random while once it has said "writing",
// then kills it.
void RunAndKill(QProcess& p, const QString& program, const QStringList& args, int maxDelayMs)
{
  p.setProgram(program);
  p.setArguments(args);
  p.start();
  if (!p.waitForStarted(10000))
    return;
  if (args.value(0) != QStringLiteral("convert")) {
    while (!p.canReadLine() && p.state() == QProcess::Running)
      p.waitForReadyRead(10000);
  }
  QThread::usleep(QRandomGenerator::global()->bounded(maxDelayMs * 1000 + 1));
  ::kill(pid_t(p.processId()), SIGKILL);
  p.waitForFinished(10000);
}

QStringList Others(const QString& dir, const QString& keep)
{
  QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
  names.removeAll(keep);
  return names;
}

// Files beside `keep` other than the save's own temporary ("<keep>.XXXXXX", which
// a kill between linking it and renaming it over the file may leave behind);
// those are removed and counted.
QStringList Strangers(const QString& dir, const QString& keep, int& strays)
{
  QStringList strangers;
  for (const QString& name : Others(dir, keep)) {
    if (name.startsWith(keep + QLatin1Char('.'))) {
      ++strays;
      QFile::remove(QDir(dir).filePath(name));
    } else {
      strangers << name;
    }
  }
  return strangers;
}

} // namespace

class TestInterruptedWrite : public QObject {
  Q_OBJECT

private slots:
  void dataFileIsOldOrNew()
  {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("datos.txt"));
    const int size = 2 << 20;
    const QByteArray contents[2] = {Content(0, size), Content(1, size)};
    QVERIFY(WriteFile(path, contents[0]));
    int seen[2] = {0, 0};
    int strays = 0;
    for (int round = 0; round < 30; ++round) {
      QProcess writer;
      RunAndKill(writer, QStringLiteral(DZ_WRITER_PATH), {"export", path, QString::number(size)}, 400);
      const QByteArray now = ReadFile(path);
      QVERIFY2(now == contents[0] || now == contents[1],
               qPrintable(QStringLiteral("round %1: a mix of %2 bytes").arg(round).arg(now.size())));
      ++seen[now == contents[1]];
      // A kill inside the write leaves nothing beside the data file but,
      // rarely, the save's own temporary.
      QCOMPARE(Strangers(dir.path(), QStringLiteral("datos.txt"), strays), QStringList());
    }
    qInfo("data file: old %d times, new %d times, %d temporary files left behind", seen[0], seen[1], strays);
  }

  void settingsStoreIsOldOrNew()
  {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("config"));
    const QString store = config + QStringLiteral("/dedizivi/HKEY_LOCAL_MACHINE.reg");
    QVERIFY(QDir().mkpath(config + QStringLiteral("/dedizivi")));
    // Other keys make the store large, so that kills land inside its write.
    QByteArray other = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\other]\r\n";
    for (int i = 0; i < 2000; ++i)
      other += "\"value" + QByteArray::number(i) + "\"=\"" + QByteArray(20, char('a' + i % 26)) + "\"\r\n";

    // The two stores the writer alternates between, made by the same code here.
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    QByteArray expected[2];
    for (int n = 0; n < 2; ++n) {
      QVERIFY(WriteFile(store, other));
      TComPort port;
      port.SetName("ComPort");
      port.SetPort(n ? "/dev/ttyUSB1" : "/dev/ttyUSB0");
      port.SaveSettings(ssRegistry, "HKEY_LOCAL_MACHINE\\Software\\vexa");
      expected[n] = ReadFile(store);
    }
    QVERIFY(expected[0] != expected[1]);
    QVERIFY(expected[0].size() > other.size());

    int seen[2] = {0, 0};
    int strays = 0;
    for (int round = 0; round < 30; ++round) {
      QProcess writer;
      // A save reads, parses and syncs the store: give it time for a few.
      RunAndKill(writer, QStringLiteral(DZ_WRITER_PATH), {"store", config}, 1500);
      const QByteArray now = ReadFile(store);
      QVERIFY2(now == expected[0] || now == expected[1],
               qPrintable(QStringLiteral("round %1: a mix of %2 bytes").arg(round).arg(now.size())));
      ++seen[now == expected[1]];
      QCOMPARE(Strangers(config + QStringLiteral("/dedizivi"), QStringLiteral("HKEY_LOCAL_MACHINE.reg"), strays),
               QStringList());
      // And the program reads it back.
      TComPort port;
      port.SetName("ComPort");
      port.RestoreSettings(ssRegistry, "HKEY_LOCAL_MACHINE\\Software\\vexa");
      QVERIFY(port.Port() == "/dev/ttyUSB0" || port.Port() == "/dev/ttyUSB1");
    }
    if (saved.isNull())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", saved);
    qInfo("settings store: old %d times, new %d times, %d temporary files left behind", seen[0], seen[1], strays);
  }

  void commandLineOutputIsOldOrNew()
  {
    QTemporaryDir dir;
    // A seven-channel card: the largest output the command line writes.
    QByteArray card;
    for (int n = 0; n < 1171; ++n)
      card += QByteArray("010731").repeated(7) + "\r\n";
    const QString input = dir.filePath(QStringLiteral("card.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(WriteFile(input, card));
    QProcess once;
    once.start(QStringLiteral(DZ_CLI_PATH), {"convert", "--model", "3", input, "-o", out});
    QVERIFY(once.waitForFinished(30000));
    QCOMPARE(once.exitCode(), 0);
    const QByteArray fresh = ReadFile(out);
    QVERIFY(fresh.size() > 10000);
    const QByteArray old = "an older file\r\n";

    int seen[2] = {0, 0};
    int strays = 0;
    for (int round = 0; round < 30; ++round) {
      QVERIFY(WriteFile(out, old));
      QProcess cli;
      RunAndKill(cli, QStringLiteral(DZ_CLI_PATH), {"convert", "--model", "3", input, "-o", out}, 60);
      const QByteArray now = ReadFile(out);
      QVERIFY2(now == old || now == fresh,
               qPrintable(QStringLiteral("round %1: a mix of %2 bytes").arg(round).arg(now.size())));
      ++seen[now == fresh];
      // Its temporary file ("<name>.tmp-XXXXXX") may stay when the kill
      // lands between its creation and the rename; nothing else may.
      for (const QString& name : Others(dir.path(), QStringLiteral("out.txt"))) {
        if (name == QStringLiteral("card.txt"))
          continue;
        QVERIFY2(name.startsWith(QStringLiteral("out.txt.tmp-")) && name.size() == 18, qPrintable(name));
        ++strays;
        QFile::remove(dir.filePath(name));
      }
    }
    qInfo("command line: old %d times, new %d times, %d temporary files left behind", seen[0], seen[1], strays);
  }
};

QTEST_GUILESS_MAIN(TestInterruptedWrite)
#include "tst_hard_interrupted_write.moc"

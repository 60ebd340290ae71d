// dedizivi-cli's CSV output (layout, time stamps, both decimal styles) and
// the ports listing with its diagnosis of a port held by another process.

#include "clitest.h"
#include "testsupport.h"

#include "card.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

using namespace clitest;

class TestCliOutputs : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void csvFollowsTheDataFile_data();
  void csvFollowsTheDataFile();
  void csvTimeStamps_data();
  void csvTimeStamps();
  void csvUsageErrors_data();
  void csvUsageErrors();
  void portsListsAndDiagnoses();

private:
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  QTemporaryDir m_dir;
};

void TestCliOutputs::initTestCase()
{
  QVERIFY(m_dir.isValid());
  for (int model : {0, 2, 7})
    QVERIFY(WriteFile(Path(QStringLiteral("m%1.raw").arg(model)), Bytes(vexa::GenerateCard(model, 4, vexa::Eol::CrLf))));
}

void TestCliOutputs::csvFollowsTheDataFile_data()
{
  QTest::addColumn<int>("model");
  QTest::addColumn<QString>("decimal");
  QTest::addColumn<QByteArray>("header");
  QTest::newRow("two channels, point") << 0 << "point" << QByteArray("sample,CANAL1,CANAL2");
  QTest::newRow("two channels, comma") << 0 << "comma" << QByteArray("sample;CANAL1;CANAL2");
  QTest::newRow("seven channels, point")
    << 2 << "point" << QByteArray("sample,REF,CANAL1,CANAL2,CANAL3,CANAL4,CANAL5,CANAL6");
  QTest::newRow("seven channels, comma")
    << 2 << "comma" << QByteArray("sample;REF;CANAL1;CANAL2;CANAL3;CANAL4;CANAL5;CANAL6");
  QTest::newRow("millivolts, point") << 7 << "point" << QByteArray("sample,CANAL1");
}

// Each CSV row is the data file's row: same cells, only the decimal comma
// turned into a point in the point style, and the sample number in front.
void TestCliOutputs::csvFollowsTheDataFile()
{
  QFETCH(int, model);
  QFETCH(QString, decimal);
  QFETCH(QByteArray, header);
  const QString raw = Path(QStringLiteral("m%1.raw").arg(model));
  const QString csvPath = Path(QStringLiteral("m%1-%2.csv").arg(model).arg(decimal));
  const QString dataPath = Path(QStringLiteral("m%1-%2.txt").arg(model).arg(decimal));
  const Result r = RunCli({"convert", "--model", QString::number(model), raw, "-o", dataPath, "--csv", csvPath,
                           "--decimal", decimal});
  QVERIFY2(r.status == 0, r.err.constData());
  QVERIFY(r.out.isEmpty());

  const QByteArray csvText = ReadFile(csvPath);
  QVERIFY(csvText.endsWith("\r\n"));
  const QList<QByteArray> csv = CrLfLines(csvText);
  const QList<QByteArray> data = CrLfLines(ReadFile(dataPath));
  QVERIFY(!data.isEmpty());
  QCOMPARE(csv.size(), data.size() + 1);
  QCOMPARE(csv[0], header);
  const char sep = decimal == "point" ? ',' : ';';
  bool sawFraction = false;
  for (int i = 0; i < data.size(); ++i) {
    QByteArray expected = data[i];
    if (decimal == "point")
      expected.replace(',', '.');
    expected.replace(' ', sep);
    QCOMPARE(csv[i + 1], QByteArray::number(i + 1) + sep + expected);
    sawFraction = sawFraction || data[i].contains(',');
  }
  // Millivolts have no decimals; the others must have exercised the separator.
  QCOMPARE(sawFraction, model != 7);
}

void TestCliOutputs::csvTimeStamps_data()
{
  QTest::addColumn<QByteArray>("zone"); // TZ of the command
  QTest::addColumn<QString>("start");
  QTest::addColumn<QString>("interval");
  QTest::addColumn<int>("row");
  QTest::addColumn<QByteArray>("time");
  QTest::newRow("16 s") << QByteArray("UTC") << "2024-05-01T08:00:00" << "16s" << 4
                        << QByteArray("2024-05-01T08:00:48+00:00");
  QTest::newRow("15 s over midnight, an offset's time shown locally")
    << QByteArray("Europe/Madrid") << "2024-05-01T23:59:30+02:00" << "15s" << 3
    << QByteArray("2024-05-02T00:00:00+02:00");
  QTest::newRow("the same on a machine in UTC") << QByteArray("UTC") << "2024-05-01T23:59:30+02:00" << "15s" << 3
                                                << QByteArray("2024-05-01T22:00:00+00:00");
  QTest::newRow("1 min, blank for T") << QByteArray("UTC") << "2024-02-28 23:00" << "1min" << 121
                                      << QByteArray("2024-02-29T01:00:00+00:00");
  QTest::newRow("30 m in UTC") << QByteArray("UTC") << "2024-12-31T12:00:00Z" << "30m" << 25
                               << QByteArray("2025-01-01T00:00:00+00:00");
  // A day is 24 samples of real time: across the spring change the clock
  // reads an hour more, across the autumn one an hour less.
  QTest::newRow("1 h across the clocks put forward")
    << QByteArray("Europe/Madrid") << "2024-03-30T12:00:00" << "1h" << 25 << QByteArray("2024-03-31T13:00:00+02:00");
  QTest::newRow("1 h across the clocks put back")
    << QByteArray("Europe/Madrid") << "2026-10-24T12:00:00" << "1h" << 26 << QByteArray("2026-10-25T12:00:00+01:00");
  QTest::newRow("the hour that happens twice: its first time, then its second")
    << QByteArray("Europe/Madrid") << "2026-10-25T02:30:00" << "30m" << 3 << QByteArray("2026-10-25T02:30:00+01:00");
  QTest::newRow("60 m is 1 h") << QByteArray("UTC") << "2024-03-30T12:00:00" << "60m" << 2
                               << QByteArray("2024-03-30T13:00:00+00:00");
  QTest::newRow("any duration") << QByteArray("UTC") << "2024-01-01T00:00:00" << "1h30m" << 3
                                << QByteArray("2024-01-01T03:00:00+00:00");
}

void TestCliOutputs::csvTimeStamps()
{
  QFETCH(QByteArray, zone);
  QFETCH(QString, start);
  QFETCH(QString, interval);
  QFETCH(int, row);
  QFETCH(QByteArray, time);
  qputenv("TZ", zone);
  for (const QString& decimal : {QStringLiteral("point"), QStringLiteral("comma")}) {
    const QString csvPath = Path("times.csv");
    QFile::remove(csvPath);
    const Result r = RunCli({"convert", "--model", "0", Path("m0.raw"), "--csv", csvPath, "--decimal", decimal,
                             "--start", start, "--interval", interval});
    QVERIFY2(r.status == 0, r.err.constData());
    QVERIFY(r.out.isEmpty()); // --csv alone: no data file on standard output
    const QList<QByteArray> csv = CrLfLines(ReadFile(csvPath));
    QCOMPARE(csv.size(), 513);
    const char sep = decimal == "point" ? ',' : ';';
    QCOMPARE(csv[0], QByteArray("sample") + sep + "time" + sep + "CANAL1" + sep + "CANAL2");
    const QList<QByteArray> fields = csv[row].split(sep);
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields[0], QByteArray::number(row));
    QCOMPARE(fields[1], time);
    // Every time one interval of real time after the one before: none repeats or goes missing.
    const qint64 step = QDateTime::fromString(QString::fromLatin1(csv[2].split(sep)[1]), Qt::ISODate)
                          .msecsTo(QDateTime::fromString(QString::fromLatin1(csv[3].split(sep)[1]), Qt::ISODate));
    QVERIFY(step > 0);
    for (int i = 2; i < csv.size(); ++i) {
      const auto at = [&](int line) {
        return QDateTime::fromString(QString::fromLatin1(csv[line].split(sep)[1]), Qt::ISODate).toMSecsSinceEpoch();
      };
      QCOMPARE(at(i) - at(i - 1), step);
    }
  }
  qputenv("TZ", "UTC");
}

void TestCliOutputs::csvUsageErrors_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QByteArray>("message");
  QTest::newRow("start alone") << QStringList{"--csv", "x.csv", "--start", "2024-05-01T08:00:00"}
                               << QByteArray("both --start");
  QTest::newRow("interval alone") << QStringList{"--csv", "x.csv", "--interval", "1m"} << QByteArray("both --start");
  QTest::newRow("zero interval") << QStringList{"--csv", "x.csv", "--start", "2024-05-01T08:00:00", "--interval", "0s"}
                                 << QByteArray("invalid --interval '0s'");
  QTest::newRow("interval without unit")
    << QStringList{"--csv", "x.csv", "--start", "2024-05-01T08:00:00", "--interval", "30"}
    << QByteArray("invalid --interval");
  QTest::newRow("bad start") << QStringList{"--csv", "x.csv", "--start", "yesterday", "--interval", "1m"}
                             << QByteArray("invalid --start 'yesterday'");
  QTest::newRow("date only") << QStringList{"--csv", "x.csv", "--start", "2024-05-01", "--interval", "1m"}
                             << QByteArray("invalid --start");
  QTest::newRow("a local time the clocks skip")
    << QStringList{"--csv", "x.csv", "--start", "2026-03-29T02:30:00", "--interval", "1h"}
    << QByteArray("that local time does not exist here");
  QTest::newRow("the 30th of February")
    << QStringList{"--csv", "x.csv", "--start", "2026-02-30T08:00:00", "--interval", "1h"}
    << QByteArray("invalid --start");
  QTest::newRow("bad decimal") << QStringList{"--csv", "x.csv", "--decimal", "semicolon"}
                               << QByteArray("invalid --decimal 'semicolon'");
  QTest::newRow("decimal without csv") << QStringList{"--decimal", "comma"} << QByteArray("give --csv");
  QTest::newRow("both to standard output") << QStringList{"-o", "-", "--csv", "-"}
                                           << QByteArray("both go to standard output");
}

void TestCliOutputs::csvUsageErrors()
{
  QFETCH(QStringList, args);
  QFETCH(QByteArray, message);
  qputenv("TZ", "Europe/Madrid");
  const Result r = RunCli(QStringList{"convert", "--model", "0", Path("m0.raw")} + args);
  qputenv("TZ", "UTC");
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.contains(message), r.err.constData());
  QVERIFY(r.out.isEmpty());
  QVERIFY(!QFile::exists("x.csv"));
}

// The simulator's port is listed under the name the setup dialog shows; a
// process holding it is named with its pid.
void TestCliOutputs::portsListsAndDiagnoses()
{
  dztest::Simulator sim;
  const QString device = sim.Start({"--model", "0", "--fast"});
  QVERIFY(!device.isEmpty());
  const QByteArray link = QByteArray(qgetenv("XDG_RUNTIME_DIR")) + "/dedizivi-ports/vexa-logger-sim-" +
                          QByteArray::number(sim.Process().processId());

  Result r = RunCli({"ports", "--names"});
  QCOMPARE(r.status, 0);
  QVERIFY2(CrLfLines(r.out).contains(link), r.out.constData());

  const auto block = [&](const QByteArray& out) {
    const qsizetype at = out.indexOf(link + "\n");
    if (at < 0)
      return QByteArray();
    qsizetype end = out.indexOf("\n/", at + 1);
    if (end < 0)
      end = out.indexOf("\nservices:", at);
    return out.mid(at, end - at);
  };
  const QByteArray me = "pid " + QByteArray::number(QCoreApplication::applicationPid()) + " (";

  r = RunCli({"ports"});
  QCOMPARE(r.status, 0);
  QByteArray mine = block(r.out);
  QVERIFY2(mine.contains("device:     " + device.toUtf8()), r.out.constData());
  QVERIFY2(mine.contains("read/write: yes"), mine.constData());
  QVERIFY2(!mine.contains(me), mine.constData());
  QVERIFY(r.out.contains("services: "));

  const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  QVERIFY(fd >= 0);
  r = RunCli({"ports"});
  ::close(fd);
  QCOMPARE(r.status, 0);
  mine = block(r.out);
  QVERIFY2(mine.contains(me + "tst_cli_outputs)"), mine.constData());
}

QTEST_GUILESS_MAIN(TestCliOutputs)
#include "tst_cli_outputs.moc"

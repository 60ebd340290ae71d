// A short soak: 200 open / write trigger / receive / close cycles against the
// logger simulator leave no file descriptor and no thread behind. Counts
// only; the memory figures are printed for the record.

#include "comport.h"
#include "hardsupport.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

class TestSoak : public QObject {
  Q_OBJECT

  // One cycle; false when the data did not flow.
  static bool Cycle(TComPort& port, qsizetype& received)
  {
    received = 0;
    port.OpenPort();
    port.WriteText("1");
    QDeadlineTimer patience(30000);
    while (received < 2000 && !patience.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    port.ClosePort();
    return received >= 2000;
  }

private slots:
  void cyclesLeaveNothingBehind()
  {
    dztest::Simulator sim;
    const QString device = sim.Start({"--model", "8", "--fast"});
    QVERIFY(!device.isEmpty());
    TComPort port;
    port.SetPort(device.toStdString());
    qsizetype received = 0;
    port.OnRxChar = [&](TCustomComPort* sender, int count) {
      std::string text;
      sender->ReadText(text, count);
      received += qsizetype(text.size());
    };

    // The first cycles create what lives for the whole run (Qt's own threads).
    for (int i = 0; i < 5; ++i)
      QVERIFY(Cycle(port, received));
    const int fds = dzhard::OpenFdCount();
    const int threads = dzhard::ThreadCount();
    const long rss = dzhard::ResidentKiB();
    for (int i = 0; i < 200; ++i) {
      QVERIFY2(Cycle(port, received), qPrintable(QStringLiteral("no data in cycle %1").arg(i)));
      if (i % 50 == 49) {
        QCOMPARE(dzhard::OpenFdCount(), fds);
        QCOMPARE(dzhard::ThreadCount(), threads);
      }
    }
    qInfo("200 cycles: descriptors %d -> %d, threads %d -> %d, resident %ld -> %ld KiB", fds, dzhard::OpenFdCount(),
          threads, dzhard::ThreadCount(), rss, dzhard::ResidentKiB());
  }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_hard_soak.moc"

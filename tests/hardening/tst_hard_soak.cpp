// A short soak: 200 open / write trigger / receive / close cycles against the
// logger simulator leave no file descriptor and no thread of the port behind.
// Counts only; the memory figures are printed for the record.

#include "comport.h"
#include "procstate.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

class TestSoak : public QObject {
  Q_OBJECT

  // One cycle; false when the data did not flow or the port's thread did not
  // come and go with it.
  static bool Cycle(TComPort& port, const QString& device, qsizetype& received)
  {
    received = 0;
    port.OpenPort();
    port.WriteText("1");
    QDeadlineTimer patience(60000);
    while (received < 2000 && !patience.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // The data came through the thread, which has named itself by now.
    const bool threadUp = dztest::ThreadCount(dztest::kPortThread) == 1;
    port.ClosePort();
    // A joined thread leaves the system's list a moment after the join returns.
    QDeadlineTimer gone(30000);
    while (dztest::ThreadCount(dztest::kPortThread) != 0 && !gone.hasExpired())
      QThread::msleep(1);
    return threadUp && received >= 2000 && dztest::ThreadCount(dztest::kPortThread) == 0 &&
           dztest::DescriptorsOn(device) == 0;
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

    QVERIFY(Cycle(port, device, received));
    const int fds = dztest::OpenFdCount();
    const long rss = dztest::ResidentKiB();
    for (int i = 0; i < 200; ++i)
      QVERIFY2(Cycle(port, device, received), qPrintable(QStringLiteral("cycle %1").arg(i)));
    // The port's own descriptors are checked in every cycle. The total may grow
    // by what the toolkit opens once for a thread of its own; a leak of the
    // port's (the device, its two wake-up descriptors) would add one or more
    // per cycle, hundreds in all.
    QVERIFY2(dztest::OpenFdCount() - fds < 20,
             qPrintable(QStringLiteral("descriptors %1 -> %2").arg(fds).arg(dztest::OpenFdCount())));
    qInfo("200 cycles: descriptors %d -> %d, port threads %d, resident %ld -> %ld KiB", fds, dztest::OpenFdCount(),
          dztest::ThreadCount(dztest::kPortThread), rss, dztest::ResidentKiB());
  }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_hard_soak.moc"

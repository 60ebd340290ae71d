// The serial engine's failures met from the offscreen main window: a receive
// handler that raises, a trigger whose write times out, a device that refuses
// a line setting, a port held by another process. Each is shown once with its
// own message and the window stays usable: the next download works.

#include "dedizivi.h"
#include "errorbox.h"
#include "forms.h"
#include "startup.h"
#include "mainwindowsupport.h"
#include "testsupport.h"

#include "../serial/ptypair.h"
#include "comport.h"

#include <QComboBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

using dztest::MessageBoxWatcher;
using dztest::Simulator;

namespace {

int WordOf(int n) { return 300 + (n * 11) % 400; }

} // namespace

class TestPortFaults : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;
  QString m_card;

  QString Cell(int col, int row) const
  {
    const dz::GridSource& source = *Form1;
    return QString::fromStdString(source.Grid().Cell(col, row));
  }

  void ExpectIdle()
  {
    QVERIFY(!Form1->ComPort->Connected());
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
  }

  // A full download from a fresh simulator converts every row.
  void DownloadWorks()
  {
    Form1->BitBtn2Click();
    Simulator sim;
    const QString port = sim.Start({"--stream", m_card, "--fast"});
    QVERIFY(!port.isEmpty());
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(8);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 60000);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    ExpectIdle();
    QCOMPARE(Form1->ProgressBar2->value(), 1024);
    QCOMPARE(Cell(1, 1), dztest::Lm35Text(WordOf(1)));
    QCOMPARE(Cell(1, 1024), dztest::Lm35Text(WordOf(1024)));
  }

private slots:
  void initTestCase()
  {
    QVERIFY(m_dir.isValid());
    m_card = m_dir.filePath(QStringLiteral("card.txt"));
    QFile f(m_card);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const std::string card = dztest::OneChannelCard(WordOf);
    f.write(card.data(), qint64(card.size()));
    f.close();
    QVERIFY(dztest::StartProgram());
  }

  void cleanupTestCase() { dz::DestroyProgramWindows(); }

  void init()
  {
    Form1->BitBtn2Click();
    Form1->ComboBox1->setCurrentIndex(-1);
  }

  void cleanup() { dztest::CloseAnyDownload(); }

  void receiveHandlerRaises()
  {
    const TCustomComPort::TRxCharEvent original = Form1->ComPort->OnRxChar;
    int calls = 0;
    Form1->ComPort->OnRxChar = [&](TCustomComPort* sender, int count) {
      ++calls;
      original(sender, count);
      throw std::runtime_error("Receive handler failed");
    };
    Simulator sim;
    const QString port = sim.Start({"--stream", m_card, "--baud", "38400"});
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(8);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("Receive handler failed."));
    // The port stays open and delivers nothing more until it is reopened.
    QVERIFY(Form1->ComPort->Connected());
    const std::string kept = Form1->RichEdit1.Text();
    QVERIFY(!kept.empty());
    QTest::qWait(300);
    QCOMPARE(calls, 1);
    QCOMPARE(Form1->RichEdit1.Text(), kept);

    Form1->ComPort->OnRxChar = original;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    ExpectIdle();
    // What arrived before the failure is converted as far as it goes.
    QTRY_COMPARE(boxes.Texts.size(), 2);
    QVERIFY(boxes.Texts.at(1).endsWith(QStringLiteral("is not a valid integer value.")));
    sim.Stop();
    DownloadWorks();
    QCOMPARE(boxes.Texts.size(), 2);
  }

  void triggerWriteTimesOut()
  {
    // The other end reads nothing and the line's output queue is full, so
    // the trigger cannot leave within the write timeouts.
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    const TCustomComPort::TNotifyEvent original = Form1->ComPort->OnAfterOpen;
    int filler = -1;
    Form1->ComPort->OnAfterOpen = [&](TCustomComPort* sender) {
      original(sender);
      filler = ::open(pty.Path().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      // The kernel moves queued bytes on to the other side's buffer a little
      // later, which makes room again: fill until several passes find none.
      const std::string block(4096, 'x');
      for (int quiet = 0; quiet < 5;) {
        bool wrote = false;
        while (::write(filler, block.data(), block.size()) > 0)
          wrote = true;
        while (::write(filler, "x", 1) > 0)
          wrote = true;
        quiet = wrote ? 0 : quiet + 1;
        QThread::msleep(20);
      }
    };
    Form1->ComPort->SetPort(pty.Path());
    Form1->ComboBox1->setCurrentIndex(8);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    Form1->ComPort->OnAfterOpen = original;
    QVERIFY(filler >= 0);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("WriteFile function failed (win error code: 110)"));
    // The window already shows the open download; the user closes it as usual.
    QVERIFY(Form1->ComPort->Connected());
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Cerrar descarga"));
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    ExpectIdle();
    QTRY_COMPARE(boxes.Texts.size(), 2);
    QCOMPARE(boxes.Texts.at(1), QStringLiteral("'' is not a valid integer value."));
    ::close(filler);
    DownloadWorks();
    QCOMPARE(boxes.Texts.size(), 2);
  }

  void deviceRefusesASetting()
  {
    MessageBoxWatcher boxes;
    Form1->ComboBox1->setCurrentIndex(8);
    // No line settings at all on this device.
    Form1->ComPort->SetPort("/dev/null");
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("SetCommState function failed (win error code: 25)"));
    ExpectIdle();

    // A rate no line can have.
    serialtest::PtyPair pty;
    Form1->ComPort->SetPort(pty.Path());
    Form1->ComPort->SetBaudRate(brCustom);
    Form1->ComPort->SetCustomBaudRate(-1);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 2);
    QCOMPARE(boxes.Texts.at(1), QStringLiteral("SetCommState function failed (win error code: 22)"));
    ExpectIdle();
    QCOMPARE(pty.Received(), QByteArray()); // no trigger went out
    Form1->ComPort->SetBaudRate(br1200);
    DownloadWorks();
    QCOMPARE(boxes.Texts.size(), 2);
  }

  void portHeldByAnotherProcess()
  {
    Simulator sim;
    const QString port = sim.Start({"--stream", m_card, "--fast"});
    QVERIFY(!port.isEmpty());
    // Another program takes the device for itself (flock(1) holds its lock
    // while the shell waits for a line on its input).
    QProcess holder;
    holder.start(QStringLiteral("flock"), {"--exclusive", "--nonblock", port, "sh", "-c", "echo locked; read line"});
    QVERIFY(holder.waitForStarted(10000));
    while (!holder.canReadLine())
      QVERIFY2(holder.waitForReadyRead(10000), qPrintable(holder.readAllStandardError()));
    QCOMPARE(holder.readLine(), QByteArray("locked\n"));

    MessageBoxWatcher boxes;
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(8);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("Unable to open com port (win error code: 16)"));
    ExpectIdle();

    // The other program lets go: the same port opens and downloads.
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 60000);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    ExpectIdle();
    QCOMPARE(Form1->ProgressBar2->value(), 1024);
    QCOMPARE(boxes.Texts.size(), 1);
  }
};

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  TestPortFaults test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_hard_portfaults.moc"

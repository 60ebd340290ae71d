// The memory-card erase against the logger simulator, in the offscreen program:
// confirmation, the "9" on the line, the notice, and the main window left alone.

#include "comport.h"
#include "dedizivi.h"
#include "erase.h"
#include "errorbox.h"
#include "forms.h"
#include "startup.h"
#include "mainwindowsupport.h"
#include "testsupport.h"

#include "../serial/ptypair.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using dztest::MessageBoxWatcher;
using dztest::Simulator;

class TestErase : public QObject {
  Q_OBJECT

  QString Cell(int col, int row) const
  {
    const dz::GridSource& source = *Form1;
    return QString::fromStdString(source.Grid().Cell(col, row));
  }

  // A whole download of model 0 from the simulator; true when every reading
  // is the erased card's word 0 (-24,0 for the LM35).
  bool DownloadIsErasedCard()
  {
    Form1->ComboBox1->setCurrentIndex(0);
    Form1->BitBtn3Click();
    const bool complete = QTest::qWaitFor([] { return Form1->RichEdit1.LineCount() == 4096; }, 30000);
    if (!complete) {
      // Leave no open port behind for the next test: its logger goes away.
      MessageBoxWatcher boxes;
      try {
        Form1->MutePortEvents = true;
        Form1->ComPort->ClosePort();
      } catch (const std::exception&) {
      }
      Form1->MutePortEvents = false;
      qWarning("download stopped at %d lines", Form1->RichEdit1.LineCount());
      return false;
    }
    Form1->BitBtn3Click();
    for (int n = 1; n <= 512; ++n)
      if (Cell(1, n) != "-24,0" || Cell(2, n) != "-24,0")
        return false;
    return true;
  }

private slots:
  void initTestCase()
  {
    QVERIFY(dztest::StartProgram());
  }

  void cleanupTestCase() { dz::DestroyProgramWindows(); }

  void cleanup() { dztest::CloseAnyDownload(); }

  void init()
  {
    Form1->BitBtn2Click();
    Form17->hide();
    Form18->hide();
  }

  void confirmationWindows()
  {
    Form1->BitBtn4Click();
    QVERIFY(Form17->isVisible());
    QCOMPARE(Form17->windowTitle(), QStringLiteral("BORRAR TARJETA"));
    QCOMPARE(Form17->size(), QSize(393, 132));
    QCOMPARE(Form17->BitBtn1->text(), QStringLiteral("&Si"));
    QCOMPARE(Form17->BitBtn2->text(), QStringLiteral("&No"));
    QCOMPARE(Form17->Label1->text(), QStringLiteral("ESTA SEGURO DE QUERER"));
    QVERIFY(!Form17->Image1->pixmap().isNull());
    QVERIFY(!Form17->Image2->pixmap().isNull());
    // Pressed again: the same window, in front.
    Form1->BitBtn4Click();
    QCOMPARE(QApplication::topLevelWidgets().count(Form17), 1);
    QCOMPARE(Form18->windowTitle(), QStringLiteral("BORRANDO"));
    QCOMPARE(Form18->Label1->text(), QStringLiteral("BORRANDO TARJETA..........."));
    QCOMPARE(Form18->size(), QSize(413, 133));
  }

  void eraseSendsNineAndConvertsNothing()
  {
    Simulator sim;
    const QString port = sim.Start({"--model", "0", "--seed", "5", "--fast"});
    Form1->ComPort->SetPort(port.toStdString());
    QVERIFY(!DownloadIsErasedCard()); // a card with readings
    Form1->BitBtn2Click();

    Form1->ComboBox1->setCurrentIndex(0);
    Form1->BitBtn4Click();
    QTest::mouseClick(Form17->BitBtn1, Qt::LeftButton);
    QVERIFY(!Form17->isVisible());
    QVERIFY(Form18->isVisible());
    QVERIFY(!Form1->ComPort->Connected());
    QVERIFY(!Form1->MutePortEvents);
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    QCOMPARE(Form1->Label7->text(), QString());
    QCOMPARE(Form1->RichEdit1.LineCount(), 0);
    QTest::mouseClick(Form18->BitBtn1, Qt::LeftButton);
    QVERIFY(!Form18->isVisible());

    QVERIFY(DownloadIsErasedCard());
  }

  void noSendsNothing()
  {
    Simulator sim;
    Form1->ComPort->SetPort(sim.Start({"--model", "0", "--seed", "9", "--fast"}).toStdString());
    Form1->BitBtn4Click();
    QTest::mouseClick(Form17->BitBtn2, Qt::LeftButton);
    QVERIFY(!Form17->isVisible());
    QVERIFY(!Form18->isVisible());
    QVERIFY(!Form1->ComPort->Connected());
    QVERIFY(!DownloadIsErasedCard());
  }

  // The question opens on "&No": a stray Return, or Escape, answers No and
  // sends nothing; "&Si" is one Tab back. "BORRANDO" closes with either key.
  void keysAnswerNo_data()
  {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
  }

  void keysAnswerNo()
  {
    QFETCH(int, key);
    serialtest::PtyPair logger;
    QVERIFY(logger.Ok());
    Form1->ComPort->SetPort(logger.Path());
    Form1->BitBtn4Click();
    QVERIFY(QTest::qWaitForWindowActive(Form17));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Form17->BitBtn2));
    QTest::keyClick(Form17->windowHandle(), Qt::Key(key));
    QTRY_VERIFY(!Form17->isVisible());
    QVERIFY(!Form18->isVisible());
    QTest::qWait(100);
    QCOMPARE(logger.Received(), QByteArray());

    // Shift+Tab to "&Si", Return: the card is erased, the notice shows with
    // the focus on "OK", and the same key closes it.
    Form1->BitBtn4Click();
    QVERIFY(QTest::qWaitForWindowActive(Form17));
    QTest::keyClick(Form17->windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Form17->BitBtn1));
    QTest::keyClick(Form17->windowHandle(), Qt::Key_Return);
    QTRY_VERIFY(Form18->isVisible());
    QByteArray sent;
    QTRY_COMPARE(sent += logger.Received(), QByteArray("9"));
    QVERIFY(QTest::qWaitForWindowActive(Form18));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Form18->BitBtn1));
    QTest::keyClick(Form18->windowHandle(), Qt::Key(key));
    QTRY_VERIFY(!Form18->isVisible());
  }

  void openFailureKeepsTheQuestion()
  {
    Form1->ComPort->SetPort("/dev/no-such-logger");
    Form1->BitBtn4Click();
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form17->BitBtn1, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("Unable to open com port (win error code: 2)"));
    QVERIFY(Form17->isVisible());
    QVERIFY(!Form18->isVisible());
    // Muted until the main window is next activated.
    QVERIFY(Form1->MutePortEvents);
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QVERIFY(!Form1->MutePortEvents);
  }

  void eraseDuringDownloadLeavesTheWindowIdle()
  {
    Simulator sim;
    Form1->ComPort->SetPort(sim.Start({"--model", "0", "--seed", "2", "--baud", "9600"}).toStdString());
    Form1->ComboBox1->setCurrentIndex(0);
    Form1->BitBtn3Click();
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Cerrar descarga"));
    QTRY_VERIFY(Form1->RichEdit1.LineCount() > 0);
    Form1->BitBtn4Click();
    QTest::mouseClick(Form17->BitBtn1, Qt::LeftButton);
    // The port is closed and the button says so; nothing was converted.
    QVERIFY(!Form1->ComPort->Connected());
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    QCOMPARE(Form1->Label4->text(), QString());
    QCOMPARE(Cell(1, 1), QString());
    QCOMPARE(Form1->Label7->text(), QString());
    // The next click opens a download, as its caption says.
    Form1->BitBtn3Click();
    QVERIFY(Form1->ComPort->Connected());
    Form1->ComboBox1->setCurrentIndex(-1);
    Form1->BitBtn3Click();
    QVERIFY(!Form1->ComPort->Connected());
    Form18->hide();
  }
};

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  TestErase test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_erase.moc"

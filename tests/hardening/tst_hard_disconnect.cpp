// The device disappears while a download is open in the offscreen main
// window: the logger simulator killed mid-stream, or the pseudo-terminal hung
// up. The program neither hangs nor crashes, keeps every byte that arrived,
// tells the user once, converts what arrived when the download is closed, and
// then downloads again as usual.

#include "dedizivi.h"
#include "errorbox.h"
#include "forms.h"
#include "startup.h"
#include "mainwindowsupport.h"
#include "testsupport.h"

#include "../serial/ptypair.h"
#include "comport.h"
#include "hardsupport.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

using dztest::MessageBoxWatcher;
using dztest::Simulator;

namespace {

int WordOf(int n) { return 240 + (n * 37) % 600; }

const QString kHangUpMessage = QStringLiteral("ReadFile function failed (win error code: 5)");

} // namespace

class TestDisconnect : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;

  QString Cell(int col, int row) const
  {
    const dz::GridSource& source = *Form1;
    return QString::fromStdString(source.Grid().Cell(col, row));
  }

  QString WriteFile(const QString& name, const std::string& bytes)
  {
    QFile f(m_dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly))
      return {};
    f.write(bytes.data(), qint64(bytes.size()));
    return f.fileName();
  }

  // A full download of a fresh card: the window works as before.
  void DownloadStillWorks()
  {
    Form1->BitBtn2Click(); // Limpiar
    Simulator sim;
    const QString port = sim.Start({"--stream", WriteFile("again.txt", dztest::OneChannelCard(WordOf)), "--fast"});
    QVERIFY(!port.isEmpty());
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(8);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 60000);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(!Form1->ComPort->Connected());
    QCOMPARE(Form1->ProgressBar2->value(), 1024);
    for (int n = 1; n <= 1024; n += 73)
      QCOMPARE(Cell(1, n), dztest::Lm35Text(WordOf(n)));
  }

private slots:
  void initTestCase()
  {
    QVERIFY(m_dir.isValid());
    QVERIFY(dztest::StartProgram());
  }

  void cleanupTestCase() { dz::DestroyProgramWindows(); }

  void init()
  {
    Form1->BitBtn2Click();
    Form1->ComboBox1->setCurrentIndex(-1);
  }

  void cleanup() { dztest::CloseAnyDownload(); }

  void simulatorKilledMidStream()
  {
    // Paced like a real line, so that the kill lands in the middle of the card.
    const std::string card = dztest::OneChannelCard(WordOf);
    Simulator sim;
    const QString port = sim.Start({"--stream", WriteFile("card.txt", card), "--baud", "38400"});
    QVERIFY(!port.isEmpty());
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(8);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QTRY_VERIFY_WITH_TIMEOUT(Form1->RichEdit1.LineCount() >= 400, 60000);
    sim.Kill();

    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts.size(), 1, 30000);
    QCOMPARE(boxes.Texts.first(), kHangUpMessage);
    QCOMPARE(boxes.Captions.first(), QStringLiteral("DEDIZIVI Ver. 3.4"));
    // Told once: the dead device raises nothing more while the window waits.
    QTest::qWait(300);
    QCOMPARE(boxes.Texts.size(), 1);
    QVERIFY(Form1->ComPort->Connected());
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Cerrar descarga"));

    // Every byte that arrived is there, unchanged, and nothing else.
    const std::string got = Form1->RichEdit1.Text();
    QVERIFY(got.size() < card.size());
    QVERIFY(card.compare(0, got.size(), got) == 0);

    // Closing converts what arrived and stops at the first missing line.
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(!Form1->ComPort->Connected());
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    QTRY_COMPARE(boxes.Texts.size(), 2);
    QCOMPARE(boxes.Texts.at(1), QStringLiteral("'' is not a valid integer value."));
    QCOMPARE(Form1->RichEdit1.Text(), got);
    const int complete = int(std::count(got.begin(), got.end(), '\n')) / 4;
    QVERIFY(complete >= 99);
    for (int n = 1; n <= complete; ++n)
      QCOMPARE(Cell(1, n), dztest::Lm35Text(WordOf(n)));
    // A sample whose last line was cut may have been read as it stood.
    QVERIFY(Form1->ProgressBar2->value() >= complete && Form1->ProgressBar2->value() <= complete + 1);
    QCOMPARE(Cell(1, Form1->ProgressBar2->value() + 1), QString());
    QCOMPARE(Cell(0, 1024), QStringLiteral("1024"));

    DownloadStillWorks();
    QCOMPARE(boxes.Texts.size(), 2);
  }

  void terminalHangsUpMidLine()
  {
    // A seven-channel card cut inside line 11.
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    Form1->ComPort->SetPort(pty.Path());
    Form1->ComboBox1->setCurrentIndex(3);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QByteArray trigger;
    QTRY_VERIFY((trigger += pty.Received()).size() >= 1);
    QCOMPARE(trigger, QByteArray("7"));
    QByteArray sent;
    for (int i = 0; i < 10; ++i)
      sent += QByteArray("010731").repeated(7) + "\r\n";
    sent += QByteArray("010731").repeated(3) + "01";
    QVERIFY(pty.Send(sent));
    QTRY_COMPARE(QByteArray::fromStdString(Form1->RichEdit1.Text()), sent);
    pty.CloseMaster();

    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), kHangUpMessage);
    QTest::qWait(300);
    QCOMPARE(boxes.Texts.size(), 1);

    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(!Form1->ComPort->Connected());
    QTRY_COMPARE(boxes.Texts.size(), 2);
    QCOMPARE(boxes.Texts.at(1), QStringLiteral("Line 11 is too short for sample 11 (42 characters needed, 20 found)"));
    for (int n = 1; n <= 10; ++n)
      for (int c = 1; c <= 7; ++c)
        QCOMPARE(Cell(c, n), QStringLiteral("56,0"));
    QCOMPARE(Cell(1, 11), QString());
    QCOMPARE(Form1->ProgressBar2->value(), 10);

    DownloadStillWorks();
    QCOMPARE(boxes.Texts.size(), 2);
  }
};

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  TestDisconnect test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_hard_disconnect.moc"

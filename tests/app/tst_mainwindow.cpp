// The main window driven offscreen against the logger simulator: downloads,
// conversions into the grid, clearing, the radiation panel, hover help,
// activation and the error box.

#include "dedizivi.h"
#include "errorbox.h"
#include "forms.h"
#include "models.h"
#include "numberformat.h"
#include "startup.h"
#include "mainwindowsupport.h"
#include "testsupport.h"
#include "uikit.h"

#include "../serial/ptypair.h"
#include "chartdialogs.h"
#include "chartform.h"
#include "comport.h"
#include "docwindows.h"
#include "erase.h"
#include "form13.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QScopeGuard>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QWindow>

using dztest::MessageBoxWatcher;
using dztest::Lm35Text;
using dztest::Simulator;
using dztest::Word;

namespace {

int Channel1Word(int n) { return (240 + n * 7) % 1024; }
int Channel2Word(int n) { return (1000 - n * 3 + 1024) % 1024; }

} // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

private:
  QTemporaryDir m_dir;

  QString WriteStream(const QString& name, const std::string& bytes)
  {
    const QString path = m_dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
  }

  static std::string TwoChannelCard(int (*w1)(int), int (*w2)(int))
  {
    std::string card;
    for (int n = 1; n <= 512; ++n)
      card += Word(w1(n)) + Word(w2(n));
    return card;
  }

  // Opens a download on the simulator's port, waits for the lines, closes it.
  void Download(const QString& port, int model, int expectedLines)
  {
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(model);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Cerrar descarga"));
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), expectedLines, 30000);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(!Form1->ComPort->Connected());
  }

  QString Cell(int col, int row) const
  {
    const dz::GridSource& source = *Form1;
    return QString::fromStdString(source.Grid().Cell(col, row));
  }

private slots:
  void initTestCase()
  {
    QVERIFY(m_dir.isValid());
    // The separators hold from start-up on, before any window is shown and
    // whatever the window system does with the chart window's activation
    // (under Wayland there is none): a system with "." decimals must not
    // leave them in force until then.
    dz::ProgramNumberFormat() = dz::NumberFormat{'.', ','};
    dz::CreateProgramWindows();
    QCOMPARE(dz::ProgramNumberFormat().DecimalSeparator, ',');
    QCOMPARE(dz::ProgramNumberFormat().ThousandSeparator, '.');
    dz::ShowMainWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
  }

  void cleanupTestCase() { dz::DestroyProgramWindows(); }

  void cleanup() { dztest::CloseAnyDownload(); }

  void init()
  {
    Form1->BitBtn2Click(); // Limpiar
    Form1->ComboBox1->setCurrentIndex(-1);
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
  }

  void startUpSetsCommaAndHidesChart()
  {
    // The chart window's start-up activation set the format; the main
    // window's first activation hid the chart window again.
    QCOMPARE(dz::ProgramNumberFormat().DecimalSeparator, ',');
    QCOMPARE(dz::ProgramNumberFormat().ThousandSeparator, '.');
    QVERIFY(!static_cast<QWidget*>(form11)->isVisible());
    QCOMPARE(Form1->windowTitle(), QStringLiteral("DEDIZIVI  Ver. 3.4"));
    QCOMPARE(Form1->ComboBox1->count(), 9);
    QCOMPARE(Form1->ComboBox1->currentIndex(), -1);
    QCOMPARE(Form1->ComboBox1->placeholderText(), QStringLiteral("Seleccione el Vexa-Logger"));
    QCOMPARE(Form1->centralWidget()->size(), QSize(639, 412));
    QCOMPARE(Form1->Button_open->geometry(), QRect(16, 5, 169, 35));
    QCOMPARE(Form1->StringGrid1->geometry(), QRect(88, 88, 453, 128));
    QVERIFY(!Form1->Panel4->isVisible());
  }

  void fullTwoChannelDownloadFillsGrid()
  {
    Simulator sim;
    const QString stream = WriteStream("lm35.txt", TwoChannelCard(Channel1Word, Channel2Word));
    const QString port = sim.Start({"--stream", stream, "--fast"});
    QVERIFY(!port.isEmpty());
    Download(port, 0, 4096);

    QCOMPARE(Form1->Label7->text(),
             QStringLiteral("2 CANALES DE TEMPERATURA SENSORES LM35 EN °C, 512 DATOS POR CANAL"));
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    QCOMPARE(Form1->Label4->text(), QString());
    QCOMPARE(Cell(1, 0), QStringLiteral("CANAL1"));
    QCOMPARE(Cell(2, 0), QStringLiteral("CANAL2"));
    for (int n = 1; n <= 512; ++n) {
      QCOMPARE(Cell(0, n), QString::number(n));
      QCOMPARE(Cell(1, n), Lm35Text(Channel1Word(n)));
      QCOMPARE(Cell(2, n), Lm35Text(Channel2Word(n)));
    }
    QCOMPARE(Cell(1, 513), QString());
    QCOMPARE(Form1->ProgressBar2->maximum(), 512);
    QCOMPARE(Form1->ProgressBar2->value(), 512);
    QCOMPARE(Form1->ProgressBar1->maximum(), 8196);
    // The view shows what the grid holds.
    const QModelIndex first = Form1->StringGrid1->model()->index(0, 0);
    QCOMPARE(first.data().toString(), Lm35Text(Channel1Word(1)));
  }

  void bufferEmptiesAtTheFirstByteOfANewDownload()
  {
    // Without "Limpiar" in between, the second logger's readings are the ones
    // converted, not the first's again.
    Simulator first;
    const QString a = WriteStream("a.txt", TwoChannelCard([](int) { return 240; }, [](int) { return 240; }));
    Download(first.Start({"--stream", a, "--fast"}), 0, 4096);
    QCOMPARE(Cell(1, 1), QStringLiteral("0,0"));
    first.Stop();

    Simulator second;
    const std::string bCard = TwoChannelCard([](int) { return 490; }, [](int) { return 0; });
    Form1->ComPort->SetPort(second.Start({"--stream", WriteStream("b.txt", bCard), "--fast"}).toStdString());
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    // Nothing of the first card is left once the second has come.
    QTRY_VERIFY_WITH_TIMEOUT(Form1->RichEdit1.Text() == bCard, 30000);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QCOMPARE(Cell(1, 1), QStringLiteral("25,0"));
    QCOMPARE(Cell(2, 512), QStringLiteral("-24,0"));

    // An open and a close that bring nothing convert the same buffer again,
    // with the model chosen now: one channel, so words alternate 490 and 0.
    serialtest::PtyPair silent;
    QVERIFY(silent.Ok());
    Form1->ComPort->SetPort(silent.Path());
    Form1->ComboBox1->setCurrentIndex(8);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QTest::qWait(100);
    QCOMPARE(Form1->RichEdit1.LineCount(), 4096);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QCOMPARE(Cell(1, 1), QStringLiteral("25,0"));
    QCOMPARE(Cell(1, 2), QStringLiteral("-24,0"));
    QCOMPARE(Cell(1, 1024), QStringLiteral("-24,0"));
    QByteArray triggers;
    QTRY_COMPARE(triggers += silent.Received(), QByteArray("1"));

    // "BORRAR" before "Cerrar descarga": the card on the logger is erased and
    // the port closed without a conversion. The next download's bytes are
    // appended to those never converted, and closing it converts from the
    // first line: the readings that arrived before the erase.
    Form1->BitBtn2Click();
    Form1->ComboBox1->setCurrentIndex(0);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QByteArray trigger;
    QTRY_VERIFY((trigger += silent.Received()).size() >= 1);
    QCOMPARE(trigger, QByteArray("1"));
    const std::string card = TwoChannelCard(Channel1Word, Channel2Word);
    QVERIFY(silent.Send(QByteArray::fromStdString(card)));
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 30000);
    Form1->BitBtn4Click();
    QTest::mouseClick(Form17->BitBtn1, Qt::LeftButton);
    static_cast<QWidget*>(Form18)->hide();
    QVERIFY(!Form1->ComPort->Connected());
    QByteArray erase;
    QTRY_COMPARE(erase += silent.Received(), QByteArray("9"));
    QCOMPARE(Cell(1, 1), QString()); // not converted
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    const std::string after = dztest::Word(500) + dztest::Word(500);
    QVERIFY(silent.Send(QByteArray::fromStdString(after)));
    QTRY_COMPARE(Form1->RichEdit1.Text(), card + after);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    for (int n = 1; n <= 512; n += 51) {
      QCOMPARE(Cell(1, n), Lm35Text(Channel1Word(n)));
      QCOMPARE(Cell(2, n), Lm35Text(Channel2Word(n)));
    }
    // Once converted, they give way to the next download's first byte (one
    // sample of 512: the close says the second is missing).
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(silent.Send(QByteArray::fromStdString(after)));
    QTRY_COMPARE(Form1->RichEdit1.Text(), after);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(Cell(1, 1), Lm35Text(500));
  }

  void everyModelTitleShowsWhole()
  {
    // Each converter writes its title before it reads the (here empty)
    // buffer; measured with the fonts installed, it must fit its panel.
    const QRect room = Form1->Panel1->contentsRect();
    for (int model = 0; model < dz::kModelCount; ++model) {
      Form1->ComboBox1->setCurrentIndex(model);
      QVERIFY_THROWS_EXCEPTION(std::exception, Form1->ComPortClose(nullptr));
      const dz::ModelInfo& info = *dz::FindModel(model);
      QCOMPARE(Form1->Label7->text(), QString::fromUtf8(info.Title.data(), qsizetype(info.Title.size())));
      const QRect label = Form1->Label7->geometry();
      const int needed = Form1->Label7->fontMetrics().horizontalAdvance(Form1->Label7->text());
      QVERIFY2(label.width() >= needed && room.contains(label),
               qPrintable(QStringLiteral("model %1: %2 px needed, label %3..%4, room %5..%6")
                            .arg(model).arg(needed).arg(label.left()).arg(label.right()).arg(room.left()).arg(room.right())));
      QVERIFY(Form1->Label7->fontMetrics().height() >= 11); // still readable
    }
  }

  void fixedSizeWindowsOfferNoMaximise()
  {
    // Minimum, maximum and size agree (the menu bar included), and no
    // maximise button is asked for: a window manager draws none, and no
    // compositor can be asked to maximise a window that cannot grow.
    const QList<QWidget*> fixed = {Form1, form11, Form14, Form15, Form16, Form17, Form18, Form19};
    for (QWidget* w : fixed) {
      const QString name = w->objectName() + QLatin1Char(' ') + w->windowTitle();
      const bool shown = w->isVisible();
      w->show();
      QVERIFY2(QTest::qWaitForWindowExposed(w), qPrintable(name));
      QVERIFY2(w->minimumSize() == w->maximumSize(), qPrintable(name));
      QVERIFY2(w->size() == w->minimumSize(), qPrintable(name));
      const QWindow* native = w->windowHandle();
      QVERIFY2(native->minimumSize() == native->maximumSize(), qPrintable(name));
      QVERIFY2(native->size() == native->minimumSize(), qPrintable(name));
      QVERIFY2(!(native->flags() & Qt::WindowMaximizeButtonHint), qPrintable(name));
      QVERIFY2(native->flags() & Qt::WindowCloseButtonHint, qPrintable(name));
      if (!shown)
        w->hide();
    }
    QVERIFY(Form1->windowHandle()->flags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(static_cast<QWidget*>(form11)->windowHandle()->flags() & Qt::WindowMinimizeButtonHint);
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
  }

  void everyModelChoiceConvertsWithItsOwnModel()
  {
    // Each entry of the model list, downloaded, converted and saved through the
    // window, gives the file the command line's conversion of the same bytes
    // gives for that model: no entry runs another model's conversion.
    auto readAll = [](const QString& path) {
      QFile f(path);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    };
    for (int model = 0; model < dz::kModelCount; ++model) {
      const QString tag = QStringLiteral("model %1").arg(model);
      Simulator sim;
      const QString port = sim.Start({"--model", QString::number(model), "--fast", "--seed", QString::number(40 + model)});
      QVERIFY2(!port.isEmpty(), qPrintable(tag));
      Form1->BitBtn2Click();
      QStringList radiation;
      if (model == dz::kRadiationModel) {
        Form1->Edit1->setText(QStringLiteral("10"));
        Form1->SpinEdit1->setValue(6);
        radiation = QStringList{"--constant", "10", "--offset", "6"};
      }
      MessageBoxWatcher boxes;
      Download(port, model, dz::CardLines(*dz::FindModel(model)));
      QVERIFY2(boxes.Texts.isEmpty(), qPrintable(tag + QStringLiteral(": ") + boxes.Texts.join(' ')));

      const QString raw = WriteStream(QStringLiteral("card%1.raw").arg(model), Form1->RichEdit1.Text());
      const QString saved = m_dir.filePath(QStringLiteral("window%1.txt").arg(model));
      {
        std::unique_ptr<dztest::OnModal<QFileDialog>> answer(dztest::TypeName(saved));
        Form1->Guardardatos1->trigger();
        QVERIFY2(answer->Fired(), qPrintable(tag));
      }
      QVERIFY2(boxes.Texts.isEmpty(), qPrintable(tag + QStringLiteral(": ") + boxes.Texts.join(' ')));

      const QString cli = m_dir.filePath(QStringLiteral("cli%1.txt").arg(model));
      QProcess convert;
      convert.start(QStringLiteral(DZ_CLI_PATH),
                    QStringList{"convert", "--model", QString::number(model), raw, "-o", cli} + radiation);
      QVERIFY(convert.waitForFinished(60000));
      QVERIFY2(convert.exitCode() == 0, convert.readAllStandardError().constData());
      const QByteArray expected = readAll(cli);
      QVERIFY2(expected.count('\n') == dz::FindModel(model)->Samples, qPrintable(tag));
      QVERIFY2(readAll(saved) == expected, qPrintable(tag));
    }
  }

  void shortStreamStopsAtMissingLine()
  {
    Simulator sim;
    std::string card;
    for (int n = 1; n <= 1024; ++n)
      card += Word(250);
    card.resize(card.size() - 3); // the last line "0\r\n" is missing
    const QString port = sim.Start({"--stream", WriteStream("short.txt", card), "--fast"});
    MessageBoxWatcher boxes;
    Download(port, 8, 4095);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("'' is not a valid integer value."));
    QCOMPARE(boxes.Captions.first(), QStringLiteral("DEDIZIVI Ver. 3.4"));
    QCOMPARE(Cell(1, 1023), QStringLiteral("1,0"));
    QCOMPARE(Cell(1, 1024), QString());
    QCOMPARE(Cell(0, 1024), QStringLiteral("1024"));
    QCOMPARE(Form1->ProgressBar2->value(), 1023);
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
  }

  void badPieceNamesItsText()
  {
    Simulator sim;
    std::string card = Word(300) + "0\r\n1x\r\n0\r\n0\r\n";
    for (int n = 3; n <= 1024; ++n)
      card += Word(300);
    const QString port = sim.Start({"--stream", WriteStream("bad.txt", card), "--fast"});
    MessageBoxWatcher boxes;
    Download(port, 8, 4096);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("'1x' is not a valid integer value."));
    QCOMPARE(Cell(1, 1), QStringLiteral("6,0"));
    QCOMPARE(Cell(1, 2), QString());
    QCOMPARE(Form1->ProgressBar2->value(), 1);
  }

  void noModelSendsNothingAndConvertsNothing()
  {
    Simulator sim;
    const QString port = sim.Start({"--model", "0", "--fast"});
    Form1->ComPort->SetPort(port.toStdString());
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Cerrar descarga"));
    QCOMPARE(Form1->Label4->text(), QStringLiteral("Aguarde a que se detenga la barra indicadora de descarga"));
    QTest::qWait(300); // no trigger went out, so the logger stays silent
    QCOMPARE(Form1->RichEdit1.LineCount(), 0);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QCOMPARE(Form1->Label7->text(), QString());
    QCOMPARE(Cell(0, 1), QString());
  }

  void limpiarClearsEverythingButTheSelection()
  {
    Simulator sim;
    Download(sim.Start({"--model", "5", "--fast", "--seed", "3"}), 5, 4096);
    QVERIFY(!Cell(1, 1).isEmpty());
    Form1->Edit1->setText("12");
    QTest::mouseClick(Form1->BitBtn2, Qt::LeftButton);
    QCOMPARE(Form1->RichEdit1.LineCount(), 0);
    QCOMPARE(Form1->Label7->text(), QString());
    QCOMPARE(Form1->ProgressBar2->value(), 0);
    QVERIFY(Form1->ProgressBar1->value() < Form1->ProgressBar1->minimum());
    QCOMPARE(Form1->Edit1->text(), QString());
    QCOMPARE(Form1->SpinEdit1->text(), QStringLiteral("0"));
    for (int row = 0; row < dz::CellGrid::kRows; row += 97)
      for (int col = 0; col < dz::CellGrid::kColumns; ++col)
        QCOMPARE(Cell(col, row), QString());
    QCOMPARE(Form1->ComboBox1->currentIndex(), 5);
    QCOMPARE(Form1->ProgressBar2->maximum(), 1024); // maxima stay
  }

  void radiationPanelFollowsTheModel()
  {
    Simulator sim;
    std::string card;
    for (int n = 1; n <= 1024; ++n)
      card += Word(256);
    const QString port = sim.Start({"--stream", WriteStream("rad.txt", card), "--fast"});
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(4);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->Panel4->isVisible());
    QVERIFY(Form1->Edit1->isVisible());
    QVERIFY(Form1->SpinEdit1->isVisible());
    QTRY_VERIFY(Form1->Edit1->hasFocus());
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 30000);
    QTest::keyClicks(Form1->Edit1, "10");
    Form1->SpinEdit1->setValue(6);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QCOMPARE(Cell(1, 1), QStringLiteral("500,0"));
    QCOMPARE(Cell(1, 1024), QStringLiteral("500,0"));
    // The radiation conversion leaves the panel on the window.
    QVERIFY(Form1->Panel4->isVisible());

    // A constant written with the other separator stops at sample 1.
    Form1->Edit1->setText("1.5");
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 30000);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("'1.5' is not a valid floating point value."));

    // Another model's open hides the panel.
    Form1->ComboBox1->setCurrentIndex(7);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(!Form1->Panel4->isVisible());
    QVERIFY(!Form1->Edit1->isVisible());
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
  }

  void openFailureLeavesWindowIdle()
  {
    Form1->ComPort->SetPort("/dev/does-not-exist-dz");
    Form1->ComboBox1->setCurrentIndex(0);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QVERIFY2(boxes.Texts.first().startsWith("Unable to open com port (win error code: 2)"), qPrintable(boxes.Texts.first()));
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    QVERIFY(!Form1->ComPort->Connected());
  }

  void errorEscapingAHandlerIsShownAndTheProgramGoesOn()
  {
    QPushButton button;
    connect(&button, &QPushButton::clicked, [] { throw std::runtime_error("Disk full"); });
    MessageBoxWatcher boxes;
    QTest::mouseClick(&button, Qt::LeftButton);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QCOMPARE(boxes.Texts.first(), QStringLiteral("Disk full."));
    QCOMPARE(boxes.Captions.first(), QStringLiteral("DEDIZIVI Ver. 3.4"));
    QCOMPARE(dz::ErrorBoxText("Unable to open com port (win error code: 2)"),
             QStringLiteral("Unable to open com port (win error code: 2)"));
    QCOMPARE(dz::ErrorBoxText("'x'"), QStringLiteral("'x'"));
    QCOMPARE(dz::ErrorBoxText("done."), QStringLiteral("done."));
    QCOMPARE(dz::ErrorBoxText("I/O error 5"), QStringLiteral("I/O error 5."));
    // Still working afterwards.
    QTest::mouseClick(Form1->BitBtn2, Qt::LeftButton);
    QCOMPARE(Form1->Label7->text(), QString());
  }

  void hoverHelpLine()
  {
    auto moveOver = [](QWidget* w) {
      QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
      QApplication::sendEvent(w, &move);
    };
    moveOver(Form1->Button_open);
    QCOMPARE(Form1->Label6->text(), QStringLiteral("Abre o cierra la comunicación con el puerto"));
    moveOver(Form1->ComboBox1); // no text of its own: the line stays
    QCOMPARE(Form1->Label6->text(), QStringLiteral("Abre o cierra la comunicación con el puerto"));
    moveOver(Form1->StringGrid1->viewport());
    QCOMPARE(Form1->Label6->text(), QStringLiteral("Destino final de los datos que se descargan"));
    moveOver(Form1->ProgressBar2);
    QCOMPARE(Form1->Label6->text(), QStringLiteral("Indica actividad de conversión de datos"));
    moveOver(Form1->Image1);
    QCOMPARE(Form1->Label6->text(), QString());
    QCOMPARE(Form1->ComboBox1->toolTip(),
             QStringLiteral("Seleccione el tipo de vexa-logger del cual desea descargar datos"));
    QCOMPARE(Form1->BitBtn1->toolTip(), QStringLiteral("Gráfico preliminar"));
  }

  void activationFromAnotherWindowResetsTheDisplay()
  {
    Form1->Label7->setText("title");
    Form1->MutePortEvents = true;
    dz::ShowForm(static_cast<QWidget*>(Form12));
    QVERIFY(QTest::qWaitForWindowActive(static_cast<QWidget*>(Form12)));
    QCOMPARE(Form1->Label7->text(), QStringLiteral("title")); // not yet: Form12 is active
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QCOMPARE(Form1->Label7->text(), QString());
    QVERIFY(!Form1->MutePortEvents);

    // A message box is no window of the program: coming back from it changes nothing.
    Form1->Label7->setText("kept");
    {
      MessageBoxWatcher boxes;
      dz::ShowErrorBox("x");
      QCOMPARE(boxes.Texts.size(), 1);
    }
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QCOMPARE(Form1->Label7->text(), QStringLiteral("kept"));
    static_cast<QWidget*>(Form12)->hide();

    // The port setup dialog is one of the program's windows: coming back from
    // it blanks the wait message and the title, also during a download.
    Form1->Label4->setText("wait");
    QTimer::singleShot(100, [] {
      if (QWidget* dialog = QApplication::activeModalWidget())
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Form1->Guardar1->trigger();
    Form1->activateWindow(); // what a window manager does as the dialog goes
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QTRY_COMPARE(Form1->Label7->text(), QString());
    QCOMPARE(Form1->Label4->text(), QString());
  }

  // The main window by keys alone, as a user without a mouse goes: Tab
  // through every control in the order of the layout and out of the grid,
  // then a download, its file and its chart.
  void keyboardAlone()
  {
    QWindow* window = Form1->windowHandle();
    auto focused = [] {
      QWidget* w = QApplication::focusWidget();
      while (w && qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
        w = w->parentWidget();
      return w;
    };
    auto walk = [&](Qt::Key key, Qt::KeyboardModifiers modifiers, int presses) {
      QList<QWidget*> seen;
      for (int i = 0; i < presses; ++i) {
        QTest::keyClick(window, key, modifiers);
        seen << focused();
      }
      return seen;
    };
    Form1->Button_open->setFocus(Qt::TabFocusReason);
    const QList<QWidget*> order = {Form1->BitBtn4, Form1->ComboBox1, Form1->StringGrid1, Form1->DateTimePicker1,
                                   Form1->BitBtn2, Form1->BitBtn1, Form1->Button_open};
    QCOMPARE(walk(Qt::Key_Tab, Qt::NoModifier, 7), order);
    // The focus is seen: the ring stands around the button with the picture.
    auto* ring = Form1->findChild<QWidget*>(QStringLiteral("dzFocusRing"));
    QVERIFY(ring && ring->isVisible() && ring->geometry().contains(Form1->Button_open->geometry()));
    QList<QWidget*> back(order.rbegin() + 1, order.rend());
    back << Form1->Button_open;
    QCOMPARE(walk(Qt::Key_Backtab, Qt::ShiftModifier, 7), back);
    // Out of the grid with Ctrl too; the arrows stay in it.
    Form1->ComboBox1->setCurrentIndex(0);
    Form1->StringGrid1->setFocus(Qt::TabFocusReason);
    Form1->StringGrid1->setCurrentIndex(Form1->StringGrid1->model()->index(0, 0));
    QTest::keyClick(window, Qt::Key_Right);
    QCOMPARE(Form1->StringGrid1->currentIndex().column(), 1);
    QCOMPARE(walk(Qt::Key_Tab, Qt::ControlModifier, 1), QList<QWidget*>{Form1->DateTimePicker1});
    Form1->StringGrid1->setFocus(Qt::TabFocusReason);
    QCOMPARE(walk(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 1), QList<QWidget*>{Form1->ComboBox1});
    Form1->ComboBox1->setCurrentIndex(-1);

    // A download: the model list, "Abrir descarga" with Return, and Space
    // to close it once the bar has stopped.
    Simulator sim;
    const QString port = sim.Start({"--stream", WriteStream("keys.txt", TwoChannelCard(Channel1Word, Channel2Word)), "--fast"});
    Form1->ComPort->SetPort(port.toStdString());
    Form1->Button_open->setFocus(Qt::TabFocusReason);
    walk(Qt::Key_Tab, Qt::NoModifier, 2);
    QTest::keyClick(window, Qt::Key_Down);
    QCOMPARE(Form1->ComboBox1->currentIndex(), 0);
    QCOMPARE(walk(Qt::Key_Backtab, Qt::ShiftModifier, 2), (QList<QWidget*>{Form1->BitBtn4, Form1->Button_open}));
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_VERIFY(Form1->ComPort->Connected());
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.LineCount(), 4096, 30000);
    QTest::keyClick(window, Qt::Key_Space);
    QTRY_VERIFY(!Form1->ComPort->Connected());
    QCOMPARE(Cell(1, 512), Lm35Text(Channel1Word(512)));

    // Archivos > Guardar datos descargados by its mnemonics.
    const QString saved = m_dir.filePath(QStringLiteral("keys-saved.txt"));
    {
      std::unique_ptr<dztest::OnModal<QFileDialog>> answer(dztest::TypeName(saved));
      QTest::keyClick(window, Qt::Key_A, Qt::AltModifier);
      QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
      QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_D);
      QTRY_VERIFY(answer->Fired());
    }
    QTRY_VERIFY(QFile::exists(saved));
    QVERIFY(QFile(saved).size() > 0);

    // The chart from "Gráfico", reached with Shift+Tab from the first control.
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    Form1->Button_open->setFocus(Qt::TabFocusReason);
    QCOMPARE(walk(Qt::Key_Backtab, Qt::ShiftModifier, 1), QList<QWidget*>{Form1->BitBtn1});
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_VERIFY(static_cast<QWidget*>(form11)->isVisible());
    form11->close();
  }

  // Every window of the program: Tab reaches each of its controls (a group
  // of radio buttons once: its arrows choose) and comes round to the first
  // again, the focus ring around each.
  void everyWindowByTab()
  {
    MessageBoxWatcher boxes;
    const QString started = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QStringLiteral(DZ_PICTURES_DIR)));
    const auto back = qScopeGuard([&] { QDir::setCurrent(started); });
    Form13->Image1->clear();
    const QList<QWidget*> windows = {form11, Form13, Form15, Form16, Form17, Form18, Form2};
    for (QWidget* w : windows) {
      const QString name = w->windowTitle();
      dz::ShowForm(w);
      QVERIFY2(QTest::qWaitForWindowActive(w), qPrintable(name));
      auto control = [](QWidget* c) { return qobject_cast<QRadioButton*>(c) ? c->parentWidget() : c; };
      QList<QWidget*> expected;
      for (QWidget* c : w->findChildren<QWidget*>())
        if (c->isVisibleTo(w) && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus) && c->focusProxy() == nullptr &&
            !qobject_cast<QAbstractSpinBox*>(c->parentWidget()) && !qobject_cast<QComboBox*>(c->parentWidget()) &&
            !expected.contains(control(c)))
          expected << control(c);
      QVERIFY2(!expected.isEmpty(), qPrintable(name));
      QList<QWidget*> seen;
      for (qsizetype i = 0; i <= expected.size(); ++i) {
        QTest::keyClick(w->windowHandle(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        seen << control(now);
        auto* ring = w->findChild<QWidget*>(QStringLiteral("dzFocusRing"));
        QVERIFY2(ring && ring->isVisible() && now && ring->parentWidget() == now->parentWidget() &&
                   ring->geometry().contains(now->geometry().intersected(now->parentWidget()->rect()).adjusted(1, 1, -1, -1)),
                 qPrintable(QStringLiteral("%1: press %2 on %3").arg(name).arg(i).arg(now ? now->objectName() : QString())));
      }
      for (QWidget* c : expected)
        QVERIFY2(seen.contains(c), qPrintable(name + QLatin1Char(' ') + c->metaObject()->className() + QLatin1Char(' ') + c->objectName()));
      QVERIFY2(seen.constLast() == seen.constFirst(), qPrintable(name)); // round again, never caught
      w->hide();
    }
    QVERIFY2(boxes.Texts.isEmpty(), qPrintable(boxes.Texts.join(' ')));
    // Reaching an equipment button by Tab showed its picture, as the pointer does.
    QVERIFY(!Form13->Image1->pixmap().isNull());
  }

  // Every control a user acts on or reads has a name for a screen reader,
  // and every window of the program is a window or a dialog named by its
  // caption, after a download as before.
  void screenReaderNames()
  {
    Simulator sim;
    Form1->Edit1->setText(QStringLiteral("10"));
    MessageBoxWatcher boxes;
    Download(sim.Start({"--model", "4", "--fast", "--seed", "8"}), 4, 4096);
    QVERIFY2(boxes.Texts.isEmpty(), qPrintable(boxes.Texts.join(' ')));
    QStringList unnamed;
    std::function<void(QAccessibleInterface*, const QString&)> walk = [&](QAccessibleInterface* iface,
                                                                          const QString& path) {
      if (iface == nullptr || iface->state().invisible)
        return;
      const QString here = path + QLatin1Char('/') + QString::number(int(iface->role()), 16) + QLatin1Char(' ') +
                           (iface->object() ? iface->object()->objectName() : QString());
      static const QList<QAccessible::Role> controls = {
        QAccessible::PushButton, QAccessible::ComboBox, QAccessible::EditableText, QAccessible::SpinBox,
        QAccessible::ProgressBar, QAccessible::Table, QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::Slider, QAccessible::Graphic, QAccessible::Window, QAccessible::Dialog};
      if (controls.contains(iface->role()) && iface->text(QAccessible::Name).trimmed().isEmpty())
        unnamed << here;
      if (iface->role() == QAccessible::Table)
        return; // its cells are named by their contents
      for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), here);
    };
    walk(QAccessible::queryAccessibleInterface(Form1), QString());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
    QCOMPARE(QAccessible::queryAccessibleInterface(Form1->Edit1)->text(QAccessible::Name),
             QStringLiteral("Constante del sensor"));
    QCOMPARE(QAccessible::queryAccessibleInterface(Form1->SpinEdit1)->text(QAccessible::Name), QStringLiteral("Ofset"));
    QVERIFY(QAccessible::queryAccessibleInterface(Form1->Image1)->state().invisible);

    // The grid is the table of the model: 1024 rows of one column, titled.
    QAccessibleTableInterface* grid = QAccessible::queryAccessibleInterface(Form1->StringGrid1)->tableInterface();
    QCOMPARE(grid->rowCount(), 1024);
    QCOMPARE(grid->columnCount(), 1);
    QCOMPARE(grid->columnDescription(0), Cell(1, 0));
    QVERIFY(!Cell(1, 0).isEmpty());
    // A cell reads its value under its column title, and offers nothing to do.
    QAccessibleInterface* cell = grid->cellAt(1, 0);
    QCOMPARE(cell->text(QAccessible::Name), Cell(1, 2));
    QCOMPARE(cell->tableCellInterface()->columnHeaderCells().value(0)->text(QAccessible::Name), Cell(1, 0));
    QVERIFY(cell->actionInterface() == nullptr || cell->actionInterface()->actionNames().isEmpty());
    QCOMPARE(QAccessible::queryAccessibleInterface(Form1->StringGrid1)->indexOfChild(cell), 2 * 2 + 1);

    const QList<QWidget*> windows = {Form1, Form2, Form3, Form4, Form5, Form6, Form7, Form8, Form9, Form10,
                                     form11, Form12, Form13, Form14, Form15, Form16, Form17, Form18, Form19};
    for (QWidget* w : windows) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
      QVERIFY2(iface->role() == QAccessible::Window || iface->role() == QAccessible::Dialog, qPrintable(w->windowTitle()));
      QCOMPARE(iface->text(QAccessible::Name), w->windowTitle());
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(Form17)->text(QAccessible::Description),
             QStringLiteral("ESTA SEGURO DE QUERER BORRAR LA TARJETA?"));
    QVERIFY(QAccessible::queryAccessibleInterface(Form17->Image1)->state().invisible);
  }

  void menuItemsAreNamedAndShowTheirWindows()
  {
    const QStringList names = {"Guardar1", "cerrartodo1", "Guardardatos1", "Imprimir1", "Salir1", "Imgenes1",
                               "Usodelprograma1", "Temperatura1", "Humedad1", "radiacin1", "Termocuplas1",
                               "Pilas1", "Contactarnos1", "Acercadeesteprograma1"};
    for (const QString& name : names)
      QVERIFY2(Form1->findChild<QAction*>(name), qPrintable(name));
    const QList<QMenu*> menus = Form1->menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(Form1->menuBar()->actions().size(), 3);
    QCOMPARE(Form1->menuBar()->actions().at(0)->text(), QStringLiteral("&Archivos"));

    // Every item that shows a window shows its own.
    const std::pair<const char*, QWidget*> shows[] = {
      {"Ostrel1", Form4}, {"Heptel1", Form9}, {"Brumel1", Form5}, {"Solmet1", Form6},
      {"Imgenes1", Form13}, {"Usodelprograma1", Form12}, {"Temperatura1", Form7}, {"Humedad1", Form2},
      {"radiacin1", Form3}, {"Termocuplas1", Form10}, {"Contactarnos1", Form14}};
    for (const auto& [name, form] : shows) {
      QVERIFY(!form->isVisible());
      Form1->findChild<QAction*>(name)->trigger();
      QVERIFY2(form->isVisible(), name);
      form->hide();
    }

    // The about box names the maker's web address and the one mail address
    // that the documents give.
    {
      MessageBoxWatcher boxes;
      Form1->Acercadeesteprograma1->trigger();
      QCOMPARE(boxes.Texts.size(), 1);
      QVERIFY(boxes.Texts.first().contains("www.vexa-logger.example"));
      const QString contact = static_cast<TDocForm*>(Form14)->text();
      const QRegularExpression mail(QStringLiteral("[\\w.]+@[\\w.]+\\w"));
      const QString address = mail.match(contact).captured();
      QVERIFY(!address.isEmpty());
      QVERIFY2(boxes.Details.first().contains(address), qPrintable(boxes.Details.first()));
      QCOMPARE(mail.match(boxes.Details.first()).captured(), address);
    }

    // The setup dialog opens for the port; Cancel changes nothing.
    const std::string before = Form1->ComPort->Port();
    QTimer::singleShot(100, [] {
      if (QWidget* dialog = QApplication::activeModalWidget())
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Form1->Guardar1->trigger();
    QCOMPARE(Form1->ComPort->Port(), before);

    Form1->Pilas1->trigger();
    auto* pilas = static_cast<QWidget*>(Form8);
    QVERIFY(pilas->isVisible());
    Form1->Pilas1->trigger(); // no second window, the same one in front
    QVERIFY(pilas->isVisible());
    pilas->close();
    QVERIFY(!pilas->isVisible());
    QVERIFY(Form8 != nullptr);
  }
};

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  TestMainWindow test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"

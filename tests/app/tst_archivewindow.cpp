// The main window's downloads in the archive, offscreen against the logger
// simulator: what a download and an erase leave there, "Descargas
// anteriores" reopening a download as closing it did, its exports and
// delete, and an archive that cannot be written.

#include "archive.h"
#include "archivewindow.h"
#include "recorder.h"
#include "card.h"
#include "comport.h"
#include "datafile.h"
#include "dedizivi.h"
#include "erase.h"
#include "errorbox.h"
#include "forms.h"
#include "mainwindowsupport.h"
#include "testsupport.h"

#include "../output/outputtestkit.h"
#include "../serial/ptypair.h"
#include "chartform.h"
#include "sqlite.h"
#include "uikit.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QLabel>
#include <QChartView>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using dztest::MessageBoxWatcher;
using dztest::OnModal;
using dztest::Simulator;

namespace {

QByteArray ReadFile(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Answers the next file dialog with a name, as a user types it.
std::unique_ptr<OnModal<QFileDialog>> TypeName(const QString& path)
{
  return std::unique_ptr<OnModal<QFileDialog>>(dztest::TypeName(path));
}

std::vector<dz::ArchivedDownload> Archived()
{
  const auto archive = dz::Archive::OpenExisting(dz::Archive::DefaultPath());
  return archive ? archive->List() : std::vector<dz::ArchivedDownload>();
}

} // namespace

class TestArchiveWindow : public QObject {
  Q_OBJECT

  QTemporaryDir m_dir;

  QString StreamFile(const QString& name, const std::string& bytes)
  {
    QFile f(m_dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly))
      return {};
    f.write(bytes.data(), qint64(bytes.size()));
    return f.fileName();
  }

  // A whole download of the card through the window, closed by the user;
  // `beforeClosing` runs while it is open.
  void Download(const std::string& card, int model, const std::function<void()>& beforeClosing = {})
  {
    Simulator sim;
    const QString port = sim.Start({"--stream", StreamFile("card.stream", card), "--fast"});
    QVERIFY(!port.isEmpty());
    Form1->ComPort->SetPort(port.toStdString());
    Form1->ComboBox1->setCurrentIndex(model);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(Form1->ComPort->Connected());
    QTRY_COMPARE_WITH_TIMEOUT(Form1->RichEdit1.Text().size(), card.size(), 30000);
    if (beforeClosing)
      beforeClosing();
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(!Form1->ComPort->Connected());
  }

  // The newest entry, once its program has ended it.
  static dz::ArchivedDownload Newest()
  {
    std::vector<dz::ArchivedDownload> list;
    QTest::qWaitFor([&] { return !(list = Archived()).empty() && list[0].End != dz::EndReason::Running; }, 20000);
    return list.empty() ? dz::ArchivedDownload{} : list[0];
  }

  // Once the archive has answered what the window asked (off its thread).
  static bool Settled(const dz::ArchiveWindow* w)
  {
    return QTest::qWaitFor([w] { return !w->Busy(); }, 20000);
  }

  static dz::ArchiveWindow* ShowArchiveWindow()
  {
    Form1->Descargasanteriores1->trigger();
    auto* w = static_cast<dz::ArchiveWindow*>(Form1->findChild<QDialog*>(QStringLiteral("DescargasAnteriores")));
    return w && w->isVisible() && Settled(w) ? w : nullptr;
  }

  static std::string GridFile(int model)
  {
    const dz::GridSource& source = *Form1;
    return dz::DataFileContents(model, source.Grid());
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
    const QString data = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
    QVERIFY(QDir().mkpath(data));
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    Form1->BitBtn2Click(); // Limpiar
    Form1->ComboBox1->setCurrentIndex(-1);
  }
  void cleanup() { dztest::CloseAnyDownload(); }

  // The live download is kept as it arrived; "Descargas anteriores" lists it
  // newest first with the focus on it, Return opens it, and the data file
  // saved then is the one saved after the live download.
  void reopenedDownloadSavesTheSameFile()
  {
    const QList<QAction*> items = Form1->menuBar()->actions().at(0)->menu()->actions();
    const int at = int(items.indexOf(Form1->Descargasanteriores1));
    QCOMPARE(Form1->Descargasanteriores1->text(), QStringLiteral("Descargas a&nteriores"));
    QCOMPARE(items.at(at - 1), Form1->Imprimir1);
    QVERIFY(items.at(at + 1)->isSeparator());
    QCOMPARE(items.at(at + 2), Form1->Salir1);

    const std::string card = vexa::GenerateCard(0, 17, vexa::Eol::CrLf);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    Download(card, 0, [] { QTest::qWait(1100); }); // closed a second after it began
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const QString title = Form1->Label7->text();
    const QString live = m_dir.filePath("live.txt");
    {
      const auto answer = TypeName(live);
      Form1->Guardardatos1Click();
    }
    const dz::ArchivedDownload d = Newest();
    QCOMPARE(d.From, dz::Source::Window);
    QCOMPARE(d.End, dz::EndReason::Closed);
    const QDateTime started = QDateTime::fromString(QString::fromStdString(d.Started.Iso), Qt::ISODate);
    const QDateTime ended = QDateTime::fromString(QString::fromStdString(d.Ended), Qt::ISODate);
    QVERIFY2(before <= started && started < ended && ended <= after, d.Ended.c_str());
    QCOMPARE(d.Bytes, qint64(card.size()));
    QCOMPARE(d.Lines, qint64(4096));
    QCOMPARE(d.Model, 0);
    QCOMPARE(d.Trigger, std::string("1"));
    QCOMPARE(d.Port, Form1->ComPort->Port());

    Form1->BitBtn2Click();
    Form1->ComboBox1->setCurrentIndex(-1);
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->List()));
    QCOMPARE(w->List()->currentIndex().row(), 0);
    QVERIFY(w->OpenButton()->isDefault());
    // Tab and Shift+Tab leave the list (the buttons are reached by keys),
    // and each field is named for a screen reader by the label before it.
    QTest::keyClick(w->windowHandle(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ModelChoice()));
    QTest::keyClick(w->windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->List()));
    QTest::keyClick(w->windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Cerrar"));
    w->List()->setFocus(Qt::TabFocusReason);
    for (const auto& [field, name] : {std::pair<QWidget*, const char*>{w->ModelChoice(), "Convertir con el modelo"},
                                      {w->FirstSample(), "Primera muestra"},
                                      {w->Interval(), "Intervalo"},
                                      {w->Decimal(), "Decimal del CSV"}}) {
      QStringList labels;
      for (const auto& [label, relation] : QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
      QVERIFY2(labels.contains(QString::fromUtf8(name)), qPrintable(labels.join('|')));
    }
    QTest::keyClick(w->List(), Qt::Key_Return);
    QVERIFY(Settled(w));

    QVERIFY(!w->isVisible());
    // Coming back to the main window from this one keeps what opening showed.
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QCOMPARE(Form1->RichEdit1.Text(), card);
    QCOMPARE(Form1->ComboBox1->currentIndex(), 0);
    QCOMPARE(Form1->Label7->text(), title);
    QCOMPARE(Form1->ProgressBar2->value(), 512);
    QCOMPARE(Form1->Button_open->text(), QStringLiteral("Abrir descarga"));
    const QString reopened = m_dir.filePath("reopened.txt");
    {
      const auto answer = TypeName(reopened);
      Form1->Guardardatos1Click();
    }
    QCOMPARE(ReadFile(reopened), ReadFile(live));
    QCOMPARE(Archived().size(), std::size_t(1)); // opening is no download
  }

  // A radiation download comes back with its constant and offset; each model
  // chosen in the window converts it instead of its own, the first included.
  // Its CSV is converted with its own constant and offset, whatever the main
  // window holds now, as the command line converts it.
  void radiationFieldsAndModelChoice()
  {
    const std::string card = vexa::GenerateCard(4, 5, vexa::Eol::CrLf);
    Download(card, 4, [] {
      Form1->Edit1->setText(QStringLiteral("1,5"));
      Form1->SpinEdit1->setValue(3);
    });
    const std::string converted = GridFile(4);
    QCOMPARE(Newest().Constant.value_or("-"), std::string("1,5"));

    Form1->BitBtn2Click();
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    w->OpenClick();
    QVERIFY(Settled(w));
    QCOMPARE(Form1->Edit1->text(), QStringLiteral("1,5"));
    QCOMPARE(Form1->SpinEdit1->value(), 3);
    QVERIFY(Form1->Panel4->isVisible());
    QCOMPARE(GridFile(4), converted);

    for (int choice = 0; choice <= dz::kModelCount; ++choice) {
      const int model = choice == 0 ? 4 : choice - 1; // "el de la descarga" first
      w = ShowArchiveWindow();
      w->ModelChoice()->setCurrentIndex(choice);
      MessageBoxWatcher boxes; // a seven-channel layout does not fit this card
      QVERIFY(Settled(w));
      QTest::mouseClick(w->OpenButton(), Qt::LeftButton);
      QVERIFY(Settled(w));
      QCOMPARE(Form1->ComboBox1->currentIndex(), model);
      QCOMPARE(Form1->ProgressBar2->maximum(), dz::FindModel(model)->Samples);
      QCOMPARE(Form1->Label7->text(), QString::fromUtf8(dz::FindModel(model)->Title.data(),
                                                        qsizetype(dz::FindModel(model)->Title.size())));
      QCOMPARE(boxes.Texts.size(), model == 2 || model == 3 ? 1 : 0);
    }

    // The main window now holds another constant: the CSV keeps the download's.
    Form1->Edit1->setText(QStringLiteral("2,5"));
    Form1->SpinEdit1->setValue(0);
    w = ShowArchiveWindow();
    w->ModelChoice()->setCurrentIndex(0);
    const QString csv = m_dir.filePath("radiation.csv");
    {
      const auto answer = TypeName(csv);
      w->ExportCsvClick();
      QVERIFY(Settled(w));
    }
    QProcess cli;
    cli.start(QStringLiteral(DZ_CLI_PATH), {"archive", "export", QString::number(Newest().Id), "--csv",
                                            m_dir.filePath("radiation-cli.csv"), "--decimal", "comma"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(ReadFile(csv), ReadFile(m_dir.filePath("radiation-cli.csv")));
    QVERIFY(ReadFile(csv).size() > 1000);
    w->hide();
  }

  // Undated, the preview draws the card's samples by number; dated with
  // "Guardar", against time, only those taken before the download began,
  // with what each day held. The CSV is then the command line's from the
  // stored timing; the raw bytes are those received; deleting asks first.
  // The card's last line has no line end: it is a line all the same, in the
  // window as in the command line.
  void exportsAndDelete()
  {
    std::string card = vexa::GenerateCard(8, 2, vexa::Eol::Lf);
    card.pop_back();
    Download(card, 8);
    const dz::ArchivedDownload d = Newest();
    // The exports open where the data file was saved last, not in the
    // folder the program runs in.
    const QString elsewhere = m_dir.filePath("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    {
      const auto answer = TypeName(QDir(elsewhere).filePath("data.txt"));
      Form1->Guardardatos1Click();
    }
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    dz::ArchivePreview* preview = w->Preview();
    QVERIFY(preview->Note()->text().startsWith("Sin fecha"));
    QCOMPARE(preview->Shown(), 1000); // the card holds 1000; rows 1001 to 1024 are no readings
    QCOMPARE(preview->Days()->model()->rowCount(), 0);
    QVERIFY(!preview->SaveButton()->isEnabled());

    // Sampled every 30 minutes from 100 minutes before the download: 4 samples.
    w->FirstSample()->setDateTime(QDateTime::fromMSecsSinceEpoch(d.Started.Ms - 100 * 60000));
    w->Interval()->setCurrentIndex(w->Interval()->findData(qint64(1800)));
    QVERIFY(preview->Note()->text().endsWith("(sin guardar)"));
    QTest::mouseClick(preview->SaveButton(), Qt::LeftButton);
    QCOMPARE(Newest().IntervalSeconds, 1800);
    QCOMPARE(preview->Shown(), 4);
    QVERIFY2(preview->Note()->text().startsWith("4 muestras registradas"), qPrintable(preview->Note()->text()));
    QVERIFY(!preview->SaveButton()->isEnabled());
    const auto* series = static_cast<QLineSeries*>(preview->Chart()->chart()->series().at(0));
    QCOMPARE(series->count(), 4);
    QCOMPARE(qint64(series->at(3).x() - series->at(0).x()), qint64(3 * 1800000));
    QVERIFY(series->at(3).x() < double(d.Started.Ms));
    int daySamples = 0;
    for (int row = 0; row < preview->Days()->model()->rowCount(); ++row)
      daySamples += preview->Days()->model()->index(row, 1).data().toInt();
    QCOMPARE(daySamples, 4);

    const QString csv = m_dir.filePath("window.csv");
    QString opened;
    {
      OnModal<QFileDialog> where([&](QFileDialog* dialog) {
        opened = dialog->directory().absolutePath();
        dialog->reject();
      });
      w->ExportCsvClick();
      QVERIFY(where.Fired());
    }
    QCOMPARE(opened, QDir(elsewhere).absolutePath());
    {
      const auto answer = TypeName(csv);
      w->ExportCsvClick();
      QVERIFY(Settled(w));
    }
    QVERIFY2(w->Status()->text().contains("1020 filas no registradas"), qPrintable(w->Status()->text()));
    QProcess cli;
    cli.start(QStringLiteral(DZ_CLI_PATH),
              {"archive", "export", QString::number(d.Id), "--csv", m_dir.filePath("cli.csv"), "--decimal", "comma"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.readAllStandardError().contains("its last line was converted as it stands"));
    QCOMPARE(ReadFile(csv), ReadFile(m_dir.filePath("cli.csv")));
    QCOMPARE(ReadFile(csv).count("\r\n"), 1 + 4);

    const QString raw = m_dir.filePath("window.raw");
    {
      OnModal<QFileDialog> where([&](QFileDialog* dialog) {
        opened = dialog->directory().absolutePath();
        dialog->reject();
      });
      w->SaveRawClick();
    }
    QCOMPARE(opened, QDir(m_dir.path()).absolutePath()); // where the CSV went
    {
      const auto answer = TypeName(raw);
      w->SaveRawClick();
      QVERIFY(Settled(w));
    }
    QCOMPARE(ReadFile(raw), QByteArray::fromStdString(card));

    auto answer = [](const QString& button) {
      return std::make_unique<OnModal<QMessageBox>>([button](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
          if (b->text() == button)
            b->click();
      });
    };
    {
      const auto no = answer(QStringLiteral("&No"));
      w->DeleteClick();
      QVERIFY(Settled(w));
      QVERIFY(no->Fired());
    }
    QCOMPARE(Archived().size(), std::size_t(1));
    {
      const auto yes = answer(QStringLiteral("&Sí"));
      w->DeleteClick();
      QVERIFY(Settled(w));
    }
    QVERIFY(Archived().empty());
    QCOMPARE(w->List()->model()->rowCount(), 0);
    w->hide();
  }

  // "BORRAR" during a download ends its entry ("borrada") and notes the erase.
  void eraseIsNoted()
  {
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    Form1->ComPort->SetPort(pty.Path());
    Form1->ComboBox1->setCurrentIndex(0);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QVERIFY(pty.Send("1\r\n2\r\n"));
    QTRY_COMPARE(Form1->RichEdit1.LineCount(), 2);
    Form17->BitBtn1Click();
    static_cast<QWidget*>(Form18)->hide();
    QVERIFY(!Form1->ComPort->Connected());

    std::vector<dz::ArchivedDownload> list;
    QTRY_VERIFY_WITH_TIMEOUT((list = Archived()).size() == 2 && list[1].End != dz::EndReason::Running, 20000);
    const dz::ArchivedDownload& erase = list[0].Erase ? list[0] : list[1];
    const dz::ArchivedDownload& download = list[0].Erase ? list[1] : list[0];
    QVERIFY(erase.Erase);
    QCOMPARE(erase.Trigger, std::string("9"));
    QCOMPARE(erase.Port, pty.Path());
    // Labelled as what ended it, not as closed by the user.
    QCOMPARE(download.End, dz::EndReason::Erased);
    QCOMPARE(download.Bytes, qint64(6));
  }

  // A FIFO where the archive belongs: the window does not wait on it; it
  // says why it cannot list, and a download says so once and converts.
  void fifoInTheArchivesPlace()
  {
    const QString archive = QString::fromStdString(dz::Archive::DefaultPath());
    QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
    QCOMPARE(::mkfifo(archive.toLocal8Bit().constData(), 0600), 0);
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    QVERIFY2(w->Status()->text().startsWith("No se puede leer el archivo de descargas"), qPrintable(w->Status()->text()));
    w->hide();
    MessageBoxWatcher boxes;
    Download(vexa::GenerateCard(8, 7, vexa::Eol::CrLf), 8);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QVERIFY(boxes.Texts[0].startsWith("Esta descarga no se puede guardar en el archivo de descargas"));
    QCOMPARE(Form1->ProgressBar2->value(), 1024);
  }

  // A download that ended short opens and exports as it was received: the
  // grid with the samples that arrived and the usual message for the first
  // missing one; a CSV of those samples. One with no bytes opens nothing.
  void shortDownloadOpensAndExportsAsReceived()
  {
    const std::string card = vexa::GenerateCard(8, 9, vexa::Eol::CrLf);
    std::size_t end = 0;
    for (int i = 0; i < 100; ++i) // 25 samples of four lines
      end = card.find("\r\n", end) + 2;
    MessageBoxWatcher boxes;
    Download(card.substr(0, end), 8);
    QTRY_COMPARE(boxes.Texts.size(), 1);
    const QString missing = boxes.Texts[0];
    const std::string live = GridFile(8);
    QVERIFY(Newest().Bytes > 0);

    Form1->BitBtn2Click();
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    w->OpenClick();
    QVERIFY(Settled(w));
    QTRY_COMPARE(boxes.Texts.size(), 2);
    QCOMPARE(boxes.Texts[1], missing);
    QCOMPARE(GridFile(8), live);

    w = ShowArchiveWindow();
    const QString csv = m_dir.filePath("short.csv");
    {
      const auto answer = TypeName(csv);
      w->ExportCsvClick();
      QVERIFY(Settled(w));
    }
    QCOMPARE(ReadFile(csv).count('\n'), 1 + 25);
    QVERIFY2(w->Status()->text().startsWith("Se exportaron 25 de 1024 muestras"), qPrintable(w->Status()->text()));
    w->hide();

    // Opened and closed with nothing received.
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    Form1->ComPort->SetPort(pty.Path());
    Form1->ComboBox1->setCurrentIndex(8);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    QTRY_VERIFY(Newest().Bytes == 0 && Newest().Id > 0);
    w = ShowArchiveWindow();
    QCOMPARE(w->List()->currentIndex().row(), 0);
    QVERIFY(!w->OpenButton()->isEnabled());
    QVERIFY(!w->findChild<QPushButton*>(QStringLiteral("ExportarCSV"))->isEnabled());
    QVERIFY(!w->findChild<QPushButton*>(QStringLiteral("GuardarCrudo"))->isEnabled());
    w->hide();
  }

  // Data that can be no card: the window stops archiving it at the command
  // line's bound and says so once; the download itself goes on.
  void noCardIsArchivedNoFurther()
  {
    serialtest::PtyPair pty;
    QVERIFY(pty.Ok());
    Form1->ComPort->SetPort(pty.Path());
    Form1->ComboBox1->setCurrentIndex(8);
    MessageBoxWatcher boxes;
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    const QByteArray sent = "1\r\n2\r\n" + QByteArray(300, '5') + "\r\n3\r\n";
    QVERIFY(pty.Send(sent));
    QTRY_COMPARE(Form1->RichEdit1.Text().size(), std::size_t(sent.size()));
    QTRY_COMPARE(boxes.Texts.filter("no pueden ser de una tarjeta").size(), 1);
    QTest::mouseClick(Form1->Button_open, Qt::LeftButton);
    const dz::ArchivedDownload d = Newest();
    QCOMPARE(d.End, dz::EndReason::NotACard);
    QCOMPARE(d.Bytes, qint64(6 + 256));
    QCOMPARE(boxes.Texts.filter("no pueden ser de una tarjeta").size(), 1);
  }

  // An entry deleted or changed by another program since the list was drawn:
  // nothing is written, the grid is not touched, the list is drawn again.
  void staleListIsNeverActedOn()
  {
    const std::string card = vexa::GenerateCard(8, 10, vexa::Eol::CrLf);
    Download(card, 8);
    Form1->BitBtn2Click();
    Download(card, 8);
    QTRY_VERIFY(Archived().size() == 2 && Archived()[0].End != dz::EndReason::Running);
    Form1->BitBtn2Click();
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    const std::int64_t newest = Archived()[0].Id;
    QCOMPARE(dz::Archive::OpenExisting(dz::Archive::DefaultPath())->Delete(newest), true);

    {
      MessageBoxWatcher boxes;
      const QString raw = m_dir.filePath("stale.raw");
      {
        const auto answer = TypeName(raw);
        w->SaveRawClick();
        QVERIFY(Settled(w));
      }
      QTRY_COMPARE(boxes.Texts.size(), 1);
      QVERIFY2(boxes.Texts[0].contains("ya no está en el archivo de descargas"), qPrintable(boxes.Texts[0]));
      QVERIFY(!QFile::exists(raw));
      QVERIFY(Settled(w));
      QCOMPARE(w->List()->model()->rowCount(), 1);

      // Changed: converted since with another model by another program.
      {
        dz::SqliteDb db(dz::Archive::DefaultPath(), SQLITE_OPEN_READWRITE);
        db.Exec("UPDATE downloads SET model = 7");
      }
      w->OpenClick();
      QVERIFY(Settled(w));
      QTRY_COMPARE(boxes.Texts.size(), 2);
      QVERIFY2(boxes.Texts[1].contains("cambió en el archivo de descargas"), qPrintable(boxes.Texts[1]));
      QVERIFY(Form1->RichEdit1.Text().empty());
      QCOMPARE(Form1->ProgressBar2->value(), 0);
      QVERIFY(w->isVisible());
      QVERIFY(Settled(w));
    }

    // Deleted again, then "Eliminar" on what the list still shows.
    QCOMPARE(dz::Archive::OpenExisting(dz::Archive::DefaultPath())->Delete(Archived()[0].Id), true);
    {
      const auto yes = std::make_unique<OnModal<QMessageBox>>([](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
          if (b->text() == QStringLiteral("&Sí"))
            b->click();
      });
      w->DeleteClick();
      QVERIFY(yes->Fired());
    }
    MessageBoxWatcher after;
    QTRY_COMPARE(after.Texts.size(), 1);
    QVERIFY2(after.Texts[0].contains("ya no está en el archivo de descargas"), qPrintable(after.Texts[0]));
    QVERIFY(Settled(w));
    QCOMPARE(w->List()->model()->rowCount(), 0);
    w->hide();
  }

  // Reopening while the chart window is open: the main window is the active
  // one afterwards, its title that of the download opened.
  void reopenWithTheChartOpen()
  {
    Download(vexa::GenerateCard(0, 12, vexa::Eol::CrLf), 0);
    const QString title = Form1->Label7->text();
    QVERIFY(!title.isEmpty());
    dz::ArchiveWindow* w = ShowArchiveWindow();
    QVERIFY(w);
    dz::ShowForm(form11);
    QVERIFY(QTest::qWaitForWindowActive(form11));
    w->OpenClick();
    QVERIFY(Settled(w));
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    QTest::qWait(200); // whatever activation was still on its way
    QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(Form1));
    QCOMPARE(Form1->Label7->text(), title);
    QCOMPARE(Form1->windowTitle(), QStringLiteral("DEDIZIVI  Ver. 3.4"));
  }

  // An archive that cannot be written is said once; the download converts as ever.
  void unwritableArchiveIsSaidOnce()
  {
    const QString plain = m_dir.filePath("plain-file");
    QFile f(plain);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    qputenv("XDG_DATA_HOME", plain.toLocal8Bit()); // a folder that is a file

    MessageBoxWatcher boxes;
    const std::string card = vexa::GenerateCard(8, 3, vexa::Eol::CrLf);
    Download(card, 8, [] { QTest::qWait(1200); }); // several batches fail meanwhile
    QTRY_COMPARE(boxes.Texts.size(), 1);
    QVERIFY2(boxes.Texts[0].startsWith("Esta descarga no se puede guardar en el archivo de descargas"),
             qPrintable(boxes.Texts[0]));
    QCOMPARE(boxes.Captions[0], QStringLiteral("DEDIZIVI Ver. 3.4"));
    QCOMPARE(Form1->ProgressBar2->value(), 1024);
    QTest::qWait(2 * int(dz::ArchiveRecorder::kBatchInterval.count()));
    QCOMPARE(boxes.Texts.size(), 1);
  }
};

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  TestArchiveWindow test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_archivewindow.moc"

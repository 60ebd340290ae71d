// Printing and copying the chart: one page of the current printer in either
// orientation, the chart as it stands on screen, the printer's orientation
// given back also after a failure, the clipboard bitmap, and a CUPS job.

#include "chartdialogs.h"
#include "chartform.h"
#include "forms.h"
#include "outputtestkit.h"
#include "printing.h"
#include "uikit.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QImage>
#include <QLineSeries>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using dz::ChartAxis;

namespace {

// Pixels of an image close to a colour.
int CountColour(const QImage& image, const QColor& c, int tolerance = 40)
{
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor p = image.pixelColor(x, y);
      if (qAbs(p.red() - c.red()) + qAbs(p.green() - c.green()) + qAbs(p.blue() - c.blue()) <= tolerance)
        ++n;
    }
  return n;
}

// The first page of a PDF as an image.
QImage Rasterize(const QString& pdf, const QString& stem)
{
  dztest::Run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                                           QStringLiteral("-singlefile"), pdf, stem});
  return QImage(stem + QStringLiteral(".png"));
}

} // namespace

class TestChartPrint : public QObject {
  Q_OBJECT

private slots:
  void init()
  {
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_source = std::make_unique<dztest::TestSource>();
    // Two channels around 20 and 30 degrees.
    for (int r = 1; r <= 512; ++r) {
      m_source->Cells.SetCell(1, r, std::to_string(20 + r % 5) + ",0");
      m_source->Cells.SetCell(2, r, std::to_string(30 + r % 7) + ",5");
    }
    m_source->Model = 0;
    m_form = std::make_unique<Tform11>(*m_source);
    form11 = m_form.get();
    dz::RegisterForm(m_form.get());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QTRY_COMPARE(m_form->Chart1->PointCount(2), 512);
  }

  void cleanup()
  {
    form11 = nullptr;
    m_form.reset();
  }

  void onePageInEitherOrientation_data()
  {
    QTest::addColumn<int>("radioItem");
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("pageSize");
    QTest::newRow("Apaisado") << 0 << int(QPageLayout::Portrait) << "842 x 595";
    QTest::newRow("Retrato") << 1 << int(QPageLayout::Landscape) << "595 x 842";
  }

  void onePageInEitherOrientation()
  {
    QFETCH(int, radioItem);
    QFETCH(int, before);
    QFETCH(QString, pageSize);
    QPrinter& printer = dz::CurrentPrinter();
    const QString pdf = m_tmp->filePath(QStringLiteral("chart.pdf"));
    // The printer writes a file: the listing printed last, which "SI" must
    // not replace unasked. It asks where, offering a name of no file.
    const QString listing = m_tmp->filePath(QStringLiteral("listado.pdf"));
    dztest::WriteFile(listing, "the listing");
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(listing);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Orientation(before));

    TForm15 confirm;
    confirm.show();
    confirm.SetItemIndex(radioItem);
    QString offered;
    dztest::MessageBoxWatcher told;
    {
      dztest::OnModal<QFileDialog> where([&](QFileDialog* d) {
        offered = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        d->reject();
      });
      confirm.BitBtn1->click();
      QVERIFY(where.Fired());
    }
    QVERIFY2(!offered.isEmpty() && !QFileInfo::exists(QDir(dz::SaveFolder()).filePath(offered)), qPrintable(offered));
    QCOMPARE(dztest::ReadFile(listing), QByteArray("the listing"));
    QVERIFY(told.Texts.isEmpty()); // cancelled: nothing printed
    {
      std::unique_ptr<dztest::OnModal<QFileDialog>> name(dztest::TypeName(pdf));
      confirm.BitBtn1->click();
      QVERIFY(name->Fired());
    }
    QCOMPARE(dztest::ReadFile(listing), QByteArray("the listing"));
    QTRY_COMPARE(told.Texts, QStringList{QStringLiteral("Impreso en el archivo %1").arg(pdf)});
    QVERIFY(confirm.isVisible()); // stays open after printing
    QCOMPARE(int(printer.pageLayout().orientation()), before);
    QCOMPARE(dztest::PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("1"));
    QVERIFY2(dztest::PdfInfo(pdf, QStringLiteral("Page size")).startsWith(pageSize),
             qPrintable(dztest::PdfInfo(pdf, QStringLiteral("Page size"))));
    const QStringList text = dztest::TextLines(dztest::PdfPages(pdf).value(0));
    QVERIFY(text.contains(QStringLiteral("2 CANALES DE TEMPERATURA")));
    QVERIFY(text.contains(QStringLiteral("Muestra número (tiempo)")));

    // Pressing SI again prints again, asking again.
    QVERIFY(QFile::remove(pdf));
    {
      std::unique_ptr<dztest::OnModal<QFileDialog>> name(dztest::TypeName(pdf));
      confirm.BitBtn1->click();
    }
    QCOMPARE(dztest::PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("1"));
  }

  void printsTheChartAsItStands()
  {
    QPrinter& printer = dz::CurrentPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QColor red(255, 0, 0), green(0, 128, 0);

    const QString shown = m_tmp->filePath(QStringLiteral("shown.pdf"));
    printer.setOutputFileName(shown);
    m_form->PrintChart(QPageLayout::Landscape);
    const QImage both = Rasterize(shown, m_tmp->filePath(QStringLiteral("shown")));
    QVERIFY(!both.isNull());
    QVERIFY(CountColour(both, red) > 20);
    QVERIFY(CountColour(both, green) > 20);
    // Titles and legend as set up for the model, not as the form started.
    const QString text = dztest::TextLines(dztest::PdfPages(shown).value(0)).join(QLatin1Char('\n'));
    QVERIFY2(text.contains(QLatin1String("2 CANALES DE TEMPERATURA")) && text.contains(QLatin1String("Canal 2")) &&
               !text.contains(QLatin1String("Ref.")) && text.contains(QLatin1String("500")),
             qPrintable(text));

    // Series 1 unchecked: its red line is not printed.
    m_form->CheckBox1->click();
    const QString hidden = m_tmp->filePath(QStringLiteral("hidden.pdf"));
    printer.setOutputFileName(hidden);
    m_form->PrintChart(QPageLayout::Landscape);
    const QImage one = Rasterize(hidden, m_tmp->filePath(QStringLiteral("hidden")));
    QCOMPARE(CountColour(one, red), 0);
    QVERIFY(CountColour(one, green) > 20);

    // Zoomed onto samples 0 to 40 of the green channel: far less line, and
    // the axis labels of the zoomed range.
    m_form->Chart1->ZoomTo(QRectF(QPointF(0, 29), QPointF(40, 37)));
    const QString zoomed = m_tmp->filePath(QStringLiteral("zoomed.pdf"));
    printer.setOutputFileName(zoomed);
    m_form->PrintChart(QPageLayout::Landscape);
    const QImage close = Rasterize(zoomed, m_tmp->filePath(QStringLiteral("zoomed")));
    QVERIFY(CountColour(close, green) < CountColour(one, green)); // 40 samples instead of 512
    const QString labels = dztest::TextLines(dztest::PdfPages(zoomed).value(0)).join(QLatin1Char('\n'));
    QVERIFY2(labels.contains(QLatin1String("40")) && !labels.contains(QLatin1String("500")), qPrintable(labels));
  }

  void failureGivesTheOrientationBack()
  {
    QPrinter& printer = dz::CurrentPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QStringLiteral("/nonexistent-folder/chart.pdf"));
    printer.setPageOrientation(QPageLayout::Portrait);
    QVERIFY_THROWS_EXCEPTION(dz::PrintError, m_form->PrintChart(QPageLayout::Landscape));
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    printer.setPageOrientation(QPageLayout::Landscape);
    QVERIFY_THROWS_EXCEPTION(dz::PrintError, m_form->PrintChart(QPageLayout::Portrait));
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    // The chart is unchanged and can be printed once the printer works.
    QCOMPARE(m_form->Chart1->PointCount(1), 512);
    const QString pdf = m_tmp->filePath(QStringLiteral("after.pdf"));
    printer.setOutputFileName(pdf);
    m_form->PrintChart(QPageLayout::Portrait);
    QCOMPARE(dztest::PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("1"));
  }

  void copyPutsTheChartOnTheClipboard()
  {
    QApplication::clipboard()->clear();
    m_form->ToolButton2->click();
    const QImage image = QApplication::clipboard()->image();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(633, 393));
    QCOMPARE(image.size(), m_form->Chart1->View()->size());
    QVERIFY(CountColour(image, QColor(255, 0, 0)) > 50);
    QVERIFY(CountColour(image, QColor(0, 128, 0)) > 50);
    // The pale yellow end of the background.
    QVERIFY(CountColour(image, QColor(255, 255, 196), 12) > 100);
  }

  void realJobThroughCups()
  {
    const QPrinterInfo queue = QPrinterInfo::printerInfo(QStringLiteral("PDF"));
    if (queue.isNull())
      QSKIP("no CUPS daemon with a \"PDF\" queue is running (start cupsd and add the cups-pdf queue)");
    const QStringList before = dztest::CupsPdfs();
    QPrinter& printer = dz::CurrentPrinter();
    printer.setOutputFileName(QString());
    printer.setPrinterName(queue.printerName());
    printer.setPageOrientation(QPageLayout::Portrait);
    m_form->PrintChart(QPageLayout::Landscape);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    const QString job = dztest::AwaitCupsJob(before, 1);
    QVERIFY(!job.isEmpty());
    // The queue may turn a landscape job on a portrait sheet: one page is what counts.
    QFile::remove(job);
  }

private:
  std::unique_ptr<QTemporaryDir> m_tmp;
  std::unique_ptr<dztest::TestSource> m_source;
  std::unique_ptr<Tform11> m_form;
};

QTEST_MAIN(TestChartPrint)
#include "tst_chartprint.moc"

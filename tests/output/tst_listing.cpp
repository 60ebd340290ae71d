// The printed listing: its lines per model, the page layout of the printer
// text stream read back from real PDF output, the print dialog, printer
// failures, and a job through a CUPS queue where a CUPS daemon runs.

#include "listing.h"
#include "outputtestkit.h"
#include "printing.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QFile>
#include <QFontMetrics>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTest>

using dztest::OnModal;

namespace {

std::unique_ptr<QPrinter> PdfPrinter(const QString& path, QPageSize::PageSizeId size = QPageSize::A4)
{
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(path);
  printer->setPageSize(QPageSize(size));
  printer->setPageOrientation(QPageLayout::Portrait);
  return printer;
}

// Heights of the stream's layout on a device, from the font alone.
struct Heights {
  int Text;  // a line of text: its height plus 2
  int Empty; // an empty line: the character height
  int Page;
};

Heights HeightsOn(QPrinter& printer)
{
  const QFontMetrics fm(dz::PrinterTextStream::DefaultFont(), &printer);
  return {fm.height() + 2, fm.height(), printer.height()};
}

// How many lines each page takes by the layout rule, simulated step by step.
QList<int> LinesPerPage(const QStringList& lines, const Heights& h)
{
  QList<int> pages{0};
  int y = 0;
  bool pending = false;
  for (const QString& line : lines) {
    if (pending) {
      pages << 0;
      y = 0;
      pending = false;
    }
    ++pages.last();
    const int advance = line.isEmpty() ? h.Empty : h.Text;
    const int recorded = line.isEmpty() ? 0 : h.Text;
    y += advance;
    pending = y > h.Page - 2 * recorded;
  }
  return pages;
}

QStringList Tokens(const QString& line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

} // namespace

class TestListing : public QObject {
  Q_OBJECT

private slots:
  void init()
  {
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_grid.Clear();
  }

  void cleanup() { QVERIFY(!dztest::AnyModalLeft()); }

  void linesOfEachModel_data()
  {
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("separator");
    const QString two = QStringLiteral("CH1       CH2");
    const QString seven = QStringLiteral("REF       CH1       CH2       CH3       CH4       CH5       CH6");
    QTest::newRow("0") << 0 << "PR2CHLM35" << "2 canales de temperatura LM35Z" << two << 512 << "     ";
    QTest::newRow("1") << 1 << "PR2CHNTC" << "2 canales de temperatura NTC" << two << 512 << "     ";
    QTest::newRow("2") << 2 << "PR7CHTCJ" << "7 canales de temperatura con termocupla \"J\"" << seven << 1170 << "         ";
    QTest::newRow("3") << 3 << "PR7CHLM35" << "7 canales de temperatura con LM35Z" << seven << 1170 << "         ";
    QTest::newRow("4") << 4 << "PR1CHRAD" << "1 canal de radiación solar en uMOL/m2/S-1" << "CH1" << 1024 << "";
    QTest::newRow("5") << 5 << "PR1CHHR" << "1 canal de humedad relativa 1/1" << "CH1" << 1024 << "";
    QTest::newRow("6") << 6 << "PR1CHMV" << "1 canal de humedad relativa 2/2" << "CH1" << 1024 << "";
    QTest::newRow("7") << 7 << "PR1CHMILIVOLT" << "1 canal de milivoltios" << "CH1" << 1024 << "";
    QTest::newRow("8") << 8 << "PR1CHLM35" << "1 canal de temperatura LM35Z" << "CH1" << 1024 << "";
  }

  void linesOfEachModel()
  {
    QFETCH(int, model);
    QFETCH(QString, routine);
    QFETCH(QString, title);
    QFETCH(QString, header);
    QFETCH(int, rows);
    QFETCH(QString, separator);
    dztest::FillGrid(m_grid, 7, 1170);
    m_grid.SetCell(1, 0, "REF");
    m_grid.SetCell(0, 1, "1");
    const dz::ListingInfo* listing = dz::FindListing(model);
    QVERIFY(listing != nullptr);
    QCOMPARE(dz::FindListingByRoutine(routine.toStdString()), listing);
    const QStringList lines = dz::ListingLines(*listing, m_grid);
    QCOMPARE(lines.size(), rows + 2);
    QCOMPARE(lines[0], title);
    QCOMPARE(lines[1], header);
    const int cols = model <= 1 ? 2 : model <= 3 ? 7 : 1;
    for (int r = 1; r <= rows; ++r) {
      QStringList cells;
      for (int c = 1; c <= cols; ++c)
        cells << QString::fromStdString(m_grid.Cell(c, r));
      QCOMPARE(lines[r + 1], cells.join(separator));
    }
  }

  void noListingWithoutModel()
  {
    QVERIFY(dz::FindListing(-1) == nullptr);
    QVERIFY(dz::FindListing(9) == nullptr);
    // Not even the dialog comes up.
    OnModal<QPrintDialog> dialog([](QPrintDialog* d) { d->reject(); });
    dz::PrintListing(nullptr, -1, m_grid);
    QTest::qWait(50);
    QVERIFY(!dialog.Fired());
  }

  void pdfPagesFollowTheLayoutRule_data()
  {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("filledColumns");
    QTest::addColumn<int>("filledRows");
    QTest::newRow("two channels") << 0 << 2 << 512;
    QTest::newRow("seven channels") << 3 << 7 << 1170;
    QTest::newRow("one channel") << 8 << 1 << 1024;
    // A two-channel download listed as a one-channel model: rows 513 on are empty lines.
    QTest::newRow("one channel over a two-channel grid") << 5 << 2 << 512;
    QTest::newRow("empty one channel") << 4 << 0 << 0;
    QTest::newRow("empty two channels") << 1 << 0 << 0;
  }

  void pdfPagesFollowTheLayoutRule()
  {
    QFETCH(int, model);
    QFETCH(int, filledColumns);
    QFETCH(int, filledRows);
    dztest::FillGrid(m_grid, filledColumns, filledRows);
    const QString pdf = m_tmp->filePath(QStringLiteral("listing.pdf"));
    auto printer = PdfPrinter(pdf);
    const dz::ListingInfo& listing = *dz::FindListing(model);
    const QStringList lines = dz::ListingLines(listing, m_grid);
    const int pages = dz::WriteListing(*printer, listing, m_grid);

    const QList<int> expected = LinesPerPage(lines, HeightsOn(*printer));
    QCOMPARE(pages, expected.size());
    QCOMPARE(dztest::PdfInfo(pdf, QStringLiteral("Pages")).toInt(), expected.size());
    QVERIFY(dztest::PdfInfo(pdf, QStringLiteral("Page size")).startsWith(QLatin1String("595")));

    // Read back: each page holds exactly its share of the lines, in order.
    const QStringList text = dztest::PdfPages(pdf);
    QCOMPARE(text.size(), expected.size());
    int next = 0;
    for (int p = 0; p < expected.size(); ++p) {
      QStringList want;
      for (int i = 0; i < expected[p]; ++i, ++next)
        if (!lines[next].trimmed().isEmpty())
          want << Tokens(lines[next]).join(QLatin1Char(' '));
      QStringList got;
      for (const QString& line : dztest::TextLines(text[p]))
        got << Tokens(line).join(QLatin1Char(' '));
      QCOMPARE(got, want);
    }
    QCOMPARE(next, lines.size());
    // With a steady line height a full page holds int(P / h) - 1 lines.
    if (filledRows > 0 && filledColumns >= listing.Columns) {
      const Heights h = HeightsOn(*printer);
      QCOMPARE(expected.first(), h.Page / h.Text - 1);
    }
  }

  void textAfterEmptyLinesIsNeverCutAtTheBottom()
  {
    const QString pdf = m_tmp->filePath(QStringLiteral("bottom.pdf"));
    auto printer = PdfPrinter(pdf);
    const Heights h = HeightsOn(*printer);
    // Title and header, then as many empty lines as keep the position on the
    // page but leave less than a line of room; then a value.
    const int empties = (h.Page - 2 * h.Text) / h.Empty;
    QVERIFY(2 * h.Text + empties * h.Empty > h.Page - h.Empty);
    m_grid.SetCell(1, empties + 1, "42,5");
    dz::WriteListing(*printer, *dz::FindListing(8), m_grid);
    const QStringList text = dztest::PdfPages(pdf);
    // The empty rows after the value still take their pages.
    QVERIFY(text.size() >= 2);
    for (int p = 2; p < text.size(); ++p)
      QVERIFY(dztest::TextLines(text[p]).isEmpty());
    QCOMPARE(dztest::TextLines(text[0]), (QStringList{QStringLiteral("1 canal de temperatura LM35Z"), QStringLiteral("CH1")}));
    QCOMPARE(dztest::TextLines(text[1]), QStringList{QStringLiteral("42,5")});
  }

  void overlongLineBreaksAtLastFittingCharacter()
  {
    const QString pdf = m_tmp->filePath(QStringLiteral("narrow.pdf"));
    auto printer = PdfPrinter(pdf, QPageSize::A8);
    printer->setPageMargins(QMarginsF(2, 2, 2, 2), QPageLayout::Millimeter);
    QString digits;
    for (int i = 0; i < 120; ++i)
      digits += QChar(u'0' + i % 10);
    {
      dz::PrinterTextStream stream(*printer);
      stream.WriteLine(digits);
      stream.Close();
    }
    const QFontMetrics fm(dz::PrinterTextStream::DefaultFont(), printer.get());
    QStringList pieces;
    for (const QString& page : dztest::PdfPages(pdf))
      pieces << dztest::TextLines(page);
    QVERIFY(pieces.size() > 2);
    QCOMPARE(pieces.join(QString()), digits);
    int used = 0;
    for (int i = 0; i < pieces.size(); ++i) {
      QVERIFY(fm.horizontalAdvance(pieces[i]) <= printer->width());
      used += pieces[i].size();
      if (i + 1 < pieces.size()) // one more character would not have fitted
        QVERIFY(fm.horizontalAdvance(pieces[i] + digits.at(used)) > printer->width());
    }
  }

  void printerFailuresAreErrors()
  {
    dztest::FillGrid(m_grid, 2, 512);
    // No printer and no file chosen: the job cannot start. (Where a print
    // service runs, an empty file name means its default printer instead.)
    QPrinter none(QPrinter::HighResolution);
    none.setOutputFormat(QPrinter::PdfFormat);
    none.setOutputFileName(QString());
    if (none.outputFormat() == QPrinter::PdfFormat)
      QVERIFY_THROWS_EXCEPTION(dz::PrintError, dz::WriteListing(none, *dz::FindListing(0), m_grid));

    auto unwritable = PdfPrinter(QStringLiteral("/nonexistent-folder/listing.pdf"));
    try {
      dz::WriteListing(*unwritable, *dz::FindListing(0), m_grid);
      QFAIL("a printer that cannot open its output printed");
    } catch (const dz::PrintError& e) {
      QVERIFY2(QString::fromUtf8(e.what()).startsWith(QLatin1String("Cannot start the print job")), e.what());
    }
    // The program's printer is still usable afterwards.
    auto fine = PdfPrinter(m_tmp->filePath(QStringLiteral("after.pdf")));
    QCOMPARE(dz::WriteListing(*fine, *dz::FindListing(0), m_grid) > 0, true);
  }

  void printDialogDecidesAndItsChoiceStays()
  {
    dztest::MessageBoxWatcher told;
    dztest::FillGrid(m_grid, 1, 1024);
    const QString first = m_tmp->filePath(QStringLiteral("first.pdf"));
    QPrinter& printer = dz::CurrentPrinter();

    {
      OnModal<QPrintDialog> cancel([](QPrintDialog* d) { d->reject(); });
      dz::PrintListing(nullptr, 6, m_grid);
      QVERIFY(cancel.Fired());
      QVERIFY(!QFile::exists(first));
    }
    {
      // The user picks printing to a file and names it.
      OnModal<QPrintDialog> ok([&](QPrintDialog* d) {
        auto* printers = d->findChild<QComboBox*>(QStringLiteral("printers"));
        auto* file = d->findChild<QLineEdit*>(QStringLiteral("filename"));
        QVERIFY(printers != nullptr && file != nullptr);
        printers->setCurrentIndex(printers->findText(QStringLiteral("Print to File (PDF)")));
        file->setText(first);
        d->accept();
      });
      dz::PrintListing(nullptr, 6, m_grid);
      QVERIFY(ok.Fired());
    }
    QVERIFY(QFile::exists(first));
    QCOMPARE(dztest::TextLines(dztest::PdfPages(first).value(0)).mid(0, 3),
             (QStringList{QStringLiteral("1 canal de humedad relativa 2/2"), QStringLiteral("CH1"),
                          QString::fromStdString(m_grid.Cell(1, 1))}));
    // The printer the dialog left is the one the next job uses.
    QCOMPARE(&dz::CurrentPrinter(), &printer);
    QCOMPARE(dz::CurrentPrinter().outputFileName(), first);
    QCOMPARE(told.Texts, QStringList{QStringLiteral("Impreso en el archivo %1").arg(first)});

    // The next listing's dialog offers a file that is not there yet: the
    // first listing is replaced only if the user names it again.
    const QByteArray firstBytes = dztest::ReadFile(first);
    QString offered;
    {
      // Printing to a file again, the name the dialog offers kept.
      OnModal<QPrintDialog> ok([&](QPrintDialog* d) {
        auto* printers = d->findChild<QComboBox*>(QStringLiteral("printers"));
        printers->setCurrentIndex(printers->findText(QStringLiteral("Print to File (PDF)")));
        offered = d->findChild<QLineEdit*>(QStringLiteral("filename"))->text();
        d->accept();
      });
      dz::PrintListing(nullptr, 8, m_grid);
      QVERIFY(ok.Fired());
    }
    QVERIFY2(offered != first && QFileInfo(offered).fileName().endsWith(QLatin1String(".pdf")), qPrintable(offered));
    QCOMPARE(dztest::ReadFile(first), firstBytes);
    QCOMPARE(dztest::TextLines(dztest::PdfPages(offered).value(0)).value(0), QStringLiteral("1 canal de temperatura LM35Z"));
    QFile::remove(offered);
  }

  void realJobThroughCups()
  {
    const QPrinterInfo queue = QPrinterInfo::printerInfo(QStringLiteral("PDF"));
    if (queue.isNull())
      QSKIP("no CUPS daemon with a \"PDF\" queue is running (start cupsd and add the cups-pdf queue)");
    const QStringList before = dztest::CupsPdfs();

    QPrinter printer(queue, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("dz-listing-test"));
    dztest::FillGrid(m_grid, 7, 1170);
    const int pages = dz::WriteListing(printer, *dz::FindListing(2), m_grid);
    QVERIFY(pages > 1);

    const QString job = dztest::AwaitCupsJob(before, pages);
    QVERIFY(!job.isEmpty());
    QFile::remove(job);
  }

private:
  std::unique_ptr<QTemporaryDir> m_tmp;
  dz::CellGrid m_grid;
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"

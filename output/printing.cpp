#include "printing.h"

#include "access.h"
#include "errorbox.h"
#include "uikit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPagedPaintDevice>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace dz {

QPrinter& CurrentPrinter()
{
  // Never destroyed: it must outlive every window that prints, and a static
  // object would be torn down after the application object it depends on.
  static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
  return *printer;
}

bool RunPrintDialog(QWidget* parent)
{
  QPrintDialog dialog(&CurrentPrinter(), parent);
  dialog.setObjectName(QStringLiteral("PrintDialog1"));
  // The listing is always printed whole: no page range to offer.
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  return dialog.exec() == QDialog::Accepted;
}

bool PrintsToFile(const QPrinter& printer)
{
  return printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
}

bool ChoosePrintFile(QWidget* parent, QPrinter& printer, const QString& stem)
{
  if (!PrintsToFile(printer))
    return true;
  QFileDialog dialog(parent, QStringLiteral("Imprimir en un archivo"));
  dialog.setObjectName(QStringLiteral("PrintFileDialog"));
  // As the program's other save dialogs: Qt's own, alike on every desktop.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
  dialog.setDefaultSuffix(QStringLiteral("pdf"));
  const QString offered = NewFileName(stem, QStringLiteral("pdf"));
  dialog.setDirectory(QFileInfo(offered).absolutePath());
  dialog.selectFile(QFileInfo(offered).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return false;
  const QString path = dialog.selectedFiles().constFirst();
  printer.setOutputFileName(path);
  RememberSaveFolder(path);
  return true;
}

void ReportPrinted(QWidget* parent, const QPrinter& printer)
{
  if (printer.printerState() == QPrinter::Aborted)
    throw PrintError("The print job was cancelled");
  if (printer.printerState() == QPrinter::Error)
    throw PrintError("The print job could not be completed");
  if (!PrintsToFile(printer))
    return;
  QMessageBox box(QMessageBox::Information, QString::fromLatin1(kProgramTitle),
                  QStringLiteral("Impreso en el archivo %1").arg(QDir::toNativeSeparators(printer.outputFileName())),
                  QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("PrintedTo"));
  DescribeMessageBox(box);
  box.exec();
}

void ThrowIfPrinterUnusable(QPrinter& printer)
{
  if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty())
    throw PrintError("No printer is available: choose one or print to a file");
  if (!printer.isValid())
    throw PrintError("Printer selected is not valid: \"" + printer.printerName().toStdString() + "\"");
}

namespace {

QString DeviceName(QPagedPaintDevice& device)
{
  if (device.devType() == QInternal::Printer) {
    auto& printer = static_cast<QPrinter&>(device);
    if (printer.outputFormat() == QPrinter::PdfFormat)
      return printer.outputFileName();
    return printer.printerName();
  }
  return {};
}

} // namespace

QFont PrinterTextStream::DefaultFont()
{
  QFont font = AppFont(QStringLiteral("MS Sans Serif"), 11);
  font.setPointSize(8);
  return font;
}

PrinterTextStream::PrinterTextStream(QPagedPaintDevice& device, const QFont& font)
  : m_device(device), m_metrics(font, &device)
{
  if (device.devType() == QInternal::Printer)
    ThrowIfPrinterUnusable(static_cast<QPrinter&>(device));
  if (!m_painter.begin(&device)) {
    const QString name = DeviceName(device);
    throw PrintError(name.isEmpty() ? std::string("Cannot start the print job")
                                    : "Cannot start the print job on \"" + name.toStdString() + "\"");
  }
  m_open = true;
  m_painter.setFont(font);
  m_painter.setPen(Qt::black);
  m_metrics = m_painter.fontMetrics();
  m_pageWidth = device.width();
  m_pageHeight = device.height();
}

PrinterTextStream::~PrinterTextStream()
{
  if (!m_open)
    return;
  // An interrupted listing: cancel what the printer supports cancelling,
  // and end the document in any case.
  if (m_device.devType() == QInternal::Printer)
    static_cast<QPrinter&>(m_device).abort();
  m_painter.end();
}

void PrinterTextStream::Close()
{
  if (!m_open)
    return;
  m_open = false;
  if (!m_painter.end())
    throw PrintError("The print job could not be completed");
}

void PrinterTextStream::NewPageIfPending()
{
  if (!m_breakPending)
    return;
  m_breakPending = false;
  if (!m_device.newPage())
    throw PrintError("The printer refused a new page");
  ++m_pages;
  m_y = 0;
}

void PrinterTextStream::PutText(const QString& part)
{
  NewPageIfPending();
  // Empty lines may have carried the position close to the bottom edge: a
  // line of text that would cross it starts the next page instead of being cut.
  if (m_y > 0 && m_y + m_metrics.height() > m_pageHeight) {
    m_breakPending = true;
    NewPageIfPending();
  }
  m_painter.drawText(0, m_y + m_metrics.ascent(), part);
  const int recorded = TextLineHeight();
  m_y += recorded;
  if (m_y > m_pageHeight - 2 * recorded)
    m_breakPending = true;
}

void PrinterTextStream::WriteLine(const QString& text)
{
  if (!m_open)
    throw PrintError("The print job is closed");
  if (text.isEmpty()) {
    NewPageIfPending();
    m_y += EmptyLineHeight();
    // The recorded height of an empty line is zero.
    if (m_y > m_pageHeight)
      m_breakPending = true;
    return;
  }
  QString rest = text;
  while (!rest.isEmpty()) {
    // Longest prefix that fits the printable width, at least one character
    // so that a very narrow page still makes progress.
    qsizetype fit = rest.size();
    if (m_metrics.horizontalAdvance(rest) > m_pageWidth) {
      qsizetype lo = 1, hi = rest.size() - 1;
      while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (m_metrics.horizontalAdvance(rest.left(mid)) <= m_pageWidth)
          lo = mid;
        else
          hi = mid - 1;
      }
      fit = lo;
    }
    PutText(rest.left(fit));
    rest = rest.mid(fit);
  }
}

} // namespace dz

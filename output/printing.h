#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <stdexcept>
#include <string>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace dz {

// A printing failure; what() is the text the error box shows.
class PrintError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The program's one printer. Before the user chooses one it is the system's
// default printer, or Qt's PDF output when the system has none (which fails
// to start a job until a file is chosen in the print dialog). The print
// dialog's choice stays for every later job, the chart's included.
QPrinter& CurrentPrinter();

// Shows the system print dialog (PrintDialog1) on CurrentPrinter(). True on
// OK, after which the chosen printer and settings are the current ones.
bool RunPrintDialog(QWidget* parent);

// Whether the printer writes a file ("Print to File (PDF)" chosen in the
// print dialog) rather than sending the job to a printer.
bool PrintsToFile(const QPrinter& printer);

// For a printer that writes a file: asks where this print goes, with the
// save dialog, offering a new name in the folder last saved to (`stem`.pdf,
// or stem-2.pdf and on), so that no earlier file is replaced unasked; the
// dialog asks before a file the user names is replaced. False when the user
// cancels. For a real printer: true, and nothing asked.
bool ChoosePrintFile(QWidget* parent, QPrinter& printer, const QString& stem);

// After a print: says where it went when it went to a file. A printer
// that cancelled or failed the job is a PrintError.
void ReportPrinted(QWidget* parent, const QPrinter& printer);

// Throws PrintError when the printer cannot start a job (no printer, no
// output file, an unreachable queue).
void ThrowIfPrinterUnusable(QPrinter& printer);

// The printer's text stream: lines laid top to bottom from the top-left
// corner of the printable area, with automatic page breaks. Works on any
// paged device (a QPrinter, a QPdfWriter) so the layout can be tested.
class PrinterTextStream {
public:
  // Starts the document; throws PrintError when the device refuses.
  explicit PrinterTextStream(QPagedPaintDevice& device, const QFont& font = DefaultFont());
  // A stream not closed (an exception on the way) still ends its document so
  // the printer is not left with an open job.
  ~PrinterTextStream();
  PrinterTextStream(const PrinterTextStream&) = delete;
  PrinterTextStream& operator=(const PrinterTextStream&) = delete;

  void WriteLine(const QString& text);
  // Ends the document so the last page goes out.
  void Close();

  int PageCount() const { return m_pages; }
  // Height recorded for a line of text: its height plus 2 device units.
  int TextLineHeight() const { return m_metrics.height() + 2; }
  // Advance of an empty line: the character height.
  int EmptyLineHeight() const { return m_metrics.height(); }
  int PrintableHeight() const { return m_pageHeight; }
  int PrintableWidth() const { return m_pageWidth; }

  // The printer's default text font: 8-point "MS Sans Serif", through its
  // metric-compatible free equivalent.
  static QFont DefaultFont();

private:
  void PutText(const QString& part);
  void NewPageIfPending();

  QPagedPaintDevice& m_device;
  QPainter m_painter;
  QFontMetrics m_metrics;
  int m_pageWidth = 0;
  int m_pageHeight = 0;
  int m_y = 0;
  int m_pages = 1;
  bool m_breakPending = false;
  bool m_open = false;
};

} // namespace dz

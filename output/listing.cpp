#include "listing.h"

#include "printing.h"
#include "uikit.h"

#include <QPrinter>

#include <array>

namespace dz {

namespace {

constexpr const char* kTwoChannelHeader = "CH1       CH2";
constexpr const char* kSevenChannelHeader = "REF       CH1       CH2       CH3       CH4       CH5       CH6";

// Index 7 (millivolts) had no listing of its own; it gets the one-channel
// layout so that every model can be printed.
constexpr std::array<ListingInfo, 9> kListings{{
  {0, "PR2CHLM35", "2 canales de temperatura LM35Z", kTwoChannelHeader, 512, 2, 5},
  {1, "PR2CHNTC", "2 canales de temperatura NTC", kTwoChannelHeader, 512, 2, 5},
  {2, "PR7CHTCJ", "7 canales de temperatura con termocupla \"J\"", kSevenChannelHeader, 1170, 7, 9},
  {3, "PR7CHLM35", "7 canales de temperatura con LM35Z", kSevenChannelHeader, 1170, 7, 9},
  {4, "PR1CHRAD", "1 canal de radiación solar en uMOL/m2/S-1", "CH1", 1024, 1, 0},
  {5, "PR1CHHR", "1 canal de humedad relativa 1/1", "CH1", 1024, 1, 0},
  {6, "PR1CHMV", "1 canal de humedad relativa 2/2", "CH1", 1024, 1, 0},
  {7, "PR1CHMILIVOLT", "1 canal de milivoltios", "CH1", 1024, 1, 0},
  {8, "PR1CHLM35", "1 canal de temperatura LM35Z", "CH1", 1024, 1, 0},
}};

} // namespace

const ListingInfo* FindListing(int model)
{
  if (model < 0 || model >= static_cast<int>(kListings.size()))
    return nullptr;
  return &kListings[static_cast<std::size_t>(model)];
}

const ListingInfo* FindListingByRoutine(std::string_view routine)
{
  for (const auto& listing : kListings)
    if (listing.Routine == routine)
      return &listing;
  return nullptr;
}

QStringList ListingLines(const ListingInfo& listing, const CellGrid& grid)
{
  QStringList lines;
  lines.reserve(listing.Rows + 2);
  lines << QString::fromUtf8(listing.Title) << QString::fromUtf8(listing.Header);
  const QString separator(listing.SeparatorSpaces, QLatin1Char(' '));
  for (int row = 1; row <= listing.Rows; ++row) {
    QString line;
    for (int col = 1; col <= listing.Columns; ++col) {
      if (col > 1)
        line += separator;
      line += QString::fromLatin1(grid.Cell(col, row));
    }
    lines << line;
  }
  return lines;
}

int WriteListing(QPagedPaintDevice& device, const ListingInfo& listing, const CellGrid& grid)
{
  PrinterTextStream stream(device);
  for (const QString& line : ListingLines(listing, grid))
    stream.WriteLine(line);
  stream.Close();
  return stream.PageCount();
}

void PrintListing(QWidget* parent, const ListingInfo& listing, const CellGrid& grid)
{
  // A printer that writes a file offers a new one in its dialog: the last
  // file printed is never replaced unless the user names it again.
  QPrinter& printer = CurrentPrinter();
  if (PrintsToFile(printer))
    printer.setOutputFileName(NewFileName(QStringLiteral("listado"), QStringLiteral("pdf")));
  if (!RunPrintDialog(parent))
    return;
  WriteListing(printer, listing, grid);
  if (PrintsToFile(printer))
    RememberSaveFolder(printer.outputFileName());
  ReportPrinted(parent, printer);
}

void PrintListing(QWidget* parent, int model, const CellGrid& grid)
{
  const ListingInfo* listing = FindListing(model);
  if (listing == nullptr)
    return;
  PrintListing(parent, *listing, grid);
}

} // namespace dz

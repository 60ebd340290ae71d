#pragma once

#include "cellgrid.h"

#include <QString>
#include <QStringList>

#include <string_view>

class QPagedPaintDevice;
class QWidget;

namespace dz {

// One printed listing: title line, header line, then one line per grid row
// of the model's range holding its cells joined by a fixed run of spaces.
struct ListingInfo {
  int Model;                 // item index of ComboBox1
  std::string_view Routine;  // the main window's method that prints it
  const char* Title;         // UTF-8
  const char* Header;
  int Rows;                  // grid rows 1..Rows
  int Columns;               // grid columns 1..Columns
  int SeparatorSpaces;       // between two cells of a line
};

// The listing of a model index, or nullptr (-1, out of range).
const ListingInfo* FindListing(int model);
// The listing printed by a routine of the main window ("PR2CHLM35", ...), or nullptr.
const ListingInfo* FindListingByRoutine(std::string_view routine);

// The listing's lines in print order: title, header, value lines.
QStringList ListingLines(const ListingInfo& listing, const CellGrid& grid);

// Writes the listing to a paged device through the printer text stream.
// Returns the number of pages. Throws PrintError on a printer failure.
int WriteListing(QPagedPaintDevice& device, const ListingInfo& listing, const CellGrid& grid);

// What Imprimir1Click and the listing routines do: no listing for the model
// (no model selected) → nothing, not even the dialog; the print dialog
// cancelled → nothing; otherwise the listing goes to the chosen printer.
void PrintListing(QWidget* parent, int model, const CellGrid& grid);
void PrintListing(QWidget* parent, const ListingInfo& listing, const CellGrid& grid);

} // namespace dz

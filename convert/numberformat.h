#pragma once

namespace dz {

// The program-wide number format: every conversion between numbers and text
// (grid cells, the radiation constant, the chart's reading of cells) uses it.
struct NumberFormat {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
};

// The one shared instance.
NumberFormat& ProgramNumberFormat();

// The program's own separators, "," and ".", whatever the regional settings:
// the window sets them at start-up, the command line before it converts.
void UseProgramSeparators();

} // namespace dz

#pragma once

namespace dz {

// The program-wide number format: every conversion between numbers and text
// (grid cells, the radiation constant, the chart's reading of cells) uses it.
// It follows the system's regional settings until the chart window sets
// "," and "." at start-up.
struct NumberFormat {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
};

// The one shared instance.
NumberFormat& ProgramNumberFormat();

} // namespace dz

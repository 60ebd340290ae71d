#pragma once

#include "cellgrid.h"
#include "models.h"
#include "timing.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace dz {

enum class DecimalStyle {
  Point, // "23.4" in ","-separated fields: what most tools read
  Comma, // "23,4" in ";"-separated fields: spreadsheets set to a decimal comma
};

struct CsvOptions {
  DecimalStyle Decimal = DecimalStyle::Point;
  // A "time" column, from the time of sample 1 and the interval.
  std::optional<SampleTiming> Times;
  // Rows past this one are written with an empty time (rows the logger
  // cannot have recorded, exported all the same).
  int DatedRows = std::numeric_limits<int>::max();
};

// "point"/"dot" or "comma".
std::optional<DecimalStyle> ParseDecimalStyle(std::string_view text);

// A duration as one or more number-and-unit groups: "15s", "16s", "1m",
// "1min", "30m", "1h", "1h30m"; units s/sec, m/min, h (any letter case).
// Nothing for zero, a missing unit or anything else.
std::optional<std::int64_t> ParseDuration(std::string_view text);

// The CSV of grid rows 1..rows of a model: a header row ("sample", "time"
// when time stamps are wanted, then the grid's column titles of row 0), then
// one row per sample with the grid's sample number and cells. Lines end with
// CR LF. The numbers are the grid's own texts, only their decimal comma
// turned into a point for DecimalStyle::Point.
std::string CsvContents(const ModelInfo& model, const CellGrid& grid, int rows, const CsvOptions& options);

} // namespace dz

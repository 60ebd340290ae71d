#pragma once

#include "cellgrid.h"
#include "models.h"

#include <QDateTime>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dz {

enum class DecimalStyle {
  Point, // "23.4" in ","-separated fields: what most tools read
  Comma, // "23,4" in ";"-separated fields: spreadsheets set to a decimal comma
};

// The time of sample 1 and the sampling interval set on the logger. A start
// given without a zone yields times without one (a wall clock, no daylight
// saving steps); with "Z" or an offset every time carries that offset.
struct TimeStamps {
  QDateTime Start;
  bool HasZone = false;
  std::int64_t IntervalSeconds = 0;
};

struct CsvOptions {
  DecimalStyle Decimal = DecimalStyle::Point;
  std::optional<TimeStamps> Times;
};

// "point"/"dot" or "comma".
std::optional<DecimalStyle> ParseDecimalStyle(std::string_view text);

// A duration as one or more number-and-unit groups: "15s", "16s", "1m",
// "1min", "30m", "1h", "1h30m"; units s/sec, m/min, h (any letter case).
// Nothing for zero, a missing unit or anything else.
std::optional<std::int64_t> ParseDuration(std::string_view text);

// An ISO 8601 date and time ("2024-05-01T08:00:00", a blank for the "T",
// seconds optional, then optionally "Z" or "+02:00").
std::optional<TimeStamps> ParseStart(std::string_view text);

// The time stamp of sample n (1-based) in ISO 8601.
std::string SampleTime(const TimeStamps& times, int sample);

// The CSV of grid rows 1..rows of a model: a header row ("sample", "time"
// when time stamps are wanted, then the grid's column titles of row 0), then
// one row per sample with the grid's sample number and cells. Lines end with
// CR LF. The numbers are the grid's own texts, only their decimal comma
// turned into a point for DecimalStyle::Point.
std::string CsvContents(const ModelInfo& model, const CellGrid& grid, int rows, const CsvOptions& options);

} // namespace dz

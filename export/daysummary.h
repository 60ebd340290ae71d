#pragma once

// What each day held: the recorded samples of a dated download grouped by
// local calendar day (in the machine's time zone, as the sample times are
// shown), with each channel's minimum, mean and maximum of the values as
// they stand in the grid, the radiation logger's daily light integral, and
// degree-days above a base temperature for the temperature loggers.

#include "cellgrid.h"
#include "csv.h"
#include "models.h"
#include "timing.h"

#include <optional>
#include <string>
#include <vector>

namespace dz {

struct ChannelDay {
  std::string Name;                  // the grid's column title: CANAL1, REF
  double Min = 0;                    // the grid's values, as written there
  double Mean = 0;
  double Max = 0;
  std::string MinText;               // the cells themselves
  std::string MaxText;
  std::optional<double> DegreeDays;  // with a base temperature
};

struct DaySummary {
  std::string Date;  // YYYY-MM-DD, local
  int Samples = 0;
  double Hours = 0;  // samples x interval
  std::vector<ChannelDay> Channels;
  std::optional<double> Dli; // mol m-2 d-1, radiation only
};

// Whether degree-days mean anything for the model (its values are °C).
bool IsTemperatureModel(int model);

// Rows 1..recorded of the grid, dated by the timing. `base`, for the
// temperature models only, adds degree-days (sum of max(0, value - base) x
// interval / 86 400). Throws ConvertError for a cell that is no number.
std::vector<DaySummary> SummariseDays(const ModelInfo& model, const CellGrid& grid, int recorded,
                                      const SampleTiming& timing, std::optional<double> base = std::nullopt);

// {"days": [{"date", "samples", "hours", "channels": [{"name", "min",
// "mean", "max"[, "degree_days"]}][, "dli"]}]}, numbers as JSON numbers.
std::string SummaryJson(const std::vector<DaySummary>& days);
// One row per day: date, samples, hours, then NAME_min, NAME_mean, NAME_max
// [, NAME_degree_days] per channel [, dli]; CR LF, like the download's CSV.
std::string SummaryCsv(const ModelInfo& model, bool degreeDays, const std::vector<DaySummary>& days,
                       DecimalStyle decimal);

// The numbers as the outputs write them: the mean, the light integral and
// degree-days to three decimals, hours to four.
double Rounded(double value, int decimals);
// Rounded, as the shortest text ("23.45", "24"), with the decimal style's separator.
std::string SummaryNumber(double value, int decimals, DecimalStyle decimal);

// A grid cell as a number ("23,4", "1,79E4"); nothing for text that is none.
std::optional<double> GridNumber(const std::string& cell);

} // namespace dz

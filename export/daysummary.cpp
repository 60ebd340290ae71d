#include "daysummary.h"

#include "textsyntax.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace dz {

namespace {

double CellValue(const std::string& cell)
{
  if (const auto value = GridNumber(cell))
    return *value;
  // No number: the program's own parser says so in the program's words.
  return static_cast<double>(StrToFloat(cell, ','));
}

// Running sums of one channel over one day.
struct Sums {
  double Min = 0;
  double Max = 0;
  double Total = 0;
  double Above = 0; // sum of max(0, value - base)
  std::string MinText;
  std::string MaxText;
};

} // namespace

std::optional<double> GridNumber(const std::string& cell)
{
  // The grid writes a decimal comma (and "1,79E4" where the integer part is
  // too long). from_chars rounds correctly, whatever the locale.
  char text[32];
  if (cell.empty() || cell.size() >= sizeof text)
    return std::nullopt;
  std::replace_copy(cell.begin(), cell.end(), text, ',', '.');
  const char* end = text + cell.size();
  double value = 0;
  const auto r = std::from_chars(text, end, value);
  if (r.ec != std::errc() || r.ptr != end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::string SummaryNumber(double value, int decimals, DecimalStyle decimal)
{
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, Rounded(value, decimals));
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    // 23.450 -> 23.45, 24.000 -> 24: the shortest text of the rounded number.
    while (s.back() == '0')
      s.pop_back();
    if (s.back() == '.')
      s.pop_back();
  }
  if (s == "-0")
    s = "0";
  if (decimal == DecimalStyle::Comma)
    std::replace(s.begin(), s.end(), '.', ',');
  return s;
}

namespace {

std::string CellText(std::string text, DecimalStyle decimal)
{
  if (decimal == DecimalStyle::Point)
    std::replace(text.begin(), text.end(), ',', '.');
  return text;
}

} // namespace

bool IsTemperatureModel(int model)
{
  return model == 0 || model == 1 || model == 2 || model == 3 || model == 8;
}

double Rounded(double value, int decimals)
{
  const double scale = std::pow(10.0, decimals);
  const double r = std::round(value * scale) / scale;
  return r == 0 ? 0 : r; // no "-0"
}

std::vector<DaySummary> SummariseDays(const ModelInfo& model, const CellGrid& grid, int recorded,
                                      const SampleTiming& timing, std::optional<double> base)
{
  std::vector<DaySummary> days;
  if (!IsTemperatureModel(model.Index))
    base.reset();
  const bool radiation = model.Index == kRadiationModel;
  const double interval = static_cast<double>(timing.IntervalSeconds);
  const int rows = std::min(recorded, model.Samples);
  std::vector<Sums> sums(static_cast<std::size_t>(model.Columns));
  double light = 0;

  const auto close = [&] {
    DaySummary& day = days.back();
    day.Hours = day.Samples * interval / 3600;
    for (int c = 0; c < model.Columns; ++c) {
      const Sums& s = sums[static_cast<std::size_t>(c)];
      ChannelDay ch;
      ch.Name = std::string(model.ColumnTitles[static_cast<std::size_t>(c)]);
      ch.Min = s.Min;
      ch.Max = s.Max;
      ch.Mean = s.Total / day.Samples;
      ch.MinText = s.MinText;
      ch.MaxText = s.MaxText;
      if (base)
        ch.DegreeDays = s.Above * interval / 86400;
      day.Channels.push_back(std::move(ch));
    }
    if (radiation)
      day.Dli = light * interval / 1e6;
  };

  std::int64_t today = 0;
  for (int row = 1; row <= rows; ++row) {
    const Instant at = InLocalZone(timing.SampleMs(row));
    if (days.empty() || at.Day() != today) {
      if (!days.empty())
        close();
      days.push_back({});
      days.back().Date = at.Iso().substr(0, 10);
      today = at.Day();
      light = 0;
    }
    DaySummary& day = days.back();
    for (int c = 0; c < model.Columns; ++c) {
      const std::string& cell = grid.Cell(c + 1, row);
      const double v = CellValue(cell);
      Sums& s = sums[static_cast<std::size_t>(c)];
      if (day.Samples == 0) {
        s = {v, v, 0, 0, cell, cell};
      } else {
        if (v < s.Min) {
          s.Min = v;
          s.MinText = cell;
        }
        if (v > s.Max) {
          s.Max = v;
          s.MaxText = cell;
        }
      }
      s.Total += v;
      if (base)
        s.Above += std::max(0.0, v - *base);
      if (radiation && c == 0)
        light += v;
    }
    ++day.Samples;
  }
  if (!days.empty())
    close();
  return days;
}

std::string SummaryJson(const std::vector<DaySummary>& days)
{
  // Written by hand to keep the fields in the order a reader expects (a
  // JSON library sorts them), date first.
  const auto number = [](double v) {
    if (!std::isfinite(v))
      return std::string("null");
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
  };
  std::string out = "{\n    \"days\": [";
  for (std::size_t i = 0; i < days.size(); ++i) {
    const DaySummary& d = days[i];
    out += i == 0 ? "\n" : ",\n";
    out += "        {\n            \"date\": \"" + d.Date + "\",\n";
    out += "            \"samples\": " + std::to_string(d.Samples) + ",\n";
    out += "            \"hours\": " + number(Rounded(d.Hours, 4)) + ",\n";
    out += "            \"channels\": [";
    for (std::size_t c = 0; c < d.Channels.size(); ++c) {
      const ChannelDay& ch = d.Channels[c];
      out += c == 0 ? "\n" : ",\n";
      out += "                {\"name\": \"" + ch.Name + "\", \"min\": " + number(ch.Min) +
             ", \"mean\": " + number(Rounded(ch.Mean, 3)) + ", \"max\": " + number(ch.Max);
      if (ch.DegreeDays)
        out += ", \"degree_days\": " + number(Rounded(*ch.DegreeDays, 3));
      out += "}";
    }
    out += "\n            ]";
    if (d.Dli)
      out += ",\n            \"dli\": " + number(Rounded(*d.Dli, 3));
    out += "\n        }";
  }
  out += days.empty() ? "]\n}\n" : "\n    ]\n}\n";
  return out;
}

std::string SummaryCsv(const ModelInfo& model, bool degreeDays, const std::vector<DaySummary>& days,
                       DecimalStyle decimal)
{
  const char sep = decimal == DecimalStyle::Point ? ',' : ';';
  std::string out = std::string("date") + sep + "samples" + sep + "hours";
  for (int c = 0; c < model.Columns; ++c) {
    const std::string name(model.ColumnTitles[static_cast<std::size_t>(c)]);
    out += sep + name + "_min" + sep + name + "_mean" + sep + name + "_max";
    if (degreeDays && IsTemperatureModel(model.Index))
      out += sep + name + "_degree_days";
  }
  if (model.Index == kRadiationModel)
    out += sep + std::string("dli");
  out += "\r\n";
  for (const DaySummary& d : days) {
    out += d.Date + sep + std::to_string(d.Samples) + sep + SummaryNumber(d.Hours, 4, decimal);
    for (const ChannelDay& c : d.Channels) {
      out += sep + CellText(c.MinText, decimal) + sep + SummaryNumber(c.Mean, 3, decimal) + sep + CellText(c.MaxText, decimal);
      if (c.DegreeDays)
        out += sep + SummaryNumber(*c.DegreeDays, 3, decimal);
    }
    if (d.Dli)
      out += sep + SummaryNumber(*d.Dli, 3, decimal);
    out += "\r\n";
  }
  return out;
}

} // namespace dz

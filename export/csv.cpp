#include "csv.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace dz {

std::optional<DecimalStyle> ParseDecimalStyle(std::string_view text)
{
  if (text == "point" || text == "dot")
    return DecimalStyle::Point;
  if (text == "comma")
    return DecimalStyle::Comma;
  return std::nullopt;
}

std::optional<std::int64_t> ParseDuration(std::string_view text)
{
  // Ten years is far beyond any logger setting and keeps sums from overflowing.
  constexpr std::int64_t kLimit = 10LL * 366 * 24 * 3600;
  std::int64_t total = 0;
  std::size_t i = 0;
  if (text.empty())
    return std::nullopt;
  while (i < text.size()) {
    std::int64_t n = 0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), n);
    if (r.ec != std::errc() || n < 0 || n > kLimit)
      return std::nullopt;
    i = static_cast<std::size_t>(r.ptr - text.data());
    std::string unit;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
      unit += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i++])));
    std::int64_t scale;
    if (unit == "s" || unit == "sec")
      scale = 1;
    else if (unit == "m" || unit == "min")
      scale = 60;
    else if (unit == "h")
      scale = 3600;
    else
      return std::nullopt;
    total += n * scale;
    if (total > kLimit)
      return std::nullopt;
  }
  if (total <= 0)
    return std::nullopt;
  return total;
}

std::string CsvContents(const ModelInfo& model, const CellGrid& grid, int rows, const CsvOptions& options)
{
  const char separator = options.Decimal == DecimalStyle::Point ? ',' : ';';
  const auto cell = [&](int col, int row) {
    std::string text = grid.Cell(col, row);
    if (options.Decimal == DecimalStyle::Point)
      for (char& c : text)
        if (c == ',')
          c = '.';
    return text;
  };

  std::string out = "sample";
  if (options.Times)
    out += std::string(1, separator) + "time";
  for (int col = 1; col <= model.Columns; ++col)
    out += separator + grid.Cell(col, 0);
  out += "\r\n";
  for (int row = 1; row <= rows; ++row) {
    out += grid.Cell(0, row);
    if (options.Times)
      out += separator + (row <= options.DatedRows ? options.Times->SampleIso(row) : std::string());
    for (int col = 1; col <= model.Columns; ++col)
      out += separator + cell(col, row);
    out += "\r\n";
  }
  return out;
}

} // namespace dz

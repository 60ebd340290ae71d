#include "timing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace dz {

namespace {

constexpr std::int64_t kDay = 86400;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d)
{
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsLeap(int y)
{
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The machine zone's offset at a moment (whole seconds since 1970).
int LocalOffset(std::int64_t seconds)
{
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local {};
  ::localtime_r(&t, &local);
  return static_cast<int>(local.tm_gmtoff);
}

// Wall time counted as if it were UTC seconds since 1970 -> the moment it is
// in the machine's zone. The offsets in force a day either side are the only
// candidates; a candidate holds when the zone has that offset at it.
std::optional<std::int64_t> ResolveLocal(std::int64_t wall)
{
  ::tzset(); // TZ may have changed since the last call
  std::optional<std::int64_t> best;
  for (const int offset : {LocalOffset(wall - kDay), LocalOffset(wall + kDay), LocalOffset(wall)}) {
    const std::int64_t t = wall - offset;
    if (LocalOffset(t) == offset && (!best || t < *best))
      best = t;
  }
  return best;
}

// Reads exactly `digits` decimal digits at text[i].
bool Digits(std::string_view text, std::size_t& i, int digits, int& value)
{
  if (i + static_cast<std::size_t>(digits) > text.size())
    return false;
  value = 0;
  for (int k = 0; k < digits; ++k, ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i])))
      return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool Expect(std::string_view text, std::size_t& i, char c)
{
  if (i >= text.size() || text[i] != c)
    return false;
  ++i;
  return true;
}

} // namespace

std::string Instant::Iso() const
{
  const std::int64_t seconds = FloorDiv(Ms, 1000) + Offset;
  const std::int64_t days = FloorDiv(seconds, kDay);
  const std::int64_t ofDay = seconds - days * kDay;
  // Civil date from days since 1970 (the inverse of DaysFromCivil).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const long long y = static_cast<long long>(yoe + era * 400 + (m <= 2));
  const int off = Offset < 0 ? -Offset : Offset;
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", y, m, d,
                static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60), static_cast<int>(ofDay % 60),
                Offset < 0 ? '-' : '+', off / 3600, off / 60 % 60);
  return text;
}

std::int64_t Instant::Day() const
{
  return FloorDiv(FloorDiv(Ms, 1000) + Offset, kDay);
}

Instant InLocalZone(std::int64_t ms)
{
  ::tzset();
  return {ms, LocalOffset(FloorDiv(ms, 1000))};
}

std::optional<Instant> LocalWallTime(int year, int month, int day, int hour, int minute, int second)
{
  const std::int64_t wall = DaysFromCivil(year, month, day) * kDay + hour * 3600 + minute * 60 + second;
  const auto at = ResolveLocal(wall);
  if (!at)
    return std::nullopt;
  return Instant{*at * 1000, static_cast<int>(wall - *at)};
}

std::optional<Instant> ParseStart(std::string_view text, StartProblem* problem)
{
  if (problem)
    *problem = StartProblem::Syntax;
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  std::size_t i = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, i, 4, year) || !Expect(text, i, '-') || !Digits(text, i, 2, month) || !Expect(text, i, '-') ||
      !Digits(text, i, 2, day))
    return std::nullopt;
  // "2024-05-01 08:00" is how people type it; a date alone is no start time.
  if (i >= text.size() || (text[i] != 'T' && text[i] != 't' && text[i] != ' '))
    return std::nullopt;
  ++i;
  if (!Digits(text, i, 2, hour) || !Expect(text, i, ':') || !Digits(text, i, 2, minute))
    return std::nullopt;
  if (i < text.size() && text[i] == ':' && !(++i, Digits(text, i, 2, second)))
    return std::nullopt;
  if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    return std::nullopt;

  if (i == text.size()) {
    const auto local = LocalWallTime(year, month, day, hour, minute, second);
    if (!local && problem)
      *problem = StartProblem::Nonexistent;
    return local;
  }
  int offset = 0;
  if (text[i] == 'Z' || text[i] == 'z') {
    ++i;
  } else if (text[i] == '+' || text[i] == '-') {
    const int sign = text[i++] == '-' ? -1 : 1;
    int oh = 0, om = 0;
    if (!Digits(text, i, 2, oh))
      return std::nullopt;
    if (i < text.size()) {
      Expect(text, i, ':');
      if (!Digits(text, i, 2, om))
        return std::nullopt;
    }
    if (oh > 18 || om > 59)
      return std::nullopt;
    offset = sign * (oh * 3600 + om * 60);
  } else {
    return std::nullopt;
  }
  if (i != text.size())
    return std::nullopt;
  const std::int64_t wall = DaysFromCivil(year, month, day) * kDay + hour * 3600 + minute * 60 + second;
  return Instant{(wall - offset) * 1000, offset};
}

std::optional<SampleTiming> TimingOf(std::string_view firstSample, std::int64_t intervalSeconds)
{
  // Ten years, as ParseDuration takes them: beyond is no logger's setting.
  if (firstSample.empty() || intervalSeconds <= 0 || intervalSeconds > 10LL * 366 * kDay)
    return std::nullopt;
  const auto first = ParseStart(firstSample);
  if (!first)
    return std::nullopt;
  return SampleTiming{*first, intervalSeconds};
}

int CardCapacity(const ModelInfo& model)
{
  switch (model.Columns) {
  case 2: return 500;
  case 7: return 1170;
  default: return 1000;
  }
}

int SamplesInLines(const ModelInfo& model, std::int64_t lines)
{
  const int perSample = model.LinesUsed / model.Samples;
  return static_cast<int>(std::clamp<std::int64_t>(lines / perSample, 0, model.Samples));
}

int RecordedSamples(const ModelInfo& model, int held, const SampleTiming& timing, std::int64_t downloadStartMs)
{
  const int most = std::max(0, std::min(held, CardCapacity(model)));
  if (timing.IntervalSeconds <= 0 || timing.First.Ms >= downloadStartMs)
    return 0;
  // Sample k is taken before the start while (k - 1) intervals < start - first.
  const std::int64_t interval = timing.IntervalSeconds * 1000;
  const std::int64_t before = (downloadStartMs - timing.First.Ms + interval - 1) / interval;
  return static_cast<int>(std::min<std::int64_t>(most, before));
}

std::span<const int> SamplingPositions(int model)
{
  // The manuals: a jumper of eight positions on the two-channel, humidity,
  // millivolt and one-channel temperature loggers; four switches on the
  // seven-channel one; the radiation logger stores the mean of 30 or 60
  // readings taken once a minute.
  static constexpr std::array<int, 8> kJumper = {16, 30, 60, 300, 600, 1200, 1800, 3600};
  static constexpr std::array<int, 4> kSwitches = {15, 60, 1800, 3600};
  static constexpr std::array<int, 2> kIntegration = {1800, 3600};
  const ModelInfo* info = FindModel(model);
  if (!info)
    return {};
  if (info->Columns == 7)
    return kSwitches;
  if (model == kRadiationModel)
    return kIntegration;
  return kJumper;
}

std::string IntervalText(std::int64_t seconds)
{
  const std::int64_t h = seconds / 3600;
  const std::int64_t m = seconds / 60 % 60;
  const std::int64_t s = seconds % 60;
  std::string text;
  const auto part = [&](std::int64_t n, const char* unit) {
    if (n == 0)
      return;
    if (!text.empty())
      text += ' ';
    text += std::to_string(n) + ' ' + unit;
  };
  part(h, "h");
  part(m, "min");
  part(s, "s");
  return text.empty() ? "0 s" : text;
}

} // namespace dz

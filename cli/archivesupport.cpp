#include "archivesupport.h"

#include <QDateTime>

#include <cstdio>

namespace dz::cli {

namespace {

// Length of the UTF-8 sequence at `at` and the character it spells; 0 when
// it is no valid sequence.
std::size_t Utf8At(std::string_view s, std::size_t at, char32_t& c)
{
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(at);
  std::size_t n = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    c = lead & 0x07;
  } else {
    return 0;
  }
  if (at + n > s.size())
    return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(at + i) & 0xC0) != 0x80)
      return 0;
    c = (c << 6) | (b(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and beyond Unicode are no characters.
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  return n;
}

bool IsC1(char32_t c)
{
  return c >= 0x80 && c <= 0x9F;
}

bool TakeNumber(std::string_view& s, std::size_t digits, int& value)
{
  if (s.size() < digits)
    return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (s[i] < '0' || s[i] > '9')
      return false;
    value = value * 10 + (s[i] - '0');
  }
  s.remove_prefix(digits);
  return true;
}

bool Take(std::string_view& s, char c)
{
  if (s.empty() || s.front() != c)
    return false;
  s.remove_prefix(1);
  return true;
}

} // namespace

std::string Printable(std::string_view text)
{
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      if (byte == '\\')
        out += '\\';
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    char32_t c = 0;
    if (const std::size_t n = byte >= 0x80 ? Utf8At(text, i, c) : 0; n > 0 && !IsC1(c)) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    // One byte at a time: a C1 control spelt in UTF-8 shows as its two bytes.
    const std::size_t n = byte >= 0x80 && Utf8At(text, i, c) > 0 ? 2 : 1;
    for (std::size_t k = 0; k < n; ++k, ++i) {
      const auto b = static_cast<unsigned char>(text[i]);
      switch (b) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0x1B: out += "\\e"; break;
      default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        out += hex;
      }
      }
    }
  }
  return out;
}

std::string JsonForTerminal(std::string_view json)
{
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size(); ++i) {
    const auto byte = static_cast<unsigned char>(json[i]);
    char32_t c = 0;
    if (byte == 0x7F || (byte == 0xC2 && Utf8At(json, i, c) == 2 && IsC1(c))) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte == 0x7F ? 0x7F : static_cast<unsigned>(c));
      out += escape;
      i += byte == 0x7F ? 0 : 1;
      continue;
    }
    out += json[i];
  }
  return out;
}

std::optional<std::int64_t> ParseMoment(std::string_view text)
{
  std::string_view s = text;
  int year = 0, month = 0, day = 0;
  if (!TakeNumber(s, 4, year) || !Take(s, '-') || !TakeNumber(s, 2, month) || !Take(s, '-') ||
      !TakeNumber(s, 2, day))
    return std::nullopt;
  const QDate date(year, month, day);
  if (year < 1 || !date.isValid())
    return std::nullopt;
  if (s.empty()) {
    const QDateTime midnight = date.startOfDay();
    return midnight.isValid() ? std::optional<std::int64_t>(midnight.toMSecsSinceEpoch()) : std::nullopt;
  }

  int hour = 0, minute = 0, second = 0, ms = 0;
  if (!Take(s, 'T') || !TakeNumber(s, 2, hour) || !Take(s, ':') || !TakeNumber(s, 2, minute))
    return std::nullopt;
  if (Take(s, ':')) {
    if (!TakeNumber(s, 2, second))
      return std::nullopt;
    if (Take(s, '.')) {
      // A fraction of any length, counted to the millisecond.
      std::size_t digits = 0;
      while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9')
        ++digits;
      if (digits == 0 || digits > 9)
        return std::nullopt;
      for (std::size_t i = 0; i < 3; ++i)
        ms = ms * 10 + (i < digits ? s[i] - '0' : 0);
      s.remove_prefix(digits);
    }
  }
  if (hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  const QTime time(hour, minute, second, ms);

  if (s.empty()) {
    const QDateTime local(date, time, Qt::LocalTime);
    // A time the clock skipped (spring forward) never happened here.
    if (!local.isValid() || local.time() != time || local.date() != date)
      return std::nullopt;
    return local.toMSecsSinceEpoch();
  }
  int offsetSeconds = 0;
  if (!Take(s, 'Z')) {
    const char sign = s.empty() ? '\0' : s.front();
    int oh = 0, om = 0;
    if ((sign != '+' && sign != '-') || (s.remove_prefix(1), !TakeNumber(s, 2, oh)) || !Take(s, ':') ||
        !TakeNumber(s, 2, om))
      return std::nullopt;
    if (om > 59 || oh * 60 + om > 14 * 60)
      return std::nullopt;
    offsetSeconds = (sign == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  }
  if (!s.empty())
    return std::nullopt;
  const QDateTime at(date, time, Qt::OffsetFromUTC, offsetSeconds);
  if (!at.isValid())
    return std::nullopt;
  return at.toMSecsSinceEpoch();
}

std::optional<std::string> UseUsersArchive(std::string_view command, const std::function<void(Archive*)>& use)
{
  std::vector<ArchiveNotice> notices;
  std::optional<std::string> error;
  try {
    UseArchive(Archive::DefaultPath(), notices, use);
  } catch (const ArchiveError& e) {
    error = e.what();
  }
  for (const ArchiveNotice& n : notices)
    if (n.What == ArchiveNotice::MovedAside)
      std::fprintf(stderr,
                   "dedizivi-cli archive %.*s: warning: the archive '%s' is damaged or no archive (%s); kept as '%s', "
                   "and the next download begins a new one\n",
                   static_cast<int>(command.size()), command.data(), n.Path.c_str(), n.Detail.c_str(),
                   n.MovedTo.c_str());
  return error;
}

std::string ShortEndText(const ArchivedDownload& d)
{
  switch (d.End) {
  case EndReason::Running: return "it is still being written";
  case EndReason::Closed: return d.From == Source::CommandLine ? "interrupted" : "closed before the card was full";
  case EndReason::FullCard: return "full card";
  case EndReason::Idle: return "no data for the idle time";
  case EndReason::LineLost: return "the port went away";
  case EndReason::Quit: return "the program writing it was closed";
  case EndReason::Interrupted: return "the program writing it stopped";
  case EndReason::Erase: return "an erase";
  case EndReason::Incomplete: return "not all of it reached the archive";
  case EndReason::NotACard: return "data that can be no card";
  case EndReason::OutputFailed: return "its raw file could not be written";
  case EndReason::Erased: return "ended by an erase";
  }
  return "stopped";
}

} // namespace dz::cli

#include "textsyntax.h"

#include "errors.h"

#include <charconv>
#include <string>

namespace dz {

namespace {

int HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::optional<int32_t> TryStrToInt(std::string_view text)
{
  // The common case of the seven-channel models: one decimal digit.
  if (text.size() == 1 && IsDigit(text[0]))
    return text[0] - '0';
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n)
    return std::nullopt; // no digit at all
  // Accumulate the magnitude; anything above 2^31 is out of range whatever the sign.
  constexpr uint64_t kLimit = uint64_t{1} << 31;
  uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const int d = base == 16 ? HexDigit(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (d < 0)
      return std::nullopt;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (magnitude > kLimit)
      return std::nullopt;
  }
  if (negative)
    return static_cast<int32_t>(static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude)));
  if (magnitude == kLimit)
    return std::nullopt;
  return static_cast<int32_t>(magnitude);
}

int32_t StrToInt(std::string_view text)
{
  if (auto value = TryStrToInt(text))
    return *value;
  throw ConvertError(NotAnIntegerMessage(text));
}

std::optional<long double> TryStrToFloat(std::string_view text, char decimalSeparator)
{
  std::size_t i = 0;
  std::size_t n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  while (n > i && text[n - 1] == ' ')
    --n;
  // Rebuild the number in the locale-independent form that from_chars reads.
  std::string plain;
  plain.reserve(n - i + 1);
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-')
      plain += '-';
    ++i;
  }
  int mantissaDigits = 0;
  bool separatorSeen = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      plain += c;
      ++mantissaDigits;
    } else if (c == decimalSeparator && !separatorSeen) {
      plain += '.';
      separatorSeen = true;
    } else {
      break;
    }
  }
  if (mantissaDigits == 0)
    return std::nullopt;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    plain += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
      plain += text[i++];
    int exponentDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i) {
      plain += text[i];
      ++exponentDigits;
    }
    if (exponentDigits == 0)
      return std::nullopt;
  }
  if (i != n)
    return std::nullopt;
  long double value = 0;
  const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (result.ec != std::errc() || result.ptr != plain.data() + plain.size())
    return std::nullopt;
  return value;
}

long double StrToFloat(std::string_view text, char decimalSeparator)
{
  if (auto value = TryStrToFloat(text, decimalSeparator))
    return *value;
  throw ConvertError(NotAFloatMessage(text));
}

} // namespace dz

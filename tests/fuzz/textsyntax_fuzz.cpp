// The integer and floating-point text syntaxes against readers written here
// from their description alone: every text is accepted or refused alike, with
// the same value, and a refusal carries the exact message quoting the text.

#include "fuzzsupport.h"

#include "errors.h"
#include "textsyntax.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

int Hex(char c)
{
  if (Digit(c))
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Blanks, sign, then decimal digits, or hexadecimal ones after "$", "x" or
// "0x"; nothing after; within the signed 32-bit range.
std::optional<std::int32_t> ReferenceInt(const std::string& s)
{
  std::size_t i = s.find_first_not_of(' ');
  if (i == std::string::npos)
    return std::nullopt;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-')
    negative = s[i++] == '-';
  int base = 10;
  if (s.compare(i, 1, "$") == 0 || s.compare(i, 1, "x") == 0 || s.compare(i, 1, "X") == 0) {
    base = 16;
    i += 1;
  } else if (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  }
  if (i == s.size())
    return std::nullopt;
  __int128 value = 0;
  for (; i < s.size(); ++i) {
    const int d = base == 16 ? Hex(s[i]) : (Digit(s[i]) ? s[i] - '0' : -1);
    if (d < 0)
      return std::nullopt;
    value = value * base + d;
    if (value > (__int128(1) << 40))
      value = __int128(1) << 40; // far out of range either way; stop growing
  }
  if (negative)
    value = -value;
  if (value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// Blanks around; sign; digits with at most one separator (a digit at least);
// then "E"/"e", optional sign, digits. Returns the normalised C text, or
// nothing when the syntax is wrong.
std::optional<std::string> ReferenceFloatSyntax(const std::string& s, char sep)
{
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos)
    return std::nullopt;
  const std::size_t e = s.find_last_not_of(' ') + 1;
  const std::string t = s.substr(b, e - b);
  std::string c;
  std::size_t i = 0;
  if (t[i] == '+' || t[i] == '-')
    c += t[i++];
  int digits = 0, seps = 0;
  for (; i < t.size(); ++i) {
    if (Digit(t[i])) {
      c += t[i];
      ++digits;
    } else if (t[i] == sep && seps == 0) {
      c += '.';
      ++seps;
    } else {
      break;
    }
  }
  if (digits == 0)
    return std::nullopt;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    c += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
      c += t[i++];
    int exponentDigits = 0;
    for (; i < t.size() && Digit(t[i]); ++i, ++exponentDigits)
      c += t[i];
    if (exponentDigits == 0)
      return std::nullopt;
  }
  if (i != t.size())
    return std::nullopt;
  return c;
}

// The quote with its escapes (\\ and \xNN) undone, and how many characters
// it shows (an ASCII byte, an escape or a UTF-8 sequence each count one).
// Nothing for a lone backslash, which would make the quote ambiguous.
std::optional<std::pair<std::string, int>> Unquote(const std::string& quote)
{
  std::string plain;
  int characters = 0;
  for (std::size_t i = 0; i < quote.size(); ++characters) {
    const auto b = static_cast<unsigned char>(quote[i]);
    if (b != '\\') {
      const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      plain += quote.substr(i, n);
      i += n;
    } else if (quote.compare(i, 2, "\\\\") == 0) {
      plain += '\\';
      i += 2;
    } else if (i + 4 <= quote.size() && quote[i + 1] == 'x' && Hex(quote[i + 2]) >= 0 && Hex(quote[i + 3]) >= 0) {
      plain += static_cast<char>(Hex(quote[i + 2]) * 16 + Hex(quote[i + 3]));
      i += 4;
    } else {
      return std::nullopt;
    }
  }
  return std::make_pair(plain, characters);
}

// A refusal's message quotes the text as the description says: "'" quote
// "' is not ...". No control byte shows; undoing the quote's escapes gives the
// text itself (80 characters at most), or, when the quote ends in "…", the
// text's first 80 characters with more after them.
bool QuotesText(const std::string& message, const std::string& text, const std::string& words)
{
  if (!message.starts_with("'") || !message.ends_with("' " + words))
    return false;
  for (const char c : message)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return false;
  const std::string quote = message.substr(1, message.size() - 3 - words.size());
  if (const auto whole = Unquote(quote); whole && whole->first == text && whole->second <= 80)
    return true;
  const std::string ellipsis = "\u2026";
  if (!quote.ends_with(ellipsis))
    return false;
  const auto start = Unquote(quote.substr(0, quote.size() - ellipsis.size()));
  return start && start->second == 80 && start->first.size() < text.size() && text.starts_with(start->first);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  std::setlocale(LC_NUMERIC, "C");
  dzfuzz::Input in(data, size);
  static const char kSeparators[] = {',', '.', ',', '.', ';', ' ', 'e', '-'};
  const char sep = kSeparators[in.Byte() % sizeof kSeparators];
  const std::string text = in.Rest();

  // Integers.
  const std::optional<std::int32_t> want = ReferenceInt(text);
  const std::optional<std::int32_t> got = dz::TryStrToInt(text);
  DZ_CHECK(want == got, dzfuzz::Show(text) + ": reference " + (want ? std::to_string(*want) : "refuses") +
                            ", program " + (got ? std::to_string(*got) : "refuses"));
  try {
    const std::int32_t v = dz::StrToInt(text);
    DZ_CHECK(got && v == *got, "StrToInt and TryStrToInt differ on " + dzfuzz::Show(text));
  } catch (const dz::ConvertError& e) {
    DZ_CHECK(!got, "StrToInt refused what TryStrToInt took");
    DZ_CHECK(QuotesText(e.what(), text, "is not a valid integer value"), dzfuzz::Show(e.what()));
  }

  // Floating point. A separator that is also part of the syntax (blank, "e",
  // sign) makes the text ambiguous; the program never uses one, so only the
  // absence of crashes is asked there.
  const std::optional<long double> gotFloat = dz::TryStrToFloat(text, sep);
  if (sep == ',' || sep == '.' || sep == ';') {
    const std::optional<std::string> plain = ReferenceFloatSyntax(text, sep);
    if (!plain) {
      DZ_CHECK(!gotFloat, dzfuzz::Show(text) + " is no number, yet it was taken");
    } else {
      errno = 0;
      char* end = nullptr;
      const long double ref = std::strtold(plain->c_str(), &end);
      const bool inRange = errno != ERANGE && std::isfinite(ref);
      if (inRange) {
        DZ_CHECK(gotFloat.has_value(), dzfuzz::Show(text) + " was refused");
        DZ_CHECK(*gotFloat == ref || (std::isnan(*gotFloat) && std::isnan(ref)),
                 dzfuzz::Show(text) + " read as a different value");
      } else if (std::isinf(ref)) {
        // Beyond the largest long double: refused.
        DZ_CHECK(!gotFloat, dzfuzz::Show(text) + " overflows, yet it was taken");
      } else if (gotFloat) {
        // Below the smallest: either refused or a tiny value of the same sign.
        DZ_CHECK(std::fabs(*gotFloat) <= 1e-4931L, dzfuzz::Show(text) + " underflows to a large value");
      }
    }
  }
  try {
    const long double v = dz::StrToFloat(text, sep);
    DZ_CHECK(gotFloat && (v == *gotFloat || std::isnan(v)), "StrToFloat and TryStrToFloat differ");
  } catch (const dz::ConvertError& e) {
    DZ_CHECK(!gotFloat, "StrToFloat refused what TryStrToFloat took");
    DZ_CHECK(QuotesText(e.what(), text, "is not a valid floating point value"), dzfuzz::Show(e.what()));
  }
  return 0;
}

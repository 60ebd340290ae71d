#include "errors.h"

namespace dz {

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte
// there does not begin one (overlong forms and surrogates included).
std::size_t Utf8Length(std::string_view text, std::size_t i)
{
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  std::size_t n = 0;
  unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    lo = b == 0xE0 ? 0xA0 : 0x80;
    hi = b == 0xED ? 0x9F : 0xBF;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    lo = b == 0xF0 ? 0x90 : 0x80;
    hi = b == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (i + n > text.size() || byte(i + 1) < lo || byte(i + 1) > hi)
    return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
      return 0;
  // U+0080 to U+009F are control characters too.
  if (n == 2 && b == 0xC2 && byte(i + 1) <= 0x9F)
    return 0;
  return n;
}

void AppendEscaped(std::string& out, unsigned char b)
{
  static const char hex[] = "0123456789abcdef";
  out += "\\x";
  out += hex[b >> 4];
  out += hex[b & 15];
}

} // namespace

std::string QuotedPiece(std::string_view text)
{
  std::string out;
  std::size_t i = 0;
  for (std::size_t shown = 0; i < text.size() && shown < kQuotedCharacters; ++shown) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\\') {
      out += "\\\\"; // doubled, so that an escape in the quote is never the text's own
      ++i;
    } else if (b >= 0x20 && b < 0x7F) {
      out += text[i++];
    } else if (const std::size_t n = b >= 0x80 ? Utf8Length(text, i) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      AppendEscaped(out, b);
      ++i;
    }
  }
  if (i < text.size())
    out += "\u2026";
  return out;
}

} // namespace dz

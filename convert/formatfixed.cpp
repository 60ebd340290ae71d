#include "formatfixed.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace dz {

namespace {

constexpr int kSignificantDigits = 18;

// |v| as 0.d1 d2 ... d18 x 10^E (the first step). A float converts to
// double exactly, and to_chars rounds the exact binary value correctly.
void DecimalDigits(float v, char (&digits)[kSignificantDigits], int& E)
{
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(static_cast<double>(v)),
                               std::chars_format::scientific, kSignificantDigits - 1);
  // buf: "d.ddddddddddddddddde[+-]xx"
  digits[0] = buf[0];
  for (int i = 1; i < kSignificantDigits; ++i)
    digits[i] = buf[i + 1];
  const char* e = buf + kSignificantDigits + 1; // the 'e'
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, exponent);
  E = exponent + 1;
}

} // namespace

std::string FormatFixed(float v, int P, int D, char decimalSeparator)
{
  if (std::isnan(v))
    return "NAN";
  if (std::isinf(v))
    return v < 0 ? "-INF" : "INF";

  // Steps 1 and 2: the kept digits, rounded.
  std::string kept;
  int E = 0;
  if (v != 0) {
    char digits[kSignificantDigits];
    DecimalDigits(v, digits, E);
    const int k = std::min(P, E + D);
    if (k >= 0) {
      const int available = std::min(k, kSignificantDigits);
      kept.assign(digits, digits + available);
      const int dropped = k < kSignificantDigits ? digits[k] - '0' : 0;
      if (dropped >= 5) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[i] == '9') {
          kept[i] = '0';
          --i;
        }
        if (i < 0) {
          // Carry out of the first digit, or going up with k = 0.
          kept = "1";
          ++E;
        } else {
          ++kept[i];
        }
      }
      while (!kept.empty() && kept.back() == '0')
        kept.pop_back();
    }
  }

  std::string text;
  // Step 3: nothing left but zero, and never a minus sign then.
  if (kept.empty()) {
    text = "0";
    if (D > 0) {
      text += decimalSeparator;
      text.append(static_cast<std::size_t>(D), '0');
    }
    return text;
  }

  if (std::signbit(v))
    text += '-';

  // Step 4: exponent form.
  if (E > P) {
    text += kept[0];
    if (kept.size() > 1) {
      text += decimalSeparator;
      text.append(kept, 1);
    }
    text += 'E';
    text += std::to_string(E - 1);
    return text;
  }

  // Step 5: fixed form.
  if (E <= 0) {
    text += '0';
  } else {
    for (int i = 0; i < E; ++i)
      text += i < static_cast<int>(kept.size()) ? kept[static_cast<std::size_t>(i)] : '0';
  }
  if (D > 0) {
    text += decimalSeparator;
    std::string decimals;
    if (E < 0)
      decimals.append(static_cast<std::size_t>(-E), '0');
    if (static_cast<int>(kept.size()) > std::max(E, 0))
      decimals.append(kept, static_cast<std::size_t>(std::max(E, 0)));
    if (static_cast<int>(decimals.size()) < D)
      decimals.append(static_cast<std::size_t>(D) - decimals.size(), '0');
    // k <= E + D keeps the kept decimals within D; cut anyway to stay exact.
    decimals.resize(static_cast<std::size_t>(D));
    text += decimals;
  }
  return text;
}

} // namespace dz

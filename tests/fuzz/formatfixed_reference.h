#pragma once

// A slow FormatFixed written apart from the program's: the exact decimal value
// of the float by long arithmetic, then the rounding done on whole numbers
// (scale, add half a unit, divide) instead of on digit strings. Good for P up
// to 9 and any D up to 9.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dzref {

// A non-negative whole number in base 10^9, least significant limb first.
class BigDecimal {
public:
  explicit BigDecimal(std::uint64_t v)
  {
    do {
      m_limbs.push_back(static_cast<std::uint32_t>(v % kBase));
      v /= kBase;
    } while (v != 0);
  }
  void Multiply(std::uint32_t f)
  {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : m_limbs) {
      const std::uint64_t x = std::uint64_t(limb) * f + carry;
      limb = static_cast<std::uint32_t>(x % kBase);
      carry = x / kBase;
    }
    while (carry != 0) {
      m_limbs.push_back(static_cast<std::uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }
  std::string Digits() const
  {
    std::string s = std::to_string(m_limbs.back());
    for (std::size_t i = m_limbs.size() - 1; i-- > 0;) {
      const std::string part = std::to_string(m_limbs[i]);
      s += std::string(9 - part.size(), '0') + part;
    }
    return s;
  }

private:
  static constexpr std::uint64_t kBase = 1000000000;
  std::vector<std::uint32_t> m_limbs;
};

inline std::uint64_t Pow10(int n)
{
  std::uint64_t p = 1;
  while (n-- > 0)
    p *= 10;
  return p;
}

inline std::string FormatFixed(float v, int P, int D, char sep)
{
  if (std::isnan(v))
    return "NAN";
  if (std::isinf(v))
    return v < 0 ? "-INF" : "INF";
  const std::string zero = D > 0 ? "0" + std::string(1, sep) + std::string(std::size_t(D), '0') : "0";
  if (v == 0)
    return zero;

  // |v| = m x 2^e exactly, m < 2^24.
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int biased = int((bits >> 23) & 0xff);
  std::uint64_t m = bits & 0x7fffff;
  int e;
  if (biased == 0) {
    e = -149;
  } else {
    m |= 0x800000;
    e = biased - 150;
  }
  // Its decimal digits and the position E of the point: |v| = 0.digits x 10^E.
  BigDecimal n(m);
  int E;
  if (e >= 0) {
    for (int i = 0; i < e; ++i)
      n.Multiply(2);
  } else {
    for (int i = 0; i < -e; ++i)
      n.Multiply(5); // m x 2^e = m x 5^-e / 10^-e
  }
  std::string digits = n.Digits();
  E = int(digits.size()) + (e < 0 ? e : 0);

  // Rounded to 18 significant digits, as a whole number N18 with
  // |v| ~ N18 x 10^(E - 18).
  digits.resize(std::max<std::size_t>(digits.size(), 19), '0');
  std::uint64_t n18 = std::stoull(digits.substr(0, 18));
  if (digits[18] >= '5')
    ++n18;
  if (n18 == Pow10(18)) {
    n18 = Pow10(17);
    ++E;
  }

  const int k = std::min(P, E + D);
  if (k < 0)
    return zero;
  // q: |v| in units of 10^(E - k), rounded half up.
  const std::uint64_t unit = Pow10(18 - k);
  const std::uint64_t q = (n18 + unit / 2) / unit;
  if (q == 0)
    return zero;
  const int qDigits = int(std::to_string(q).size());
  const int Eshown = E + (qDigits - k); // one more when rounding carried out
  const std::string sign = std::signbit(v) ? "-" : "";

  if (Eshown > P) {
    std::string mant = std::to_string(q);
    while (mant.size() > 1 && mant.back() == '0')
      mant.pop_back();
    std::string out = sign + mant.substr(0, 1);
    if (mant.size() > 1)
      out += sep + mant.substr(1);
    return out + "E" + std::to_string(Eshown - 1);
  }
  // Fixed: the value times 10^D is the whole number q x 10^(E - k + D).
  std::uint64_t scaled = q;
  for (int i = 0; i < E - k + D; ++i)
    scaled *= 10;
  std::string s = std::to_string(scaled);
  if (int(s.size()) < D + 1)
    s.insert(0, std::size_t(D + 1) - s.size(), '0');
  if (D == 0)
    return sign + s;
  return sign + s.substr(0, s.size() - std::size_t(D)) + sep + s.substr(s.size() - std::size_t(D));
}

} // namespace dzref

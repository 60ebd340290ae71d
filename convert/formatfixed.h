#pragma once

#include <string>

namespace dz {

// The cell text of a converted value (FormatFixed): at most P
// significant digits, exactly D decimals, decimalSeparator between them;
// exponent form ("1,79E4") when the integer part needs more than P digits;
// never a minus sign on a text that shows zero ("0,0", not "-0,0").
// The digits are those of v's exact decimal expansion rounded to 18
// significant digits first, then to the kept digits (half up).
// Infinities and NaN, which no conversion lets through, give "INF", "-INF"
// and "NAN" as the original library did.
std::string FormatFixed(float v, int P, int D, char decimalSeparator);

} // namespace dz

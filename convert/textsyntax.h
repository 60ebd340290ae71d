#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dz {

// The integer syntax of a stream piece, also used for the radiation
// offset (SpinEdit1): leading blanks (spaces) skipped, an optional
// "+" or "-", then decimal digits, or hexadecimal digits after "$", "x" or
// "0x" (x in either case); nothing may follow. The value, sign included, must
// lie in the signed 32-bit range (hexadecimal too: "$80000000" is refused,
// "-$80000000" accepted).
// Throws ConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);
std::optional<int32_t> TryStrToInt(std::string_view text);

// The floating-point syntax of the radiation constant (Edit1): leading and
// trailing blanks (spaces), an optional sign, decimal digits with at most one
// decimalSeparator among them (at least one digit in all), an optional
// exponent "E"/"e", optional sign and at least one digit. A number beyond the
// range of long double is refused like bad syntax.
// Throws ConvertError "'<text>' is not a valid floating point value".
long double StrToFloat(std::string_view text, char decimalSeparator);
std::optional<long double> TryStrToFloat(std::string_view text, char decimalSeparator);

} // namespace dz

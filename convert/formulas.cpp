#include "formulas.h"

#include "errors.h"

#include <cmath>

namespace dz {

namespace {

uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }
int32_t S(uint32_t v) { return static_cast<int32_t>(v); }

// W - offset, wrapping.
int32_t Minus(int32_t w, int32_t offset) { return S(U(w) - U(offset)); }

} // namespace

int32_t FourLineWord(int32_t l0, int32_t l1, int32_t l2, int32_t l3)
{
  return S(U(l0) * 256u + U(l1) * 100u + U(l2) * 10u + U(l3));
}

int32_t FourCharWord(int32_t c1, int32_t c2, int32_t c3, int32_t c4)
{
  return S(U(c1) * 256u + U(c2) * 100u + U(c3) * 10u + U(c4));
}

int32_t SixCharWord(int32_t /*c1*/, int32_t c2, int32_t c3, int32_t c4, int32_t c5, int32_t c6)
{
  return S((U(c2) * 10u + U(c3)) * 256u + U(c4) * 100u + U(c5) * 10u + U(c6));
}

float NarrowToSingle(long double value)
{
  if (std::isnan(value))
    throw ConvertError(kInvalidOperationMessage);
  // The smallest magnitude that rounds (to nearest, ties to even) beyond
  // FLT_MAX = 2^128 - 2^104 is the midpoint 2^128 - 2^103. Testing before the
  // cast also keeps the cast defined.
  static const long double kOverflowFrom = std::ldexp(1.0L, 128) - std::ldexp(1.0L, 103);
  if (std::fabs(value) >= kOverflowFrom)
    throw ConvertError(kOverflowMessage);
  return static_cast<float>(value);
}

float Lm35Celsius(int32_t w)
{
  return NarrowToSingle(static_cast<long double>(Minus(w, 240)) / 10);
}

float NtcCelsius(int32_t w)
{
  return NarrowToSingle((static_cast<long double>(w) / 1024 - 0.29L) / 0.0024L);
}

float ThermocoupleReference(int32_t w1)
{
  return NarrowToSingle(static_cast<long double>(w1) / 10 * 2);
}

float ThermocoupleChannel(int32_t w, float reference)
{
  return NarrowToSingle(static_cast<long double>(Minus(w, 500)) / 10 + reference);
}

float Lm335Celsius(int32_t w)
{
  return NarrowToSingle(static_cast<long double>(Minus(w, 2731)) / 10);
}

float RadiationPar(int32_t w, int32_t offset, long double constant)
{
  const long double numerator = static_cast<long double>(Minus(w, offset)) / 50 * 1000;
  if (constant == 0)
    throw ConvertError(numerator == 0 ? kInvalidOperationMessage : kDivisionByZeroMessage);
  const float par = NarrowToSingle(numerator / constant);
  return par >= 0 ? par : 0.0f;
}

float ClampHumidity(float rh)
{
  if (!(rh >= 0))
    return 0.0f;
  if (rh > 100)
    return 100.0f;
  return rh;
}

float HumidityV1(int32_t w)
{
  return ClampHumidity(NarrowToSingle((static_cast<long double>(w) / 100 - 0.64L) / 0.0248L));
}

float HumidityV2(int32_t w)
{
  return ClampHumidity(NarrowToSingle((static_cast<long double>(w) * 0.003027L - 0.64L) / 0.0248L));
}

float Millivolts(int32_t w)
{
  return NarrowToSingle(static_cast<long double>(w));
}

} // namespace dz

#pragma once

#include <cstdint>

namespace dz {

// Value words and the per-model formulas.
//
// Word arithmetic is 32-bit and wraps; it is done in uint32_t so that a wrap
// is defined behaviour, then taken back as int32_t. Each formula is evaluated
// in long double (the 80-bit format on x86-64) and narrowed once to float.
// The decimal constants (0.29, 0.0024, 0.003027, 0.64, 0.0248) are the nearest
// long double values.

// W = L0 x 256 + L1 x 100 + L2 x 10 + L3, pieces not range-tested.
int32_t FourLineWord(int32_t l0, int32_t l1, int32_t l2, int32_t l3);
// Model 2: W = c1 x 256 + c2 x 100 + c3 x 10 + c4.
int32_t FourCharWord(int32_t c1, int32_t c2, int32_t c3, int32_t c4);
// Model 3: W = (c2 x 10 + c3) x 256 + c4 x 100 + c5 x 10 + c6; c1 is ignored.
int32_t SixCharWord(int32_t c1, int32_t c2, int32_t c3, int32_t c4, int32_t c5, int32_t c6);

// Narrow a formula's result to single precision. Throws ConvertError
// "Floating point overflow" when the rounded value does not fit a float, and
// "Invalid floating point operation" for NaN: neither ever reaches a cell.
float NarrowToSingle(long double value);

// Models 0 and 8: T = (W - 240) / 10.
float Lm35Celsius(int32_t w);
// Model 1: T = (W / 1024 - 0.29) / 0.0024.
float NtcCelsius(int32_t w);
// Model 2, reference (column 1): R = (W1 / 10) x 2.
float ThermocoupleReference(int32_t w1);
// Model 2, channel k (column k + 1): T = (W - 500) / 10 + R, R the single-precision reference.
float ThermocoupleChannel(int32_t w, float reference);
// Model 3, every column: T = (W - 2731) / 10.
float Lm335Celsius(int32_t w);
// Model 4: PAR = ((W - O) / 50 x 1000) / K; a negative result becomes 0.
// Throws ConvertError "Floating point division by zero" (K = 0, W != O),
// "Invalid floating point operation" (K = 0, W == O) or "Floating point
// overflow" (result too large for a float, whatever its sign).
float RadiationPar(int32_t w, int32_t offset, long double constant);
// Model 5: RH = (W / 100 - 0.64) / 0.0248, then clamped to 0..100.
float HumidityV1(int32_t w);
// Model 6: RH = (W x 0.003027 - 0.64) / 0.0248, then clamped to 0..100.
float HumidityV2(int32_t w);
// The clamp of both humidity versions: not 0 or more gives 0; above 100 gives 100.
float ClampHumidity(float rh);
// Model 7: the word itself.
float Millivolts(int32_t w);

} // namespace dz

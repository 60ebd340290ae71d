// FormatFixed on any single-precision value, any format the grid could use,
// against the slow reference of formatfixed_reference.h.

#include "fuzzsupport.h"
#include "formatfixed_reference.h"

#include "formatfixed.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  dzfuzz::Input in(data, size);
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i)
    bits = bits << 8 | in.Byte();
  float v;
  std::memcpy(&v, &bits, sizeof v);
  // The grid uses (4, 1), (3, 1) and (4, 0); the rule holds for any P and D.
  const int P = size > 4 ? 1 + in.Byte() % 9 : 4;
  const int D = size > 5 ? in.Byte() % 4 : 1;
  const char sep = (in.Byte() & 1) ? '.' : ',';
  const std::string want = dzref::FormatFixed(v, P, D, sep);
  const std::string got = dz::FormatFixed(v, P, D, sep);
  char value[64];
  std::snprintf(value, sizeof value, "%.9g (0x%08x) P=%d D=%d", double(v), bits, P, D);
  DZ_CHECK(want == got, std::string(value) + ": program " + got + ", reference " + want);
  return 0;
}

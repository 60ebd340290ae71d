#include "numberformat.h"

namespace dz {

NumberFormat& ProgramNumberFormat()
{
  static NumberFormat format;
  return format;
}

} // namespace dz

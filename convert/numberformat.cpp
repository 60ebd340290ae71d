#include "numberformat.h"

namespace dz {

NumberFormat& ProgramNumberFormat()
{
  static NumberFormat format;
  return format;
}

void UseProgramSeparators()
{
  ProgramNumberFormat().DecimalSeparator = ',';
  ProgramNumberFormat().ThousandSeparator = '.';
}

} // namespace dz

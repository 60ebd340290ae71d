#include "art.h"

namespace dz::art {

QStringList AllResources()
{
  QStringList all;
  for (const char* name : {kBackground, kBanner, kOpen, kLimpiar, kGrafico, kProgramIcon, kEraser,
                           kEraserCrossed})
    all << QString::fromLatin1(name);
  return all;
}

} // namespace dz::art

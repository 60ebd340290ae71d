#include "cardbound.h"

#include "models.h"

#include <algorithm>

namespace dz {

std::size_t CardBound::Take(std::string_view bytes)
{
  if (Exceeded())
    return 0;
  const auto maxBytes = static_cast<std::size_t>(kMaxStreamBytes);
  const std::size_t room = maxBytes - std::min(maxBytes, m_taken);
  std::size_t line = m_openLine;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    line = (bytes[i] == '\r' || bytes[i] == '\n') ? 0 : line + 1;
    if (i >= room || line > static_cast<std::size_t>(kMaxLineLength)) {
      m_why = i >= room ? Beyond::TooManyBytes : Beyond::LongLine;
      m_taken += i;
      return i;
    }
  }
  m_taken += bytes.size();
  m_openLine = line;
  return bytes.size();
}

} // namespace dz

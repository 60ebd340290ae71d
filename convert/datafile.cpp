#include "datafile.h"

#include "models.h"

namespace dz {

std::string DataFileContents(int model, const CellGrid& grid)
{
  const ModelInfo* info = FindModel(model);
  if (info == nullptr)
    return {};
  std::string out;
  out.reserve(static_cast<std::size_t>(info->Samples) * (static_cast<std::size_t>(info->Columns) * 8 + 2));
  for (int row = 1; row <= info->Samples; ++row) {
    for (int col = 1; col <= info->Columns; ++col) {
      if (col > 1)
        out += ' ';
      out += grid.Cell(col, row);
    }
    out += "\r\n";
  }
  return out;
}

} // namespace dz

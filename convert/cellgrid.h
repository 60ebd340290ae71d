#pragma once

#include <array>
#include <string>

namespace dz {

// The data grid's cells: 8 columns by 1171 rows of text. Row 0 holds column
// titles, column 0 sample numbers. Cells hold ASCII only (the titles of the
// window's label are elsewhere).
class CellGrid {
public:
  static constexpr int kColumns = 8;
  static constexpr int kRows = 1171;

  const std::string& Cell(int col, int row) const { return m_cells[Index(col, row)]; }
  void SetCell(int col, int row, std::string text) { m_cells[Index(col, row)] = std::move(text); }
  void Clear()
  {
    for (auto& c : m_cells)
      c.clear();
  }

private:
  static std::size_t Index(int col, int row) { return static_cast<std::size_t>(row) * kColumns + col; }
  std::array<std::string, static_cast<std::size_t>(kColumns) * kRows> m_cells;
};

} // namespace dz

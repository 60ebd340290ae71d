#pragma once

#include "cellgrid.h"

namespace dz {

// What the outputs read of the main window: the selected logger model and the
// data grid. TForm1 implements it; tests use a plain grid.
class GridSource {
public:
  virtual ~GridSource() = default;
  // Item index of ComboBox1: 0 to 8, or -1 when no model is selected.
  virtual int ModelIndex() const = 0;
  virtual const CellGrid& Grid() const = 0;
};

} // namespace dz

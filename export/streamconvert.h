#pragma once

// Converting a raw stream without a window: what the command line and the
// archive window do with bytes that are not the main window's buffer.

#include "cellgrid.h"
#include "errors.h"

#include <optional>
#include <string>
#include <string_view>

namespace dz {

// A conversion into an empty grid, as the window does it on closing a download.
struct Converted {
  CellGrid Grid;
  int Rows = 0;                      // rows converted in full, from 1
  std::optional<ConvertError> Error; // where and why it stopped, if it did
  bool CutLineLeftOut = false;       // the stream ended inside a line (WholeLines)
};

// The received bytes, whole lines only: a last line without its line end is
// left out, as a download leaves it out. The radiation model reads the
// constant and offset as the panel's texts, in the program's number format.
Converted ConvertStream(int model, const std::string& constant, const std::string& offset,
                        std::string_view received);

} // namespace dz

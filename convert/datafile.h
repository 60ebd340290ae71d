#pragma once

#include "cellgrid.h"

#include <string>

namespace dz {

// The saved data file of a model: for grid rows 1 to 512, 1170 or 1024,
// the model's cells (columns 1..2, 1..7 or 1) joined by one space, each line
// ended by CR LF, the last included; no header; cells copied byte for byte.
// The window's export and dedizivi-cli both write exactly this.
//
// For model -1 or any index out of 0..8 it returns an empty string: with no
// model selected the export writes no file at all, so callers test
// FindModel(model) before creating one (every real model gives a non-empty
// result, at least its CR LF line ends).
std::string DataFileContents(int model, const CellGrid& grid);

} // namespace dz

#pragma once

// What convert and download share after the bytes are in: converting a raw
// stream into the grid, and writing the data file and the CSV from it.

#include "args.h"
#include "cellgrid.h"
#include "csv.h"
#include "errors.h"
#include "linebuffer.h"

#include <optional>
#include <string>

namespace dz::cli {

// The options of the outputs, common to convert and download.
inline constexpr OptionSpec kOutputOptions[] = {
  {"--output", true, "-o"}, {"--csv", true, {}},      {"--decimal", true, {}},
  {"--start", true, {}},    {"--interval", true, {}}, {"--constant", true, {}},
  {"--offset", true, {}},
};

struct OutputRequest {
  int Model = -1;
  std::string Constant;      // Edit1 starts empty
  std::string Offset = "0";  // SpinEdit1 starts at 0
  // The data file: a path, "-" for standard output, or nothing for none.
  std::optional<std::string> DataFile;
  std::optional<std::string> CsvFile;
  CsvOptions Csv;
};

// Fills everything but Model from the parsed options. The data file goes to
// standard output when neither -o nor --csv is given. Returns a usage
// message on a bad combination or value.
std::optional<std::string> ReadOutputOptions(const ParsedArgs& args, OutputRequest& request);

// A conversion into an empty grid, as the window does it on closing a download.
struct Converted {
  CellGrid Grid;
  int Rows = 0;                     // rows converted in full, from 1
  std::optional<ConvertError> Error; // where and why it stopped, if it did
};
Converted ConvertStream(const OutputRequest& request, const LineBuffer& buffer);

// Writes the data file (the first `rows` lines of the model's layout) and the
// CSV, each replaced in one step. Returns an error message naming the file.
std::optional<std::string> WriteOutputs(const OutputRequest& request, const CellGrid& grid, int rows);

// Whether the radiation constant and offset can convert a reading at all;
// the conversion's own message when not. Lets a download fail before it starts.
std::optional<std::string> CheckRadiationInputs(const OutputRequest& request);

} // namespace dz::cli

#pragma once

// What convert and download share after the bytes are in: converting a raw
// stream into the grid, and writing the data file and the CSV from it.

#include "args.h"
#include "cellgrid.h"
#include "csv.h"
#include "outputset.h"
#include "streamconvert.h"

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
  CsvOptions Csv;
  // Every file of the command: the data file and the CSV, and what the
  // command adds (its input, the raw file, the port) before Files.Check().
  OutputSet Files;
  // Their places in Files; nothing when not wanted.
  std::optional<std::size_t> DataOutput;
  std::optional<std::size_t> CsvOutput;
  // Rows of the CSV, when not those of the data file (the recorded ones).
  std::optional<int> CsvRows;
};

// Fills everything but Model from the parsed options, the data file and CSV
// in Files among them. The data file goes to standard output when neither -o
// nor --csv is given. --start and --interval shape the CSV, and also date
// the archived download when `datesArchive`. Returns a usage message on a
// bad combination or value.
std::optional<std::string> ReadOutputOptions(const ParsedArgs& args, OutputRequest& request,
                                             bool datesArchive = false);

// The usage message of a --start that is no time ("invalid --start ...").
std::string InvalidStartMessage(const std::string& text, StartProblem problem);

// The received bytes through the conversion of request.Model.
Converted ConvertStream(const OutputRequest& request, std::string_view received,
                        LastLine last = LastLine::AsItStands);

// A download's bytes through the conversion of request.Model, by the rule of
// every download, live or archived (see DownloadConversion).
DownloadConversion ConvertReceived(const OutputRequest& request, std::string_view received, LastLine last);

// Tells on standard error what became of a last line without its line end,
// when the stream ended inside a line the model reads.
void NoteLastLine(std::string_view command, const Converted& c, LastLine last);

// Writes the data file (the first `rows` lines of the model's layout) and the
// CSV, with whatever else the command put in Files (an output of its own:
// Files.AddOutput, then Files.SetContents), as one transaction. Returns an
// error message naming the file.
std::optional<std::string> WriteOutputs(OutputRequest& request, const CellGrid& grid, int rows);

// Whether the radiation constant and offset can convert a reading at all;
// the conversion's own message when not. Lets a download fail before it starts.
std::optional<std::string> CheckRadiationInputs(const OutputRequest& request);

} // namespace dz::cli

#include "output.h"

#include "datafile.h"
#include "models.h"

#include <cstdio>

namespace dz::cli {

namespace {

// The first `rows` lines of a data file (each ends with CR LF).
std::string FirstLines(const std::string& contents, int rows)
{
  std::size_t end = 0;
  for (int i = 0; i < rows; ++i) {
    const std::size_t next = contents.find("\r\n", end);
    if (next == std::string::npos)
      return contents;
    end = next + 2;
  }
  return contents.substr(0, end);
}

} // namespace

std::string InvalidStartMessage(const std::string& text, StartProblem problem)
{
  if (problem == StartProblem::Nonexistent)
    return "invalid --start '" + text + "': that local time does not exist here (the clocks were put forward " +
           "then); give it with its UTC offset, e.g. " + text + "+01:00";
  return "invalid --start '" + text + "' (ISO 8601, e.g. 2024-05-01T08:00:00 or 2024-05-01T08:00:00+02:00)";
}

std::optional<std::string> ReadOutputOptions(const ParsedArgs& args, OutputRequest& request, bool datesArchive)
{
  if (auto v = args.Last("--constant"))
    request.Constant = *v;
  if (auto v = args.Last("--offset"))
    request.Offset = *v;
  std::optional<std::string> dataFile = args.Last("--output");
  const std::optional<std::string> csvFile = args.Last("--csv");
  if (!dataFile && !csvFile)
    dataFile = "-";
  if (dataFile)
    request.DataOutput = request.Files.AddOutput("-o", *dataFile);
  if (csvFile)
    request.CsvOutput = request.Files.AddOutput("--csv", *csvFile);

  if (!csvFile && args.Has("--decimal"))
    return "--decimal shapes the CSV: give --csv FILE too";
  if (!csvFile && !datesArchive && (args.Has("--start") || args.Has("--interval")))
    return "--start and --interval shape the CSV: give --csv FILE too";
  if (auto v = args.Last("--decimal")) {
    const auto style = ParseDecimalStyle(*v);
    if (!style)
      return "invalid --decimal '" + *v + "' (point or comma)";
    request.Csv.Decimal = *style;
  }
  const auto start = args.Last("--start");
  const auto interval = args.Last("--interval");
  if (start.has_value() != interval.has_value())
    return "time stamps need both --start TIME and --interval DURATION";
  if (start) {
    StartProblem problem {};
    const auto first = ParseStart(*start, &problem);
    if (!first)
      return InvalidStartMessage(*start, problem);
    const auto seconds = ParseDuration(*interval);
    if (!seconds)
      return "invalid --interval '" + *interval + "' (e.g. 16s, 30s, 1m, 5m, 15m, 30m, 1h)";
    request.Csv.Times = SampleTiming{*first, *seconds};
  }
  return std::nullopt;
}

Converted ConvertStream(const OutputRequest& request, std::string_view received, LastLine last)
{
  return dz::ConvertStream(request.Model, request.Constant, request.Offset, received, last);
}

DownloadConversion ConvertReceived(const OutputRequest& request, std::string_view received, LastLine last)
{
  return ConvertDownload(request.Model, request.Constant, request.Offset, received, last);
}

void NoteLastLine(std::string_view command, const Converted& c, LastLine last)
{
  if (!c.EndsInsideLine)
    return;
  const std::string name(command);
  if (last == LastLine::AsItStands)
    std::fprintf(stderr, "dedizivi-cli %s: the input ends without a line end: its last line was converted as it stands\n",
                 name.c_str());
  else
    std::fprintf(stderr, "dedizivi-cli %s: the download was cut off inside its last line: that line was left out\n",
                 name.c_str());
}

std::optional<std::string> WriteOutputs(OutputRequest& request, const CellGrid& grid, int rows)
{
  const ModelInfo* model = FindModel(request.Model);
  if (!model)
    return "invalid model";
  if (request.DataOutput) {
    std::string dataFile = DataFileContents(request.Model, grid);
    if (rows < model->Samples)
      dataFile = FirstLines(dataFile, rows);
    request.Files.SetContents(*request.DataOutput, std::move(dataFile));
  }
  if (request.CsvOutput)
    request.Files.SetContents(*request.CsvOutput, CsvContents(*model, grid, request.CsvRows.value_or(rows), request.Csv));
  return request.Files.Commit();
}

std::optional<std::string> CheckRadiationInputs(const OutputRequest& request)
{
  if (request.Model != kRadiationModel)
    return std::nullopt;
  // Two samples through the conversion itself: the words 0 and 1023, the ends
  // of the logger's 10-bit range, so that a constant too close to 0 (an
  // overflow) is caught here too and not only after the download.
  const Converted c = ConvertStream(request, "0\r\n0\r\n0\r\n0\r\n3\r\n2\r\n5\r\n5\r\n");
  if (c.Error && c.Error->Sample() <= 2)
    return std::string(c.Error->what());
  return std::nullopt;
}

} // namespace dz::cli

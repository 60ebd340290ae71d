// dedizivi-cli convert: a raw download in, the saved data file (and a CSV)
// out, through the same conversion loop and file layout as the window.

#include "commands.h"
#include "fileio.h"
#include "output.h"

#include "models.h"

#include <cstdio>
#include <vector>

namespace dz::cli {

namespace {

void PrintConvertHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli convert --model N [--constant K] [--offset O] [INPUT] [-o OUTPUT]\n"
    "         [--csv FILE [--decimal point|comma] [--start TIME --interval DURATION]]\n"
    "\n"
    "Converts a raw Vexa-Logger download (lines end with CR, LF or CR LF) into the\n"
    "file that \"Guardar datos descargados\" writes: no header, one line per sample,\n"
    "fields joined by one space, CR LF, decimal comma; 512, 1170 or 1024 lines. A\n"
    "last line without its line end is converted as it stands (a note says so).\n"
    "\n"
    "  --model N     0 two-channel LM35     3 seven-channel LM335  6 humidity V 2/2\n"
    "                1 two-channel NTC      4 radiation PAR        7 millivolts\n"
    "                2 seven-channel TC 'J' 5 humidity V 1/1       8 one-channel LM35\n"
    "  --constant K  radiation sensor constant (model 4, required), as typed: 1,5\n"
    "  --offset O    radiation offset (model 4), an integer; default 0\n"
    "  INPUT         raw stream file; standard input when absent or \"-\"\n"
    "  -o OUTPUT     data file; standard output when \"-\" or when no -o nor --csv\n"
    "  --csv FILE    CSV: header \"sample\", [\"time\",] channel titles (CANAL1.., REF)\n"
    "  --decimal D   CSV: point (23.4 with \",\"; default) or comma (23,4 with \";\")\n"
    "  --start TIME  time of sample 1, ISO 8601: 2024-05-01T08:00:00 (local), +02:00\n"
    "  --interval D  sampling interval: 15s 16s 30s 1m 5m 10m 15m 20m 30m 1h (any)\n"
    "\n"
    "Outputs are never the input nor each other (status 2), and replace their\n"
    "files only once all are complete: see 'dedizivi-cli --help'. Exit status:\n"
    "0 converted; 1 the conversion stopped (message and sample number on standard\n"
    "error), an output could not be written, or the input is larger than any\n"
    "card; 2 usage error or unreadable input.\n");
}

constexpr OptionSpec kConvertOptions[] = {
  {"--model", true, {}},
};

int Usage(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli convert: %s\n(try 'dedizivi-cli convert --help')\n", message.c_str());
  return kExitUsage;
}

} // namespace

int RunConvertCommand(const std::vector<std::string_view>& argv)
{
  std::vector<OptionSpec> known(std::begin(kConvertOptions), std::end(kConvertOptions));
  known.insert(known.end(), std::begin(kOutputOptions), std::end(kOutputOptions));
  ParsedArgs args;
  if (auto error = ParseArgs(argv, known, args))
    return Usage(*error);
  if (args.Help) {
    PrintConvertHelp(stdout);
    return kExitOk;
  }
  if (args.Positional.size() > 1)
    return Usage("more than one input file ('" + args.Positional[0] + "' and '" + args.Positional[1] + "')");

  const auto modelText = args.Last("--model");
  if (!modelText)
    return Usage("--model N is required (0 to 8)");
  OutputRequest request;
  const auto model = ParseModelIndex(*modelText);
  if (!model)
    return Usage("invalid model '" + *modelText + "' (0 to 8)");
  request.Model = *model;
  if (auto error = ReadOutputOptions(args, request))
    return Usage(*error);

  const std::string input = args.Positional.empty() ? "-" : args.Positional[0];
  request.Files.AddInput("the input", input);
  if (auto error = request.Files.Check())
    return Usage(*error);

  std::string raw;
  if (auto failed = ReadAll(input, kMaxStreamBytes, raw)) {
    if (!failed->TooLarge)
      return Usage(failed->Message);
    std::fprintf(stderr, "dedizivi-cli convert: %s\n", failed->Message.c_str());
    return kExitFailed;
  }

  const Converted c = ConvertStream(request, raw);
  NoteLastLine("convert", c, LastLine::AsItStands);
  if (c.Error) {
    std::fprintf(stderr, "dedizivi-cli convert: conversion stopped at sample %d: %s\n", c.Error->Sample(),
                 c.Error->what());
    return kExitFailed;
  }
  if (auto failed = WriteOutputs(request, c.Grid, c.Rows)) {
    std::fprintf(stderr, "dedizivi-cli convert: %s\n", failed->c_str());
    return kExitFailed;
  }
  return kExitOk;
}

} // namespace dz::cli

// dedizivi-cli convert: a raw download in, the saved data file out,
// through the same conversion loop and file layout as the window.

#include "commands.h"
#include "fileio.h"

#include "conversion.h"
#include "datafile.h"
#include "errors.h"
#include "models.h"
#include "numberformat.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace dz::cli {

namespace {

void PrintConvertHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli convert --model N [--constant K] [--offset O] [INPUT] [-o OUTPUT]\n"
    "\n"
    "Converts a raw Vexa-Logger download (the text the logger streams; lines end\n"
    "with CR, LF or CR LF) into the file that \"Guardar datos descargados\" writes:\n"
    "no header, one line per sample, fields joined by one space, CR LF line ends,\n"
    "decimal comma; 512, 1170 or 1024 lines by model.\n"
    "\n"
    "  --model N      logger model (the selector's index), 0 to 8:\n"
    "                   0 two-channel LM35     3 seven-channel LM335  6 humidity V 2/2\n"
    "                   1 two-channel NTC      4 radiation PAR        7 millivolts\n"
    "                   2 seven-channel TC 'J' 5 humidity V 1/1       8 one-channel LM35\n"
    "  --constant K   radiation sensor constant (model 4), as typed on the panel,\n"
    "                 with decimal comma (1,5); model 4 fails without it\n"
    "  --offset O     radiation offset (model 4), an integer; default 0\n"
    "  INPUT          raw stream file; standard input when absent or \"-\"\n"
    "  -o OUTPUT      output file, replaced only when the conversion succeeds;\n"
    "                 standard output when absent or \"-\"\n"
    "  -h, --help     this text\n"
    "\n"
    "Exit status: 0 converted; 1 the conversion stopped (the program's message and\n"
    "the sample number go to standard error, no output is written) or the output\n"
    "could not be written; 2 usage error or unreadable input.\n");
}

// Binds the conversion loop to an empty grid and the two radiation texts.
class CliTarget final : public ConversionTarget {
public:
  CliTarget(std::string offset, std::string constant)
    : m_offset(std::move(offset)), m_constant(std::move(constant))
  {
  }
  CellGrid& Grid() override { return m_grid; }
  void SetTitle(const std::string&) override {}
  void ProgressReset(int) override {}
  void ProgressStep() override {}
  void HideRadiationPanel() override {}
  std::string RadiationOffsetText() override { return m_offset; }
  std::string RadiationConstantText() override { return m_constant; }

private:
  CellGrid m_grid;
  std::string m_offset;
  std::string m_constant;
};

int Usage(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli convert: %s\n(try 'dedizivi-cli convert --help')\n", message.c_str());
  return kExitUsage;
}

std::optional<int> ParseModel(std::string_view text)
{
  int value = -1;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || FindModel(value) == nullptr)
    return std::nullopt;
  return value;
}

} // namespace

int RunConvertCommand(const std::vector<std::string_view>& args)
{
  std::optional<std::string> modelText;
  std::string constant;        // Edit1 starts empty
  std::string offset = "0";    // SpinEdit1 starts at 0
  std::optional<std::string> input;
  std::string output;          // empty: standard output
  bool optionsEnded = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsEnded = true;
        continue;
      }
      if (arg == "-h" || arg == "--help") {
        PrintConvertHelp(stdout);
        return kExitOk;
      }
      // Options with a value: "--name VALUE" or "--name=VALUE".
      std::string_view name = arg;
      std::optional<std::string_view> value;
      if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      }
      if (name != "--model" && name != "--constant" && name != "--offset" && name != "-o" && name != "--output")
        return Usage("unknown option '" + std::string(arg) + "'");
      if (!value) {
        if (i + 1 >= args.size())
          return Usage("option '" + std::string(name) + "' needs a value");
        value = args[++i];
      }
      if (name == "--model")
        modelText = std::string(*value);
      else if (name == "--constant")
        constant = std::string(*value);
      else if (name == "--offset")
        offset = std::string(*value);
      else
        output = std::string(*value);
      continue;
    }
    if (input)
      return Usage("more than one input file ('" + *input + "' and '" + std::string(arg) + "')");
    input = std::string(arg);
  }

  if (!modelText)
    return Usage("--model N is required (0 to 8)");
  const std::optional<int> model = ParseModel(*modelText);
  if (!model)
    return Usage("invalid model '" + *modelText + "' (0 to 8)");

  std::string raw;
  std::string error;
  if (!ReadAll(input.value_or("-"), raw, error))
    return Usage(error);

  // As in the program after start-up: comma and full stop.
  ProgramNumberFormat().DecimalSeparator = ',';
  ProgramNumberFormat().ThousandSeparator = '.';

  LineBuffer buffer;
  buffer.Append(raw);
  auto target = std::make_unique<CliTarget>(offset, constant);
  try {
    RunConversion(*model, buffer, *target);
  } catch (const ConvertError& e) {
    std::fprintf(stderr, "dedizivi-cli convert: conversion stopped at sample %d: %s\n", e.Sample(), e.what());
    return kExitFailed;
  }

  if (!WriteAllAtomically(output, DataFileContents(*model, target->Grid()), error)) {
    std::fprintf(stderr, "dedizivi-cli convert: %s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

} // namespace dz::cli

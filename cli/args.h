#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dz::cli {

// One option of a subcommand. Long options take "--name VALUE" or
// "--name=VALUE"; Alias is a second spelling ("-o" for "--output").
struct OptionSpec {
  std::string_view Name;
  bool TakesValue;
  std::string_view Alias = {};
};

struct ParsedArgs {
  // Values by the option's Name, in command-line order; a flag holds "".
  std::map<std::string, std::vector<std::string>, std::less<>> Values;
  std::vector<std::string> Positional;
  bool Help = false;

  bool Has(std::string_view name) const { return Values.find(name) != Values.end(); }
  // The value given (an option with a value is refused when repeated).
  std::optional<std::string> Last(std::string_view name) const;
};

// Splits ARGS of a subcommand. "-h"/"--help" sets Help; "--" ends the options;
// "-" alone is a positional (standard input or output); an option that takes
// a value may be given once. Returns a usage message, or nothing when the
// command line is well formed.
std::optional<std::string> ParseArgs(const std::vector<std::string_view>& args,
                                     std::span<const OptionSpec> known, ParsedArgs& out);

// A number of seconds such as "5", "0.5" or "60"; nothing for text that is
// not a finite number in [min, max].
std::optional<double> ParseSeconds(std::string_view text, double min, double max);

// A model index 0 to 8 as the selector numbers them.
std::optional<int> ParseModelIndex(std::string_view text);

} // namespace dz::cli

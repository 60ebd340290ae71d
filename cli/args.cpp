#include "args.h"

#include "models.h"

#include <charconv>
#include <cmath>

namespace dz::cli {

std::optional<std::string> ParsedArgs::Last(std::string_view name) const
{
  const auto it = Values.find(name);
  if (it == Values.end() || it->second.empty())
    return std::nullopt;
  return it->second.back();
}

std::optional<std::string> ParseArgs(const std::vector<std::string_view>& args,
                                     std::span<const OptionSpec> known, ParsedArgs& out)
{
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      out.Positional.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      out.Help = true;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    const OptionSpec* option = nullptr;
    for (const OptionSpec& s : known)
      if (s.Name == name || (!s.Alias.empty() && s.Alias == name))
        option = &s;
    if (!option)
      return "unknown option '" + std::string(arg) + "'";
    if (!option->TakesValue) {
      if (value)
        return "option '" + std::string(name) + "' takes no value";
      out.Values[std::string(option->Name)].emplace_back();
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size())
        return "option '" + std::string(name) + "' needs a value";
      value = args[++i];
    }
    // Taking the last of two would hide a slip (two models, two outputs).
    std::vector<std::string>& values = out.Values[std::string(option->Name)];
    if (!values.empty())
      return "option '" + std::string(option->Name) + "' given more than once";
    values.emplace_back(*value);
  }
  return std::nullopt;
}

std::optional<double> ParseSeconds(std::string_view text, double min, double max)
{
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v) ||
      v < min || v > max)
    return std::nullopt;
  return v;
}

std::optional<int> ParseModelIndex(std::string_view text)
{
  int value = -1;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || FindModel(value) == nullptr)
    return std::nullopt;
  return value;
}

} // namespace dz::cli

#pragma once

#include <string_view>
#include <vector>

namespace dz::cli {

// Exit statuses shared by every subcommand.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1, // the work itself failed (conversion, writing the output)
  kExitUsage = 2,  // bad command line or unreadable input
};

// One subcommand: `dedizivi-cli NAME ARGS...`. Run receives ARGS (without the
// program and subcommand names) and returns the exit status.
struct Command {
  std::string_view Name;
  std::string_view Summary; // one line for the top-level help
  int (*Run)(const std::vector<std::string_view>& args);
};

// Each subcommand lives in its own file and is listed in main.cpp.
int RunConvertCommand(const std::vector<std::string_view>& args);

} // namespace dz::cli

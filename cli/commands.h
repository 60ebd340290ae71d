#pragma once

#include <string_view>
#include <vector>

namespace dz::cli {

// Exit statuses shared by every subcommand (listed in --help and the manual).
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,       // the work itself failed (port, conversion, writing an output)
  kExitUsage = 2,        // bad command line, unreadable input, or no confirmation
  kExitShort = 3,        // download ended short: what arrived is kept and converted
  kExitNoData = 4,       // download: nothing arrived within the wait time
  kExitInterrupted = 130, // download: Ctrl-C before any data (128 + SIGINT, as shells do)
};

// One subcommand: `dedizivi-cli NAME ARGS...`. Run receives ARGS (without the
// program and subcommand names) and returns the exit status.
struct Command {
  std::string_view Name;
  std::string_view Summary; // one line for the top-level help
  int (*Run)(const std::vector<std::string_view>& args);
};

// Each subcommand lives in its own file and is listed in main.cpp.
int RunArchiveCommand(const std::vector<std::string_view>& args);
int RunConvertCommand(const std::vector<std::string_view>& args);
int RunDownloadCommand(const std::vector<std::string_view>& args);
int RunEraseCommand(const std::vector<std::string_view>& args);
int RunPortsCommand(const std::vector<std::string_view>& args);

} // namespace dz::cli

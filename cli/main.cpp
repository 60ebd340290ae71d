// dedizivi-cli: DEDIZIVI's work outside the window. Subcommands are listed in
// kCommands; each lives in its own file (convert_command.cpp, ...).

#include "commands.h"

#include "numberformat.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

using dz::cli::Command;

constexpr std::array kCommands{
  Command{"ports", "list the serial ports and why one may not open", dz::cli::RunPortsCommand},
  Command{"download", "download a logger's card, keep the raw bytes, convert", dz::cli::RunDownloadCommand},
  Command{"erase", "send the logger the command that erases its card", dz::cli::RunEraseCommand},
  Command{"convert", "convert a raw logger download into the data file or a CSV", dz::cli::RunConvertCommand},
  Command{"archive", "list, export, delete or prune the archived downloads", dz::cli::RunArchiveCommand},
};

void PrintHelp(std::FILE* to)
{
  std::fprintf(to, "Usage: dedizivi-cli COMMAND [OPTIONS...]\n"
                   "       dedizivi-cli COMMAND --help\n\n"
                   "DEDIZIVI Ver. 3.4 without its window. Commands:\n");
  for (const auto& c : kCommands)
    std::fprintf(to, "  %-10.*s %.*s\n", static_cast<int>(c.Name.size()), c.Name.data(),
                 static_cast<int>(c.Summary.size()), c.Summary.data());
  std::fprintf(to, "\nOutputs (-o, --csv, --raw):\n"
                   "  - No two of them may be the same file, nor the input or the port: files are\n"
                   "    compared as files (hard and symbolic links, \"./x\" and \"x\" count), and\n"
                   "    such a call is refused with status 2 before anything is opened. Nor may\n"
                   "    one be a file of the archive of downloads (see 'archive --help').\n"
                   "  - Each output is written in full to a temporary file in its target's own\n"
                   "    folder; the targets are replaced only once every output is complete, so\n"
                   "    on any failure none is replaced. A replaced file keeps its permissions.\n"
                   "  - A symbolic link is followed: its target is replaced, the link stays.\n"
                   "  - A device or FIFO (/dev/stdout, /dev/null) is written in place, and its\n"
                   "    write errors reported; nothing that is not a regular file is replaced.\n"
                   "  - A download in which not one sample arrived whole leaves existing\n"
                   "    outputs as they were. The raw file must be new or empty.\n"
                   "\nExit status: 0 done; 1 the command failed; 2 usage error; 3 download ended\n"
                   "short (what arrived is kept and converted); 4 download: no data arrived;\n"
                   "130 download interrupted before any data. See dedizivi-cli(1).\n");
}

} // namespace

int main(int argc, char** argv)
{
  // A file size limit (ulimit -f) makes a write fail, reported as any other,
  // rather than end the program before the outputs that fit are written.
  std::signal(SIGXFSZ, SIG_IGN);
  // Converted as the program converts after its start-up.
  dz::UseProgramSeparators();
  if (argc < 2) {
    PrintHelp(stderr);
    return dz::cli::kExitUsage;
  }
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(stdout);
    return dz::cli::kExitOk;
  }
  for (const auto& c : kCommands) {
    if (c.Name == name) {
      std::vector<std::string_view> args(argv + 2, argv + argc);
      return c.Run(args);
    }
  }
  std::fprintf(stderr, "dedizivi-cli: unknown command '%s' (try 'dedizivi-cli --help')\n", argv[1]);
  return dz::cli::kExitUsage;
}

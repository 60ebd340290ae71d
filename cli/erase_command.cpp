// dedizivi-cli erase: the window's "BORRAR" for scripts: the erase command
// "9" on the port, nothing read back.

#include "commands.h"
#include "portsetup.h"
#include "recording.h"

#include "args.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace dz::cli {

namespace {

void PrintEraseHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli erase [--port DEVICE] [--baud B] [--yes]\n"
    "\n"
    "Sends the logger the command that erases its memory card (the character \"9\").\n"
    "The logger erases the card only if it was downloaded before; nothing is read\n"
    "back, so nothing here can confirm that it did. Download first.\n"
    "\n"
    "  --port DEVICE  serial device; default: the port stored by the program\n"
    "  --baud B       line rate; default: the stored rate\n"
    "  --yes          do not ask; without it the command asks on the terminal and\n"
    "                 refuses to run when standard input is not a terminal\n"
    "  -h, --help     this text\n"
    "\n"
    "Exit status: 0 the command was sent; 1 the port failed; 2 usage error, or\n"
    "not confirmed.\n"
    "\n"
    "The erase is noted in the archive of downloads (see 'dedizivi-cli archive').\n");
}

constexpr OptionSpec kEraseOptions[] = {
  {"--port", true, {}},
  {"--baud", true, {}},
  {"--yes", false, "-y"},
};

int Usage(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli erase: %s\n(try 'dedizivi-cli erase --help')\n", message.c_str());
  return kExitUsage;
}

// The window asks before erasing; so does this, unless told not to.
bool Confirmed(const std::string& port)
{
  std::fprintf(stderr, "Erase the memory card of the logger on %s? This cannot be undone. [y/N] ", port.c_str());
  std::fflush(stderr);
  std::string answer;
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
    answer += static_cast<char>(std::tolower(c));
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
    answer.pop_back();
  return answer == "y" || answer == "yes" || answer == "s" || answer == "si";
}

} // namespace

int RunEraseCommand(const std::vector<std::string_view>& argv)
{
  ParsedArgs args;
  if (auto error = ParseArgs(argv, kEraseOptions, args))
    return Usage(*error);
  if (args.Help) {
    PrintEraseHelp(stdout);
    return kExitOk;
  }
  if (!args.Positional.empty())
    return Usage("unexpected argument '" + args.Positional[0] + "'");

  TComPort port;
  bool usageError = false;
  if (auto error = SetUpPort(port, {args.Last("--port"), args.Last("--baud")}, usageError)) {
    if (usageError)
      return Usage(*error);
    std::fprintf(stderr, "dedizivi-cli erase: %s\n", error->c_str());
    return kExitFailed;
  }

  if (!args.Has("--yes")) {
    if (::isatty(STDIN_FILENO) != 1)
      return Usage("not erasing without confirmation: standard input is not a terminal (give --yes)");
    if (!Confirmed(port.Port())) {
      std::fprintf(stderr, "dedizivi-cli erase: not erased\n");
      return kExitUsage;
    }
  }

  // Nothing is read back, so no event thread is needed.
  port.SetEvents({});
  try {
    port.OpenPort();
  } catch (const EComPort& e) {
    std::fprintf(stderr, "dedizivi-cli erase: cannot open port '%s': %s\n", port.Port().c_str(),
                 PortErrorText(e).c_str());
    return kExitFailed;
  }
  try {
    port.WriteText("9");
  } catch (const EComPort& e) {
    port.ClosePort();
    std::fprintf(stderr, "dedizivi-cli erase: cannot send the erase command to '%s': %s\n", port.Port().c_str(),
                 PortErrorText(e).c_str());
    return kExitFailed;
  }
  port.ClosePort();
  std::fprintf(stderr, "erase command sent to %s: the logger erases its card now (only if it was downloaded before)\n",
               port.Port().c_str());
  RecordErase("erase", port);
  return kExitOk;
}

} // namespace dz::cli

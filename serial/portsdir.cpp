#include "portsdir.h"

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace dz {

std::string SimulatorPortsDirectory()
{
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (runtime && runtime[0] != '\0' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
    return std::string(runtime) + "/dedizivi-ports";
  return "/tmp/dedizivi-ports-" + std::to_string(::getuid());
}

std::string SimulatorLinkName(long pid) { return "vexa-logger-sim-" + std::to_string(pid); }

} // namespace dz

#pragma once

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace dz {

// Where the logger simulator registers its pseudo-terminal, so that the port
// list offers it while it runs: $XDG_RUNTIME_DIR/dedizivi-ports when that is a
// directory, else /tmp/dedizivi-ports-<uid>. Created with mode 0700 on demand.
inline std::string SimulatorPortsDirectory()
{
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (runtime && *runtime && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
    return std::string(runtime) + "/dedizivi-ports";
  return "/tmp/dedizivi-ports-" + std::to_string(::getuid());
}

} // namespace dz

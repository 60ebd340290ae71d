#pragma once

// Where the logger simulator registers its pseudo-terminal, so that the port list
// can offer it: $XDG_RUNTIME_DIR/dedizivi-ports when XDG_RUNTIME_DIR is set and is a
// directory, else /tmp/dedizivi-ports-<uid>. Plain C++, no Qt.
//
// The simulator puts a symbolic link to its device there, named
// "vexa-logger-sim-<pid>" (or a name of its choice); a link is listed while its
// target is a character device and, for the default name, while that process lives.

#include <string>

namespace dz {

std::string SimulatorPortsDirectory();

// The default link name of a simulator process.
std::string SimulatorLinkName(long pid);

} // namespace dz

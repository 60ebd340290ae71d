#pragma once

// The serial port as the window sets it up, for the commands that talk to
// the logger: the window's line settings, then the stored settings, then
// what the command line overrides.

#include "comport.h"

#include <optional>
#include <string>

namespace dz::cli {

struct PortRequest {
  std::optional<std::string> Port; // --port; the stored port when absent
  std::optional<std::string> Baud; // --baud; the stored rate when absent
};

// Sets up `port`; returns a message naming the cause when it cannot.
// usageError tells a bad command line (status 2) from a failure (status 1).
std::optional<std::string> SetUpPort(TComPort& port, const PortRequest& request, bool& usageError);

// An EComPort with the system's own words for its error number.
std::string PortErrorText(const EComPort& e);

} // namespace dz::cli

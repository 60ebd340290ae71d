#pragma once

// The stable names udev gives serial devices under /dev/serial/by-id: the
// same adapter keeps its name whichever /dev/ttyUSBn it gets today.

#include <string>
#include <vector>

namespace dz {

// The links under /dev/serial/by-id that lead to `device` (a resolved
// path such as "/dev/ttyUSB0"), sorted.
std::vector<std::string> StableNames(const std::string& device);

// The first stable name of a port as the program names it ("COM1",
// "/dev/ttyUSB0", a by-id link itself); empty when it has none.
std::string StableName(const std::string& port);

} // namespace dz

// Writes files over and over until it is killed, for tst_hard_interrupted_write:
//   hard_writer export PATH SIZE   the data file writer of the main window,
//                                  alternating two contents of SIZE bytes
//   hard_writer store XDGDIR       the port settings store, alternating two ports
// Prints "writing" once it is about to start, so that the killer knows.

#include "comport.h"
#include "datafileexport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// Content n (0 or 1) of a given size: lines that differ between the two.
std::string Content(int n, std::size_t size)
{
  std::string s;
  s.reserve(size);
  for (std::size_t line = 0; s.size() < size; ++line)
    s += std::to_string(n) + " " + std::to_string(line * 7 + n) + " " + std::string(20, n ? 'b' : 'a') + "\r\n";
  s.resize(size);
  return s;
}

int main(int argc, char** argv)
{
  if (argc == 4 && std::string(argv[1]) == "export") {
    const QString path = QString::fromLocal8Bit(argv[2]);
    const std::size_t size = std::strtoul(argv[3], nullptr, 10);
    const std::string contents[2] = {Content(0, size), Content(1, size)};
    std::puts("writing");
    std::fflush(stdout);
    for (unsigned i = 1;; ++i)
      dz::WriteFileAtomically(path, contents[i % 2]);
  }
  if (argc == 3 && std::string(argv[1]) == "store") {
    ::setenv("XDG_CONFIG_HOME", argv[2], 1);
    TComPort port;
    port.SetName("ComPort");
    std::puts("writing");
    std::fflush(stdout);
    for (unsigned i = 1;; ++i) {
      port.SetPort(i % 2 ? "/dev/ttyUSB1" : "/dev/ttyUSB0");
      port.SaveSettings(ssRegistry, "HKEY_LOCAL_MACHINE\\Software\\vexa");
    }
  }
  std::fprintf(stderr, "usage: hard_writer export PATH SIZE | store XDGDIR\n");
  return 2;
}

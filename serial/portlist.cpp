#include "portlist.h"

#include "comport.h"
#include "portsdir.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsCharDevice(const std::string& path)
{
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool Exists(const std::string& path)
{
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// A built-in UART slot is listed only when hardware answers behind it: the kernel
// creates ttyS0..ttyS31 whether or not a chip is there.
bool UartPresent(const std::string& name)
{
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int t = -1;
  if (type >> t)
    return t != PORT_UNKNOWN;
  const int fd = ::open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return errno == EBUSY; // in use by someone, so it exists
  serial_struct ss{};
  const bool present = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
  ::close(fd);
  return present;
}

// A process that has ended, or only waits to be reaped, no longer serves its port.
bool ProcessAlive(long pid)
{
  if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
    return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return true; // no /proc: trust kill()
  const std::size_t close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

void AddSimulatorPorts(QStringList& out)
{
  const std::string dir = dz::SimulatorPortsDirectory();
  DIR* d = ::opendir(dir.c_str());
  if (!d)
    return; // no simulator has run: nothing to add
  const std::string prefix = "vexa-logger-sim-";
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || !IsCharDevice(path))
      continue;
    if (name.compare(0, prefix.size(), prefix) == 0) {
      const std::string digits = name.substr(prefix.size());
      if (!digits.empty() && digits.size() < 10 &&
          std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
          !ProcessAlive(std::atol(digits.c_str())))
        continue;
    }
    out << QString::fromStdString(path);
  }
  ::closedir(d);
}

} // namespace

void ListSerialPorts(QStringList& Strings)
{
  QStringList found;
  DIR* d = ::opendir("/sys/class/tty");
  if (!d)
    throw EComPort(ekRegistry, errno);
  // readdir() tells the end from a failure only through errno.
  for (;;) {
    errno = 0;
    dirent* e = ::readdir(d);
    if (!e)
      break;
    const std::string name = e->d_name;
    if (name == "." || name == "..")
      continue;
    // Only ttys with a device behind them are serial lines: consoles, virtual
    // terminals and pseudo-terminals have none.
    if (!Exists("/sys/class/tty/" + name + "/device"))
      continue;
    const std::string dev = "/dev/" + name;
    if (!IsCharDevice(dev))
      continue;
    if (name.compare(0, 4, "ttyS") == 0 && !UartPresent(name))
      continue;
    found << QString::fromStdString(dev);
  }
  const int readError = errno;
  ::closedir(d);
  if (readError != 0)
    throw EComPort(ekRegistry, readError);
  AddSimulatorPorts(found);
  std::sort(found.begin(), found.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  Strings = found;
}

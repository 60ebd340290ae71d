// dedizivi-cli ports: the serial devices the setup dialog offers, with what
// a user needs to get one working: its stable name, the USB adapter behind
// it, and why opening it might fail.

#include "commands.h"
#include "portsetup.h"

#include "args.h"
#include "portlist.h"
#include "stablename.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dz::cli {

namespace {

void PrintPortsHelp(std::FILE* to)
{
  std::fprintf(to,
    "Usage: dedizivi-cli ports [--names]\n"
    "\n"
    "Lists the serial devices as the program's setup dialog lists them (the\n"
    "logger simulator's ports included while it runs). For each: the device it\n"
    "leads to, its stable name under /dev/serial/by-id, the USB adapter's vendor,\n"
    "product and serial number, whether this user may open it (read/write\n"
    "permission, membership of the owning group), and which other processes hold\n"
    "it open. Finally, whether a service known to seize USB serial adapters\n"
    "(brltty, ModemManager) is running.\n"
    "\n"
    "  --names      only the names, one a line (for scripts)\n"
    "  -h, --help   this text\n"
    "\n"
    "Exit status: 0 listed (also when there is no port); 1 the device list could\n"
    "not be read; 2 usage error.\n");
}

constexpr OptionSpec kPortsOptions[] = {
  {"--names", false, {}},
};

std::string RealPath(const std::string& path)
{
  char* r = ::realpath(path.c_str(), nullptr);
  if (!r)
    return {};
  std::string s = r;
  std::free(r);
  return s;
}

std::string ReadFirstLine(const std::string& path)
{
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

std::vector<std::string> ListDir(const std::string& dir)
{
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..")
        names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The USB device above a tty in sysfs: the first parent with a vendor id.
std::string UsbDescription(const std::string& device)
{
  const std::string base = device.substr(device.rfind('/') + 1);
  std::string dir = RealPath("/sys/class/tty/" + base + "/device");
  while (!dir.empty() && dir != "/" && dir != "/sys") {
    const std::string vendor = ReadFirstLine(dir + "/idVendor");
    if (!vendor.empty()) {
      std::string text = vendor + ":" + ReadFirstLine(dir + "/idProduct");
      const std::string maker = ReadFirstLine(dir + "/manufacturer");
      const std::string product = ReadFirstLine(dir + "/product");
      const std::string serial = ReadFirstLine(dir + "/serial");
      if (!maker.empty())
        text += " " + maker;
      if (!product.empty())
        text += " " + product;
      text += serial.empty() ? " (no serial number)" : " serial " + serial;
      return text;
    }
    dir = dir.substr(0, dir.rfind('/'));
  }
  return {};
}

std::string GroupName(gid_t gid)
{
  if (const group* g = ::getgrgid(gid))
    return g->gr_name;
  return std::to_string(gid);
}

std::string UserName(uid_t uid)
{
  if (const passwd* p = ::getpwuid(uid))
    return p->pw_name;
  return std::to_string(uid);
}

bool InGroup(gid_t gid)
{
  if (::getegid() == gid)
    return true;
  const int n = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(n, 0)));
  if (n > 0 && ::getgroups(n, groups.data()) == n)
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
  return false;
}

// Whether this user may open the device for reading and writing, and if not,
// the likely reason and its usual remedy.
std::string AccessDiagnosis(const std::string& device)
{
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0)
    return std::string("cannot examine: ") + std::strerror(errno);
  char mode[11] = "c---------";
  const char bits[] = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i)
    if (st.st_mode & (0400 >> i))
      mode[i + 1] = bits[i];
  const std::string owner = UserName(st.st_uid) + ":" + GroupName(st.st_gid) + " " + mode;
  if (::access(device.c_str(), R_OK | W_OK) == 0)
    return "yes (" + owner + ")";
  const bool groupRw = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
  std::string why = "NO (" + owner + ")";
  if (groupRw && !InGroup(st.st_gid))
    why += ": you are not in group '" + GroupName(st.st_gid) + "'; 'sudo usermod -aG " + GroupName(st.st_gid) +
           " " + UserName(::geteuid()) + "', then log in again";
  else if (groupRw)
    why += ": you joined group '" + GroupName(st.st_gid) + "' but this session predates it: log in again";
  else
    why += ": the device grants no read/write access to your user or group";
  return why;
}

std::string Command(const std::string& pid)
{
  std::string comm = ReadFirstLine("/proc/" + pid + "/comm");
  return comm.empty() ? "?" : comm;
}

// Other processes with the device open, as "pid (command)".
std::vector<std::string> Holders(const std::string& device)
{
  std::vector<std::string> holders;
  struct stat dev {};
  if (::stat(device.c_str(), &dev) != 0 || !S_ISCHR(dev.st_mode))
    return holders;
  const std::string self = std::to_string(::getpid());
  for (const std::string& pid : ListDir("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
      continue;
    const std::string fdDir = "/proc/" + pid + "/fd";
    for (const std::string& fd : ListDir(fdDir)) {
      struct stat st {};
      if (::stat((fdDir + "/" + fd).c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == dev.st_rdev) {
        const std::string command = Command(pid);
        // The simulator keeps its own end open; that does not stop a download.
        holders.push_back(pid + " (" + command + ")" +
                          (command == "vexa-logger-sim" ? " - the logger simulator itself" : ""));
        break;
      }
    }
  }
  return holders;
}

// Services that open serial adapters on their own and keep them.
std::vector<std::string> PortGrabbers()
{
  static constexpr const char* kKnown[] = {"brltty", "ModemManager"};
  std::vector<std::string> found;
  for (const std::string& pid : ListDir("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const std::string comm = ReadFirstLine("/proc/" + pid + "/comm");
    for (const char* known : kKnown)
      if (comm == known)
        found.push_back(comm + " (pid " + pid + ")");
  }
  return found;
}

} // namespace

int RunPortsCommand(const std::vector<std::string_view>& argv)
{
  ParsedArgs args;
  if (auto error = ParseArgs(argv, kPortsOptions, args)) {
    std::fprintf(stderr, "dedizivi-cli ports: %s\n(try 'dedizivi-cli ports --help')\n", error->c_str());
    return kExitUsage;
  }
  if (args.Help) {
    PrintPortsHelp(stdout);
    return kExitOk;
  }
  if (!args.Positional.empty()) {
    std::fprintf(stderr, "dedizivi-cli ports: unexpected argument '%s'\n", args.Positional[0].c_str());
    return kExitUsage;
  }

  QStringList ports;
  try {
    ListSerialPorts(ports);
  } catch (const EComPort& e) {
    std::fprintf(stderr, "dedizivi-cli ports: cannot list the serial devices: %s\n", PortErrorText(e).c_str());
    return kExitFailed;
  }

  if (args.Has("--names")) {
    for (const QString& p : ports)
      std::printf("%s\n", p.toLocal8Bit().constData());
    return kExitOk;
  }

  if (ports.isEmpty())
    std::printf("no serial ports found\n");
  for (const QString& p : ports) {
    const std::string name = p.toStdString();
    const std::string device = RealPath(name);
    std::printf("%s\n", name.c_str());
    if (!device.empty() && device != name)
      std::printf("  device:     %s\n", device.c_str());
    const std::string target = device.empty() ? name : device;
    const auto stable = dz::StableNames(target);
    std::printf("  by-id:      %s\n", stable.empty() ? "-" : stable.front().c_str());
    for (std::size_t i = 1; i < stable.size(); ++i)
      std::printf("              %s\n", stable[i].c_str());
    const std::string usb = UsbDescription(target);
    std::printf("  usb:        %s\n", usb.empty() ? "-" : usb.c_str());
    std::printf("  read/write: %s\n", AccessDiagnosis(target).c_str());
    const auto holders = Holders(target);
    if (holders.empty()) {
      std::printf("  open in:    no other process\n");
    } else {
      std::printf("  open in:    pid %s\n", holders.front().c_str());
      for (std::size_t i = 1; i < holders.size(); ++i)
        std::printf("              pid %s\n", holders[i].c_str());
    }
  }

  const auto grabbers = PortGrabbers();
  if (grabbers.empty()) {
    std::printf("services: no brltty or ModemManager running\n");
  } else {
    for (const std::string& g : grabbers)
      std::printf("services: %s is running: it may seize USB serial adapters; stop or configure it "
                  "if a port disappears or is busy\n",
                  g.c_str());
  }
  return kExitOk;
}

} // namespace dz::cli

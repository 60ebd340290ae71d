// vexa-logger-sim: plays a Vexa-Logger with its download unit on a
// pseudo-terminal, for tests, benchmarks and users without hardware.
//
// Protocol as the loggers speak it: "1" or "7" starts the stream of the memory
// card, "9" erases the card; nothing else gets an answer. A trigger that comes
// while a stream is running is ignored (the logger is busy sending); "9" ends
// that stream.

#include "card.h"
#include "portsdir.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: vexa-logger-sim [--model N] [--stream FILE] [--seed S]\n"
    "                       [--baud B | --fast] [--eol crlf|lf|cr] [--link PATH]\n"
    "\n"
    "Plays a Vexa-Logger on a pseudo-terminal. Prints the device to open as the\n"
    "first line of standard output and runs until SIGINT or SIGTERM.\n"
    "\n"
    "  --model N      logger model 0 to 8 (default 0): layout of the card\n"
    "  --stream FILE  send the bytes of FILE as the card instead of generated readings\n"
    "  --seed S       seed of the generated readings (default 1)\n"
    "  --baud B       pace the stream at B baud, 10 bits a character (default 9600)\n"
    "  --fast         send the stream as fast as the reader takes it\n"
    "  --eol E        line ending of generated cards: crlf (default), lf or cr\n"
    "  --link PATH    keep a symbolic link to the device at PATH\n"
    "\n"
    "Answers \"1\" and \"7\" with the card, \"9\" by erasing it (every reading 0);\n"
    "ignores every other byte. The device is also listed, as a link, in the\n"
    "program's ports directory while the simulator runs.\n";

struct Options {
  int model = 0;
  std::string streamFile;
  bool hasStream = false;
  uint32_t seed = 1;
  long baud = 9600;
  bool baudGiven = false;
  bool fast = false;
  vexa::Eol eol = vexa::Eol::CrLf;
  std::string link;
};

struct UsageError {
  std::string message;
};

bool ParseLong(const std::string& text, long lo, long hi, long& out)
{
  if (text.empty() || text[0] == ' ' || text[0] == '+' || text[0] == '-') return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

Options ParseOptions(int argc, char** argv, bool& help)
{
  Options o;
  help = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      inlineValue = true;
    }
    const auto takeValue = [&]() -> std::string {
      if (inlineValue) return value;
      if (i + 1 >= argc) throw UsageError{"option " + arg + " needs a value"};
      return argv[++i];
    };
    const auto noValue = [&] {
      if (inlineValue) throw UsageError{"option " + arg + " takes no value"};
    };
    if (arg == "--help" || arg == "-h") {
      noValue();
      help = true;
    } else if (arg == "--model") {
      const std::string v = takeValue();
      long m = 0;
      if (!ParseLong(v, 0, vexa::kModelCount - 1, m))
        throw UsageError{"--model must be a number from 0 to 8, not '" + v + "'"};
      o.model = int(m);
    } else if (arg == "--stream") {
      o.streamFile = takeValue();
      o.hasStream = true;
    } else if (arg == "--seed") {
      const std::string v = takeValue();
      long s = 0;
      if (!ParseLong(v, 0, long(UINT32_MAX), s))
        throw UsageError{"--seed must be a number from 0 to 4294967295, not '" + v + "'"};
      o.seed = uint32_t(s);
    } else if (arg == "--baud") {
      const std::string v = takeValue();
      if (!ParseLong(v, 10, 100000000, o.baud))
        throw UsageError{"--baud must be a number from 10 to 100000000, not '" + v + "'"};
      o.baudGiven = true;
    } else if (arg == "--fast") {
      noValue();
      o.fast = true;
    } else if (arg == "--eol") {
      const std::string v = takeValue();
      if (v == "crlf") o.eol = vexa::Eol::CrLf;
      else if (v == "lf") o.eol = vexa::Eol::Lf;
      else if (v == "cr") o.eol = vexa::Eol::Cr;
      else throw UsageError{"--eol must be crlf, lf or cr, not '" + v + "'"};
    } else if (arg == "--link") {
      o.link = takeValue();
      if (o.link.empty()) throw UsageError{"--link needs a path"};
    } else {
      throw UsageError{"unknown argument '" + std::string(argv[i]) + "'"};
    }
  }
  if (o.fast && o.baudGiven) throw UsageError{"--baud and --fast exclude each other"};
  return o;
}

// ---- signals: the handler only writes to a pipe that the main loop polls.

int g_signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int)
{
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
  errno = saved;
}

bool InstallSignals()
{
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    if (::sigaction(sig, &sa, nullptr) != 0) return false;
  // Standard output may be gone (a caller that read the first line and closed
  // its end): that must not kill the simulator.
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}

// ---- links to the device

std::string ParentDir(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string RealPath(const std::string& path)
{
  char* r = ::realpath(path.c_str(), nullptr);
  if (!r) return {};
  std::string s = r;
  std::free(r);
  return s;
}

// Points `path` at `target`, replacing a stale link left by a simulator that
// was killed, but never a file or directory that is not a link.
bool MakeLink(const std::string& target, const std::string& path, std::string& error)
{
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    error = path + " exists and is not a symbolic link";
    return false;
  }
  const std::string tmp = path + ".tmp-" + std::to_string(::getpid());
  ::unlink(tmp.c_str());
  if (::symlink(target.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
    error = "cannot create link " + path + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

class Links {
public:
  explicit Links(std::string target) : target_(std::move(target)) {}
  ~Links() { RemoveAll(); }
  Links(const Links&) = delete;
  Links& operator=(const Links&) = delete;

  bool Add(const std::string& path, std::string& error)
  {
    if (!MakeLink(target_, path, error)) return false;
    made_.push_back(path);
    return true;
  }

  // Only links that still point at our device: another simulator may have
  // taken the name over since.
  void RemoveAll()
  {
    for (const std::string& path : made_) {
      char buf[PATH_MAX];
      const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
      if (n >= 0 && std::string(buf, size_t(n)) == target_) ::unlink(path.c_str());
    }
    made_.clear();
  }

private:
  std::string target_;
  std::vector<std::string> made_;
};

// ---- the logger

class Logger {
public:
  Logger(int master, int slave, int watch, const Options& o, std::string card)
    : master_(master), slave_(slave), watch_(watch), opt_(o), card_(std::move(card)),
      rate_(double(o.baud) / 10.0), chunk_(std::max<size_t>(1, size_t(rate_ / 100.0)))
  {
  }

  // Runs until a signal arrives on `signalFd`; false on an unexpected fault.
  bool Run(int signalFd)
  {
    for (;;) {
      pollfd fds[3] = {{signalFd, POLLIN, 0}, {master_, POLLIN, 0}, {watch_, POLLIN, 0}};
      int timeout = -1;
      if (streaming_) {
        const int wait = MillisecondsUntilDue();
        if (wait == 0) fds[1].events |= POLLOUT;
        else timeout = wait;
      }
      if (::poll(fds, 3, timeout) < 0) {
        if (errno == EINTR) continue;
        std::perror("vexa-logger-sim: poll");
        return false;
      }
      if (fds[0].revents) return true;
      // Opens and closes before input: a trigger must not be cut short by the
      // close of the session before it.
      if (fds[2].revents & POLLIN) OnOpenClose();
      if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadInput()) return false;
      if (streaming_ && (fds[1].revents & POLLOUT) && !Send()) return false;
    }
  }

private:
  // The program closed the device: a real serial line would lose what the
  // logger sends now, so the stream in progress ends, its queued bytes go,
  // and the next trigger starts afresh. That holds when the device is open
  // again already, too: a close and the next open often come in one batch,
  // and the old stream running on would swallow the new trigger. An open
  // that finds the device closed ends a stream too: one started by a
  // trigger whose sender closed at once has nobody to go to. The
  // exclusive-use flag that a program sets lives on while we hold the
  // device, and would lock its owner out of the next open: clear it.
  void OnOpenClose()
  {
    if (watch_ < 0) return;
    alignas(inotify_event) char buf[4096];
    bool closedByAll = false;
    bool freshOpen = false;
    for (;;) {
      const ssize_t n = ::read(watch_, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t off = 0; off < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
        if ((ev->mask & IN_OPEN) && openers_++ == 0) freshOpen = true;
        if ((ev->mask & IN_CLOSE) && openers_ > 0 && --openers_ == 0) closedByAll = true;
        off += ssize_t(sizeof(inotify_event) + ev->len);
      }
    }
    if (!closedByAll && !freshOpen) return;
    streaming_ = false;
    ::tcflush(slave_, TCIFLUSH);
    if (openers_ == 0) ::ioctl(slave_, TIOCNXCL);
  }

  // A program opens the device before it writes, so when bytes are read the
  // events of every open before them are queued already: take those first,
  // so that a trigger is never counted against the session before its own.
  bool ReadInput()
  {
    char buf[256];
    for (;;) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) {
        OnOpenClose();
        for (ssize_t i = 0; i < n; ++i) OnByte(buf[i]);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return true;
      // We hold the device open ourselves, so there is no hang-up to see.
      std::perror("vexa-logger-sim: read");
      return false;
    }
  }

  void OnByte(char c)
  {
    if (c == '9') {
      streaming_ = false;
      if (!erased_) {
        card_ = vexa::ErasedCard(opt_.model, opt_.eol);
        erased_ = true;
      }
    } else if ((c == '1' || c == '7') && !streaming_) {
      streaming_ = true;
      sent_ = 0;
      start_ = Clock::now();
      if (card_.empty()) streaming_ = false;
    }
  }

  size_t DueBytes(Clock::time_point now) const
  {
    if (opt_.fast) return card_.size();
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double due = seconds * rate_ + 1.0;
    return due >= double(card_.size()) ? card_.size() : size_t(due);
  }

  int MillisecondsUntilDue() const
  {
    if (opt_.fast || DueBytes(Clock::now()) > sent_) return 0;
    // Wake when a whole chunk is due rather than for every byte.
    const size_t target = std::min(card_.size(), sent_ + chunk_) - 1;
    const auto at = start_ + std::chrono::duration<double>(double(target) / rate_);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now()).count();
    return ms < 1 ? 1 : int(ms);
  }

  bool Send()
  {
    const size_t due = DueBytes(Clock::now());
    if (due <= sent_) return true;
    const ssize_t n = ::write(master_, card_.data() + sent_, due - sent_);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) {
        // The reader is behind: once it catches up, carry on at the line
        // rate from there instead of bursting the backlog.
        start_ = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(double(sent_) / rate_));
        return true;
      }
      std::perror("vexa-logger-sim: write");
      return false;
    }
    sent_ += size_t(n);
    if (sent_ >= card_.size()) streaming_ = false;
    return true;
  }

  int master_;
  int slave_;
  int watch_;
  int openers_ = 0;
  const Options& opt_;
  std::string card_;
  double rate_;
  size_t chunk_;
  bool erased_ = false;
  bool streaming_ = false;
  size_t sent_ = 0;
  Clock::time_point start_{};
};

bool ReadFile(const std::string& path, std::string& out)
{
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
  Options opt;
  bool help = false;
  try {
    opt = ParseOptions(argc, argv, help);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vexa-logger-sim: %s\n%s", e.message.c_str(), kUsage);
    return 2;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  std::string card;
  if (opt.hasStream) {
    if (!ReadFile(opt.streamFile, card)) {
      std::fprintf(stderr, "vexa-logger-sim: cannot read %s: %s\n", opt.streamFile.c_str(),
                   std::strerror(errno));
      return 2;
    }
  } else {
    card = vexa::GenerateCard(opt.model, opt.seed, opt.eol);
  }

  if (!InstallSignals()) {
    std::perror("vexa-logger-sim: signals");
    return 1;
  }

  // Raw from the start: with echo on, the card's own digits would come back
  // to us as triggers and erase commands.
  termios raw {};
  cfmakeraw(&raw);
  cfsetspeed(&raw, B9600);
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
    std::perror("vexa-logger-sim: openpty");
    return 1;
  }
  char name[PATH_MAX];
  if (::ptsname_r(master, name, sizeof name) != 0) {
    std::perror("vexa-logger-sim: ptsname");
    return 1;
  }
  const std::string device = name;
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  // We keep the device open ourselves (never reading it): without that the
  // master reports a hang-up whenever the program has its port closed. Opens
  // and closes by the program are watched on the device node instead.
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0 || ::inotify_add_watch(watch, device.c_str(), IN_OPEN | IN_CLOSE) < 0)
    std::fprintf(stderr, "vexa-logger-sim: cannot watch %s: %s (a stream abandoned by a "
                         "closed port will run on)\n", device.c_str(), std::strerror(errno));

  // Links first, then the device name: whoever reads the first line may rely
  // on the links being there.
  const std::string portsDir = dz::SimulatorPortsDirectory();
  const bool portsDirOk = ::mkdir(portsDir.c_str(), 0700) == 0 || errno == EEXIST;
  if (!portsDirOk)
    std::fprintf(stderr, "vexa-logger-sim: cannot create %s: %s (not listed as a port)\n",
                 portsDir.c_str(), std::strerror(errno));
  Links links(device);
  std::string error;
  if (!opt.link.empty() && !links.Add(opt.link, error)) {
    std::fprintf(stderr, "vexa-logger-sim: %s\n", error.c_str());
    return 1;
  }
  // A --link inside the ports directory is the listing already.
  const std::string dir = RealPath(portsDir);
  const bool linkListed =
      !opt.link.empty() && !dir.empty() && RealPath(ParentDir(opt.link)) == dir;
  const std::string pidLink = portsDir + "/vexa-logger-sim-" + std::to_string(::getpid());
  if (portsDirOk && !linkListed && !links.Add(pidLink, error))
    std::fprintf(stderr, "vexa-logger-sim: %s (not listed as a port)\n", error.c_str());

  std::printf("%s\n", device.c_str());
  std::fflush(stdout);

  Logger logger(master, slave, watch, opt, std::move(card));
  const bool ok = logger.Run(g_signalPipe[0]);

  links.RemoveAll();
  ::close(master);
  return ok ? 0 : 1;
}

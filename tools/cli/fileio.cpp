#include "fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dz::cli {

namespace {

bool WriteFd(int fd, const std::string& contents)
{
  const char* p = contents.data();
  std::size_t left = contents.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

bool ReadAll(const std::string& path, std::string& contents, std::string& error)
{
  const bool useStdin = path.empty() || path == "-";
  const int fd = useStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  contents.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      error = "cannot read '" + (useStdin ? std::string("standard input") : path) + "': " + std::strerror(errno);
      if (!useStdin)
        ::close(fd);
      return false;
    }
    contents.append(buf, static_cast<std::size_t>(n));
  }
  if (!useStdin)
    ::close(fd);
  return true;
}

bool WriteAllAtomically(const std::string& path, const std::string& contents, std::string& error)
{
  if (path.empty() || path == "-") {
    if (!WriteFd(STDOUT_FILENO, contents)) {
      error = std::string("cannot write standard output: ") + std::strerror(errno);
      return false;
    }
    return true;
  }

  std::string temp = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot create a temporary file beside '" + path + "': " + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file 0600; give it the mode a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);

  const auto fail = [&](const char* what) {
    error = std::string(what) + " '" + path + "': " + std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  };
  // No fsync: the promise is about failed conversions and failed writes (the
  // old file stays), not power cuts, and a flush per card would halve the
  // batch rate.
  if (!WriteFd(fd, contents))
    return fail("cannot write");
  if (::close(fd) != 0) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    error = "cannot replace '" + path + "': " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

} // namespace dz::cli

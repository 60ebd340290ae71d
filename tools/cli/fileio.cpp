#include "fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dz::cli {

namespace {

bool WriteFd(int fd, std::string_view contents)
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

RawFile::~RawFile()
{
  if (m_fd >= 0)
    ::close(m_fd);
}

bool RawFile::Open(const std::string& path, std::string& error)
{
  m_path = path;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
  m_created = fd >= 0;
  if (fd < 0 && errno == EEXIST) {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (!S_ISREG(st.st_mode) || st.st_size > 0)) {
      ::close(fd);
      error = "raw file '" + path + "' already exists and is not empty (choose another name or remove it)";
      return false;
    }
  }
  if (fd < 0) {
    error = "cannot create raw file '" + path + "': " + std::strerror(errno);
    return false;
  }
  m_fd = fd;
  return true;
}

bool RawFile::Append(std::string_view bytes, std::string& error)
{
  if (!WriteFd(m_fd, bytes)) {
    error = "cannot write raw file '" + m_path + "': " + std::strerror(errno);
    return false;
  }
  m_written += bytes.size();
  return true;
}

bool RawFile::Finish(std::string& error)
{
  if (m_fd < 0)
    return true;
  const int fd = m_fd;
  m_fd = -1;
  if (m_written == 0 && m_created) {
    ::close(fd);
    ::unlink(m_path.c_str());
    return true;
  }
  if (::fsync(fd) != 0 && errno != EINVAL) {
    error = "cannot flush raw file '" + m_path + "' to disk: " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (::close(fd) != 0) {
    error = "cannot write raw file '" + m_path + "': " + std::strerror(errno);
    return false;
  }
  return true;
}

} // namespace dz::cli

#include "fileio.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dz::cli {

bool WriteAllFd(int fd, std::string_view bytes)
{
  const char* p = bytes.data();
  std::size_t left = bytes.size();
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

std::optional<ReadFailure> ReadAll(const std::string& path, std::size_t limit, std::string& contents)
{
  const bool useStdin = path == "-";
  const std::string name = useStdin ? std::string("standard input") : "'" + path + "'";
  const int fd = useStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return ReadFailure{"cannot open " + name + ": " + std::strerror(errno)};
  const auto done = [&](std::optional<ReadFailure> result) {
    if (!useStdin)
      ::close(fd);
    return result;
  };
  const auto tooLarge = [&] {
    return ReadFailure{name + " is larger than any logger card (over " + std::to_string(limit) +
                         " bytes): not a raw download",
                       true};
  };
  contents.clear();
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    if (static_cast<std::uintmax_t>(st.st_size) > limit)
      return done(tooLarge());
    contents.reserve(static_cast<std::size_t>(st.st_size));
  }
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return done(ReadFailure{"cannot read " + name + ": " + std::strerror(errno)});
    }
    if (contents.size() + static_cast<std::size_t>(n) > limit)
      return done(tooLarge());
    contents.append(buf, static_cast<std::size_t>(n));
  }
  return done(std::nullopt);
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
    // Looked at before it is opened: opening a FIFO to write would wait for a
    // reader, and a device is no place to keep a card.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      error = "raw file '" + path + "' is not a regular file (the raw download must be kept in one)";
      return false;
    }
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
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
  if (!WriteAllFd(m_fd, bytes)) {
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

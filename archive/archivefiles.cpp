#include "archivefiles.h"

#include "archive.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dz {

namespace {

struct Seen {
  bool Exists = false;
  struct stat St {};
  bool Same(const Seen& o) const
  {
    return Exists && o.Exists && St.st_dev == o.St.st_dev && St.st_ino == o.St.st_ino;
  }
};

Seen StatOf(const std::string& path)
{
  Seen s;
  s.Exists = ::stat(path.c_str(), &s.St) == 0;
  return s;
}

bool Within(const std::string& path, const std::string& folder)
{
  return path == folder ||
         (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
}

// The archive's own names: as given and, for a link, where it leads (SQLite
// keeps its journal beside the file the link leads to).
std::vector<std::string> ArchiveBases(const std::string& archivePath)
{
  std::vector<std::string> bases{archivePath};
  if (char* real = ::realpath(archivePath.c_str(), nullptr)) {
    if (archivePath != real)
      bases.emplace_back(real);
    std::free(real);
  }
  return bases;
}

// The archive's files: each base and its companions.
std::vector<std::string> ArchiveNames(const std::string& archivePath)
{
  std::vector<std::string> names;
  for (const std::string& base : ArchiveBases(archivePath)) {
    names.push_back(base);
    for (const char* suffix : kCompanionSuffixes)
      names.push_back(base + suffix);
  }
  return names;
}

const char* KindOf(mode_t mode)
{
  if (S_ISFIFO(mode))
    return "a FIFO";
  if (S_ISSOCK(mode))
    return "a socket";
  if (S_ISCHR(mode))
    return "a character device";
  if (S_ISBLK(mode))
    return "a block device";
  if (S_ISDIR(mode))
    return "a folder";
  return "not a regular file";
}

bool AllDigits(std::string_view s, std::size_t maxLength)
{
  if (s.empty() || s.size() > maxLength)
    return false;
  for (const char c : s)
    if (c < '0' || c > '9')
      return false;
  return true;
}

bool AllHex(std::string_view s)
{
  for (const char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  return !s.empty();
}

// Field 22 of /proc/PID/stat: when the process started, in clock ticks
// after boot. Empty when there is no such process.
std::string StartTime(const std::string& pid)
{
  std::ifstream in("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(in, line))
    return {};
  // The command name (field 2) is in parentheses and may hold anything.
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos)
    return {};
  std::size_t at = close + 1;
  std::string field;
  for (int n = 3; n <= 22; ++n) {
    while (at < line.size() && line[at] == ' ')
      ++at;
    const std::size_t end = line.find(' ', at);
    field = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (end == std::string::npos && n < 22)
      return {};
    at = end;
  }
  return field;
}

} // namespace

std::string FolderOf(const std::string& path)
{
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::string> FollowLinks(std::string path)
{
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
      return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0)
      return path;
    target.resize(static_cast<std::size_t>(n));
    path = target.starts_with('/') ? target : FolderOf(path) + "/" + target;
  }
  errno = ELOOP;
  return std::nullopt;
}

std::string ResolvedPath(const std::string& path)
{
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path followed = FollowLinks(path).value_or(path);
  fs::path absolute = fs::absolute(followed, ec);
  if (ec)
    absolute = followed;
  const fs::path resolved = fs::weakly_canonical(absolute, ec);
  return (ec ? absolute.lexically_normal() : resolved).string();
}

bool IsArchiveFile(const std::string& path, const std::string& archivePath)
{
  if (path.empty() || archivePath.empty())
    return false;
  const std::vector<std::string> names = ArchiveNames(archivePath);
  const std::string locks = Archive::LockFolder(archivePath);

  // As files: the same device and inode, whatever the name.
  const Seen target = StatOf(path);
  if (target.Exists) {
    for (const std::string& name : names)
      if (target.Same(StatOf(name)))
        return true;
    const Seen folder = StatOf(locks);
    if (target.Same(folder))
      return true;
    if (folder.Exists && S_ISDIR(folder.St.st_mode)) {
      if (DIR* dir = ::opendir(locks.c_str())) {
        bool found = false;
        while (const dirent* e = ::readdir(dir)) {
          struct stat st {};
          if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
              ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == target.St.st_dev &&
              st.st_ino == target.St.st_ino) {
            found = true;
            break;
          }
        }
        ::closedir(dir);
        if (found)
          return true;
      }
    }
  }

  // As names: where writing the path would land, against where the
  // archive's files are or would be.
  const std::string resolved = ResolvedPath(path);
  for (const std::string& name : names)
    if (resolved == ResolvedPath(name))
      return true;
  for (const std::string& base : ArchiveBases(archivePath))
    if (Within(resolved, ResolvedPath(Archive::LockFolder(base))))
      return true;
  return false;
}

void CheckArchivePlace(const std::string& archivePath)
{
  for (const std::string& name : ArchiveNames(archivePath)) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
      throw ArchiveError("'" + name + "' is " + KindOf(st.st_mode) + ", not a file of the archive: move it away");
  }
}

void MatchCompanionPermissions(const std::string& archivePath)
{
  struct stat archive {};
  if (::stat(archivePath.c_str(), &archive) != 0 || !S_ISREG(archive.st_mode))
    return;
  const mode_t wanted = archive.st_mode & 0666;
  for (const char* suffix : kCompanionSuffixes) {
    const std::string companion = archivePath + suffix;
    struct stat st {};
    if (::stat(companion.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & wanted) == wanted)
      continue;
    // Only its owner may; for anyone else SQLite says what it cannot do.
    ::chmod(companion.c_str(), (st.st_mode & 07777) | wanted);
  }
}

std::string NewOwnerName()
{
  static const std::string start = StartTime("self");
  std::random_device random;
  char name[96];
  std::snprintf(name, sizeof name, "%ld-%s-%08x%08x", static_cast<long>(::getpid()),
                start.empty() ? "0" : start.c_str(), random(), random());
  return name;
}

bool IsOwnerName(std::string_view name)
{
  const std::size_t first = name.find('-');
  if (first == std::string_view::npos || !AllDigits(name.substr(0, first), 10))
    return false;
  const std::string_view rest = name.substr(first + 1);
  const std::size_t second = rest.find('-');
  const std::string_view random = second == std::string_view::npos ? rest : rest.substr(second + 1);
  if (second != std::string_view::npos && !AllDigits(rest.substr(0, second), 20))
    return false;
  return random.size() == 16 && AllHex(random);
}

bool OwnerHoldsLockFile(std::string_view name)
{
  if (!IsOwnerName(name))
    return false;
  const std::size_t first = name.find('-');
  const std::size_t second = name.find('-', first + 1);
  const std::string pid(name.substr(0, first));
  // A later process with the same id is another: its start time tells.
  if (second != std::string_view::npos) {
    const std::string start(name.substr(first + 1, second - first - 1));
    if (start == "0" || StartTime(pid) != start)
      return false;
  } else if (StartTime(pid).empty()) {
    return false;
  }
  const std::string fds = "/proc/" + pid + "/fd";
  DIR* dir = ::opendir(fds.c_str());
  if (!dir)
    return errno == EACCES;
  bool held = false;
  const std::string removed = "/" + std::string(name) + " (deleted)";
  const std::string present = "/" + std::string(name);
  while (const dirent* e = ::readdir(dir)) {
    char target[PATH_MAX + 32];
    const ssize_t n = ::readlinkat(::dirfd(dir), e->d_name, target, sizeof target - 1);
    if (n <= 0)
      continue;
    const std::string_view t(target, static_cast<std::size_t>(n));
    if (t.ends_with(removed) || t.ends_with(present)) {
      held = true;
      break;
    }
  }
  ::closedir(dir);
  return held;
}

} // namespace dz

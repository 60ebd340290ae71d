#include "outputset.h"

#include "fileio.h"

#include "archive.h"
#include "archivefiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dz::cli {

namespace {

std::string BaseName(const std::string& path)
{
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What a name designates, for telling whether two names are one file.
struct Identity {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  mode_t Mode = 0;
  std::string Resolved; // the absolute path it would be created at

  bool operator==(const Identity& o) const
  {
    return Exists == o.Exists && (Exists ? Device == o.Device && Inode == o.Inode : Resolved == o.Resolved);
  }
};

Identity IdentityOf(const std::string& path, bool reads)
{
  Identity id;
  struct stat st {};
  const bool exists = path == "-" ? ::fstat(reads ? STDIN_FILENO : STDOUT_FILENO, &st) == 0
                                  : ::stat(path.c_str(), &st) == 0;
  if (exists) {
    id.Exists = true;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    id.Mode = st.st_mode;
    return id;
  }
  if (path == "-") {
    id.Resolved = reads ? "-stdin" : "-stdout"; // closed: still one of each
    return id;
  }
  id.Resolved = ResolvedPath(path);
  return id;
}

std::string Describe(const std::string& option, const std::string& path, bool reads)
{
  if (path == "-")
    return option + (reads ? " (standard input)" : " (standard output)");
  return option + " '" + path + "'";
}

std::string ErrnoText() { return std::strerror(errno); }

// The bytes of a file, written to `fd` piece by piece.
bool CopyFileTo(const std::string& from, int fd)
{
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0)
      break;
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 || !WriteAllFd(fd, std::string_view(buffer, static_cast<std::size_t>(n)))) {
      const int saved = errno;
      ::close(in);
      errno = saved;
      return false;
    }
  }
  ::close(in);
  return true;
}

} // namespace

void OutputSet::AddInput(std::string option, std::string path)
{
  m_files.push_back({Role::Input, std::move(option), std::move(path), {}, {}});
}

void OutputSet::AddDevice(std::string option, std::string path)
{
  m_files.push_back({Role::Device, std::move(option), std::move(path), {}, {}});
}

void OutputSet::AddWrittenByCaller(std::string option, std::string path)
{
  m_files.push_back({Role::WrittenByCaller, std::move(option), std::move(path), {}, {}});
}

std::size_t OutputSet::AddOutput(std::string option, std::string path)
{
  m_files.push_back({Role::Output, std::move(option), std::move(path), {}, {}});
  return m_files.size() - 1;
}

void OutputSet::SetContents(std::size_t output, std::string contents)
{
  m_files.at(output).Contents = std::move(contents);
}

void OutputSet::SetContentsFile(std::size_t output, std::string path)
{
  m_files.at(output).ContentsFile = std::move(path);
}

bool OutputSet::WriteContents(const File& f, int fd)
{
  return f.ContentsFile.empty() ? WriteAllFd(fd, f.Contents) : CopyFileTo(f.ContentsFile, fd);
}

std::optional<std::string> OutputSet::Check() const
{
  const auto reads = [](const File& f) { return f.Kind == Role::Input || f.Kind == Role::Device; };
  for (const File& f : m_files) {
    if (!f.Path.empty())
      continue;
    if (f.Kind == Role::Input)
      return "an input file name cannot be empty (\"-\" is standard input)";
    return f.Option + " needs a file name" + (f.Kind == Role::Output ? " (\"-\" is standard output)" : "");
  }
  // The archive keeps every download: an output over it would destroy them all.
  const std::string archive = Archive::DefaultPath();
  for (const File& f : m_files)
    if ((f.Kind == Role::Output || f.Kind == Role::WrittenByCaller) && f.Path != "-" && IsArchiveFile(f.Path, archive))
      return Describe(f.Option, f.Path, false) + " is a file of the archive of downloads (" + archive +
             "); nothing was written";
  std::vector<Identity> ids;
  for (const File& f : m_files)
    ids.push_back(IdentityOf(f.Path, reads(f)));
  for (std::size_t i = 0; i < m_files.size(); ++i) {
    for (std::size_t j = i + 1; j < m_files.size(); ++j) {
      const File& a = m_files[i];
      const File& b = m_files[j];
      if (reads(a) && reads(b))
        continue;
      if (a.Path == "-" && b.Path == "-" && !reads(a) && !reads(b))
        return Describe(a.Option, a.Path, false) + " and " + Describe(b.Option, b.Path, false) +
               " cannot both go to standard output";
      if (!(ids[i] == ids[j]))
        continue;
      // A terminal or a pipe that is read and written loses nothing.
      const bool input = a.Kind == Role::Input || b.Kind == Role::Input;
      if (input && ids[i].Exists && !S_ISREG(ids[i].Mode))
        continue;
      return Describe(a.Option, a.Path, reads(a)) + " and " + Describe(b.Option, b.Path, reads(b)) +
             " are the same file; nothing was written";
    }
  }
  return std::nullopt;
}

std::optional<std::string> OutputSet::Commit()
{
  struct Step {
    const File* Out;
    std::string Target; // the file replaced or written in place
    std::string Temp;   // empty: written in place
  };
  std::vector<Step> steps;
  const auto dropTemps = [&steps] {
    for (const Step& s : steps)
      if (!s.Temp.empty())
        ::unlink(s.Temp.c_str());
  };

  // 1. Every regular output complete in a temporary beside its target.
  for (const File& f : m_files) {
    if (f.Kind != Role::Output)
      continue;
    Step step{&f, f.Path, {}};
    if (f.Path == "-") {
      steps.push_back(step);
      continue;
    }
    struct stat st {};
    const bool exists = ::stat(f.Path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
      dropTemps();
      return "cannot write '" + f.Path + "': " + ErrnoText();
    }
    if (exists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
      steps.push_back(step);
      continue;
    }
    if (exists && !S_ISREG(st.st_mode)) {
      dropTemps();
      return "cannot write '" + f.Path + "': " +
             (S_ISDIR(st.st_mode) ? "it is a folder" : "not a regular file, a character device or a FIFO");
    }
    // A link is followed, so that the link stays and its target is replaced.
    char* real = exists ? ::realpath(f.Path.c_str(), nullptr) : nullptr;
    if (real) {
      step.Target = real;
      std::free(real);
    } else if (auto followed = FollowLinks(f.Path)) {
      step.Target = *followed;
    } else {
      dropTemps();
      return "cannot write '" + f.Path + "': " + ErrnoText();
    }

    std::string temp = FolderOf(step.Target) + "/" + BaseName(step.Target) + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
      dropTemps();
      return "cannot create a temporary file beside '" + f.Path + "': " + ErrnoText();
    }
    step.Temp = temp;
    steps.push_back(step);
    // mkstemp makes the file 0600: a replaced file keeps its owner (where we
    // may) and its permissions, a new one gets what a plain create gives.
    mode_t mode = 0;
    if (exists) {
      if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Only root may give a file away: the new one is then ours.
      }
      mode = st.st_mode & 0777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    // No fsync: the promise is about failed conversions and failed writes (the
    // old file stays), not power cuts, and a flush per card would halve the
    // batch rate.
    if (::fchmod(fd, mode) != 0 || !WriteContents(f, fd)) {
      const std::string error = "cannot write '" + f.Path + "': " + ErrnoText();
      ::close(fd);
      dropTemps();
      return error;
    }
    if (::close(fd) != 0) {
      const std::string error = "cannot write '" + f.Path + "': " + ErrnoText();
      dropTemps();
      return error;
    }
  }

  // 2. Standard output, devices and FIFOs, in place.
  for (const Step& s : steps) {
    if (!s.Temp.empty())
      continue;
    const bool useStdout = s.Target == "-";
    const int fd = useStdout ? STDOUT_FILENO : ::open(s.Target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    std::string why;
    if (fd < 0 || !WriteContents(*s.Out, fd))
      why = ErrnoText();
    if (fd >= 0 && !useStdout && ::close(fd) != 0 && why.empty())
      why = ErrnoText();
    if (!why.empty()) {
      dropTemps();
      return "cannot write " + (useStdout ? std::string("standard output") : "'" + s.Out->Path + "'") + ": " + why;
    }
  }

  // 3. Only now is any target replaced.
  for (Step& s : steps) {
    if (s.Temp.empty())
      continue;
    if (::rename(s.Temp.c_str(), s.Target.c_str()) != 0) {
      const std::string error = "cannot replace '" + s.Out->Path + "': " + ErrnoText();
      dropTemps();
      return error;
    }
    s.Temp.clear();
  }
  return std::nullopt;
}

} // namespace dz::cli

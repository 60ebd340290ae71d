// dedizivi-cli archive backup: a consistent copy of the archive, taken
// through SQLite (what the journal holds included, even what a killed
// program left there), written by the same rules as every other output.

#include "archivesupport.h"
#include "commands.h"
#include "outputset.h"

#include "args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace dz::cli {

namespace {

int Usage(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli archive backup: %s\n(try 'dedizivi-cli archive --help')\n", message.c_str());
  return kExitUsage;
}

int Fail(const std::string& message)
{
  std::fprintf(stderr, "dedizivi-cli archive backup: %s\n", message.c_str());
  return kExitFailed;
}

// An empty file of our own in the temporary folder, removed with this.
class TemporaryFile {
public:
  TemporaryFile()
  {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    std::string name = (ec ? std::string("/tmp") : folder.string()) + "/dedizivi-backup-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd >= 0) {
      ::close(fd);
      m_path = name;
    } else {
      m_error = std::strerror(errno);
    }
  }
  ~TemporaryFile()
  {
    if (!m_path.empty())
      ::unlink(m_path.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return m_path; }
  const std::string& Error() const { return m_error; }

private:
  std::string m_path;
  std::string m_error;
};

} // namespace

int RunArchiveBackup(const std::vector<std::string_view>& argv)
{
  ParsedArgs args;
  if (auto error = ParseArgs(argv, {}, args))
    return Usage(*error);
  if (args.Positional.size() != 1)
    return Usage(args.Positional.empty() ? "where to? give the FILE of the copy" : "one FILE only");
  const std::string target = args.Positional[0];

  // The copy is an output like any other: never the archive itself.
  OutputSet files;
  const std::size_t copy = files.AddOutput("the backup", target);
  if (auto error = files.Check())
    return Usage(*error);

  const std::string path = Archive::DefaultPath();
  TemporaryFile temporary;
  if (temporary.Path().empty())
    return Fail("cannot create a temporary file: " + temporary.Error());
  bool none = false;
  if (auto error = UseUsersArchive("backup", [&](Archive* archive) {
        none = archive == nullptr;
        if (archive)
          archive->Backup(temporary.Path());
      }))
    return Fail(*error);
  if (none)
    return Fail("there is no archive to back up at " + path);

  files.SetContentsFile(copy, temporary.Path());
  if (auto failed = files.Commit())
    return Fail(*failed);
  if (target != "-")
    std::printf("backed up %s to %s\n", path.c_str(), target.c_str());
  return kExitOk;
}

} // namespace dz::cli

#pragma once

// The files the archive of downloads is made of, and what may stand in their
// place. Nothing here opens the archive: it only looks at names and file
// kinds, so that a FIFO or a device where the archive belongs can neither
// block nor break whoever looks.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dz {

// What SQLite keeps beside the archive while it is used.
inline constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

// The folder a path names a file in: "." for a bare name.
std::string FolderOf(const std::string& path);

// Where writing `path` lands: symbolic links followed by hand (a link to a
// missing file creates that file). Nothing when the links loop.
std::optional<std::string> FollowLinks(std::string path);

// The absolute, normalised path `path` designates, links followed as far as
// they exist: for telling whether two names of files that do not exist yet
// are one.
std::string ResolvedPath(const std::string& path);

// Whether `path` names one of the archive's own files at `archivePath`: the
// archive, its companions, its lock folder or anything inside that folder,
// however named (symbolic or hard links, "./", "..").
bool IsArchiveFile(const std::string& path, const std::string& archivePath);

// Throws ArchiveError when what stands at the archive's path or at one of
// its companions' is not a regular file (a FIFO, a socket, a device, a
// folder): opening or reading it could block, or SQLite would take it for
// its own. Looks only with stat(), which never blocks.
void CheckArchivePlace(const std::string& archivePath);

// Gives each companion that exists the archive file's permissions where its
// own are narrower: a journal left read-only by a read-only spell of the
// archive would otherwise keep every later program from writing it.
void MatchCompanionPermissions(const std::string& archivePath);

// The name of a lock file of this process: "<pid>-<start>-<random>", the
// process's start time (clock ticks after boot) telling it from a later
// process with the same id.
std::string NewOwnerName();
// Whether `name` has the form of a lock file's name (this one's, or the
// "<pid>-<random>" of earlier versions): nothing else is ever opened or
// removed in the lock folder.
bool IsOwnerName(std::string_view name);
// Whether the process that took the name still runs and still holds its
// lock file open: so it does while its download is written, even when a user
// removed the file from the folder. A process of another user cannot be
// looked into: then whether it runs decides.
bool OwnerHoldsLockFile(std::string_view name);

} // namespace dz

#pragma once

// The archive of downloads: one SQLite file per user that keeps every
// download the window or dedizivi-cli runs (its raw bytes as received, when
// and how it ran and ended) and every erase command sent. Plain C++ over
// SQLite, shared by the window and the command line.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dz {

class SqliteDb;
class SqliteError;

// How a download ended. Running: a program is still writing it.
// Interrupted: the program that wrote it died before ending it.
// Incomplete: some of what arrived could not be written (a full disk, a lock
// held too long): the entry holds less than was received.
// NotACard: it brought data that can be no card (noise, a wrong port or
// rate); the entry holds what came before that.
// OutputFailed: the command line's download stopped because its raw file
// could not be written. Erased: "BORRAR" ended it.
enum class EndReason {
  Running, Closed, FullCard, Idle, LineLost, Quit, Interrupted, Erase, Incomplete, NotACard, OutputFailed, Erased
};

// Where a download came from.
enum class Source { Window, CommandLine };

// The words the archive and `dedizivi-cli archive list --json` use:
// "running", "closed", "full", "idle", "line-lost", "quit", "interrupted",
// "erase", "incomplete", "not-a-card", "output-failed", "erased"; "window",
// "cli".
std::string_view EndReasonName(EndReason reason);
std::string_view SourceName(Source source);

// A moment as the archive keeps it: local time with its UTC offset, and the
// same instant in milliseconds since 1970 (for ordering and pruning).
struct Stamp {
  std::string Iso; // "2024-05-01T08:00:00+02:00"
  std::int64_t Ms = 0;
  bool operator==(const Stamp&) const = default;
};
Stamp StampNow();
Stamp StampAt(std::int64_t msSinceEpoch);

// The serial line as it was opened.
struct LineSettings {
  int Baud = 0;
  int DataBits = 8;
  std::string StopBits = "1";  // "1", "1.5", "2"
  std::string Parity = "none"; // none, odd, even, mark, space
  std::string FlowControl = "none";
  bool operator==(const LineSettings&) const = default;
};

// What is known when a download (or an erase) starts.
struct DownloadStart {
  bool Erase = false;           // an erase command: an event with no data
  Source From = Source::Window;
  std::string Port;             // as opened ("COM1", "/dev/ttyUSB0", ...)
  std::string PortById;         // its /dev/serial/by-id name; empty when it has none
  LineSettings Line;
  int Model = -1;               // 0..8, -1 for none
  std::string Trigger;          // "1", "7", or empty when nothing was sent
};

// What is known when it ends. The model is the one it was converted with
// (the window converts with the selection at closing).
struct DownloadEnd {
  EndReason Reason = EndReason::Closed;
  int Model = -1;
  std::optional<std::string> Constant; // radiation sensor constant, as typed
  std::optional<std::string> Offset;   // radiation offset
};

// One entry of the archive.
struct ArchivedDownload {
  std::int64_t Id = 0;
  bool Erase = false;
  Source From = Source::Window;
  Stamp Started;
  std::string Ended;                   // empty while running
  std::string Port;
  std::string PortById;
  LineSettings Line;
  int Model = -1;
  std::string ModelText;
  std::string Trigger;
  std::optional<std::string> Constant;
  std::optional<std::string> Offset;
  std::int64_t Bytes = 0;
  std::int64_t Lines = 0;
  EndReason End = EndReason::Running;
  // When its first sample was taken (ISO 8601 with UTC offset) and the
  // interval in seconds, once the user has said: empty and 0 until then.
  std::string FirstSample;
  std::int64_t IntervalSeconds = 0;
  bool operator==(const ArchivedDownload&) const = default;
};

// Whether `now` is still the entry that was listed as `listed`: nothing was
// changed since but what a download still being written changes itself.
bool SameEntry(const ArchivedDownload& listed, const ArchivedDownload& now);

// Whether the download is known to have been cut off while a line may still
// have been arriving: the line was lost, the program writing it died, quit or
// is still at it, it was stopped (data that can be no card, a raw file that
// failed, "BORRAR"), the archive missed its end, or the command line's
// download was interrupted (Ctrl-C ends it as "closed"). A last line without
// its line end is then no reading.
bool EndedCut(const ArchivedDownload& d);

// Something the archive could not do, or did by itself, that the user must
// hear of. The window and the command line word it in their own language.
struct ArchiveNotice {
  enum Kind {
    CannotWrite, // the archive cannot be opened or written; Detail says why
    MovedAside,  // the file was no archive, or damaged: kept as MovedTo, a new one begun
    NotArchived, // given up: the download is not (or not wholly) in the archive; Detail says why
    NotACard,    // data that can be no card: the archive keeps no more of this download
  };
  Kind What = CannotWrite;
  std::string Path;
  std::string MovedTo;
  std::string Detail;
};

// A file as the system knows it, whatever its name.
struct FileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

class ArchiveError : public std::runtime_error {
public:
  enum Kind {
    Failed,  // cannot be done (unwritable, full, not a regular file, ...)
    Busy,    // another program holds the archive locked: may work later
    Damaged, // the file is damaged or no archive; File is the one found so
  };
  explicit ArchiveError(const std::string& message, Kind kind = Failed, FileIdentity file = {})
    : std::runtime_error(message), m_kind(kind), m_file(file)
  {
  }
  Kind Why() const noexcept { return m_kind; }
  const FileIdentity& File() const noexcept { return m_file; }

private:
  Kind m_kind;
  FileIdentity m_file;
};

// Lines as the raw line buffer counts them (CR, LF or CR LF each end a line;
// an unfinished last line counts), fed chunk by chunk.
class LineCounter {
public:
  void Add(std::string_view bytes);
  std::int64_t Lines() const { return m_breaks + (m_partial ? 1 : 0); }

private:
  std::int64_t m_breaks = 0;
  bool m_partial = false;
  bool m_lastWasCr = false;
};

class Archive {
public:
  // $XDG_DATA_HOME/dedizivi/archive.sqlite, ~/.local/share when it is unset.
  static std::string DefaultPath();

  // Opens the archive to write it, creating it (and its folder) when missing
  // and bringing an older schema up to date. A file that is no readable
  // archive is renamed aside with a time stamp (kept, with its journal) and a
  // new archive begun; `notices` then says so. Throws ArchiveError when the
  // archive cannot be used (unwritable, locked, made by a newer program).
  // A wait for another program's lock ends as soon as `giveUp` says so.
  using GiveUp = std::function<bool()>;
  static std::unique_ptr<Archive> OpenForWriting(const std::string& path, std::vector<ArchiveNotice>& notices,
                                                 GiveUp giveUp = {});
  // Opens an existing archive to read or delete from it; nullptr when there
  // is none yet. Throws ArchiveError when it is not a readable archive. One
  // that cannot be written (a read-only file, folder or medium) is opened to
  // read only: as it is when it can hold its journal, else as it stands.
  static std::unique_ptr<Archive> OpenExisting(const std::string& path, GiveUp giveUp = {});

  // Moves a damaged archive aside, as the open moves a file that is no
  // archive (with its journal, kept under a dated name), provided the file at
  // `path` is still the one found damaged; returns its new name, or nothing
  // when another program has moved it meanwhile. Close it first.
  static std::optional<std::string> SetAside(const std::string& path, const ArchiveError& damage);

  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  const std::string& Path() const { return m_path; }
  // The file opened, and whether its name still leads to it (another
  // program may have set it aside as damaged).
  const FileIdentity& File() const { return m_file; }
  bool StillAtPath() const;
  // Whether it can only be read.
  bool ReadOnly() const;

  // Newest first. Downloads left open by a program that is gone read as
  // Interrupted, ended at their last write.
  std::vector<ArchivedDownload> List();
  std::optional<ArchivedDownload> Find(std::int64_t id);
  // The raw bytes exactly as received.
  std::string Raw(std::int64_t id);
  // An entry and its bytes, read together (nothing when there is no such
  // entry); the bytes only when they are at most `limit`, else TooLarge.
  struct Loaded {
    ArchivedDownload Entry;
    std::string Raw;
    std::int64_t StoredBytes = 0;
    bool TooLarge = false;
  };
  std::optional<Loaded> Load(std::int64_t id, std::int64_t limit);
  // Deletes one entry; false when there is none. Throws ArchiveError for a
  // download still running. Data a deleted entry left behind goes with it.
  bool Delete(std::int64_t id);
  // Deletes the entry only while it is still as it was listed.
  enum class DeleteResult { Deleted, Gone, Changed };
  DeleteResult DeleteAsListed(const ArchivedDownload& listed);
  // Deletes every entry that started before the moment; downloads still
  // running are left and counted in `running`. Returns how many went.
  int Prune(std::int64_t beforeMs, int& running);
  // Dates a download: its first sample's time (ISO 8601 with offset) and
  // the interval in seconds; an empty time removes both. False when there is
  // no such entry.
  bool SetTiming(std::int64_t id, const std::string& firstSample, std::int64_t intervalSeconds);

  // Writing, for the recorder. Begin returns the new entry's id; `owner` is
  // the lock that tells other programs the download is alive.
  std::int64_t Begin(const DownloadStart& start, const Stamp& started, const std::string& owner);
  // One batch: the bytes and the totals after them, in one transaction.
  // False, with nothing written, when the entry is gone.
  bool Add(std::int64_t id, std::string_view bytes, std::int64_t totalBytes, std::int64_t totalLines,
           const Stamp& now);
  void End(std::int64_t id, const DownloadEnd& end, const Stamp& now);
  // Marks downloads whose program is gone as interrupted, for good.
  void MarkInterrupted();

  // A consistent copy of the whole archive, with what the journal holds, as
  // a file of its own at `to`, which must not exist or be empty.
  void Backup(const std::string& to);

  // The folder of the lock files of downloads under way.
  static std::string LockFolder(const std::string& archivePath);

private:
  Archive(std::string path, std::unique_ptr<SqliteDb> db, FileIdentity file, bool mayMoveAside);
  bool IsLive(const std::string& owner) const;
  // How a download whose program is gone ended, by what its lock file kept.
  EndReason EndOfGone(const std::string& owner) const;
  void Vacuum();
  void RemoveOrphans();
  [[noreturn]] void Throw(const SqliteError& e) const;

  std::string m_path;
  std::unique_ptr<SqliteDb> m_db;
  FileIdentity m_file;
  // False where the file is read as it stands (nothing can write it): what
  // looks damaged there may only be another program's write half seen.
  bool m_mayMoveAside = true;
};

// Runs `use` on the archive at `path` (nullptr when there is none yet). An
// archive found damaged, at the open or by `use`, is set aside (`notices`
// says where to) and `use` runs once more on what stands at `path` then.
void UseArchive(const std::string& path, std::vector<ArchiveNotice>& notices, const std::function<void(Archive*)>& use,
                Archive::GiveUp giveUp = {});

// A lock held for as long as a download is written: a file in the archive's
// lock folder, flock()ed; the kernel lets go of it when the program dies.
class LiveLock {
public:
  explicit LiveLock(const std::string& archivePath); // throws ArchiveError
  ~LiveLock();
  LiveLock(const LiveLock&) = delete;
  LiveLock& operator=(const LiveLock&) = delete;
  const std::string& Name() const { return m_name; }

  // The download ends as `reason`, which the archive could not be told: the
  // lock file keeps it when let go, and the entry reads so (a later program
  // writes it in). Its room was taken when the lock was made, so that a full
  // disk does not refuse it.
  void Leave(EndReason reason);

private:
  std::string m_path;
  std::string m_name;
  int m_fd = -1;
  bool m_left = false;
};

} // namespace dz

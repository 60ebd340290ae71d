#pragma once

// The archive of downloads: one SQLite file per user that keeps every
// download the window or dedizivi-cli runs (its raw bytes as received, when
// and how it ran and ended) and every erase command sent. Plain C++ over
// SQLite, shared by the window and the command line.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dz {

class SqliteDb;

// How a download ended. Running: a program is still writing it.
// Interrupted: the program that wrote it died before ending it.
enum class EndReason { Running, Closed, FullCard, Idle, LineLost, Quit, Interrupted, Erase };

// Where a download came from.
enum class Source { Window, CommandLine };

// The words the archive and `dedizivi-cli archive list --json` use:
// "running", "closed", "full", "idle", "line-lost", "quit", "interrupted",
// "erase"; "window", "cli".
std::string_view EndReasonName(EndReason reason);
std::string_view SourceName(Source source);

// A moment as the archive keeps it: local time with its UTC offset, and the
// same instant in milliseconds since 1970 (for ordering and pruning).
struct Stamp {
  std::string Iso; // "2024-05-01T08:00:00+02:00"
  std::int64_t Ms = 0;
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
};

// Whether the download is known to have been cut off while a line may still
// have been arriving: the line was lost, the program writing it died, quit or
// is still at it, or the command line's download was interrupted (Ctrl-C
// ends it as "closed"). A last line without its line end is then no reading.
bool EndedCut(const ArchivedDownload& d);

// Something the archive could not do, or did by itself, that the user must
// hear of. The window and the command line word it in their own language.
struct ArchiveNotice {
  enum Kind {
    CannotWrite, // the archive cannot be opened or written; Detail says why
    MovedAside,  // the file was no archive: kept as MovedTo, a new one begun
  };
  Kind What = CannotWrite;
  std::string Path;
  std::string MovedTo;
  std::string Detail;
};

class ArchiveError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
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
  static std::unique_ptr<Archive> OpenForWriting(const std::string& path, std::vector<ArchiveNotice>& notices);
  // Opens an existing archive to read or delete from it; nullptr when there
  // is none yet. Throws ArchiveError when it is not a readable archive.
  static std::unique_ptr<Archive> OpenExisting(const std::string& path);

  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  const std::string& Path() const { return m_path; }

  // Newest first. Downloads left open by a program that is gone read as
  // Interrupted, ended at their last write.
  std::vector<ArchivedDownload> List();
  std::optional<ArchivedDownload> Find(std::int64_t id);
  // The raw bytes exactly as received.
  std::string Raw(std::int64_t id);
  // Deletes one entry; false when there is none. Throws ArchiveError for a
  // download still running.
  bool Delete(std::int64_t id);
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
  void Add(std::int64_t id, std::string_view bytes, std::int64_t totalBytes, std::int64_t totalLines,
           const Stamp& now);
  void End(std::int64_t id, const DownloadEnd& end, const Stamp& now);
  // Marks downloads whose program is gone as interrupted, for good.
  void MarkInterrupted();

  // The folder of the lock files of downloads under way.
  static std::string LockFolder(const std::string& archivePath);

private:
  Archive(std::string path, std::unique_ptr<SqliteDb> db);
  bool IsLive(const std::string& owner) const;
  void Vacuum();

  std::string m_path;
  std::unique_ptr<SqliteDb> m_db;
};

// A lock held for as long as a download is written: a file in the archive's
// lock folder, flock()ed; the kernel lets go of it when the program dies.
class LiveLock {
public:
  explicit LiveLock(const std::string& archivePath); // throws ArchiveError
  ~LiveLock();
  LiveLock(const LiveLock&) = delete;
  LiveLock& operator=(const LiveLock&) = delete;
  const std::string& Name() const { return m_name; }

private:
  std::string m_path;
  std::string m_name;
  int m_fd = -1;
};

} // namespace dz

#include "archive.h"

#include "archivefiles.h"
#include "models.h"
#include "sqlite.h"

#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace dz {

namespace {

// Schema steps: kSchema[i] takes an archive from version i to i + 1
// (PRAGMA user_version). A new version appends a step; old archives walk up.
const char* const kSchema[] = {
  // Version 1.
  "CREATE TABLE downloads ("
  "  id INTEGER PRIMARY KEY AUTOINCREMENT," // never reused: an id stays one download
  "  kind TEXT NOT NULL,"                   // 'download' or 'erase'
  "  source TEXT NOT NULL,"                 // 'window' or 'cli'
  "  started TEXT NOT NULL,"                // local time with UTC offset
  "  started_ms INTEGER NOT NULL,"
  "  updated TEXT NOT NULL,"                // last batch written
  "  ended TEXT,"                           // NULL while running
  "  end_reason TEXT,"                      // NULL while running
  "  owner TEXT,"                           // lock file of the program writing it
  "  port TEXT NOT NULL,"
  "  port_by_id TEXT,"
  "  baud INTEGER, data_bits INTEGER, stop_bits TEXT, parity TEXT, flow_control TEXT,"
  "  model INTEGER, model_text TEXT,"
  "  trigger_sent TEXT,"
  "  rad_constant TEXT, rad_offset TEXT,"
  "  bytes INTEGER NOT NULL DEFAULT 0,"
  "  lines INTEGER NOT NULL DEFAULT 0);"
  "CREATE INDEX downloads_by_start ON downloads(started_ms);"
  "CREATE TABLE chunks ("
  "  id INTEGER PRIMARY KEY,"
  "  download INTEGER NOT NULL,"
  "  data BLOB NOT NULL);"
  "CREATE INDEX chunks_by_download ON chunks(download, id);",
  // Version 2: when the first sample was taken and the sampling interval.
  "ALTER TABLE downloads ADD COLUMN first_sample TEXT;" // ISO 8601 with UTC offset
  "ALTER TABLE downloads ADD COLUMN sample_interval INTEGER;", // seconds
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kSchema));

// Long enough for another program's batch or delete, short enough that a
// stuck lock is reported while the download is still under way.
constexpr int kBusyTimeoutMs = 10000;

struct Unreadable {
  std::string Detail;
};

// mkdir -p with 0700 folders, as the data home expects.
void MakeFolders(const std::string& dir)
{
  struct stat st {};
  if (dir.empty() || ::stat(dir.c_str(), &st) == 0)
    return;
  MakeFolders(FolderOf(dir));
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    throw ArchiveError("cannot create the folder '" + dir + "': " + std::strerror(errno));
}

bool SameFile(const struct stat& a, const std::string& path)
{
  struct stat b {};
  return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS)
    return false;
  // File systems without RENAME_NOREPLACE: a hard link never replaces.
  if (::link(from.c_str(), to.c_str()) != 0)
    return false;
  ::unlink(from.c_str());
  return true;
}

// Renames the file and its journal aside with a time stamp; returns the new name.
std::string MoveAside(const std::string& path)
{
  std::string stem = path;
  std::string extension;
  if (const auto dot = path.rfind('.'); dot != std::string::npos && dot > path.rfind('/') + 1) {
    stem = path.substr(0, dot);
    extension = path.substr(dot);
  }
  std::time_t t = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&t, &local);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H-%M-%S", &local);
  for (int n = 1; n < 1000; ++n) {
    const std::string to =
      stem + ".unreadable-" + when + (n > 1 ? "-" + std::to_string(n) : std::string()) + extension;
    if (RenameNoReplace(path, to)) {
      // A journal beside it belongs to the old file: a new archive must not replay it.
      for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (::access((path + suffix).c_str(), F_OK) == 0)
          RenameNoReplace(path + suffix, to + suffix);
      return to;
    }
    if (errno != EEXIST)
      throw ArchiveError("cannot move the unreadable archive '" + path + "' aside: " + std::strerror(errno));
  }
  throw ArchiveError("cannot move the unreadable archive '" + path + "' aside");
}

// A file that does not begin as every SQLite database does is refused before
// SQLite opens it: SQLite would treat a journal beside it as its own. Opened
// without waiting, and read only when it is a regular file, so that a FIFO
// put in its place between the look and the open blocks nothing.
void CheckHeader(const std::string& path)
{
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return; // missing, or unreadable: SQLite says which
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw ArchiveError("'" + path + "' is not a regular file, not a file of the archive: move it away");
  }
  static const char kMagic[16] = "SQLite format 3";
  char head[16] = {};
  const ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  if (n > 0 && (n < 16 || std::memcmp(head, kMagic, 16) != 0))
    throw Unreadable{"not a SQLite database"};
}

bool IsUnreadableCode(int code)
{
  return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

bool IsBusyCode(int code)
{
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

ArchiveError::Kind KindOf(const SqliteError& e)
{
  return IsBusyCode(e.Code()) ? ArchiveError::Busy : ArchiveError::Failed;
}

FileIdentity IdentityOf(const std::string& path)
{
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return {};
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// "file:" URI of a path, for opening it as it stands (immutable): every byte
// that a URI gives a meaning to escaped.
std::string ImmutableUri(const std::string& path)
{
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[u >> 4];
      uri += kHex[u & 15];
    }
  }
  return uri + "?immutable=1";
}

// Reads the first page and the schema version; throws Unreadable for a file
// that is no archive of ours, ArchiveError for one of a newer program.
int CheckArchive(SqliteDb& db, const std::string& path)
{
  std::int64_t objects = 0;
  std::int64_t version = 0;
  try {
    objects = db.QueryInt("SELECT count(*) FROM sqlite_master");
    version = db.QueryInt("PRAGMA user_version");
  } catch (const SqliteError& e) {
    if (IsUnreadableCode(e.Code()))
      throw Unreadable{e.what()};
    throw;
  }
  if (version == 0 && objects > 0)
    throw Unreadable{"a database of another program"};
  if (version > kSchemaVersion)
    throw ArchiveError("the archive '" + path + "' was made by a newer version of DEDIZIVI (schema " +
                       std::to_string(version) + ")");
  return static_cast<int>(version);
}

// Switching the journal takes the file for itself and does not wait for the
// busy timeout: two programs creating the archive at once retry until one of
// them has switched it.
void UseWriteAheadLog(SqliteDb& db)
{
  for (int waited = 0;; waited += 20) {
    try {
      // Where the file system cannot have one, SQLite keeps the old journal.
      if (db.QueryText("PRAGMA journal_mode") != "wal")
        db.QueryText("PRAGMA journal_mode = WAL");
      return;
    } catch (const SqliteError& e) {
      if (e.Code() != SQLITE_BUSY || waited >= kBusyTimeoutMs)
        throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A new file first: deletes give space back. SQLite takes this only before
// anything is written, the journal's header included.
void PrepareNewFile(SqliteDb& db, int version)
{
  if (version == 0)
    db.Exec("PRAGMA auto_vacuum = INCREMENTAL");
}

void Upgrade(SqliteDb& db, int version)
{
  if (version == kSchemaVersion)
    return;
  SqliteTransaction t(db);
  // Another program may have done it while this one waited for the lock.
  for (int v = static_cast<int>(db.QueryInt("PRAGMA user_version")); v < kSchemaVersion; ++v)
    db.Exec(kSchema[v]);
  db.Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  t.Commit();
}

std::string LockPath(const std::string& archivePath, const std::string& owner)
{
  return Archive::LockFolder(archivePath) + "/" + owner;
}

// Removes the lock file of a download whose program is gone: only a name of
// our own form, only a plain file, so that no row can make us remove
// anything else.
void RemoveLockFile(const std::string& archivePath, const std::string& owner)
{
  if (!IsOwnerName(owner))
    return;
  const std::string path = LockPath(archivePath, owner);
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    ::unlink(path.c_str());
}

// Everything an open for writing does once the file is open; SQLite's word
// that the file is damaged, at any step, makes it Unreadable.
int PrepareForWriting(SqliteDb& db, const std::string& path)
{
  try {
    const int version = CheckArchive(db, path);
    PrepareNewFile(db, version);
    UseWriteAheadLog(db);
    // Each batch reaches the disk when committed: a power cut loses at most the last one.
    db.Exec("PRAGMA synchronous = FULL");
    Upgrade(db, version);
    return version;
  } catch (const SqliteError& e) {
    if (IsUnreadableCode(e.Code()))
      throw Unreadable{e.what()};
    throw;
  }
}

const std::string* Opt(const std::optional<std::string>& v)
{
  return v ? &*v : nullptr;
}

std::string ModelText(int model)
{
  const ModelInfo* info = FindModel(model);
  return info ? std::string(info->SelectorText) : std::string();
}

// Room in a lock file for the longest end's name.
constexpr std::size_t kLeftEndRoom = 24;

EndReason ReasonFromName(const std::string& name)
{
  for (EndReason r : {EndReason::Closed, EndReason::FullCard, EndReason::Idle, EndReason::LineLost, EndReason::Quit,
                      EndReason::Interrupted, EndReason::Erase, EndReason::Incomplete, EndReason::NotACard,
                      EndReason::OutputFailed, EndReason::Erased})
    if (EndReasonName(r) == name)
      return r;
  return EndReason::Interrupted;
}

} // namespace

std::string_view EndReasonName(EndReason reason)
{
  switch (reason) {
  case EndReason::Running: return "running";
  case EndReason::Closed: return "closed";
  case EndReason::FullCard: return "full";
  case EndReason::Idle: return "idle";
  case EndReason::LineLost: return "line-lost";
  case EndReason::Quit: return "quit";
  case EndReason::Interrupted: return "interrupted";
  case EndReason::Erase: return "erase";
  case EndReason::Incomplete: return "incomplete";
  case EndReason::NotACard: return "not-a-card";
  case EndReason::OutputFailed: return "output-failed";
  case EndReason::Erased: return "erased";
  }
  return "interrupted";
}

bool EndedCut(const ArchivedDownload& d)
{
  switch (d.End) {
  case EndReason::Running:
  case EndReason::LineLost:
  case EndReason::Quit:
  case EndReason::Interrupted:
  case EndReason::Incomplete:
  case EndReason::NotACard:
  case EndReason::OutputFailed:
  case EndReason::Erased: return true;
  case EndReason::Closed: return d.From == Source::CommandLine;
  case EndReason::FullCard:
  case EndReason::Idle:
  case EndReason::Erase: return false;
  }
  return false;
}

bool SameEntry(const ArchivedDownload& listed, const ArchivedDownload& now)
{
  if (listed.End != EndReason::Running)
    return listed == now;
  // A download being written grows and ends by itself.
  ArchivedDownload grown = now;
  grown.Bytes = listed.Bytes;
  grown.Lines = listed.Lines;
  grown.End = listed.End;
  grown.Ended = listed.Ended;
  if (now.End != EndReason::Running) {
    grown.Model = listed.Model; // the model it was converted with, set at its end
    grown.ModelText = listed.ModelText;
    grown.Constant = listed.Constant;
    grown.Offset = listed.Offset;
  }
  return listed == grown;
}

std::string_view SourceName(Source source)
{
  return source == Source::Window ? "window" : "cli";
}

Stamp StampAt(std::int64_t ms)
{
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm local {};
  ::localtime_r(&t, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return {std::string(date) + zone, ms};
}

Stamp StampNow()
{
  using namespace std::chrono;
  return StampAt(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

void LineCounter::Add(std::string_view bytes)
{
  for (const char c : bytes) {
    if (c == '\n' && m_lastWasCr) {
      m_lastWasCr = false; // the second half of CR LF
      continue;
    }
    m_lastWasCr = c == '\r';
    if (c == '\r' || c == '\n') {
      ++m_breaks;
      m_partial = false;
    } else {
      m_partial = true;
    }
  }
}

std::string Archive::DefaultPath()
{
  std::string base;
  // The XDG rule: a relative XDG_DATA_HOME is ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw ? pw->pw_dir : "/";
    }
    base = std::string(home) + "/.local/share";
  }
  return base + "/dedizivi/archive.sqlite";
}

std::string Archive::LockFolder(const std::string& archivePath)
{
  return archivePath + "-running";
}

Archive::Archive(std::string path, std::unique_ptr<SqliteDb> db, FileIdentity file, bool mayMoveAside)
  : m_path(std::move(path)), m_db(std::move(db)), m_file(file), m_mayMoveAside(mayMoveAside)
{
}

Archive::~Archive() = default;

void Archive::Throw(const SqliteError& e) const
{
  if (IsUnreadableCode(e.Code()) && m_mayMoveAside)
    throw ArchiveError(m_path + ": " + e.what(), ArchiveError::Damaged, m_file);
  throw ArchiveError(m_path + ": " + e.what(), KindOf(e));
}

std::unique_ptr<Archive> Archive::OpenForWriting(const std::string& path, std::vector<ArchiveNotice>& notices,
                                                 GiveUp giveUp)
{
  MakeFolders(FolderOf(path));
  for (int attempt = 0;; ++attempt) {
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    try {
      CheckArchivePlace(path);
      CheckHeader(path);
      MatchCompanionPermissions(path);
      auto db = std::make_unique<SqliteDb>(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
      db->SetBusyWait(kBusyTimeoutMs, giveUp);
      PrepareForWriting(*db, path);
      return std::unique_ptr<Archive>(new Archive(path, std::move(db), IdentityOf(path), true));
    } catch (const Unreadable& u) {
      // Only the very file found unreadable is moved, and only once: another
      // program may have moved it and begun a new archive meanwhile.
      if (attempt > 0 || !existed || !SameFile(before, path))
        throw ArchiveError("the archive '" + path + "' is not readable (" + u.Detail + ")");
      notices.push_back({ArchiveNotice::MovedAside, path, MoveAside(path), u.Detail});
    } catch (const SqliteError& e) {
      throw ArchiveError(path + ": " + e.what(), KindOf(e));
    }
  }
}

std::unique_ptr<Archive> Archive::OpenExisting(const std::string& path, GiveUp giveUp)
{
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT)
      return nullptr;
    throw ArchiveError("cannot read the archive '" + path + "': " + std::strerror(errno));
  }
  CheckArchivePlace(path);
  const FileIdentity file = IdentityOf(path);
  try {
    CheckHeader(path);
  } catch (const Unreadable& u) {
    throw ArchiveError("the archive '" + path + "' is not readable (" + u.Detail + ")", ArchiveError::Damaged, file);
  }
  MatchCompanionPermissions(path);
  // As it is, so that it reads what the journal holds too: to write where
  // that may be done, else to read; as it stands only where even reading it
  // that way cannot be done (no journal can be kept beside it).
  const struct {
    int Flags;
    bool AsItStands;
  } kWays[] = {{SQLITE_OPEN_READWRITE, false}, {SQLITE_OPEN_READONLY, false}, {SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, true}};
  for (const auto& way : kWays) {
    try {
      auto db = std::make_unique<SqliteDb>(way.AsItStands ? ImmutableUri(path) : path, way.Flags);
      db->SetBusyWait(kBusyTimeoutMs, giveUp);
      const int version = CheckArchive(*db, path);
      if (!db->ReadOnly()) {
        PrepareNewFile(*db, version);
        Upgrade(*db, version);
      }
      return std::unique_ptr<Archive>(new Archive(path, std::move(db), file, !way.AsItStands));
    } catch (const Unreadable& u) {
      if (!way.AsItStands)
        throw ArchiveError("the archive '" + path + "' is not readable (" + u.Detail + ")", ArchiveError::Damaged,
                           file);
      throw ArchiveError("the archive '" + path + "' is not readable (" + u.Detail + ")");
    } catch (const SqliteError& e) {
      if (IsBusyCode(e.Code()) || way.AsItStands)
        throw ArchiveError(path + ": " + e.what(), KindOf(e));
      if (IsUnreadableCode(e.Code()))
        throw ArchiveError(path + ": " + e.what(), ArchiveError::Damaged, file);
      // Read-only somewhere: the next way may do.
    }
  }
  throw ArchiveError("cannot read the archive '" + path + "'");
}

std::optional<std::string> Archive::SetAside(const std::string& path, const ArchiveError& damage)
{
  if (damage.Why() != ArchiveError::Damaged || damage.File() == FileIdentity{} || IdentityOf(path) != damage.File())
    return std::nullopt;
  return MoveAside(path);
}

bool Archive::StillAtPath() const
{
  return IdentityOf(m_path) == m_file;
}

bool Archive::ReadOnly() const
{
  return m_db->ReadOnly();
}

void UseArchive(const std::string& path, std::vector<ArchiveNotice>& notices, const std::function<void(Archive*)>& use,
                Archive::GiveUp giveUp)
{
  for (int attempt = 0;; ++attempt) {
    try {
      const std::unique_ptr<Archive> archive = Archive::OpenExisting(path, giveUp);
      use(archive.get());
      return;
    } catch (const ArchiveError& e) {
      // Closed by now: SQLite must not write into the file once it is moved.
      if (e.Why() != ArchiveError::Damaged || attempt > 0)
        throw;
      if (auto to = Archive::SetAside(path, e))
        notices.push_back({ArchiveNotice::MovedAside, path, *to, e.what()});
    }
  }
}

bool Archive::IsLive(const std::string& owner) const
{
  // A row names its lock by a name of our own form, or none: whatever else a
  // damaged or tampered row holds is never opened.
  if (owner.empty() || !IsOwnerName(owner))
    return false;
  // Without waiting and without following a link: the lock folder "needs no
  // backup", so users clean it, and may leave anything there.
  const int fd = ::open(LockPath(m_path, owner).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
  if (fd < 0) {
    const int why = errno;
    // Removed by hand (the program still holds it open), or never there.
    if (why == ENOENT || why == ENOTDIR || why == ELOOP)
      return OwnerHoldsLockFile(owner);
    // Cannot be looked at: unknown, better "running" than a live download
    // called interrupted.
    return true;
  }
  struct stat st {};
  const bool lockFile = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const bool held = lockFile && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held || (!lockFile && OwnerHoldsLockFile(owner));
}

namespace {

constexpr const char* kColumns =
  "SELECT id, kind, source, started, started_ms, updated, ended, end_reason, owner, port, port_by_id, baud,"
  " data_bits, stop_bits, parity, flow_control, model, model_text, trigger_sent, rad_constant, rad_offset, bytes,"
  " lines, %s FROM downloads";
// An archive opened read-only is read as it is, older versions included.
constexpr const char* kTimingColumns = "first_sample, sample_interval";
constexpr const char* kNoTimingColumns = "NULL, NULL";

std::optional<std::string> OptText(const SqliteStatement& s, int col)
{
  return s.IsNull(col) ? std::nullopt : std::optional<std::string>(s.Text(col));
}

} // namespace

std::vector<ArchivedDownload> Archive::List()
{
  try {
    std::string query = kColumns;
    query.replace(query.find("%s"), 2, m_db->QueryInt("PRAGMA user_version") >= 2 ? kTimingColumns : kNoTimingColumns);
    SqliteStatement s(m_db->Handle(), (query + " ORDER BY started_ms DESC, id DESC").c_str());
    std::vector<ArchivedDownload> list;
    // Entries are large: growing the list step by step would move them over and over.
    list.reserve(static_cast<std::size_t>(m_db->QueryInt("SELECT count(*) FROM downloads")));
    while (s.Step()) {
      ArchivedDownload d;
      d.Id = s.Int(0);
      d.Erase = s.Text(1) == "erase";
      d.From = s.Text(2) == "cli" ? Source::CommandLine : Source::Window;
      d.Started = {s.Text(3), s.Int(4)};
      d.Ended = s.Text(6);
      if (s.IsNull(7)) {
        d.End = IsLive(s.Text(8)) ? EndReason::Running : EndOfGone(s.Text(8));
        if (d.End == EndReason::Interrupted)
          d.Ended = s.Text(5);
      } else {
        d.End = ReasonFromName(s.Text(7));
      }
      d.Port = s.Text(9);
      d.PortById = s.Text(10);
      d.Line = {static_cast<int>(s.Int(11)), static_cast<int>(s.Int(12)), s.Text(13), s.Text(14), s.Text(15)};
      d.Model = s.IsNull(16) ? -1 : static_cast<int>(s.Int(16));
      d.ModelText = s.Text(17);
      d.Trigger = s.Text(18);
      d.Constant = OptText(s, 19);
      d.Offset = OptText(s, 20);
      d.Bytes = s.Int(21);
      d.Lines = s.Int(22);
      if (!s.IsNull(23) && !s.IsNull(24)) {
        d.FirstSample = s.Text(23);
        d.IntervalSeconds = s.Int(24);
      }
      list.push_back(std::move(d));
    }
    return list;
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

std::optional<ArchivedDownload> Archive::Find(std::int64_t id)
{
  // Listing is fast enough that one code path for both is worth more.
  for (ArchivedDownload& d : List())
    if (d.Id == id)
      return std::move(d);
  return std::nullopt;
}

std::optional<Archive::Loaded> Archive::Load(std::int64_t id, std::int64_t limit)
{
  try {
    // One state of the file for the entry and its bytes.
    SqliteTransaction read(*m_db, false);
    auto entry = Find(id);
    if (!entry)
      return std::nullopt;
    Loaded loaded{std::move(*entry), {}, 0, false};
    SqliteStatement size(m_db->Handle(), "SELECT coalesce(sum(length(data)), 0) FROM chunks WHERE download = ?");
    size.Bind(1, id);
    loaded.StoredBytes = size.Step() ? size.Int(0) : 0;
    loaded.TooLarge = loaded.StoredBytes > limit;
    if (!loaded.TooLarge)
      loaded.Raw = Raw(id);
    return loaded;
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

std::string Archive::Raw(std::int64_t id)
{
  try {
    SqliteStatement s(m_db->Handle(), "SELECT data FROM chunks WHERE download = ? ORDER BY id");
    s.Bind(1, id);
    std::string raw;
    while (s.Step())
      raw.append(s.Blob(0));
    return raw;
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

void Archive::RemoveOrphans()
{
  // Bytes of entries deleted while an earlier version still wrote them.
  m_db->Exec("DELETE FROM chunks WHERE download NOT IN (SELECT id FROM downloads)");
}

void Archive::Vacuum()
{
  try {
    m_db->Exec("PRAGMA incremental_vacuum");
  } catch (const SqliteError&) {
    // Space not given back yet; the next delete tries again.
  }
}

bool Archive::Delete(std::int64_t id)
{
  try {
    SqliteTransaction t(*m_db);
    {
      SqliteStatement s(m_db->Handle(), "SELECT end_reason IS NULL, owner FROM downloads WHERE id = ?");
      s.Bind(1, id);
      if (!s.Step())
        return false;
      if (s.Int(0) != 0 && IsLive(s.Text(1)))
        throw ArchiveError("download " + std::to_string(id) + " is still running");
    }
    SqliteStatement(m_db->Handle(), "DELETE FROM chunks WHERE download = ?").Bind(1, id).Run();
    SqliteStatement(m_db->Handle(), "DELETE FROM downloads WHERE id = ?").Bind(1, id).Run();
    RemoveOrphans();
    t.Commit();
  } catch (const SqliteError& e) {
    Throw(e);
  }
  Vacuum();
  return true;
}

Archive::DeleteResult Archive::DeleteAsListed(const ArchivedDownload& listed)
{
  try {
    // Looked at and deleted under one lock: nothing changes in between.
    SqliteTransaction t(*m_db);
    const auto now = Find(listed.Id);
    if (!now)
      return DeleteResult::Gone;
    if (!SameEntry(listed, *now))
      return DeleteResult::Changed;
    if (now->End == EndReason::Running)
      throw ArchiveError("download " + std::to_string(listed.Id) + " is still running");
    SqliteStatement(m_db->Handle(), "DELETE FROM chunks WHERE download = ?").Bind(1, listed.Id).Run();
    SqliteStatement(m_db->Handle(), "DELETE FROM downloads WHERE id = ?").Bind(1, listed.Id).Run();
    RemoveOrphans();
    t.Commit();
  } catch (const SqliteError& e) {
    Throw(e);
  }
  Vacuum();
  return DeleteResult::Deleted;
}

int Archive::Prune(std::int64_t beforeMs, int& running)
{
  running = 0;
  int deleted = 0;
  try {
    SqliteTransaction t(*m_db);
    std::vector<std::int64_t> ids;
    {
      SqliteStatement s(m_db->Handle(), "SELECT id, end_reason IS NULL, owner FROM downloads WHERE started_ms < ?");
      s.Bind(1, beforeMs);
      while (s.Step()) {
        if (s.Int(1) != 0 && IsLive(s.Text(2)))
          ++running;
        else
          ids.push_back(s.Int(0));
      }
    }
    SqliteStatement chunks(m_db->Handle(), "DELETE FROM chunks WHERE download = ?");
    SqliteStatement rows(m_db->Handle(), "DELETE FROM downloads WHERE id = ?");
    for (const std::int64_t id : ids) {
      chunks.Bind(1, id).Run();
      rows.Bind(1, id).Run();
      ++deleted;
    }
    RemoveOrphans();
    t.Commit();
  } catch (const SqliteError& e) {
    Throw(e);
  }
  if (deleted > 0)
    Vacuum();
  return deleted;
}

bool Archive::SetTiming(std::int64_t id, const std::string& firstSample, std::int64_t intervalSeconds)
{
  try {
    SqliteStatement s(m_db->Handle(), "UPDATE downloads SET first_sample = ?, sample_interval = ? WHERE id = ?");
    if (firstSample.empty())
      s.BindNull(1).BindNull(2);
    else
      s.Bind(1, firstSample).Bind(2, intervalSeconds);
    s.Bind(3, id).Run();
    return m_db->Changes() > 0;
  } catch (const SqliteError& e) {
    throw ArchiveError(m_path + ": " + e.what());
  }
}

std::int64_t Archive::Begin(const DownloadStart& start, const Stamp& started, const std::string& owner)
{
  try {
    SqliteTransaction t(*m_db);
    SqliteStatement s(m_db->Handle(),
                      "INSERT INTO downloads (kind, source, started, started_ms, updated, ended, end_reason, owner,"
                      " port, port_by_id, baud, data_bits, stop_bits, parity, flow_control, model, model_text,"
                      " trigger_sent) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    s.Bind(1, start.Erase ? "erase" : "download").Bind(2, SourceName(start.From)).Bind(3, started.Iso);
    s.Bind(4, started.Ms).Bind(5, started.Iso);
    if (start.Erase)
      s.Bind(6, started.Iso).Bind(7, EndReasonName(EndReason::Erase)).BindNull(8);
    else
      s.BindNull(6).BindNull(7).Bind(8, owner);
    s.Bind(9, start.Port);
    if (start.PortById.empty())
      s.BindNull(10);
    else
      s.Bind(10, start.PortById);
    s.Bind(11, start.Line.Baud).Bind(12, start.Line.DataBits).Bind(13, start.Line.StopBits);
    s.Bind(14, start.Line.Parity).Bind(15, start.Line.FlowControl);
    if (FindModel(start.Model))
      s.Bind(16, start.Model).Bind(17, ModelText(start.Model));
    else
      s.BindNull(16).BindNull(17);
    if (start.Trigger.empty())
      s.BindNull(18);
    else
      s.Bind(18, start.Trigger);
    s.Run();
    const std::int64_t id = m_db->LastInsertId();
    t.Commit();
    return id;
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

bool Archive::Add(std::int64_t id, std::string_view bytes, std::int64_t totalBytes, std::int64_t totalLines,
                  const Stamp& now)
{
  try {
    SqliteTransaction t(*m_db);
    SqliteStatement(m_db->Handle(), "UPDATE downloads SET bytes = ?, lines = ?, updated = ? WHERE id = ?")
      .Bind(1, totalBytes)
      .Bind(2, totalLines)
      .Bind(3, now.Iso)
      .Bind(4, id)
      .Run();
    // An entry deleted meanwhile gets no bytes that nothing would ever remove.
    if (m_db->Changes() == 0)
      return false;
    SqliteStatement(m_db->Handle(), "INSERT INTO chunks (download, data) VALUES (?, ?)")
      .Bind(1, id)
      .BindBlob(2, bytes)
      .Run();
    t.Commit();
    return true;
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

void Archive::End(std::int64_t id, const DownloadEnd& end, const Stamp& now)
{
  try {
    SqliteStatement s(m_db->Handle(),
                      "UPDATE downloads SET ended = ?, updated = ?, end_reason = ?, owner = NULL, model = ?,"
                      " model_text = ?, rad_constant = ?, rad_offset = ? WHERE id = ?");
    s.Bind(1, now.Iso).Bind(2, now.Iso).Bind(3, EndReasonName(end.Reason));
    if (FindModel(end.Model))
      s.Bind(4, end.Model).Bind(5, ModelText(end.Model));
    else
      s.BindNull(4).BindNull(5);
    s.BindOptional(6, Opt(end.Constant)).BindOptional(7, Opt(end.Offset)).Bind(8, id);
    s.Run();
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

void Archive::MarkInterrupted()
{
  try {
    SqliteStatement open(m_db->Handle(), "SELECT id, owner FROM downloads WHERE end_reason IS NULL");
    std::vector<std::pair<std::int64_t, std::string>> gone;
    while (open.Step())
      if (!IsLive(open.Text(1)))
        gone.emplace_back(open.Int(0), open.Text(1));
    open.Reset();
    for (const auto& [id, owner] : gone) {
      SqliteStatement(m_db->Handle(), "UPDATE downloads SET end_reason = ?, ended = updated,"
                                      " owner = NULL WHERE id = ? AND end_reason IS NULL")
        .Bind(1, EndReasonName(EndOfGone(owner)))
        .Bind(2, id)
        .Run();
      RemoveLockFile(m_path, owner);
    }
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

EndReason Archive::EndOfGone(const std::string& owner) const
{
  if (!IsOwnerName(owner))
    return EndReason::Interrupted;
  const int fd = ::open(LockPath(m_path, owner).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
  if (fd < 0)
    return EndReason::Interrupted;
  struct stat st {};
  char text[kLeftEndRoom + 1] = {};
  const ssize_t n = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, text, kLeftEndRoom) : -1;
  ::close(fd);
  std::string name(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\n'))
    name.pop_back();
  // Only an end a program can leave; anything else was no program's.
  const EndReason reason = ReasonFromName(name);
  return EndReasonName(reason) == name && reason != EndReason::Running && reason != EndReason::Erase
           ? reason
           : EndReason::Interrupted;
}

void Archive::Backup(const std::string& to)
{
  try {
    // A snapshot through this connection, the journal's newest pages
    // included, written as a file that needs no journal beside it.
    SqliteStatement(m_db->Handle(), "VACUUM INTO ?").Bind(1, std::string_view(to)).Run();
  } catch (const SqliteError& e) {
    Throw(e);
  }
}

LiveLock::LiveLock(const std::string& archivePath)
{
  const std::string folder = Archive::LockFolder(archivePath);
  MakeFolders(folder);
  m_name = NewOwnerName();
  m_path = folder + "/" + m_name;
  // Locked before it takes its name, so that no one sees it unlocked.
  const std::string temporary = m_path + ".new";
  m_fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (m_fd < 0)
    throw ArchiveError("cannot create the lock '" + temporary + "': " + std::strerror(errno));
  // The room an end left behind needs, taken now (see Leave).
  const std::string room(kLeftEndRoom, ' ');
  if (::write(m_fd, room.data(), room.size()) != static_cast<ssize_t>(room.size()) ||
      ::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::rename(temporary.c_str(), m_path.c_str()) != 0) {
    const int e = errno;
    ::close(m_fd);
    ::unlink(temporary.c_str());
    throw ArchiveError("cannot lock '" + m_path + "': " + std::strerror(e));
  }
}

void LiveLock::Leave(EndReason reason)
{
  std::string text(EndReasonName(reason));
  text.resize(kLeftEndRoom, ' ');
  m_left = ::pwrite(m_fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) && ::fsync(m_fd) == 0;
}

LiveLock::~LiveLock()
{
  if (m_left) {
    ::close(m_fd);
    return;
  }
  // Only while the name is still this lock's file: a user may have cleaned
  // the folder meanwhile and left something else there.
  struct stat mine {};
  struct stat named {};
  if (::fstat(m_fd, &mine) == 0 && ::lstat(m_path.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
      mine.st_ino == named.st_ino)
    ::unlink(m_path.c_str());
  ::close(m_fd);
}

} // namespace dz

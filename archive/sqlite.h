#pragma once

// A thin layer over SQLite's C API: a connection, a prepared statement and a
// transaction, each owning its handle; every failure is thrown as SqliteError
// with SQLite's own code and message.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace dz {

class SqliteError : public std::runtime_error {
public:
  SqliteError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
  // The primary result code (SQLITE_BUSY, SQLITE_NOTADB, ...).
  int Code() const noexcept { return m_code & 0xff; }

private:
  int m_code;
};

class SqliteStatement {
public:
  SqliteStatement(sqlite3* db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Parameters count from 1, as in SQL.
  SqliteStatement& Bind(int i, std::int64_t value);
  SqliteStatement& Bind(int i, std::string_view text);
  SqliteStatement& BindBlob(int i, std::string_view bytes);
  SqliteStatement& BindNull(int i);
  // Text, or NULL for nothing.
  SqliteStatement& BindOptional(int i, const std::string* text);

  // One step: true while it yields a row.
  bool Step();
  // Runs a statement that yields no row (or ignores them).
  void Run();
  void Reset();

  // Columns count from 0.
  bool IsNull(int col) const;
  std::int64_t Int(int col) const;
  std::string Text(int col) const;
  std::string_view Blob(int col) const;

private:
  sqlite3* m_db;
  sqlite3_stmt* m_stmt = nullptr;
};

class SqliteDb {
public:
  // flags as sqlite3_open_v2 takes them.
  SqliteDb(const std::string& path, int flags);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  void Exec(const char* sql);
  std::int64_t QueryInt(const char* sql);
  std::string QueryText(const char* sql);
  std::int64_t LastInsertId() const;
  int Changes() const;
  void SetBusyTimeout(int milliseconds);
  // Waits up to `milliseconds` for a lock another connection holds, and
  // gives up as soon as `giveUp` says so.
  void SetBusyWait(int milliseconds, std::function<bool()> giveUp);
  // Whether the connection can only read (a read-only file or folder).
  bool ReadOnly() const;
  sqlite3* Handle() const { return m_db; }

private:
  struct BusyWait {
    int Milliseconds = 0;
    std::function<bool()> GiveUp;
  };
  static int WaitForLock(void* wait, int count);

  sqlite3* m_db = nullptr;
  BusyWait m_busy;
};

// BEGIN IMMEDIATE at once (so that a second writer waits for the lock here
// rather than failing halfway), ROLLBACK unless committed. A read
// transaction (write false) only sees one state of the file throughout.
class SqliteTransaction {
public:
  explicit SqliteTransaction(SqliteDb& db, bool write = true);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  void Commit();

private:
  SqliteDb& m_db;
  bool m_open = true;
};

} // namespace dz

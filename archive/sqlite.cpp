#include "sqlite.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace dz {

namespace {

[[noreturn]] void Throw(sqlite3* db, int rc)
{
  const int code = db ? sqlite3_extended_errcode(db) : rc;
  throw SqliteError(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

} // namespace

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : m_db(db)
{
  const int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
  if (rc != SQLITE_OK)
    Throw(db, rc);
}

SqliteStatement::~SqliteStatement()
{
  sqlite3_finalize(m_stmt);
}

SqliteStatement& SqliteStatement::Bind(int i, std::int64_t value)
{
  if (const int rc = sqlite3_bind_int64(m_stmt, i, value); rc != SQLITE_OK)
    Throw(m_db, rc);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int i, std::string_view text)
{
  if (const int rc = sqlite3_bind_text64(m_stmt, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      rc != SQLITE_OK)
    Throw(m_db, rc);
  return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int i, std::string_view bytes)
{
  // A zero-length blob is still a blob, not NULL.
  if (const int rc = sqlite3_bind_blob64(m_stmt, i, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_STATIC);
      rc != SQLITE_OK)
    Throw(m_db, rc);
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int i)
{
  if (const int rc = sqlite3_bind_null(m_stmt, i); rc != SQLITE_OK)
    Throw(m_db, rc);
  return *this;
}

SqliteStatement& SqliteStatement::BindOptional(int i, const std::string* text)
{
  return text ? Bind(i, std::string_view(*text)) : BindNull(i);
}

bool SqliteStatement::Step()
{
  const int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW)
    return true;
  if (rc == SQLITE_DONE)
    return false;
  Throw(m_db, rc);
}

void SqliteStatement::Run()
{
  while (Step()) {
  }
  Reset();
}

void SqliteStatement::Reset()
{
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

bool SqliteStatement::IsNull(int col) const
{
  return sqlite3_column_type(m_stmt, col) == SQLITE_NULL;
}

std::int64_t SqliteStatement::Int(int col) const
{
  return sqlite3_column_int64(m_stmt, col);
}

std::string SqliteStatement::Text(int col) const
{
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col))) : std::string();
}

std::string_view SqliteStatement::Blob(int col) const
{
  const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, col));
  return data ? std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
              : std::string_view();
}

SqliteDb::SqliteDb(const std::string& path, int flags)
{
  const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    // The handle carries the message even when opening failed.
    const SqliteError error(m_db ? sqlite3_extended_errcode(m_db) : rc, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    sqlite3_close(m_db);
    m_db = nullptr;
    throw error;
  }
  sqlite3_extended_result_codes(m_db, 1);
}

SqliteDb::~SqliteDb()
{
  sqlite3_close(m_db);
}

void SqliteDb::Exec(const char* sql)
{
  if (const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); rc != SQLITE_OK)
    Throw(m_db, rc);
}

std::int64_t SqliteDb::QueryInt(const char* sql)
{
  SqliteStatement s(m_db, sql);
  return s.Step() ? s.Int(0) : 0;
}

std::string SqliteDb::QueryText(const char* sql)
{
  SqliteStatement s(m_db, sql);
  return s.Step() ? s.Text(0) : std::string();
}

std::int64_t SqliteDb::LastInsertId() const
{
  return sqlite3_last_insert_rowid(m_db);
}

int SqliteDb::Changes() const
{
  return sqlite3_changes(m_db);
}

void SqliteDb::SetBusyTimeout(int milliseconds)
{
  sqlite3_busy_timeout(m_db, milliseconds);
}

void SqliteDb::SetBusyWait(int milliseconds, std::function<bool()> giveUp)
{
  m_busy = {milliseconds, std::move(giveUp)};
  sqlite3_busy_handler(m_db, &SqliteDb::WaitForLock, &m_busy);
}

int SqliteDb::WaitForLock(void* wait, int count)
{
  constexpr int kStepMs = 10;
  const auto* w = static_cast<const BusyWait*>(wait);
  if ((w->GiveUp && w->GiveUp()) || count * kStepMs >= w->Milliseconds)
    return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  return 1;
}

bool SqliteDb::ReadOnly() const
{
  return sqlite3_db_readonly(m_db, "main") == 1;
}

SqliteTransaction::SqliteTransaction(SqliteDb& db, bool write) : m_db(db)
{
  m_db.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction()
{
  if (m_open)
    sqlite3_exec(m_db.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit()
{
  m_db.Exec("COMMIT");
  m_open = false;
}

} // namespace dz

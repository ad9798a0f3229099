// SqliteDb and SqliteQuery over SQLite's C interface.
#include "engine/sqlite_db.h"

#include <windows.h>

#include <sqlite3.h>

#include <cstring>

#include "engine/file_removal.h"
#include "engine/folder_open.h"
#include "engine/removal_guard.h"
#include "engine/nt_calls.h"
#include "winlib/trace.h"

namespace {

bool IsBusy(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool IsDamaged(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Another process that has the file open (a running browser keeps its
// databases open) makes an open without sharing fail: that is the cheapest
// sure sign, and it is taken before SQLite touches anything.
enum class FileProbe { kFree, kMissing, kInUse, kFailed };

FileProbe ProbeFile(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileProbe::kMissing;
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return FileProbe::kInUse;
    return FileProbe::kFailed;
  }
  ::CloseHandle(h);
  return FileProbe::kFree;
}

// Every SQLite database begins with these 16 bytes. SQLite takes an empty
// file for an empty database, which no sweep should ever write to.
bool HasSqliteHeader(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char header[16] = {};
  DWORD got = 0;
  const BOOL read = ::ReadFile(h, header, sizeof header, &got, nullptr);
  ::CloseHandle(h);
  return read && got == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

// Whether the file at path is its folder's own entry, not a link to a file
// elsewhere (under Wine a link to a file looks like a plain file until the
// opened handle names its target).
bool IsOwnEntry(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) return false;
  // The folder is opened and checked as a sweep opens it: its last segment
  // never through a link.
  const std::string canonical = CanonicalFolderOf(path);
  HANDLE folder = nullptr;
  if (canonical.empty() || OpenFolderChecked(canonical, ParentLength(canonical), FILE_READ_ATTRIBUTES, &folder) !=
                               FolderOpen::kOpen)
    return false;
  HANDLE file = ::CreateFileW(nt::LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  const bool own =
      file != INVALID_HANDLE_VALUE && ReachesOwnEntry(file, nt::ObjectName(folder), nt::Widen(path.substr(cut + 1)));
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  ::CloseHandle(folder);
  return own;
}

}  // namespace

SqliteDb::~SqliteDb() { Close(); }

void SqliteDb::Close() {
  if (m_db == nullptr) return;
  if (m_bInTransaction) Rollback();
  sqlite3_close_v2(m_db);
  m_db = nullptr;
}

DbOpen SqliteDb::Probe(const std::string& path) {
  if (path.find('\0') != std::string::npos) return DbOpen::kFailed;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return DbOpen::kMissing;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return DbOpen::kFailed;
  switch (ProbeFile(path)) {
    case FileProbe::kMissing: return DbOpen::kMissing;
    case FileProbe::kInUse: return DbOpen::kInUse;
    case FileProbe::kFailed: return DbOpen::kFailed;
    case FileProbe::kFree: break;
  }
  // The browser may hold only its journal open (between two transactions).
  for (const char* journal : {"-wal", "-journal"})
    if (ProbeFile(path + journal) == FileProbe::kInUse) return DbOpen::kInUse;
  if (!IsOwnEntry(path)) return DbOpen::kLink;
  if (!HasSqliteHeader(path)) return DbOpen::kNotDatabase;
  return DbOpen::kOpen;
}

DbOpen SqliteDb::OpenToCheck(const std::string& path) {
  Close();
  const DbOpen probed = Probe(path);
  if (probed != DbOpen::kOpen) return probed;
  if (!OpenSnapshot(path)) return DbOpen::kFailed;
  sqlite3_extended_result_codes(m_db, 1);
  const int rc = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return DbOpen::kOpen;
  Close();
  return IsDamaged(rc) ? DbOpen::kNotDatabase : DbOpen::kFailed;
}

DbOpen SqliteDb::OpenExclusive(const std::string& path) {
  Close();
  const DbOpen probed = Probe(path);
  if (probed != DbOpen::kOpen) return probed;

  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    Trace("SQLite cannot open %s: %s\n", path.c_str(), m_db ? sqlite3_errmsg(m_db) : "no memory");
    Close();
    return DbOpen::kFailed;
  }
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, 0);
  // Closing leaves the -wal as it is: a database refused or left unchanged
  // keeps every file byte for byte, and a preview changes nothing. Only a
  // commit lets the close copy the -wal in.
  sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  // The lock is taken for the whole connection, and it is refused while any
  // other connection (in WAL mode even an idle one) has the database open.
  int rc = sqlite3_exec(m_db, "PRAGMA locking_mode=EXCLUSIVE; PRAGMA temp_store=MEMORY;", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    m_bInTransaction = true;
    rc = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) return DbOpen::kOpen;
  const DbOpen result = IsBusy(rc) ? DbOpen::kInUse : IsDamaged(rc) ? DbOpen::kNotDatabase : DbOpen::kFailed;
  Trace("SQLite cannot lock %s: %s\n", path.c_str(), sqlite3_errmsg(m_db));
  Close();
  return result;
}

bool SqliteDb::OpenSnapshot(const std::string& path) {
  Close();
  if (path.find('\0') != std::string::npos || !HasSqliteHeader(path)) return false;
  // A URI names the file: C:\a b\x -> file:///C:/a%20b/x?immutable=1
  std::string uri = "file:///";
  const char* hex = "0123456789ABCDEF";
  for (unsigned char c : path) {
    if (c == '\\') {
      uri += '/';
    } else if (c == '%' || c == '?' || c == '#' || c == ' ' || c < 0x20) {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    } else {
      uri += static_cast<char>(c);
    }
  }
  uri += "?immutable=1";
  if (sqlite3_open_v2(uri.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
    Close();
    return false;
  }
  return true;
}

bool SqliteDb::OpenForWriting(const std::string& path) {
  Close();
  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    Close();
    return false;
  }
  sqlite3_busy_timeout(m_db, 2000);
  return true;
}

bool SqliteDb::Exec(const std::string& sql) {
  if (m_db == nullptr) return false;
  return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

int64_t SqliteDb::QueryInt(const std::string& sql, int64_t fallback) {
  SqliteQuery q(*this, sql);
  return q.Step() ? q.Int(0) : fallback;
}

std::vector<std::string> SqliteDb::QueryTexts(const std::string& sql) {
  std::vector<std::string> out;
  SqliteQuery q(*this, sql);
  while (q.Step()) out.push_back(q.Text(0));
  return out;
}

bool SqliteDb::HasTable(const std::string& table) {
  SqliteQuery q(*this, "SELECT 1 FROM main.sqlite_master WHERE type='table' AND name=?");
  q.Bind(1, table);
  return q.Step();
}

bool SqliteDb::HasColumns(const std::string& table, std::initializer_list<const char*> columns) {
  SqliteQuery q(*this, "SELECT 1 FROM pragma_table_info(?) WHERE name=?");
  for (const char* column : columns) {
    q.Reset();
    q.Bind(1, table).Bind(2, std::string(column));
    if (!q.Step()) return false;
  }
  return true;
}

std::vector<std::string> SqliteDb::TablesWithColumn(const std::string& column) {
  std::vector<std::string> out;
  SqliteQuery q(*this,
                "SELECT m.name FROM main.sqlite_master AS m, pragma_table_info(m.name) AS c "
                "WHERE m.type='table' AND c.name=? ORDER BY m.name");
  q.Bind(1, column);
  while (q.Step()) out.push_back(q.Text(0));
  return out;
}

bool SqliteDb::IntegrityOk() {
  SqliteQuery q(*this, "PRAGMA integrity_check");
  return q.Step() && q.Text(0) == "ok";
}

bool SqliteDb::Commit() {
  if (m_db == nullptr || !m_bInTransaction) return false;
  if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
    m_bInTransaction = false;
    // Changed on purpose: closing may now copy the -wal in and remove it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    return true;
  }
  Trace("SQLite commit failed: %s\n", sqlite3_errmsg(m_db));
  Rollback();
  return false;
}

void SqliteDb::Rollback() {
  if (m_db == nullptr || !m_bInTransaction) return;
  sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  m_bInTransaction = false;
}

bool SqliteDb::SetSecureDelete() { return Exec("PRAGMA secure_delete=ON"); }

bool SqliteDb::Vacuum() {
  if (m_db == nullptr || m_bInTransaction) return false;
  if (!Exec("VACUUM")) return false;
  // A WAL database keeps the rebuilt pages in its -wal until a checkpoint;
  // copy them into the file and leave the -wal empty.
  const std::vector<std::string> mode = QueryTexts("PRAGMA journal_mode");
  if (!mode.empty() && mode[0] == "wal") return Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  return true;
}

std::string SqliteDb::LastError() const { return m_db ? sqlite3_errmsg(m_db) : "not open"; }

SqliteQuery::SqliteQuery(SqliteDb& db, const std::string& sql) {
  if (db.Handle() == nullptr ||
      sqlite3_prepare_v2(db.Handle(), sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
    if (db.Handle() != nullptr) Trace("SQLite cannot prepare \"%s\": %s\n", sql.c_str(), sqlite3_errmsg(db.Handle()));
    m_stmt = nullptr;
    m_bFailed = true;
  }
}

SqliteQuery::~SqliteQuery() { sqlite3_finalize(m_stmt); }

SqliteQuery& SqliteQuery::Bind(int index, int64_t value) {
  if (m_stmt != nullptr) sqlite3_bind_int64(m_stmt, index, value);
  return *this;
}

SqliteQuery& SqliteQuery::Bind(int index, const std::string& value) {
  if (m_stmt != nullptr)
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteQuery& SqliteQuery::BindNull(int index) {
  if (m_stmt != nullptr) sqlite3_bind_null(m_stmt, index);
  return *this;
}

bool SqliteQuery::Step() {
  if (m_stmt == nullptr) return false;
  const int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) m_bFailed = true;
  return false;
}

bool SqliteQuery::Run() {
  if (m_stmt == nullptr) return false;
  int rc;
  while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
  }
  sqlite3_reset(m_stmt);
  if (rc != SQLITE_DONE) m_bFailed = true;
  return rc == SQLITE_DONE;
}

void SqliteQuery::Reset() {
  if (m_stmt == nullptr) return;
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

int64_t SqliteQuery::Int(int column) const { return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0; }

std::string SqliteQuery::Text(int column) const {
  if (m_stmt == nullptr) return std::string();
  const unsigned char* text = sqlite3_column_text(m_stmt, column);
  if (text == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
}

bool SqliteQuery::IsNull(int column) const {
  return m_stmt == nullptr || sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string SqlName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

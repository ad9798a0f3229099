// SqliteDb and SqliteQuery: the one door to SQLite, for the cleaners that
// work inside browser databases. A sweep opens a database only when nobody
// else has it open (no other handle on the file, and SQLite's exclusive lock
// granted at once), keeps that lock for the whole connection, and makes every
// change inside one transaction, so that a sweep killed at any moment leaves
// the old content or the new, never a damaged file. sqlite3.h stays behind
// this header: nothing outside engine/ sees it.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// How an exclusive open went.
enum class DbOpen {
  kOpen,         // opened, the exclusive lock held, a transaction begun
  kMissing,      // no such file
  kInUse,        // another process has the file open or holds a lock on it
  kNotDatabase,  // not a SQLite database, or damaged beyond reading
  kLink,         // a link to a file elsewhere: never written through
  kFailed,       // could not be opened for another reason
};

class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb();  // rolls back an open transaction, then closes
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Opens an existing database for a sweep: never creates one, gives up at
  // once when the file is busy (no waiting for a browser), takes SQLite's
  // exclusive lock and begins a transaction that holds it. The database's own
  // journal mode is kept (a WAL database opens in WAL mode and its -wal file
  // is SQLite's to handle). On every result but kOpen the file is unchanged.
  // Closing never copies a -wal into the file, nor deletes it, unless a
  // Commit changed the database.
  DbOpen OpenExclusive(const std::string& path);
  // Opens a database to judge it before any sweep opens it for writing: the
  // same checks as OpenExclusive (missing, held, link, not a database), then
  // a read-only connection in SQLite's immutable mode, which can neither
  // roll back a journal, copy a -wal, nor create or delete a file. It reads
  // the main file alone, as a browser's clean exit leaves it.
  DbOpen OpenToCheck(const std::string& path);
  // Opens a database only to read it, even while a browser holds it: no lock
  // is taken or waited for and nothing is ever written (SQLite's immutable
  // mode). What a browser has not yet copied from its -wal is not seen, and
  // a page it is writing may read as damaged: good enough to list, never
  // the ground for a change.
  bool OpenSnapshot(const std::string& path);
  // Opens or creates a database with an ordinary connection (the demo seeder,
  // tests and benchmarks build browser databases with it). False on failure.
  bool OpenForWriting(const std::string& path);
  bool IsOpen() const { return m_db != nullptr; }
  void Close();

  // Runs one or more statements that return no rows. False on error (the
  // message is in LastError).
  bool Exec(const std::string& sql);
  // The first column of the first row as an integer; fallback when the query
  // fails or returns no row.
  int64_t QueryInt(const std::string& sql, int64_t fallback = -1);
  // The first column of every row as text.
  std::vector<std::string> QueryTexts(const std::string& sql);

  // The schema: whether the table exists (in the main database), and whether
  // it has every one of the columns.
  bool HasTable(const std::string& table);
  bool HasColumns(const std::string& table, std::initializer_list<const char*> columns);
  // Every table of the main database that has a column of that name.
  std::vector<std::string> TablesWithColumn(const std::string& column);
  // PRAGMA integrity_check gives "ok".
  bool IntegrityOk();

  // Ends the transaction OpenExclusive began, and lets Close copy a -wal
  // into the file and remove it; false (and rolled back) when it could not
  // be committed. Rollback throws every change away.
  bool Commit();
  void Rollback();
  // Overwrite deleted content with zeros from now on (secure_delete), and
  // rebuild the file without its free pages. Vacuum runs after Commit.
  bool SetSecureDelete();
  bool Vacuum();

  std::string LastError() const;
  sqlite3* Handle() const { return m_db; }

 private:
  // The checks both opens share; kOpen when the file may be opened.
  static DbOpen Probe(const std::string& path);

  sqlite3* m_db = nullptr;
  bool m_bInTransaction = false;
};

// One prepared statement. Bind indexes start at 1, column indexes at 0.
class SqliteQuery {
 public:
  SqliteQuery(SqliteDb& db, const std::string& sql);
  ~SqliteQuery();
  SqliteQuery(const SqliteQuery&) = delete;
  SqliteQuery& operator=(const SqliteQuery&) = delete;

  bool Ok() const { return m_stmt != nullptr; }
  SqliteQuery& Bind(int index, int64_t value);
  SqliteQuery& Bind(int index, const std::string& value);
  SqliteQuery& BindNull(int index);
  // True while a row is ready; false at the end or on an error (see Failed).
  bool Step();
  // Runs a statement that returns no row to its end, then resets it so it can
  // be bound and run again. False on error.
  bool Run();
  void Reset();
  bool Failed() const { return m_bFailed; }
  int64_t Int(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3_stmt* m_stmt = nullptr;
  bool m_bFailed = false;
};

// Quotes a name for use as an SQL identifier ("moz_places" -> "\"moz_places\"").
std::string SqlName(const std::string& name);

// The steps every cleaner inside a browser database shares: what it expects
// of a database (its shape and the versions it may touch), the opening that
// judges a file before anything may write to it, the lines and outcomes of a
// file left alone, the commit, and the rows that tables the cleaner does not
// know refer to (which it keeps).
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "catalogue/browser_db_targets.h"
#include "catalogue/held_databases.h"

class SqliteDb;

// One table a cleaner reads or writes, with the columns it needs.
struct TableShape {
  const char* table;
  std::vector<const char*> columns;
};

enum class SchemaVersionKind {
  kUserVersion,   // PRAGMA user_version (Firefox)
  kChromiumMeta,  // the meta table's 'version' (Chromium)
  kNone,          // not judged by version
};

// What a cleaner expects of one kind of database. A newer version than the
// cleaner was tested with proceeds when every table and column is there; a
// version older than the browser itself still opens is refused, since the
// browser would replace the file rather than read it.
struct DbShape {
  std::vector<TableShape> tables;
  SchemaVersionKind versionKind;
  int oldestOpened;  // the oldest version the browser still opens
  int testedFrom;    // the versions this cleaner was tested with, for the trace
  int testedTo;
};

// The tables and columns of the shape that the database lacks, as
// "table" or "table.column", comma-separated; empty when all are there.
std::string MissingFromShape(SqliteDb& db, const DbShape& shape);
// The schema version the shape judges by, or -1 when the database has none.
int64_t SchemaVersionOf(SqliteDb& db, SchemaVersionKind kind);

// Judges the file on a connection that can change nothing (held, link, not a
// database, damaged, version, shape), and only then opens it exclusively for
// the sweep and checks the shape again. Every result but kCleaned has written
// its line and recorded its outcome; then the file is as it was, its -wal and
// -journal included. what names the database in the held line ("Firefox
// history"), label the browser and profile ("Firefox, ab12.default").
DbSweep OpenForSweep(SqliteDb& db, const std::string& path, const DbShape& shape, const std::string& what,
                     const std::string& label);

// Commits (in a preview: rolls back), then with the Shredder on rebuilds the
// file so that removed rows do not linger in free pages. kb grows by what the
// file shrank.
DbSweep FinishSweep(SqliteDb& db, const std::string& path, float sizeBefore, float* kb);
// A failed statement inside the transaction: everything is rolled back.
DbSweep AbandonSweep(SqliteDb& db, const std::string& path);
// A file judged and left: its line and its outcome.
void LogRefusedDatabase(const std::string& path, const std::string& why);

// A query of the rowids of `table` that a table outside `known` refers to:
// by a declared foreign key, or by a column whose name matches one of the
// LIKE patterns ("place_id", "%\_place\_id"). Empty when nothing refers.
std::string RowidsReferencedFromUnknownTables(SqliteDb& db, const std::string& table,
                                              const std::vector<std::string>& known,
                                              std::initializer_list<const char*> columnPatterns);
// The same, one query per referring table, so that what each keeps can be told.
struct UnknownReference {
  std::string table;  // the referring table
  std::string rowids; // a query of the rowids of the referred table it refers to
};
std::vector<UnknownReference> ReferencesFromUnknownTables(SqliteDb& db, const std::string& table,
                                                          const std::vector<std::string>& known,
                                                          std::initializer_list<const char*> columnPatterns);

// A database cleaner's last step: tells the record of held databases how
// the sweep of one database ended, and hands the result on.
inline DbSweep RememberIfHeld(DbSweep result, const std::string& path, const std::string& browser,
                              const std::string& what, const std::string& label) {
  AfterDatabaseSweep(path, browser, result == DbSweep::kInUse, result == DbSweep::kCleaned, what, label);
  return result;
}

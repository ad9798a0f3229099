// Opening, judging and finishing a browser database for a sweep.
#include "catalogue/db_sweep.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "engine/file_removal.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "engine/sqlite_db.h"
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"

namespace {

constexpr int kStatus = IDC_STATUS_INTERNET;

void LogHeld(const std::string& path, const std::string& what, const std::string& label) {
  LogFormat(kStatus, "   %s (%s): the browser is running; close it and sweep again.\n", what.c_str(), label.c_str());
  // Left at this sweep, whether or not an earlier one left it too: nothing
  // is scheduled, and a sweep beside a browser that never closes must not
  // report success.
  RecordOutcome(Outcome::kHeld, path, 0.0, "held by a running browser");
}

void LogFailed(const std::string& path, const std::string& error) {
  LogFormat(kStatus, "   Cannot clean %s (%s); left unchanged.\n", path.c_str(), error.c_str());
  RecordOutcome(Outcome::kFailed, path, 0.0, error);
}

// The line and outcome of an open that did not succeed; kCleaned for kOpen.
DbSweep ReportOpen(DbOpen opened, const std::string& path, const std::string& what, const std::string& label) {
  switch (opened) {
    case DbOpen::kOpen: return DbSweep::kCleaned;
    case DbOpen::kMissing: return DbSweep::kMissing;
    case DbOpen::kInUse: LogHeld(path, what, label); return DbSweep::kInUse;
    case DbOpen::kNotDatabase: LogRefusedDatabase(path, "not a SQLite database, or damaged"); return DbSweep::kRefused;
    case DbOpen::kLink: LogRefusedDatabase(path, "a link to a file elsewhere"); return DbSweep::kRefused;
    case DbOpen::kFailed: break;
  }
  LogFailed(path, "cannot be opened");
  return DbSweep::kFailed;
}

// Why the shape or version rules the database out; empty when they do not.
std::string Judge(SqliteDb& db, const DbShape& shape) {
  const std::string missing = MissingFromShape(db, shape);
  if (!missing.empty()) return "not the tables and columns expected (missing " + missing + ")";
  if (shape.versionKind == SchemaVersionKind::kNone) return std::string();
  const int64_t version = SchemaVersionOf(db, shape.versionKind);
  if (version <= 0) return "no schema version";
  if (version < shape.oldestOpened)
    return "schema version " + std::to_string(version) + " is older than the browser still opens";
  if (version > shape.testedTo)
    Trace("schema version %lld is newer than those tested (%d to %d); its shape is as expected\n",
          static_cast<long long>(version), shape.testedFrom, shape.testedTo);
  return std::string();
}

}  // namespace

std::string MissingFromShape(SqliteDb& db, const DbShape& shape) {
  std::string missing;
  auto add = [&missing](const std::string& what) { missing += (missing.empty() ? "" : ", ") + what; };
  for (const TableShape& table : shape.tables) {
    if (!db.HasTable(table.table)) {
      add(table.table);
      continue;
    }
    for (const char* column : table.columns)
      if (!db.HasColumns(table.table, {column})) add(std::string(table.table) + "." + column);
  }
  return missing;
}

int64_t SchemaVersionOf(SqliteDb& db, SchemaVersionKind kind) {
  switch (kind) {
    case SchemaVersionKind::kUserVersion: return db.QueryInt("PRAGMA user_version", -1);
    case SchemaVersionKind::kChromiumMeta:
      if (!db.HasColumns("meta", {"key", "value"})) return -1;
      return db.QueryInt("SELECT CAST(value AS INTEGER) FROM meta WHERE key = 'version'", -1);
    case SchemaVersionKind::kNone: break;
  }
  return -1;
}

void LogRefusedDatabase(const std::string& path, const std::string& why) {
  LogFormat(kStatus, "   Refused %s: %s; left unchanged.\n", path.c_str(), why.c_str());
  RecordOutcome(Outcome::kRefused, path, 0.0, why);
}

DbSweep OpenForSweep(SqliteDb& db, const std::string& path, const DbShape& shape, const std::string& what,
                     const std::string& label) {
  if (!RemovalAllowed(path)) return DbSweep::kRefused;
  const DbSweep checked = ReportOpen(db.OpenToCheck(path), path, what, label);
  if (checked != DbSweep::kCleaned) return checked;
  {
    SqliteQuery quick(db, "PRAGMA quick_check");
    if (!quick.Step() || quick.Text(0) != "ok") {
      db.Close();
      LogRefusedDatabase(path, "damaged (quick_check failed)");
      return DbSweep::kRefused;
    }
  }
  std::string why = Judge(db, shape);
  db.Close();
  if (!why.empty()) {
    LogRefusedDatabase(path, why);
    return DbSweep::kRefused;
  }
  const DbSweep opened = ReportOpen(db.OpenExclusive(path), path, what, label);
  if (opened != DbSweep::kCleaned) return opened;
  // What a -wal held may differ from the file alone.
  why = Judge(db, shape);
  if (!why.empty()) {
    db.Close();
    LogRefusedDatabase(path, why);
    return DbSweep::kRefused;
  }
  return DbSweep::kCleaned;
}

DbSweep FinishSweep(SqliteDb& db, const std::string& path, float sizeBefore, float* kb) {
  if (PreviewActive()) {
    db.Rollback();
    return DbSweep::kCleaned;
  }
  if (!db.Commit()) {
    LogFailed(path, db.LastError());
    return DbSweep::kFailed;
  }
  if (ShredderOn() && !db.Vacuum()) Trace("VACUUM of %s failed: %s\n", path.c_str(), db.LastError().c_str());
  db.Close();
  const float sizeAfter = FileSizeKB(path);
  if (kb != nullptr && sizeAfter < sizeBefore) *kb += sizeBefore - sizeAfter;
  return DbSweep::kCleaned;
}

DbSweep AbandonSweep(SqliteDb& db, const std::string& path) {
  const std::string error = db.LastError();
  db.Rollback();
  LogFailed(path, error);
  return DbSweep::kFailed;
}

std::vector<UnknownReference> ReferencesFromUnknownTables(SqliteDb& db, const std::string& table,
                                                          const std::vector<std::string>& known,
                                                          std::initializer_list<const char*> columnPatterns) {
  auto isKnown = [&](const std::string& name) {
    if (name == table || name.compare(0, 7, "sqlite_") == 0) return true;
    return std::find(known.begin(), known.end(), name) != known.end();
  };
  // (referring table, its column, the referred column or "" for the key)
  std::set<std::pair<std::string, std::pair<std::string, std::string>>> refs;
  {
    SqliteQuery fks(db,
                    "SELECT m.name, f.\"from\", coalesce(f.\"to\", '') FROM main.sqlite_master AS m, "
                    "pragma_foreign_key_list(m.name) AS f WHERE m.type = 'table' AND f.\"table\" = ? COLLATE NOCASE");
    fks.Bind(1, table);
    while (fks.Step())
      if (!isKnown(fks.Text(0))) refs.insert({fks.Text(0), {fks.Text(1), fks.Text(2)}});
  }
  for (const char* pattern : columnPatterns) {
    SqliteQuery named(db,
                      "SELECT m.name, c.name FROM main.sqlite_master AS m, pragma_table_info(m.name) AS c "
                      "WHERE m.type = 'table' AND c.name LIKE ? ESCAPE '\\'");
    named.Bind(1, std::string(pattern));
    while (named.Step())
      if (!isKnown(named.Text(0))) refs.insert({named.Text(0), {named.Text(1), std::string()}});
  }
  std::vector<UnknownReference> out;
  for (const auto& ref : refs) {
    const std::string referred = ref.second.second.empty() ? "rowid" : SqlName(ref.second.second);
    const std::string sql = std::string("SELECT rowid FROM ") + SqlName(table) + " WHERE " + referred +
                            " IN (SELECT " + SqlName(ref.second.first) + " FROM " + SqlName(ref.first) + ")";
    if (!out.empty() && out.back().table == ref.first)
      out.back().rowids += " UNION " + sql;
    else
      out.push_back({ref.first, sql});
  }
  return out;
}

std::string RowidsReferencedFromUnknownTables(SqliteDb& db, const std::string& table,
                                              const std::vector<std::string>& known,
                                              std::initializer_list<const char*> columnPatterns) {
  std::string sql;
  for (const UnknownReference& ref : ReferencesFromUnknownTables(db, table, known, columnPatterns))
    sql += (sql.empty() ? "" : " UNION ") + ref.rowids;
  return sql;
}

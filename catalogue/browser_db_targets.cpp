// Firefox history and browser cookies, cleaned inside their databases.
#include "catalogue/browser_db_targets.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "catalogue/browsers.h"
#include "catalogue/firefox_targets.h"
#include "catalogue/held_databases.h"
#include "engine/outcome_ledger.h"
#include "engine/file_removal.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "engine/sqlite_db.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"

const char kFirefoxHistoryChoice[] = "Firefox history (bookmarks kept)";
const char kChromiumCookiesChoice[] = "Chrome and Edge cookies (friendly sites kept)";
const char kFirefoxCookiesChoice[] = "Firefox cookies (friendly sites kept)";

namespace {

constexpr int kStatus = IDC_STATUS_INTERNET;

// Tables whose rows record browsing itself; they are emptied when present.
const char* const kHistoryTables[] = {"moz_historyvisits", "moz_inputhistory", "moz_historyvisits_extra",
                                      "moz_places_metadata", "moz_places_metadata_search_queries",
                                      "moz_session_to_places", "moz_session_metadata"};
// What the user keeps; never touched, and never swept for dangling rows.
const char* const kKeptTables[] = {"moz_bookmarks", "moz_keywords", "moz_items_annos", "moz_places"};

bool IsKeptTable(const std::string& table) {
  for (const char* kept : kKeptTables)
    if (table == kept) return true;
  return false;
}

std::string FileName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Lines shared by every database: busy, refused, failed.
// A database already remembered as held was counted as not removed when it
// was first found held; from then on it waits to be cleaned once free.
void LogInUse(const std::string& path, const std::string& what, const std::string& label) {
  LogFormat(kStatus, "   %s (%s): the browser is running; close it and sweep again.\n", what.c_str(), label.c_str());
  const bool remembered = !PreviewActive() && IsRememberedDatabase(path);
  RecordOutcome(remembered ? Outcome::kScheduled : Outcome::kHeld, path, 0.0, "held by the running browser");
}

void LogRefused(const std::string& path, const char* why) {
  LogFormat(kStatus, "   Refused %s: %s; left unchanged.\n", path.c_str(), why);
}

void LogFailed(const std::string& path, const std::string& error) {
  LogFormat(kStatus, "   Cannot clean %s (%s); left unchanged.\n", path.c_str(), error.c_str());
  NoteRemovalFailure();
}

// Opens a database for a sweep and writes the line of any result but kOpen.
DbSweep OpenForSweep(SqliteDb& db, const std::string& path, const std::string& what, const std::string& label) {
  if (!RemovalAllowed(path)) return DbSweep::kRefused;
  switch (db.OpenExclusive(path)) {
    case DbOpen::kOpen: return DbSweep::kCleaned;
    case DbOpen::kMissing: return DbSweep::kMissing;
    case DbOpen::kInUse: LogInUse(path, what, label); return DbSweep::kInUse;
    case DbOpen::kNotDatabase: LogRefused(path, "not a SQLite database, or damaged"); return DbSweep::kRefused;
    case DbOpen::kLink: LogRefused(path, "a link to a file elsewhere"); return DbSweep::kRefused;
    case DbOpen::kFailed: break;
  }
  LogFailed(path, "cannot be opened");
  return DbSweep::kFailed;
}

// A damaged page found only now still refuses the file, before any change.
bool PassesQuickCheck(SqliteDb& db, const std::string& path) {
  SqliteQuery q(db, "PRAGMA quick_check");
  if (q.Step() && q.Text(0) == "ok") return true;
  LogRefused(path, "damaged (quick_check failed)");
  return false;
}

// Commits, then with the Shredder on rebuilds the file so that removed rows
// do not linger in free pages. kb grows by what the file shrank.
DbSweep Finish(SqliteDb& db, const std::string& path, float sizeBefore, float* kb) {
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

// A failed statement inside the transaction: everything is rolled back.
DbSweep Abandon(SqliteDb& db, const std::string& path) {
  const std::string error = db.LastError();
  db.Rollback();
  LogFailed(path, error);
  return DbSweep::kFailed;
}

// "moc.elpmaxe." -> "example.com"; an empty or "." rev_host is a local file.
std::string HostFromRevHost(std::string rev) {
  std::reverse(rev.begin(), rev.end());
  if (!rev.empty() && rev.front() == '.') rev.erase(0, 1);
  return rev.empty() ? std::string("(local files)") : rev;
}

// --- places.sqlite ---------------------------------------------------------------

bool PlacesSchemaKnown(SqliteDb& db) {
  return db.HasColumns("moz_places", {"id", "url", "rev_host", "visit_count", "frecency", "last_visit_date"}) &&
         db.HasColumns("moz_historyvisits", {"id", "place_id"}) && db.HasColumns("moz_bookmarks", {"id", "fk"}) &&
         db.HasColumns("moz_keywords", {"id", "place_id"}) && db.HasColumns("moz_inputhistory", {"place_id"});
}

// temp.kept_places: every place a bookmark (tags are bookmarks too), a
// keyword, a kept annotation or another counted reference still needs. Page
// annotations of downloads are download history and go with it.
bool BuildKeptPlaces(SqliteDb& db) {
  std::string sql =
      "DROP TABLE IF EXISTS temp.kept_places;"
      "CREATE TEMP TABLE kept_places(id INTEGER PRIMARY KEY);"
      "INSERT OR IGNORE INTO kept_places SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL;"
      "INSERT OR IGNORE INTO kept_places SELECT place_id FROM moz_keywords WHERE place_id IS NOT NULL;";
  if (db.HasColumns("moz_places", {"foreign_count"}))
    sql += "INSERT OR IGNORE INTO kept_places SELECT id FROM moz_places WHERE foreign_count > 0;";
  if (db.HasColumns("moz_annos", {"place_id", "anno_attribute_id"}) && db.HasColumns("moz_anno_attributes", {"id", "name"}))
    sql +=
        "INSERT OR IGNORE INTO kept_places SELECT a.place_id FROM moz_annos AS a "
        "LEFT JOIN moz_anno_attributes AS n ON n.id = a.anno_attribute_id "
        "WHERE a.place_id IS NOT NULL AND coalesce(n.name, '') NOT LIKE 'downloads/%';";
  return db.Exec(sql);
}

struct HostHistory {
  int64_t visits = 0;
  int64_t pages = 0;
};

// What would go, per host: every visit, and every page not kept.
bool CountPlacesByHost(SqliteDb& db, std::map<std::string, HostHistory>& out) {
  SqliteQuery visits(db,
                     "SELECT p.rev_host, count(*) FROM moz_historyvisits AS v "
                     "JOIN moz_places AS p ON p.id = v.place_id GROUP BY p.rev_host");
  while (visits.Step()) out[HostFromRevHost(visits.Text(0))].visits += visits.Int(1);
  SqliteQuery pages(db,
                    "SELECT rev_host, count(*) FROM moz_places "
                    "WHERE id NOT IN (SELECT id FROM temp.kept_places) GROUP BY rev_host");
  while (pages.Step()) out[HostFromRevHost(pages.Text(0))].pages += pages.Int(1);
  return !visits.Failed() && !pages.Failed();
}

bool DeletePlacesHistory(SqliteDb& db) {
  std::string sql;
  for (const char* table : kHistoryTables)
    if (db.HasTable(table)) sql += "DELETE FROM " + SqlName(table) + ";";
  sql += "DELETE FROM moz_places WHERE id NOT IN (SELECT id FROM temp.kept_places);";
  // Rows elsewhere that still point at a removed place.
  for (const std::string& table : db.TablesWithColumn("place_id"))
    if (!IsKeptTable(table))
      sql += "DELETE FROM " + SqlName(table) + " WHERE place_id NOT IN (SELECT id FROM moz_places);";
  if (db.HasColumns("moz_places", {"origin_id"}) && db.HasColumns("moz_origins", {"id"}))
    sql += "DELETE FROM moz_origins WHERE id NOT IN (SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL);";
  // What stays is no longer visited: no counts, no frecency until Firefox
  // works it out again from the bookmarks alone.
  sql += "UPDATE moz_places SET visit_count = 0, frecency = 0, last_visit_date = NULL";
  if (db.HasColumns("moz_places", {"typed"})) sql += ", typed = 0";
  if (db.HasColumns("moz_places", {"recalc_frecency"})) sql += ", recalc_frecency = 1";
  sql += ";";
  if (db.HasColumns("moz_origins", {"frecency"})) {
    sql += "UPDATE moz_origins SET frecency = 0";
    if (db.HasColumns("moz_origins", {"recalc_frecency"})) sql += ", recalc_frecency = 1";
    sql += ";";
  }
  return db.Exec(sql);
}

// favicons.sqlite: the pages no longer in places.sqlite lose their icon
// mappings, and icons no page uses any more go.
DbSweep CleanFaviconsOnce(const std::string& path, const std::string& label, const std::set<std::string>& keptUrls,
                          int* count, float* kb) {
  SqliteDb db;
  const float sizeBefore = FileSizeKB(path);
  const DbSweep opened = OpenForSweep(db, path, "Firefox icons", label);
  if (opened != DbSweep::kCleaned) return opened;
  if (!PassesQuickCheck(db, path)) return DbSweep::kRefused;
  if (!db.HasColumns("moz_pages_w_icons", {"id", "page_url"}) ||
      !db.HasColumns("moz_icons_to_pages", {"page_id", "icon_id"}) || !db.HasColumns("moz_icons", {"id"})) {
    LogRefused(path, "not the tables and columns expected");
    return DbSweep::kRefused;
  }
  if (!db.Exec("CREATE TEMP TABLE kept_urls(url TEXT PRIMARY KEY) WITHOUT ROWID")) return Abandon(db, path);
  {
    SqliteQuery insert(db, "INSERT OR IGNORE INTO temp.kept_urls VALUES (?)");
    for (const std::string& url : keptUrls) {
      insert.Bind(1, url);
      if (!insert.Run()) return Abandon(db, path);
    }
  }
  const int64_t pages = db.QueryInt("SELECT count(*) FROM moz_pages_w_icons WHERE page_url NOT IN temp.kept_urls", 0);
  const int64_t icons = db.QueryInt(
      "SELECT count(*) FROM moz_icons WHERE id NOT IN (SELECT icon_id FROM moz_icons_to_pages "
      "WHERE page_id IN (SELECT id FROM moz_pages_w_icons WHERE page_url IN temp.kept_urls))",
      0);
  if (pages == 0 && icons == 0) {
    db.Rollback();
    return DbSweep::kCleaned;
  }
  if (!PreviewActive()) {
    if (ShredderOn()) db.SetSecureDelete();
    if (!db.Exec("DELETE FROM moz_pages_w_icons WHERE page_url NOT IN temp.kept_urls;"
                 "DELETE FROM moz_icons_to_pages WHERE page_id NOT IN (SELECT id FROM moz_pages_w_icons);"
                 "DELETE FROM moz_icons WHERE id NOT IN (SELECT icon_id FROM moz_icons_to_pages);"))
      return Abandon(db, path);
  }
  LogItem(count, kStatus, "   ", "Remove icons: %lld page(s), %lld icon(s) (Firefox, %s).\n",
          static_cast<long long>(pages), static_cast<long long>(icons), label.c_str());
  return Finish(db, path, sizeBefore, kb);
}

DbSweep CleanFavicons(const std::string& profile, const std::string& label, const std::set<std::string>& keptUrls,
                      int* count, float* kb) {
  const std::string path = profile + "\\favicons.sqlite";
  const DbSweep result = CleanFaviconsOnce(path, label, keptUrls, count, kb);
  AfterDatabaseSweep(path, "Firefox", result, "Firefox icons", label);
  return result;
}

// --- Cookies ---------------------------------------------------------------------

struct CookieSchema {
  const char* table;
  const char* hostColumn;
};

CookieSchema SchemaOf(CookieStore store) {
  return store == CookieStore::kChromium ? CookieSchema{"cookies", "host_key"} : CookieSchema{"moz_cookies", "host"};
}

// The schema version to judge the database by, or -1 when it does not say.
// Chromium records the oldest version of its own code that can still use the
// database ("last_compatible_version"): a newer database that code of a
// known version can use is one this cleaner understands too.
int64_t CookieSchemaVersion(SqliteDb& db, CookieStore store) {
  if (store == CookieStore::kFirefox) return db.QueryInt("PRAGMA user_version", -1);
  if (!db.HasColumns("meta", {"key", "value"})) return -1;
  const int64_t version = db.QueryInt("SELECT CAST(value AS INTEGER) FROM meta WHERE key = 'version'", -1);
  const int64_t compatible =
      db.QueryInt("SELECT CAST(value AS INTEGER) FROM meta WHERE key = 'last_compatible_version'", -1);
  return version <= 0 ? -1 : compatible > 0 && compatible < version ? compatible : version;
}

// Reads the cookie hosts of one database without changing it; from a
// snapshot while the browser holds it (the usual case while a user sorts
// the cookies).
bool ReadCookieHosts(const std::string& path, CookieStore store, std::vector<std::string>& hosts) {
  PreviewScope readOnly(true);
  SqliteDb db;
  const DbOpen opened = db.OpenExclusive(path);
  if (opened == DbOpen::kInUse ? !db.OpenSnapshot(path) : opened != DbOpen::kOpen) return false;
  const CookieSchema schema = SchemaOf(store);
  if (!db.HasColumns(schema.table, {schema.hostColumn})) return false;
  SqliteQuery q(db, std::string("SELECT DISTINCT ") + schema.hostColumn + " FROM " + schema.table);
  while (q.Step()) hosts.push_back(q.Text(0));
  return !q.Failed();
}

std::string ProfileLabel(const std::string& browser, const std::string& profile) { return browser + ", " + profile; }

// Browsers built on Chromium: their user-data folders below the local
// application-data folder.
struct ChromiumBrowser {
  const char* name;
  const char* userData;
};
const ChromiumBrowser kChromiumBrowsers[] = {
    {"Chrome", "Google\\Chrome\\User Data"},
    {"Edge", "Microsoft\\Edge\\User Data"},
    {"Brave", "BraveSoftware\\Brave-Browser\\User Data"},
    {"Vivaldi", "Vivaldi\\User Data"},
};

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// --- Public --------------------------------------------------------------------

namespace {

DbSweep CleanPlacesOnce(const std::string& profileFolder, const std::string& path, const std::string& label,
                        int* count, float* kb) {
  const float sizeBefore = FileSizeKB(path);
  SqliteDb db;
  const DbSweep opened = OpenForSweep(db, path, "Firefox history", label);
  if (opened != DbSweep::kCleaned) return opened;
  if (!PassesQuickCheck(db, path)) return DbSweep::kRefused;
  const int64_t version = db.QueryInt("PRAGMA user_version", -1);
  if (!PlacesSchemaKnown(db) || version <= 0) {
    LogRefused(path, "not the tables and columns expected");
    return DbSweep::kRefused;
  }
  if (version > kMaxPlacesSchema) {
    LogRefused(path, "made by a newer Firefox than this version of Morvane knows");
    return DbSweep::kRefused;
  }
  if (!BuildKeptPlaces(db)) return Abandon(db, path);
  std::map<std::string, HostHistory> byHost;
  if (!CountPlacesByHost(db, byHost)) return Abandon(db, path);
  std::set<std::string> keptUrls;
  {
    SqliteQuery urls(db, "SELECT url FROM moz_places WHERE id IN (SELECT id FROM temp.kept_places)");
    while (urls.Step()) keptUrls.insert(urls.Text(0));
  }
  if (!byHost.empty()) {
    if (!PreviewActive()) {
      if (ShredderOn()) db.SetSecureDelete();
      if (!DeletePlacesHistory(db)) return Abandon(db, path);
    }
    for (const auto& host : byHost)
      LogItem(count, kStatus, "   ", "Remove history: %s, %lld visit(s), %lld page(s) (Firefox, %s).\n",
              host.first.c_str(), static_cast<long long>(host.second.visits),
              static_cast<long long>(host.second.pages), label.c_str());
    const DbSweep finished = Finish(db, path, sizeBefore, kb);
    if (finished != DbSweep::kCleaned) return finished;
  } else {
    db.Rollback();
  }
  db.Close();
  // The icons follow only a places.sqlite that was cleaned (or, in preview,
  // would be): their list of pages comes from it.
  CleanFavicons(profileFolder, label, keptUrls, count, kb);
  return DbSweep::kCleaned;
}

DbSweep CleanCookiesOnce(const std::string& path, CookieStore store, const std::string& browser,
                         const std::string& label, const std::vector<std::string>& friendlyHosts, int* count,
                         float* kb);

}  // namespace

DbSweep CleanFirefoxPlaces(const std::string& profileFolder, const std::string& label, int* count, float* kb) {
  const std::string path = profileFolder + "\\places.sqlite";
  const DbSweep result = CleanPlacesOnce(profileFolder, path, label, count, kb);
  AfterDatabaseSweep(path, "Firefox", result, "Firefox history", label);
  return result;
}

DbSweep CleanCookieDatabase(const std::string& path, CookieStore store, const std::string& browser,
                            const std::string& profile, const std::vector<std::string>& friendlyHosts, int* count,
                            float* kb) {
  const std::string label = ProfileLabel(browser, profile);
  const DbSweep result = CleanCookiesOnce(path, store, browser, label, friendlyHosts, count, kb);
  AfterDatabaseSweep(path, browser, result, browser + " cookies", label);
  return result;
}

namespace {

DbSweep CleanCookiesOnce(const std::string& path, CookieStore store, const std::string& browser,
                         const std::string& label, const std::vector<std::string>& friendlyHosts, int* count,
                         float* kb) {
  const float sizeBefore = FileSizeKB(path);
  SqliteDb db;
  const DbSweep opened = OpenForSweep(db, path, browser + " cookies", label);
  if (opened != DbSweep::kCleaned) return opened;
  if (!PassesQuickCheck(db, path)) return DbSweep::kRefused;
  const CookieSchema schema = SchemaOf(store);
  const int64_t version = CookieSchemaVersion(db, store);
  if (!db.HasColumns(schema.table, {schema.hostColumn, "name"}) || version <= 0) {
    LogRefused(path, "not the tables and columns expected");
    return DbSweep::kRefused;
  }
  if (version > (store == CookieStore::kChromium ? kMaxChromiumCookiesSchema : kMaxFirefoxCookiesSchema)) {
    LogRefused(path, "made by a newer browser than this version of Morvane knows");
    return DbSweep::kRefused;
  }
  std::vector<std::pair<int64_t, std::string>> doomed;
  {
    SqliteQuery rows(db, std::string("SELECT rowid, ") + schema.hostColumn + " FROM " + schema.table + " ORDER BY rowid");
    while (rows.Step()) {
      std::string host = rows.Text(1);
      if (!CookieHostKept(host, friendlyHosts)) doomed.emplace_back(rows.Int(0), std::move(host));
    }
    if (rows.Failed()) return Abandon(db, path);
  }
  if (doomed.empty()) {
    db.Rollback();
    return DbSweep::kCleaned;
  }
  if (!PreviewActive()) {
    if (ShredderOn()) db.SetSecureDelete();
    SqliteQuery remove(db, std::string("DELETE FROM ") + schema.table + " WHERE rowid = ?");
    for (const auto& row : doomed) {
      remove.Bind(1, row.first);
      if (!remove.Run()) return Abandon(db, path);
    }
  }
  for (const auto& row : doomed)
    LogItem(count, kStatus, "   ", "Remove cookie: %s (%s).\n", row.second.c_str(), label.c_str());
  return Finish(db, path, sizeBefore, kb);
}

}  // namespace

std::string NormalizeCookieHost(const std::string& host) {
  std::string out;
  size_t from = 0;
  while (from < host.size() && (host[from] == '.' || host[from] == ' ')) ++from;
  for (size_t i = from; i < host.size(); ++i) out += static_cast<char>(std::tolower(static_cast<unsigned char>(host[i])));
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return out;
}

bool CookieHostKept(const std::string& host, const std::vector<std::string>& friendlyHosts) {
  const std::string cookie = NormalizeCookieHost(host);
  if (cookie.empty()) return false;
  for (const std::string& entry : friendlyHosts) {
    const std::string friendly = NormalizeCookieHost(entry);
    if (friendly.empty()) continue;
    if (cookie == friendly) return true;
    if (cookie.size() > friendly.size() && cookie.compare(cookie.size() - friendly.size(), friendly.size(), friendly) == 0 &&
        cookie[cookie.size() - friendly.size() - 1] == '.')
      return true;
  }
  return false;
}

std::vector<CookieDatabase> FindCookieDatabases() {
  std::vector<CookieDatabase> found;
  const std::string local = UserShellFolder("Local AppData");
  if (!local.empty()) {
    for (const ChromiumBrowser& browser : kChromiumBrowsers) {
      ForEachSubfolder(local + "\\" + browser.userData, [&](const std::string& profile) {
        // Today's place first; older versions kept the file in the profile.
        for (const char* name : {"\\Network\\Cookies", "\\Cookies"})
          if (FileExists(profile + name))
            found.push_back({profile + name, CookieStore::kChromium, browser.name, FileName(profile)});
      });
    }
  }
  ForEachFirefoxProfile([&](const std::string& profile) {
    if (FileExists(profile + "\\cookies.sqlite"))
      found.push_back({profile + "\\cookies.sqlite", CookieStore::kFirefox, "Firefox", FileName(profile)});
  });
  return found;
}

std::vector<CookieHostSeen> CollectCookieHosts() {
  std::map<std::string, std::vector<std::string>> browsersOf;
  for (const CookieDatabase& database : FindCookieDatabases()) {
    std::vector<std::string> hosts;
    if (!ReadCookieHosts(database.path, database.store, hosts)) continue;
    for (const std::string& host : hosts) {
      const std::string normal = NormalizeCookieHost(host);
      if (normal.empty()) continue;
      std::vector<std::string>& browsers = browsersOf[normal];
      if (std::find(browsers.begin(), browsers.end(), database.browser) == browsers.end())
        browsers.push_back(database.browser);
    }
  }
  std::vector<CookieHostSeen> out;
  for (const auto& entry : browsersOf) {
    std::string browsers;
    for (const std::string& b : entry.second) browsers += (browsers.empty() ? "" : ", ") + b;
    out.push_back({entry.first, browsers});
  }
  return out;
}

void CleanFirefoxHistory(SweepWorker*, int* count, float* kb) {
  if (!RuleChoiceOn(kFirefoxHistoryChoice, true)) return;
  bool opened = false;
  ForEachFirefoxProfile([&](const std::string& profile) {
    if (!FileExists(profile + "\\places.sqlite")) return;
    if (!opened) LogLine("Start clean up Firefox history (bookmarks kept).\n", 0);
    opened = true;
    CleanFirefoxPlaces(profile, FileName(profile), count, kb);
  });
}

void CleanBrowserCookies(SweepWorker*, int* count, float* kb) {
  const bool chromium = RuleChoiceOn(kChromiumCookiesChoice, true);
  const bool firefox = RuleChoiceOn(kFirefoxCookiesChoice, true);
  if (!chromium && !firefox) return;
  std::vector<std::string> friendly;
  // Without the keep list every cookie would look unwanted: sweep none.
  if (!g_InternetSettings.GetFriendlyHosts(friendly)) return;
  bool opened = false;
  for (const CookieDatabase& database : FindCookieDatabases()) {
    if (!(database.store == CookieStore::kChromium ? chromium : firefox)) continue;
    if (!opened) LogLine("Start clean up browser cookies (friendly sites kept).\n", 0);
    opened = true;
    CleanCookieDatabase(database.path, database.store, database.browser, database.profile, friendly, count, kb);
  }
}

void CleanBrowserDatabases(const BrowserInfo& browser, int* count, float* kb) {
  if (browser.family == BrowserFamily::kFirefox && RuleChoiceOn(browser.historyChoice, true)) {
    EntryScope entry(SWEEP_CATEGORY_INTERNET, browser.historyChoice);
    ForEachFirefoxProfile([&](const std::string& profile) {
      if (FileExists(profile + "\\places.sqlite")) CleanFirefoxPlaces(profile, FileName(profile), count, kb);
    });
  }
  if (!RuleChoiceOn(browser.cookieChoice, true)) return;
  std::vector<std::string> friendly;
  if (!g_InternetSettings.GetFriendlyHosts(friendly)) return;
  EntryScope entry(SWEEP_CATEGORY_INTERNET, browser.cookieChoice);
  for (const CookieDatabase& database : FindCookieDatabases())
    if (_stricmp(database.browser.c_str(), browser.name) == 0)
      CleanCookieDatabase(database.path, database.store, database.browser, database.profile, friendly, count, kb);
}

// Firefox history and browser cookies, cleaned inside their databases.
#include "catalogue/browser_db_targets.h"

#include "engine/browsers.h"
#include "catalogue/db_sweep.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "catalogue/firefox_targets.h"
#include "engine/entry_selection.h"
#include "engine/file_removal.h"
#include "engine/path_text.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "engine/sqlite_db.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"

namespace {

constexpr int kStatus = IDC_STATUS_INTERNET;

// Tables whose rows record browsing itself; they are emptied when present
// (moz_historyvisits but for the visits an unknown table refers to).
// moz_newtab_shortcuts_interaction holds when each new-tab shortcut (a
// visited page) was shown and clicked, the two story tables when the new
// tab's stories were.
const char* const kHistoryTables[] = {"moz_historyvisits", "moz_inputhistory", "moz_historyvisits_extra",
                                      "moz_places_metadata", "moz_places_metadata_search_queries",
                                      "moz_session_to_places", "moz_session_metadata",
                                      "moz_newtab_shortcuts_interaction", "moz_newtab_story_click",
                                      "moz_newtab_story_impression"};
// What the user keeps; never touched, and never swept for dangling rows.
const char* const kKeptTables[] = {"moz_bookmarks", "moz_keywords", "moz_items_annos", "moz_places"};
// Every other table of places.sqlite this cleaner knows. A place that a
// table outside all three lists refers to stays: a newer Firefox may keep
// something there that the user would miss.
const char* const kOtherKnownTables[] = {"moz_origins", "moz_annos", "moz_anno_attributes", "moz_bookmarks_deleted",
                                         "moz_meta", "moz_places_extra", "moz_previews_tombstones"};

bool IsKeptTable(const std::string& table) {
  for (const char* kept : kKeptTables)
    if (table == kept) return true;
  return false;
}

std::vector<std::string> KnownPlacesTables() {
  std::vector<std::string> known;
  for (const char* t : kHistoryTables) known.push_back(t);
  for (const char* t : kKeptTables) known.push_back(t);
  for (const char* t : kOtherKnownTables) known.push_back(t);
  return known;
}

bool IsKnownPlacesTable(const std::string& table) {
  const std::vector<std::string> known = KnownPlacesTables();
  return std::find(known.begin(), known.end(), table) != known.end();
}

// --- places.sqlite ---------------------------------------------------------------

// What the history cleaner reads and writes; the rest it uses when present.
const DbShape kPlacesShape{{{"moz_places", {"id", "url", "rev_host", "visit_count", "frecency", "last_visit_date"}},
                            {"moz_historyvisits", {"id", "place_id"}},
                            {"moz_bookmarks", {"id", "fk"}},
                            {"moz_keywords", {"id", "place_id"}},
                            {"moz_inputhistory", {"place_id"}}},
                           SchemaVersionKind::kUserVersion,
                           kOldestPlacesSchema,
                           77,  // the hand-made fixtures
                           kNewestTestedPlacesSchema};

// What a table this cleaner does not know refers to, by the columns a
// reference to each of the three tables would carry.
struct UnknownRefs {
  std::vector<UnknownReference> places, visits, origins;
};

UnknownRefs FindUnknownRefs(SqliteDb& db) {
  const std::vector<std::string> known = KnownPlacesTables();
  UnknownRefs refs;
  refs.places = ReferencesFromUnknownTables(db, "moz_places", known,
                                            {"place_id", "%\\_place\\_id", "page_id", "%\\_page\\_id"});
  if (db.HasColumns("moz_historyvisits", {"id"}))
    refs.visits = ReferencesFromUnknownTables(db, "moz_historyvisits", known, {"visit_id", "%\\_visit\\_id"});
  if (db.HasColumns("moz_origins", {"id"}))
    refs.origins = ReferencesFromUnknownTables(db, "moz_origins", known, {"origin_id", "%\\_origin\\_id"});
  return refs;
}

std::string UnionOf(const std::vector<UnknownReference>& refs) {
  std::string sql;
  for (const UnknownReference& ref : refs) sql += (sql.empty() ? "" : " UNION ") + ref.rowids;
  return sql;
}

// The lines that say what each unknown table kept.
void LogUnknownKeeps(SqliteDb& db, const UnknownRefs& refs, const std::string& label) {
  const std::pair<const std::vector<UnknownReference>*, const char*> kinds[] = {
      {&refs.places, "page(s)"}, {&refs.visits, "visit(s)"}, {&refs.origins, "site(s)"}};
  for (const auto& kind : kinds)
    for (const UnknownReference& ref : *kind.first) {
      const int64_t n = db.QueryInt("SELECT count(*) FROM (" + ref.rowids + ")", 0);
      if (n > 0)
        LogFormat(kStatus, "   Kept %lld %s that the table %s refers to (Firefox, %s).\n", static_cast<long long>(n),
                  kind.second, ref.table.c_str(), label.c_str());
    }
}

// temp.kept_places: every place a bookmark (tags are bookmarks too), a
// keyword, a kept annotation, another counted reference or a table this
// cleaner does not know still needs (itself, or through a visit it refers
// to); temp.kept_visits and temp.kept_origins: the visits and sites such a
// table refers to. Page annotations of downloads are download history and
// go with it.
bool BuildKeptPlaces(SqliteDb& db, const UnknownRefs& refs) {
  std::string sql =
      "DROP TABLE IF EXISTS temp.kept_places;"
      "DROP TABLE IF EXISTS temp.kept_visits;"
      "DROP TABLE IF EXISTS temp.kept_origins;"
      "CREATE TEMP TABLE kept_places(id INTEGER PRIMARY KEY);"
      "CREATE TEMP TABLE kept_visits(id INTEGER PRIMARY KEY);"
      "CREATE TEMP TABLE kept_origins(id INTEGER PRIMARY KEY);"
      "INSERT OR IGNORE INTO kept_places SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL;"
      "INSERT OR IGNORE INTO kept_places SELECT place_id FROM moz_keywords WHERE place_id IS NOT NULL;";
  if (db.HasColumns("moz_places", {"foreign_count"}))
    sql += "INSERT OR IGNORE INTO kept_places SELECT id FROM moz_places WHERE foreign_count > 0;";
  if (db.HasColumns("moz_annos", {"place_id", "anno_attribute_id"}) && db.HasColumns("moz_anno_attributes", {"id", "name"}))
    sql +=
        "INSERT OR IGNORE INTO kept_places SELECT a.place_id FROM moz_annos AS a "
        "LEFT JOIN moz_anno_attributes AS n ON n.id = a.anno_attribute_id "
        "WHERE a.place_id IS NOT NULL AND coalesce(n.name, '') NOT LIKE 'downloads/%';";
  const std::string places = UnionOf(refs.places), visits = UnionOf(refs.visits), origins = UnionOf(refs.origins);
  if (!places.empty()) sql += "INSERT OR IGNORE INTO kept_places " + places + ";";
  if (!visits.empty())
    sql += "INSERT OR IGNORE INTO kept_visits " + visits +
           ";"
           "INSERT OR IGNORE INTO kept_places SELECT place_id FROM moz_historyvisits "
           "WHERE id IN (SELECT id FROM temp.kept_visits) AND place_id IS NOT NULL;";
  if (!origins.empty()) sql += "INSERT OR IGNORE INTO kept_origins " + origins + ";";
  return db.Exec(sql);
}

struct HostHistory {
  int64_t visits = 0;
  int64_t pages = 0;
};

// What would go, per site: every visit, and every page not kept.
// The item a host's history is: its pages that go, or, where every page of
// the host stays (bookmarked), its visits, never "(0)".
std::string HistoryItemName(const std::string& host, int64_t pages, int64_t visits, const std::string& path) {
  const std::string what = pages > 0 ? std::to_string(pages) + (pages == 1 ? " page" : " pages")
                                     : std::to_string(visits) + (visits == 1 ? " visit" : " visits");
  return "history of " + host + " (" + what + ") in " + path;
}

bool CountPlacesByHost(SqliteDb& db, std::map<std::string, HostHistory>& out) {
  SqliteQuery visits(db,
                     "SELECT p.rev_host, count(*) FROM moz_historyvisits AS v "
                     "JOIN moz_places AS p ON p.id = v.place_id "
                     "WHERE v.id NOT IN (SELECT id FROM temp.kept_visits) GROUP BY p.rev_host");
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
    if (db.HasTable(table))
      sql += "DELETE FROM " + SqlName(table) +
             (std::string(table) == "moz_historyvisits" ? " WHERE id NOT IN (SELECT id FROM temp.kept_visits)" : "") +
             ";";
  sql += "DELETE FROM moz_places WHERE id NOT IN (SELECT id FROM temp.kept_places);";
  // Rows of known tables that still point at a removed place. Unknown
  // tables are never written: the places they refer to were kept.
  for (const std::string& table : db.TablesWithColumn("place_id"))
    if (!IsKeptTable(table) && IsKnownPlacesTable(table))
      sql += "DELETE FROM " + SqlName(table) + " WHERE place_id NOT IN (SELECT id FROM moz_places);";
  if (db.HasColumns("moz_places", {"origin_id"}) && db.HasColumns("moz_origins", {"id"}))
    sql += "DELETE FROM moz_origins WHERE id NOT IN (SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL) "
           "AND id NOT IN (SELECT id FROM temp.kept_origins);";
  // What stays is no longer visited: no counts, no frecency until Firefox
  // works it out again from the bookmarks alone.
  sql += "UPDATE moz_places SET visit_count = 0, frecency = 0, last_visit_date = NULL";
  if (db.HasColumns("moz_places", {"typed"})) sql += ", typed = 0";
  if (db.HasColumns("moz_places", {"recalc_frecency"})) sql += ", recalc_frecency = 1";
  // The second score Firefox keeps from the same visits.
  if (db.HasColumns("moz_places", {"alt_frecency"})) sql += ", alt_frecency = NULL";
  if (db.HasColumns("moz_places", {"recalc_alt_frecency"})) sql += ", recalc_alt_frecency = 1";
  sql += ";";
  if (db.HasColumns("moz_origins", {"frecency"})) {
    sql += "UPDATE moz_origins SET frecency = 0";
    if (db.HasColumns("moz_origins", {"recalc_frecency"})) sql += ", recalc_frecency = 1";
    if (db.HasColumns("moz_origins", {"alt_frecency"})) sql += ", alt_frecency = NULL";
    if (db.HasColumns("moz_origins", {"recalc_alt_frecency"})) sql += ", recalc_alt_frecency = 1";
    sql += ";";
  }
  return db.Exec(sql);
}

// --- Cookies ---------------------------------------------------------------------

struct CookieSchema {
  const char* table;
  const char* hostColumn;
};

CookieSchema SchemaOf(CookieStore store) {
  return store == CookieStore::kChromium ? CookieSchema{"cookies", "host_key"} : CookieSchema{"moz_cookies", "host"};
}

const DbShape kChromiumCookiesShape{{{"cookies", {"host_key", "name"}}, {"meta", {"key", "value"}}},
                                    SchemaVersionKind::kChromiumMeta,
                                    kOldestChromiumCookiesSchema,
                                    23,
                                    kNewestTestedChromiumCookiesSchema};
const DbShape kFirefoxCookiesShape{{{"moz_cookies", {"host", "name"}}},
                                   SchemaVersionKind::kUserVersion,
                                   kOldestFirefoxCookiesSchema,
                                   14,
                                   kNewestTestedFirefoxCookiesSchema};

// Reads the cookie hosts of one database without changing it, even while
// the browser holds it (the usual case while a user sorts the cookies).
bool ReadCookieHosts(const std::string& path, CookieStore store, std::vector<std::string>& hosts) {
  SqliteDb db;
  const DbOpen opened = db.OpenToCheck(path);
  if (opened == DbOpen::kInUse ? !db.OpenSnapshot(path) : opened != DbOpen::kOpen) return false;
  const CookieSchema schema = SchemaOf(store);
  if (!db.HasColumns(schema.table, {schema.hostColumn})) return false;
  SqliteQuery q(db, std::string("SELECT DISTINCT ") + schema.hostColumn + " FROM " + schema.table);
  while (q.Step()) hosts.push_back(q.Text(0));
  return !q.Failed();
}

std::string ProfileLabel(const std::string& browser, const std::string& profile) { return browser + ", " + profile; }

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls visit(browser, profile folder) for every profile folder of every
// Chromium browser of the current user.
template <typename Visit>
void ForEachChromiumProfile(Visit visit) {
  const std::string local = UserShellFolder("Local AppData");
  if (local.empty()) return;
  size_t count = 0;
  const BrowserInfo* browsers = Browsers(&count);
  for (size_t i = 0; i < count; ++i) {
    if (browsers[i].family != BrowserFamily::kChromium) continue;
    ForEachSubfolder(local + "\\" + browsers[i].dataRoot,
                     [&](const std::string& profile) { visit(browsers[i], profile); });
  }
}

}  // namespace

// --- Public --------------------------------------------------------------------

std::string HostFromRevHost(std::string rev) {
  std::reverse(rev.begin(), rev.end());
  if (!rev.empty() && rev.front() == '.') rev.erase(0, 1);
  const size_t colon = rev.rfind(':');
  if (colon != std::string::npos && colon + 1 < rev.size() &&
      rev.find_first_not_of("0123456789", colon + 1) == std::string::npos)
    rev.erase(colon);
  return rev.empty() ? std::string("(local files)") : rev;
}

namespace {

DbSweep SweepPlaces(const std::string& profileFolder, const std::string& path, const std::string& label, int* count,
                    float* kb) {
  const float sizeBefore = FileSizeKB(path);
  SqliteDb db;
  const DbSweep opened = OpenForSweep(db, path, kPlacesShape, "Firefox history", label);
  if (opened != DbSweep::kCleaned) return opened;
  const UnknownRefs refs = FindUnknownRefs(db);
  if (!BuildKeptPlaces(db, refs)) return AbandonSweep(db, path);
  std::map<std::string, HostHistory> byHost;
  if (!CountPlacesByHost(db, byHost)) return AbandonSweep(db, path);
  std::vector<std::string> keptUrls;
  {
    SqliteQuery urls(db, "SELECT url FROM moz_places WHERE id IN (SELECT id FROM temp.kept_places)");
    while (urls.Step()) keptUrls.push_back(urls.Text(0));
  }
  if (!byHost.empty()) {
    if (!PreviewActive()) {
      if (ShredderOn()) db.SetSecureDelete();
      if (!DeletePlacesHistory(db)) return AbandonSweep(db, path);
    }
    LogUnknownKeeps(db, refs, label);
    for (const auto& host : byHost)
      LogItemOf(count, kStatus, "   ", HistoryItemName(host.first, host.second.pages, host.second.visits, path), 0.0,
                "Remove history: %s, %lld visit(s), %lld page(s) (Firefox, %s).\n",
              host.first.c_str(), static_cast<long long>(host.second.visits),
              static_cast<long long>(host.second.pages), label.c_str());
    const DbSweep finished = FinishSweep(db, path, sizeBefore, kb);
    if (finished != DbSweep::kCleaned) return finished;
  } else {
    db.Rollback();
  }
  db.Close();
  // The icons follow only a places.sqlite that was cleaned (or, in preview,
  // would be): their list of pages comes from it.
  CleanFirefoxIcons(profileFolder, label, keptUrls, count, kb);
  return DbSweep::kCleaned;
}

DbSweep SweepCookies(const std::string& path, CookieStore store, const std::string& browser,
                     const std::string& label, const std::vector<std::string>& friendlyHosts, int* count, float* kb) {
  const float sizeBefore = FileSizeKB(path);
  SqliteDb db;
  const DbShape& shape = store == CookieStore::kChromium ? kChromiumCookiesShape : kFirefoxCookiesShape;
  const DbSweep opened = OpenForSweep(db, path, shape, browser + " cookies", label);
  if (opened != DbSweep::kCleaned) return opened;
  const CookieSchema schema = SchemaOf(store);
  // A cookie that a table this cleaner does not know refers to stays.
  const std::string referenced = RowidsReferencedFromUnknownTables(db, schema.table, {"meta", "moz_cookies", "cookies"},
                                                                   {"cookie_id", "%\\_cookie\\_id"});
  std::vector<std::pair<int64_t, std::string>> doomed;
  {
    std::string sql = std::string("SELECT rowid, ") + schema.hostColumn + " FROM " + schema.table;
    if (!referenced.empty()) sql += " WHERE rowid NOT IN (" + referenced + ")";
    SqliteQuery rows(db, sql + " ORDER BY rowid");
    while (rows.Step()) {
      std::string host = rows.Text(1);
      if (!CookieHostKept(host, friendlyHosts)) doomed.emplace_back(rows.Int(0), std::move(host));
    }
    if (rows.Failed()) return AbandonSweep(db, path);
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
      if (!remove.Run()) return AbandonSweep(db, path);
    }
  }
  // One item per host, as the history counts its pages: a site's cookies
  // are one trace to the user, however many rows it wrote.
  std::map<std::string, int> byHost;
  for (const auto& row : doomed) ++byHost[row.second];
  for (const auto& host : byHost)
    LogItemOf(count, kStatus, "   ",
              "cookies of " + host.first + " (" + std::to_string(host.second) + ") in " + path, 0.0,
              "Remove cookies: %s, %d cookie(s) (%s).\n", host.first.c_str(), host.second, label.c_str());
  return FinishSweep(db, path, sizeBefore, kb);
}

}  // namespace

DbSweep CleanFirefoxPlaces(const std::string& profileFolder, const std::string& label, int* count, float* kb) {
  const std::string path = profileFolder + "\\places.sqlite";
  return RememberIfHeld(SweepPlaces(profileFolder, path, label, count, kb), path, "Firefox", "Firefox history", label);
}

DbSweep CleanCookieDatabase(const std::string& path, CookieStore store, const std::string& browser,
                            const std::string& profile, const std::vector<std::string>& friendlyHosts, int* count,
                            float* kb) {
  const std::string label = ProfileLabel(browser, profile);
  return RememberIfHeld(SweepCookies(path, store, browser, label, friendlyHosts, count, kb), path, browser,
                        browser + " cookies", label);
}

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
  ForEachChromiumProfile([&](const BrowserInfo& browser, const std::string& profile) {
    // Today's place first; older versions kept the file in the profile.
    for (const char* name : {"\\Network\\Cookies", "\\Cookies"})
      if (FileExists(profile + name))
        found.push_back({profile + name, CookieStore::kChromium, browser.name, LeafOf(profile), &browser});
  });
  const BrowserInfo* firefox = FindBrowser("Firefox");
  ForEachFirefoxProfile([&](const std::string& profile) {
    if (FileExists(profile + "\\cookies.sqlite"))
      found.push_back({profile + "\\cookies.sqlite", CookieStore::kFirefox, "Firefox", LeafOf(profile), firefox});
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

bool BrowserEntryRuns(const char* entry) {
  return RuleChoiceOn(entry, true) && EntryChosen(SWEEP_CATEGORY_INTERNET, entry);
}

namespace {

// The history inside the databases of one browser (of every browser when
// only is null). What became of each database is recorded under its
// browser's entry.
void SweepHistoryOf(const BrowserInfo* only, int* count, float* kb) {
  bool opened = false;
  auto start = [&opened] {
    if (!opened) LogLine("Start clean up browser history (bookmarks kept).\n", 0);
    opened = true;
  };
  const BrowserInfo* firefox = FindBrowser("Firefox");
  if ((only == nullptr || only == firefox) && BrowserEntryRuns(firefox->historyChoice)) {
    ForEachFirefoxProfile([&](const std::string& profile) {
      if (!FileExists(profile + "\\places.sqlite")) return;
      start();
      EntryScope scope(SWEEP_CATEGORY_INTERNET, firefox->historyChoice);
      CleanFirefoxPlaces(profile, LeafOf(profile), count, kb);
    });
  }
  ForEachChromiumProfile([&](const BrowserInfo& browser, const std::string& profile) {
    if ((only != nullptr && only != &browser) || !FileExists(profile + "\\Favicons") ||
        !BrowserEntryRuns(browser.historyChoice))
      return;
    start();
    EntryScope scope(SWEEP_CATEGORY_INTERNET, browser.historyChoice);
    CleanChromiumIcons(profile, browser.name, count, kb);
  });
}

void SweepCookiesOf(const BrowserInfo* only, int* count, float* kb) {
  std::vector<std::string> friendly;
  // The list's lock waits a short while; a busy settings group is asked again
  // before the sweep gives up on the cookies.
  bool haveFriendly = false;
  for (int attempt = 0; attempt < 4 && !haveFriendly; ++attempt) haveFriendly = g_InternetSettings.GetFriendlyHosts(friendly);
  bool opened = false;
  for (const CookieDatabase& database : FindCookieDatabases()) {
    if (database.info == nullptr || (only != nullptr && only != database.info) ||
        !BrowserEntryRuns(database.info->cookieChoice))
      continue;
    if (!opened) LogLine("Start clean up browser cookies (friendly sites kept).\n", 0);
    opened = true;
    EntryScope scope(SWEEP_CATEGORY_INTERNET, database.info->cookieChoice);
    // Without the keep list every cookie would look unwanted: none is swept,
    // and each database says it stayed.
    if (!haveFriendly) {
      RecordLeft(Outcome::kFailed, database.path, "the list of friendly cookies could not be read");
      continue;
    }
    CleanCookieDatabase(database.path, database.store, database.browser, database.profile, friendly, count, kb);
  }
}

}  // namespace

void CleanBrowserHistory(SweepWorker*, int* count, float* kb) { SweepHistoryOf(nullptr, count, kb); }

void CleanBrowserCookies(SweepWorker*, int* count, float* kb) { SweepCookiesOf(nullptr, count, kb); }

void CleanBrowserDatabases(const BrowserInfo& browser, int* count, float* kb) {
  SweepHistoryOf(&browser, count, kb);
  SweepCookiesOf(&browser, count, kb);
}

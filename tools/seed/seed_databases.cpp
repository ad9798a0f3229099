// Browser databases for the demo, the tests and the benchmark.
#include "tools/seed/seed_databases.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "catalogue/firefox_targets.h"
#include "engine/sqlite_db.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "tools/seed/seed.h"
#include "winlib/trace.h"

namespace {

// The tables and columns of places.sqlite a sweep reads or changes, with the
// indexes Firefox keeps on them (what makes the deletions fast or slow).
const char kPlacesSchema[] = R"sql(
PRAGMA page_size = 32768;
PRAGMA journal_mode = WAL;
CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,
  frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER,
  recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host));
CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,
  visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,
  frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL,
  url_hash INTEGER DEFAULT 0 NOT NULL, description TEXT, preview_image_url TEXT, site_name TEXT,
  origin_id INTEGER REFERENCES moz_origins(id), recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER,
  recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER, visit_date INTEGER,
  visit_type INTEGER, session INTEGER, source INTEGER DEFAULT 0 NOT NULL, triggeringPlaceId INTEGER);
CREATE TABLE moz_inputhistory (place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL, use_count INTEGER,
  PRIMARY KEY (place_id, input));
CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,
  position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER, lastModified INTEGER,
  guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER NOT NULL DEFAULT 1);
CREATE TABLE moz_keywords (id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE, place_id INTEGER,
  post_data TEXT);
CREATE TABLE moz_anno_attributes (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);
CREATE TABLE moz_annos (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, anno_attribute_id INTEGER,
  content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,
  dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);
CREATE TABLE moz_items_annos (id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL, anno_attribute_id INTEGER,
  content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,
  dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);
CREATE TABLE moz_places_metadata (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, referrer_place_id INTEGER,
  created_at INTEGER NOT NULL DEFAULT 0, updated_at INTEGER NOT NULL DEFAULT 0, total_view_time INTEGER NOT NULL DEFAULT 0,
  typing_time INTEGER NOT NULL DEFAULT 0, key_presses INTEGER NOT NULL DEFAULT 0, scrolling_time INTEGER NOT NULL DEFAULT 0,
  scrolling_distance INTEGER NOT NULL DEFAULT 0, document_type INTEGER NOT NULL DEFAULT 0, search_query_id INTEGER);
CREATE TABLE moz_meta (key TEXT PRIMARY KEY, value NOT NULL) WITHOUT ROWID;
CREATE INDEX moz_places_hostindex ON moz_places (rev_host);
CREATE INDEX moz_places_visitcount ON moz_places (visit_count);
CREATE INDEX moz_places_frecencyindex ON moz_places (frecency);
CREATE INDEX moz_places_lastvisitdateindex ON moz_places (last_visit_date);
CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);
CREATE INDEX moz_places_url_hashindex ON moz_places (url_hash);
CREATE INDEX moz_places_originidindex ON moz_places (origin_id);
CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, visit_date);
CREATE INDEX moz_historyvisits_fromindex ON moz_historyvisits (from_visit);
CREATE INDEX moz_historyvisits_dateindex ON moz_historyvisits (visit_date);
CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);
CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);
CREATE INDEX moz_bookmarks_itemlastmodifiedindex ON moz_bookmarks (fk, lastModified);
CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);
CREATE UNIQUE INDEX moz_keywords_placepostdata_uniqueindex ON moz_keywords (place_id, post_data);
CREATE UNIQUE INDEX moz_annos_placeattributeindex ON moz_annos (place_id, anno_attribute_id);
CREATE INDEX moz_places_metadata_placecreated_uniqueindex ON moz_places_metadata (place_id, created_at);
INSERT INTO moz_bookmarks (id, type, parent, position, title, guid) VALUES
  (1, 2, 0, 0, '', 'root________'), (2, 2, 1, 0, 'menu', 'menu________'), (3, 2, 1, 1, 'toolbar', 'toolbar_____'),
  (4, 2, 1, 2, 'tags', 'tags________'), (5, 2, 1, 3, 'unfiled', 'unfiled_____');
)sql";

const char kFaviconsSchema[] = R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE moz_icons (id INTEGER PRIMARY KEY, icon_url TEXT NOT NULL, fixed_icon_url_hash INTEGER NOT NULL,
  width INTEGER NOT NULL DEFAULT 0, root INTEGER NOT NULL DEFAULT 0, color INTEGER, expire_ms INTEGER NOT NULL DEFAULT 0,
  data BLOB);
CREATE TABLE moz_pages_w_icons (id INTEGER PRIMARY KEY, page_url TEXT NOT NULL, page_url_hash INTEGER NOT NULL);
CREATE TABLE moz_icons_to_pages (page_id INTEGER NOT NULL, icon_id INTEGER NOT NULL,
  expire_ms INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (page_id, icon_id)) WITHOUT ROWID;
CREATE INDEX moz_pages_w_icons_urlhashindex ON moz_pages_w_icons (page_url_hash);
)sql";

// As Chromium 156 writes it (Favicons, meta version 9).
const char kChromiumFaviconsSchema[] = R"sql(
CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE icon_mapping (id INTEGER PRIMARY KEY, page_url LONGVARCHAR NOT NULL, icon_id INTEGER,
  page_url_type INTEGER DEFAULT 0);
CREATE TABLE favicons (id INTEGER PRIMARY KEY, url LONGVARCHAR NOT NULL, icon_type INTEGER DEFAULT 1);
CREATE TABLE favicon_bitmaps (id INTEGER PRIMARY KEY, icon_id INTEGER NOT NULL, last_updated INTEGER DEFAULT 0,
  image_data BLOB, width INTEGER DEFAULT 0, height INTEGER DEFAULT 0, last_requested INTEGER DEFAULT 0);
CREATE INDEX icon_mapping_page_url_idx ON icon_mapping (page_url);
CREATE INDEX icon_mapping_icon_id_idx ON icon_mapping (icon_id);
CREATE INDEX favicons_url ON favicons (url);
CREATE INDEX favicon_bitmaps_icon_id ON favicon_bitmaps (icon_id);
)sql";

const char kChromiumCookiesSchema[] = R"sql(
CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
CREATE TABLE cookies (creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL, top_frame_site_key TEXT NOT NULL,
  name TEXT NOT NULL, value TEXT NOT NULL, encrypted_value BLOB NOT NULL, path TEXT NOT NULL,
  expires_utc INTEGER NOT NULL, is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL,
  last_access_utc INTEGER NOT NULL, has_expires INTEGER NOT NULL, is_persistent INTEGER NOT NULL,
  priority INTEGER NOT NULL, samesite INTEGER NOT NULL, source_scheme INTEGER NOT NULL, source_port INTEGER NOT NULL,
  last_update_utc INTEGER NOT NULL, source_type INTEGER NOT NULL, has_cross_site_ancestor INTEGER NOT NULL);
CREATE UNIQUE INDEX cookies_unique_index ON cookies (host_key, top_frame_site_key, has_cross_site_ancestor, name, path,
  source_scheme, source_port);
)sql";

const char kFirefoxCookiesSchema[] = R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT, value TEXT,
  host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER, isSecure INTEGER,
  isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0, rawSameSite INTEGER DEFAULT 0,
  schemeMap INTEGER DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0,
  CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));
)sql";

bool CreateWith(const std::string& path, const std::string& sql) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::DeleteFileA((path + suffix).c_str());
  SqliteDb db;
  if (!db.OpenForWriting(path) || !db.Exec(sql)) {
    Trace("seed databases: cannot create %s: %s\n", path.c_str(), db.LastError().c_str());
    return false;
  }
  return true;
}

// "www.example.com" -> "moc.elpmaxe.www.", as Firefox stores it.
std::string RevHost(const std::string& url) {
  const size_t start = url.find("://");
  std::string host = start == std::string::npos ? std::string() : url.substr(start + 3);
  host = host.substr(0, host.find('/'));
  return std::string(host.rbegin(), host.rend()) + ".";
}

std::string OriginPrefix(const std::string& url) {
  const size_t start = url.find("://");
  return start == std::string::npos ? std::string() : url.substr(0, start + 3);
}

int64_t Now() { return 1765000000LL * 1000000; }  // microseconds, a fixed recent day

int64_t AddBookmarkRow(SqliteDb& db, int type, int64_t fk, int64_t parent, const std::string& title) {
  SqliteQuery q(db,
                "INSERT INTO moz_bookmarks (type, fk, parent, position, title, dateAdded, lastModified, guid) "
                "VALUES (?, ?, ?, (SELECT count(*) FROM moz_bookmarks WHERE parent = ?3), ?, ?, ?, "
                "substr(hex(randomblob(6)), 1, 12))");
  q.Bind(1, type);
  if (fk != 0) q.Bind(2, fk); else q.BindNull(2);
  q.Bind(3, parent).Bind(4, title).Bind(5, Now()).Bind(6, Now());
  if (!q.Run()) return 0;
  if (fk != 0) db.Exec("UPDATE moz_places SET foreign_count = foreign_count + 1 WHERE id = " + std::to_string(fk));
  return db.QueryInt("SELECT last_insert_rowid()", 0);
}

}  // namespace

bool CreatePlacesDatabase(const std::string& path, int userVersion) {
  return CreateWith(path, std::string(kPlacesSchema) + "PRAGMA user_version = " + std::to_string(userVersion) + ";");
}

bool CreateFaviconsDatabase(const std::string& path) {
  return CreateWith(path, std::string(kFaviconsSchema) + "PRAGMA user_version = 1;");
}

bool CreateChromiumFavicons(const std::string& path, int version) {
  const std::string v = std::to_string(version);
  return CreateWith(path, std::string(kChromiumFaviconsSchema) + "INSERT INTO meta VALUES ('version', '" + v +
                              "'), ('last_compatible_version', '" + v + "');");
}

bool CreateChromiumCookies(const std::string& path, int version) {
  return CreateWith(path, std::string(kChromiumCookiesSchema) + "INSERT INTO meta VALUES ('version', '" +
                              std::to_string(version) + "'), ('last_compatible_version', '" +
                              std::to_string(version) + "');");
}

bool CreateFirefoxCookies(const std::string& path, int userVersion) {
  return CreateWith(path, std::string(kFirefoxCookiesSchema) + "PRAGMA user_version = " +
                              std::to_string(userVersion) + ";");
}

int64_t AddPlace(SqliteDb& db, const std::string& url, const std::string& title, int visits) {
  {
    SqliteQuery origin(db, "INSERT OR IGNORE INTO moz_origins (prefix, host, frecency) VALUES (?, ?, 100)");
    std::string rev = RevHost(url);
    const std::string host(rev.rbegin() + 1, rev.rend());
    origin.Bind(1, OriginPrefix(url)).Bind(2, host);
    if (!origin.Run()) return 0;
  }
  SqliteQuery place(db,
                    "INSERT INTO moz_places (url, title, rev_host, visit_count, frecency, last_visit_date, guid, "
                    "url_hash, origin_id) VALUES (?, ?, ?, ?, ?, ?, substr(hex(randomblob(6)), 1, 12), ?, "
                    "(SELECT id FROM moz_origins WHERE prefix = ? AND host = ?))");
  const std::string rev = RevHost(url);
  place.Bind(1, url).Bind(2, title).Bind(3, rev).Bind(4, visits).Bind(5, visits * 100);
  if (visits > 0) place.Bind(6, Now()); else place.BindNull(6);
  place.Bind(7, static_cast<int64_t>(std::hash<std::string>()(url) & 0xFFFFFFFFFFFF));
  place.Bind(8, OriginPrefix(url)).Bind(9, std::string(rev.rbegin() + 1, rev.rend()));
  if (!place.Run()) return 0;
  const int64_t id = db.QueryInt("SELECT last_insert_rowid()", 0);
  SqliteQuery visit(db, "INSERT INTO moz_historyvisits (from_visit, place_id, visit_date, visit_type, session) "
                        "VALUES (0, ?, ?, 1, 0)");
  for (int i = 0; i < visits; ++i) {
    visit.Bind(1, id).Bind(2, Now() - i * 1000000LL);
    if (!visit.Run()) return 0;
  }
  return id;
}

bool AddBookmark(SqliteDb& db, int64_t placeId, const std::string& title) {
  return AddBookmarkRow(db, 1, placeId, 2, title) != 0;
}

bool AddTag(SqliteDb& db, int64_t placeId, const std::string& tag) {
  int64_t folder = 0;
  {
    SqliteQuery q(db, "SELECT id FROM moz_bookmarks WHERE parent = 4 AND title = ?");
    q.Bind(1, tag);
    if (q.Step()) folder = q.Int(0);
  }
  if (folder == 0) folder = AddBookmarkRow(db, 2, 0, 4, tag);
  return folder != 0 && AddBookmarkRow(db, 1, placeId, folder, std::string()) != 0;
}

bool AddKeyword(SqliteDb& db, int64_t placeId, const std::string& keyword) {
  SqliteQuery q(db, "INSERT INTO moz_keywords (keyword, place_id) VALUES (?, ?)");
  q.Bind(1, keyword).Bind(2, placeId);
  return q.Run() && db.Exec("UPDATE moz_places SET foreign_count = foreign_count + 1 WHERE id = " +
                            std::to_string(placeId));
}

bool AddInputHistory(SqliteDb& db, int64_t placeId, const std::string& input) {
  SqliteQuery q(db, "INSERT INTO moz_inputhistory (place_id, input, use_count) VALUES (?, ?, 1)");
  q.Bind(1, placeId).Bind(2, input);
  return q.Run();
}

bool AddPageAnnotation(SqliteDb& db, int64_t placeId, const std::string& name, const std::string& content) {
  SqliteQuery attribute(db, "INSERT OR IGNORE INTO moz_anno_attributes (name) VALUES (?)");
  attribute.Bind(1, name);
  if (!attribute.Run()) return false;
  SqliteQuery q(db,
                "INSERT INTO moz_annos (place_id, anno_attribute_id, content) "
                "VALUES (?, (SELECT id FROM moz_anno_attributes WHERE name = ?), ?)");
  q.Bind(1, placeId).Bind(2, name).Bind(3, content);
  return q.Run();
}

bool AddIcon(SqliteDb& db, const std::string& pageUrl, const std::string& iconUrl) {
  SqliteQuery page(db, "INSERT INTO moz_pages_w_icons (page_url, page_url_hash) VALUES (?, 0)");
  page.Bind(1, pageUrl);
  SqliteQuery icon(db, "INSERT INTO moz_icons (icon_url, fixed_icon_url_hash, width, data) VALUES (?, 0, 16, x'89504E47')");
  icon.Bind(1, iconUrl);
  if (!page.Run() || !icon.Run()) return false;
  return db.Exec(
      "INSERT INTO moz_icons_to_pages (page_id, icon_id) VALUES ((SELECT max(id) FROM moz_pages_w_icons), "
      "(SELECT max(id) FROM moz_icons))");
}

bool AddRootIcon(SqliteDb& db, const std::string& iconUrl) {
  SqliteQuery icon(db,
                   "INSERT INTO moz_icons (icon_url, fixed_icon_url_hash, width, root, data) VALUES (?, 0, 16, 1, x'89')");
  icon.Bind(1, iconUrl);
  return icon.Run();
}

bool AddChromiumIcon(SqliteDb& db, const std::string& pageUrl, const std::string& iconUrl) {
  SqliteQuery icon(db, "INSERT INTO favicons (url) SELECT ?1 WHERE NOT EXISTS (SELECT 1 FROM favicons WHERE url = ?1)");
  icon.Bind(1, iconUrl);
  if (!icon.Run()) return false;
  SqliteQuery map(db, "INSERT INTO icon_mapping (page_url, icon_id) SELECT ?, id FROM favicons WHERE url = ?");
  map.Bind(1, pageUrl).Bind(2, iconUrl);
  SqliteQuery bitmap(db,
                     "INSERT INTO favicon_bitmaps (icon_id, image_data, width, height) "
                     "SELECT id, x'89504E47', 16, 16 FROM favicons "
                     "WHERE url = ? AND id NOT IN (SELECT icon_id FROM favicon_bitmaps)");
  bitmap.Bind(1, iconUrl);
  return map.Run() && bitmap.Run();
}

bool AddChromiumCookie(SqliteDb& db, const std::string& hostKey, const std::string& name) {
  SqliteQuery q(db,
                "INSERT INTO cookies VALUES (?, ?, '', ?, '', x'763130', '/', 0, 1, 1, ?, 1, 1, 1, 0, 2, 443, ?, 0, 0)");
  q.Bind(1, Now()).Bind(2, hostKey).Bind(3, name).Bind(4, Now()).Bind(5, Now());
  return q.Run();
}

bool AddFirefoxCookie(SqliteDb& db, const std::string& host, const std::string& name) {
  SqliteQuery q(db,
                "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed, creationTime, isSecure, "
                "isHttpOnly) VALUES (?, 'v', ?, '/', 1900000000, ?, ?, 1, 0)");
  q.Bind(1, name).Bind(2, host).Bind(3, Now()).Bind(4, Now());
  return q.Run();
}

std::vector<std::string> KeptPlacesPicture(SqliteDb& db) {
  std::vector<std::string> lines;
  SqliteQuery bookmarks(db,
                        "SELECT b.id, b.type, b.parent, b.position, coalesce(b.title, ''), b.guid, b.dateAdded, "
                        "b.lastModified, coalesce(p.url, ''), coalesce(p.title, ''), coalesce(p.guid, '') "
                        "FROM moz_bookmarks AS b LEFT JOIN moz_places AS p ON p.id = b.fk ORDER BY b.id");
  while (bookmarks.Step()) {
    std::string line = "bookmark";
    for (int i = 0; i < 11; ++i) line += "|" + bookmarks.Text(i);
    lines.push_back(line);
  }
  SqliteQuery keywords(db,
                       "SELECT k.id, k.keyword, coalesce(k.post_data, ''), coalesce(p.url, '') FROM moz_keywords AS k "
                       "LEFT JOIN moz_places AS p ON p.id = k.place_id ORDER BY k.id");
  while (keywords.Step())
    lines.push_back("keyword|" + keywords.Text(0) + "|" + keywords.Text(1) + "|" + keywords.Text(2) + "|" +
                    keywords.Text(3));
  return lines;
}

bool FillPlaces(SqliteDb& db, int pages, int visits) {
  if (!db.Exec("BEGIN")) return false;
  {
    SqliteQuery place(db,
                      "INSERT INTO moz_places (id, url, title, rev_host, visit_count, frecency, last_visit_date, guid, "
                      "url_hash) VALUES (?, ?, ?, ?, ?, 100, ?, ?, ?)");
    for (int i = 1; i <= pages; ++i) {
      const std::string host = "site" + std::to_string(i % 997) + ".example";
      const std::string url = "https://" + host + "/page/" + std::to_string(i);
      place.Bind(1, i).Bind(2, url).Bind(3, "Page " + std::to_string(i));
      place.Bind(4, std::string(host.rbegin(), host.rend()) + ".").Bind(5, visits / pages).Bind(6, Now());
      place.Bind(7, "g" + std::to_string(i)).Bind(8, static_cast<int64_t>(i));
      if (!place.Run()) return false;
    }
    SqliteQuery bookmark(db,
                         "INSERT INTO moz_bookmarks (type, fk, parent, position, title, guid) VALUES (1, ?, 2, ?, ?, ?)");
    for (int i = 2; i <= pages; i += 2) {
      bookmark.Bind(1, i).Bind(2, i / 2).Bind(3, "Bookmark " + std::to_string(i)).Bind(4, "b" + std::to_string(i));
      if (!bookmark.Run()) return false;
    }
    if (!db.Exec("UPDATE moz_places SET foreign_count = 1 WHERE id % 2 = 0")) return false;
    SqliteQuery visit(db, "INSERT INTO moz_historyvisits (from_visit, place_id, visit_date, visit_type, session) "
                          "VALUES (0, ?, ?, 1, 0)");
    for (int i = 0; i < visits; ++i) {
      visit.Bind(1, 1 + i % pages).Bind(2, Now() - i * 1000LL);
      if (!visit.Run()) return false;
    }
  }
  return db.Exec("COMMIT");
}

// --- The demo ----------------------------------------------------------------------

namespace {

const char kDemoProfile[] = "\\Mozilla\\Firefox\\Profiles\\k3x9.default";
const char kDemoChromeProfile[] = "\\Google\\Chrome\\User Data\\Default";
const char kDemoChromeBookmark[] = "https://docs.example/manual";
const char kDemoPicture[] = "\\morvane-demo-bookmarks.txt";
const char kFriendlyHost[] = "friend.example";

// A shell folder from the registry, written there first when missing (a
// fresh prefix may lack the value the cleaners read).
std::string DemoFolder(const char* value, int csidl) {
  std::string folder = UserShellFolder(value);
  if (!folder.empty()) return folder;
  char path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE)) return std::string();
  RegKey key("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", HKEY_CURRENT_USER);
  if (key.IsOpen() || key.Create()) key.SetValue(value, REG_EXPAND_SZ, path, static_cast<DWORD>(strlen(path) + 1));
  return path;
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  ::CreateDirectoryA(path.c_str(), nullptr);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace

bool SeedBrowserDatabases() {
  const std::string appData = DemoFolder("AppData", CSIDL_APPDATA);
  const std::string local = DemoFolder("Local AppData", CSIDL_LOCAL_APPDATA);
  if (appData.empty() || local.empty()) return false;
  const std::string profile = appData + kDemoProfile;
  MakeFolders(profile);
  bool ok = CreatePlacesDatabase(profile + "\\places.sqlite") && CreateFaviconsDatabase(profile + "\\favicons.sqlite");
  if (ok) {
    SqliteDb places, favicons;
    ok = places.OpenForWriting(profile + "\\places.sqlite") && favicons.OpenForWriting(profile + "\\favicons.sqlite");
    struct Page {
      const char* url;
      const char* title;
      int visits;
      bool bookmarked;
    };
    const Page pages[] = {{"https://news.example/today", "Today's news", 4, false},
                          {"https://shop.example/cart", "Your cart", 2, false},
                          {"https://docs.example/manual", "The manual", 3, true},
                          {"https://mail.example/", "Mail", 7, true},
                          {"https://recipes.example/bread", "Bread", 0, true}};
    for (const Page& page : pages) {
      const int64_t id = ok ? AddPlace(places, page.url, page.title, page.visits) : 0;
      ok = ok && id != 0 && AddIcon(favicons, page.url, std::string(page.url) + "favicon.ico");
      if (ok && page.bookmarked) ok = AddBookmark(places, id, page.title);
      if (ok && page.url == pages[2].url) ok = AddTag(places, id, "reading") && AddKeyword(places, id, "man");
      if (ok && !page.bookmarked) ok = AddInputHistory(places, id, std::string(page.url).substr(8, 4));
    }
    if (ok) {
      std::ofstream picture(profile + kDemoPicture, std::ios::binary);
      picture << JoinLines(KeptPlacesPicture(places));
    }
  }
  const std::string chrome = local + kDemoChromeProfile + "\\Network";
  MakeFolders(chrome);
  ok = ok && CreateChromiumCookies(chrome + "\\Cookies");
  if (ok) {
    SqliteDb cookies;
    ok = cookies.OpenForWriting(chrome + "\\Cookies") && AddChromiumCookie(cookies, ".tracker.example", "uid") &&
         AddChromiumCookie(cookies, ".tracker.example", "seen") && AddChromiumCookie(cookies, "news.example", "prefs") &&
         AddChromiumCookie(cookies, ".friend.example", "session");
  }
  // Chrome's icons: the bookmarked page keeps its own, the visited one loses it.
  const std::string chromeProfile = local + kDemoChromeProfile;
  ok = ok && CreateChromiumFavicons(chromeProfile + "\\Favicons");
  if (ok) {
    SqliteDb icons;
    ok = icons.OpenForWriting(chromeProfile + "\\Favicons") &&
         AddChromiumIcon(icons, kDemoChromeBookmark, "https://docs.example/favicon.ico") &&
         AddChromiumIcon(icons, "https://news.example/today", "https://news.example/favicon.ico");
    std::ofstream bookmarks(chromeProfile + "\\Bookmarks", std::ios::binary);
    bookmarks << "{\"roots\": {\"bookmark_bar\": {\"children\": [{\"name\": \"Manual\", \"type\": \"url\", "
                 "\"url\": \"" << kDemoChromeBookmark << "\"}], \"name\": \"Bookmarks bar\", \"type\": \"folder\"}}, "
                 "\"version\": 1}\n";
    ok = ok && bookmarks.good();
  }
  // The friendly host, kept in every browser.
  ok = ok && SetFriendlyHostList({kFriendlyHost});
  if (!ok) Trace("seed databases: not every browser database could be planted\n");
  return ok;
}

bool SetFriendlyHostList(const std::vector<std::string>& hosts) {
  RegKey internet(kInternetSettingsPath, HKEY_CURRENT_USER);
  return (internet.IsOpen() || internet.Create()) && g_InternetSettings.SetFriendlyHosts(hosts) &&
         g_InternetSettings.SaveFriendlyHosts();
}

bool SeedCookieSweep(const std::vector<std::string>& hosts) {
  RegKey internet(kInternetSettingsPath, HKEY_CURRENT_USER);
  if (!internet.IsOpen() && !internet.Create()) return false;
  DWORD boxes = 0, size = sizeof boxes;
  if (!internet.QueryValue("Targets", &boxes, &size) || size != sizeof boxes) boxes = 0;
  boxes |= 0x01;  // Cookie Files
  return internet.SetValue("Targets", REG_BINARY, &boxes, sizeof boxes) && SetFriendlyHostList(hosts);
}

bool CheckBrowserDatabases() {
  const std::string profile = UserShellFolder("AppData") + kDemoProfile;
  const std::string cookiesPath = UserShellFolder("Local AppData") + kDemoChromeProfile + "\\Network\\Cookies";
  bool ok = true;
  SqliteDb places;
  std::ifstream pictureFile(profile + kDemoPicture, std::ios::binary);
  std::stringstream before;
  before << pictureFile.rdbuf();
  if (places.OpenForWriting(profile + "\\places.sqlite") && before.str() == JoinLines(KeptPlacesPicture(places)) &&
      !before.str().empty()) {
    std::printf("Check: the Firefox bookmarks, tags and keywords are as they were (%zu rows); visits left: %lld.\n",
                KeptPlacesPicture(places).size(),
                static_cast<long long>(places.QueryInt("SELECT count(*) FROM moz_historyvisits", -1)));
  } else {
    std::printf("Check FAILED: the Firefox bookmarks changed.\n");
    ok = false;
  }
  SqliteDb cookies;
  const int64_t friendly = cookies.OpenForWriting(cookiesPath)
                               ? cookies.QueryInt("SELECT count(*) FROM cookies WHERE host_key = '.friend.example'", -1)
                               : -1;
  const int64_t others = cookies.QueryInt("SELECT count(*) FROM cookies WHERE host_key <> '.friend.example'", -1);
  if (friendly == 1) {
    std::printf("Check: the friendly cookie of %s is still there; cookies of other hosts left: %lld.\n", kFriendlyHost,
                static_cast<long long>(others));
  } else {
    std::printf("Check FAILED: the friendly cookie of %s is gone.\n", kFriendlyHost);
    ok = false;
  }
  SqliteDb icons;
  const std::vector<std::string> pages =
      icons.OpenForWriting(UserShellFolder("Local AppData") + kDemoChromeProfile + "\\Favicons")
          ? icons.QueryTexts("SELECT page_url FROM icon_mapping")
          : std::vector<std::string>{};
  if (pages == std::vector<std::string>{kDemoChromeBookmark}) {
    std::printf("Check: Chrome keeps the icon of its bookmarked page and no other.\n");
  } else {
    std::printf("Check FAILED: Chrome's icons are not those of its bookmarked page alone (%zu pages).\n", pages.size());
    ok = false;
  }
  std::fflush(stdout);
  return ok;
}

// Site icons cleaned inside their databases: Firefox's favicons.sqlite after
// places.sqlite, and each Chromium profile's Favicons, the icons of kept or
// bookmarked pages kept.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "catalogue/browser_db_targets.h"
#include "catalogue/db_sweep.h"
#include "engine/file_removal.h"
#include "engine/path_text.h"
#include "engine/preview.h"
#include "engine/sqlite_db.h"
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"

namespace {

constexpr int kStatus = IDC_STATUS_INTERNET;

const DbShape kFirefoxIconsShape{{{"moz_pages_w_icons", {"id", "page_url"}},
                                  {"moz_icons_to_pages", {"page_id", "icon_id"}},
                                  {"moz_icons", {"id", "icon_url", "root"}}},
                                 SchemaVersionKind::kNone, 0, 0, 0};
const DbShape kChromiumIconsShape{{{"icon_mapping", {"page_url", "icon_id"}},
                                   {"favicons", {"id"}},
                                   {"favicon_bitmaps", {"icon_id"}},
                                   {"meta", {"key", "value"}}},
                                  SchemaVersionKind::kChromiumMeta,
                                  kOldestChromiumFaviconsSchema,
                                  kNewestTestedChromiumFaviconsSchema,
                                  kNewestTestedChromiumFaviconsSchema};

// "https://example.com:8443/a/b" -> "https://example.com:8443"; empty for an
// address without a site (about:, data:, file:///).
std::string SiteOf(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos || scheme == 0) return std::string();
  const size_t end = url.find_first_of("/?#", scheme + 3);
  const std::string site = url.substr(0, end);
  return site.size() > scheme + 3 ? site : std::string();
}

// Fills a temporary table of one text column with the values.
bool FillTempTable(SqliteDb& db, const char* table, const std::vector<std::string>& values) {
  if (!db.Exec(std::string("CREATE TEMP TABLE ") + table + "(value TEXT PRIMARY KEY) WITHOUT ROWID")) return false;
  SqliteQuery insert(db, std::string("INSERT OR IGNORE INTO temp.") + table + " VALUES (?)");
  for (const std::string& value : values) {
    insert.Bind(1, value);
    if (!insert.Run()) return false;
  }
  return true;
}

// The id columns by which a table the cleaner does not know may refer to a
// page or an icon.
const std::initializer_list<const char*> kPageRefs = {"page_id", "%\\_page\\_id"};
const std::initializer_list<const char*> kIconRefs = {"icon_id", "%\\_icon\\_id"};

std::string NotIn(const std::string& column, const std::string& referenced) {
  return referenced.empty() ? std::string() : " AND " + column + " NOT IN (" + referenced + ")";
}

// --- Bookmarks (JSON) -------------------------------------------------------

// Reads one JSON string at text[at] == '"'; at ends past its closing quote.
bool ReadJsonString(const std::string& text, size_t& at, std::string& out) {
  out.clear();
  for (++at; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++at >= text.size()) return false;
    switch (text[at]) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (at + 4 >= text.size()) return false;
        const unsigned long code = std::strtoul(text.substr(at + 1, 4).c_str(), nullptr, 16);
        at += 4;
        // Addresses are ASCII once encoded; anything else is kept as UTF-8.
        if (code < 0x80) {
          out += static_cast<char>(code);
        } else if (code < 0x800) {
          out += static_cast<char>(0xC0 | (code >> 6));
          out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | (code >> 12));
          out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
        }
        break;
      }
      default: out += text[at]; break;
    }
  }
  return false;
}

}  // namespace

bool ReadChromiumBookmarkUrls(const std::string& path, std::vector<std::string>& urls) {
  urls.clear();
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ::ReadFile(h, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) text.append(buffer, got);
  ::CloseHandle(h);
  if (!ok) return false;
  // Every value of a "url" key, wherever it sits; a string is read whole so
  // that a name or title holding "url" is never taken for a key.
  size_t at = 0;
  int depth = 0;
  bool sawObject = false;
  std::string token, key;
  while (at < text.size()) {
    const char c = text[at];
    if (c == '"') {
      if (!ReadJsonString(text, at, token)) return false;
      size_t next = text.find_first_not_of(" \t\r\n", at);
      if (next != std::string::npos && text[next] == ':') {
        key = token;
        at = next + 1;
        continue;
      }
      if (key == "url") urls.push_back(token);
      key.clear();
      continue;
    }
    if (c == '{' || c == '[') {
      ++depth;
      sawObject = true;
    } else if (c == '}' || c == ']') {
      if (--depth < 0) return false;
    }
    if (c == ',' || c == '{' || c == '}' || c == '[' || c == ']') key.clear();
    ++at;
  }
  return sawObject && depth == 0;
}

namespace {

// The newest last-write time of the files matching pattern in the folder;
// false when none does.
bool NewestFileTime(const std::string& folder, const char* pattern, ULONGLONG& newest) {
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  newest = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const ULONGLONG written =
        (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    if (!any || written > newest) newest = written;
    any = true;
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return any;
}

}  // namespace

bool HasEncryptedBookmarks(const std::string& profileFolder) {
  ULONGLONG newest = 0;
  return NewestFileTime(profileFolder, "Encrypted*Bookmarks*", newest);
}

std::string ReadChromiumProfileBookmarks(const std::string& profileFolder, std::vector<std::string>& urls) {
  urls.clear();
  for (const ChromiumBookmarkFile& pair : kChromiumBookmarkFiles) {
    const std::string file = profileFolder + "\\" + pair.plain;
    WIN32_FILE_ATTRIBUTE_DATA plain{};
    const bool havePlain = ::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &plain) != FALSE &&
                           !(plain.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    // Each pair is kept on its own: the local bookmarks may be plain while
    // the account's are only encrypted, or the other way round. "No
    // bookmarks" for the encrypted one would take its bookmarks' icons.
    ULONGLONG encrypted = 0;
    if (NewestFileTime(profileFolder, pair.encrypted, encrypted)) {
      if (!havePlain)
        return std::string("its profile keeps its ") + pair.plain + " only in encrypted files, which cannot be read";
      // Its last-write time tells nothing: Chromium 156 rewrites the
      // encrypted copy seconds after the plain one it left unchanged.
    }
    if (!havePlain) continue;
    std::vector<std::string> some;
    if (!ReadChromiumBookmarkUrls(file, some)) return std::string("its profile's ") + pair.plain + " file cannot be read";
    urls.insert(urls.end(), some.begin(), some.end());
  }
  return std::string();
}

namespace {

DbSweep SweepFirefoxIcons(const std::string& path, const std::string& label, const std::vector<std::string>& keptUrls,
                          int* count, float* kb) {
  SqliteDb db;
  const float sizeBefore = FileSizeKB(path);
  const DbSweep opened = OpenForSweep(db, path, kFirefoxIconsShape, "Firefox icons", label);
  if (opened != DbSweep::kCleaned) return opened;
  // A site's own /favicon.ico is a root icon that no page maps: it stays for
  // the sites of the kept pages.
  std::vector<std::string> keptRoots;
  for (const std::string& url : keptUrls) {
    const std::string site = SiteOf(url);
    if (!site.empty()) keptRoots.push_back(site + "/favicon.ico");
  }
  if (!FillTempTable(db, "kept_urls", keptUrls) || !FillTempTable(db, "kept_roots", keptRoots))
    return AbandonSweep(db, path);
  const std::string known[] = {"moz_pages_w_icons", "moz_icons_to_pages", "moz_icons", "moz_meta"};
  const std::vector<std::string> knownTables(std::begin(known), std::end(known));
  const std::string pageRefs = RowidsReferencedFromUnknownTables(db, "moz_pages_w_icons", knownTables, kPageRefs);
  const std::string iconRefs = RowidsReferencedFromUnknownTables(db, "moz_icons", knownTables, kIconRefs);
  const std::string goingPages =
      "page_url NOT IN temp.kept_urls" + NotIn("id", pageRefs);
  const std::string goingIcons =
      "id NOT IN (SELECT icon_id FROM moz_icons_to_pages WHERE page_id IN "
      "(SELECT id FROM moz_pages_w_icons WHERE NOT (" + goingPages + "))) "
      "AND NOT (root = 1 AND icon_url IN temp.kept_roots)" + NotIn("id", iconRefs);
  const int64_t pages = db.QueryInt("SELECT count(*) FROM moz_pages_w_icons WHERE " + goingPages, 0);
  const int64_t icons = db.QueryInt("SELECT count(*) FROM moz_icons WHERE " + goingIcons, 0);
  if (pages == 0 && icons == 0) {
    db.Rollback();
    return DbSweep::kCleaned;
  }
  if (!PreviewActive()) {
    if (ShredderOn()) db.SetSecureDelete();
    // The icons first: which go is judged by the mappings as they were.
    if (!db.Exec("DELETE FROM moz_icons WHERE " + goingIcons + ";"
                 "DELETE FROM moz_pages_w_icons WHERE " + goingPages + ";"
                 "DELETE FROM moz_icons_to_pages WHERE page_id NOT IN (SELECT id FROM moz_pages_w_icons) "
                 "OR icon_id NOT IN (SELECT id FROM moz_icons);"))
      return AbandonSweep(db, path);
  }
  // Numbered only once the commit went through: a failed commit removed nothing.
  const DbSweep finished = FinishSweep(db, path, sizeBefore, kb);
  if (finished == DbSweep::kCleaned)
    LogItemOf(count, kStatus, "   ", "icons of " + std::to_string(pages) + " page(s) in " + path, 0.0,
              "Remove icons: %lld page(s), %lld icon(s) (Firefox, %s).\n", static_cast<long long>(pages),
              static_cast<long long>(icons), label.c_str());
  return finished;
}

DbSweep SweepChromiumIcons(const std::string& profileFolder, const std::string& path, const std::string& browser,
                           const std::string& label, int* count, float* kb) {
  std::vector<std::string> bookmarked;
  const std::string refusal = ReadChromiumProfileBookmarks(profileFolder, bookmarked);
  if (!refusal.empty()) {
    // Without the list of bookmarks every icon would look unused.
    LogRefusedDatabase(path, refusal);
    return DbSweep::kRefused;
  }
  SqliteDb db;
  const float sizeBefore = FileSizeKB(path);
  const DbSweep opened = OpenForSweep(db, path, kChromiumIconsShape, browser + " icons", label);
  if (opened != DbSweep::kCleaned) return opened;
  if (!FillTempTable(db, "kept_urls", bookmarked)) return AbandonSweep(db, path);
  const std::vector<std::string> known{"icon_mapping", "favicons", "favicon_bitmaps", "meta"};
  const std::string mappingRefs = RowidsReferencedFromUnknownTables(db, "icon_mapping", known, {"mapping_id"});
  const std::string iconRefs = RowidsReferencedFromUnknownTables(db, "favicons", known, kIconRefs);
  const std::string goingMappings = "page_url NOT IN temp.kept_urls" + NotIn("rowid", mappingRefs);
  const std::string goingIcons = "id NOT IN (SELECT icon_id FROM icon_mapping WHERE NOT (" + goingMappings +
                                 ") AND icon_id IS NOT NULL)" + NotIn("id", iconRefs);
  const int64_t pages = db.QueryInt("SELECT count(DISTINCT page_url) FROM icon_mapping WHERE " + goingMappings, 0);
  const int64_t icons = db.QueryInt("SELECT count(*) FROM favicons WHERE " + goingIcons, 0);
  if (pages == 0 && icons == 0) {
    db.Rollback();
    return DbSweep::kCleaned;
  }
  if (!PreviewActive()) {
    if (ShredderOn()) db.SetSecureDelete();
    if (!db.Exec("DELETE FROM favicons WHERE " + goingIcons + ";"
                 "DELETE FROM icon_mapping WHERE " + goingMappings + ";"
                 "DELETE FROM favicon_bitmaps WHERE icon_id NOT IN (SELECT id FROM favicons);"))
      return AbandonSweep(db, path);
  }
  const DbSweep finished = FinishSweep(db, path, sizeBefore, kb);
  if (finished == DbSweep::kCleaned)
    LogItemOf(count, kStatus, "   ", "icons of " + std::to_string(pages) + " page(s) in " + path, 0.0,
              "Remove icons: %lld page(s), %lld icon(s) (%s).\n", static_cast<long long>(pages),
              static_cast<long long>(icons), label.c_str());
  return finished;
}

}  // namespace

DbSweep CleanFirefoxIcons(const std::string& profile, const std::string& label,
                          const std::vector<std::string>& keptUrls, int* count, float* kb) {
  const std::string path = profile + "\\favicons.sqlite";
  return RememberIfHeld(SweepFirefoxIcons(path, label, keptUrls, count, kb), path, "Firefox", "Firefox icons", label);
}

DbSweep CleanChromiumIcons(const std::string& profileFolder, const std::string& browser, int* count, float* kb) {
  const std::string path = profileFolder + "\\Favicons";
  const std::string label = browser + ", " + LeafOf(profileFolder);
  return RememberIfHeld(SweepChromiumIcons(profileFolder, path, browser, label, count, kb), path, browser,
                        browser + " icons", label);
}

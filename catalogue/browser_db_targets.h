// Cleaning inside browser databases: Firefox history with the bookmarks
// kept (places.sqlite and favicons.sqlite), the icons of Chromium browsers'
// visited pages with those of bookmarked pages kept (Favicons), and the
// cookies of Chrome, Edge, Brave, Vivaldi and Firefox with the friendly hosts
// kept. The files stay; rows go, all of a database's changes in one
// transaction. A database is judged by what it holds, not by its version: a
// newer one with the tables and columns a cleaner uses is cleaned, and rows
// that tables the cleaner does not know refer to are kept. A database that a
// running browser holds is left with a line; a file that is not the database
// expected is refused with a line naming what is missing; either stays byte
// for byte as it was, and counts as not removed.
#pragma once
#include <string>
#include <vector>

class SweepWorker;

struct BrowserInfo;

// Target cleaners of the Internet category; each database is cleaned only
// when the entry of its browser is on (catalogue/browsers.h).
// CleanBrowserHistory runs on the history entries alone (Firefox's
// places.sqlite and favicons.sqlite, Chromium's Favicons);
// CleanBrowserCookies runs behind the "Cookie Files" bit.
void CleanBrowserHistory(SweepWorker* worker, int* count, float* kb);
void CleanBrowserCookies(SweepWorker* worker, int* count, float* kb);

// One browser's databases in every profile: its history (Firefox's
// places.sqlite, bookmarks kept; Chromium's Favicons) and its cookies with the friendly hosts
// kept, each behind that browser's own rule choice. What the sweep of a
// browser that has closed cleans inside its files.
void CleanBrowserDatabases(const BrowserInfo& browser, int* count, float* kb);

// Whether a browser's entry (history or cookies) runs in this sweep: switched
// on, and among the chosen entries when the sweep is of chosen entries only.
bool BrowserEntryRuns(const char* entry);

// How one database fared.
enum class DbSweep {
  kCleaned,  // changed (or, in preview, would be), or had nothing to remove
  kMissing,
  kInUse,    // held by a running browser: left, with its line
  kRefused,  // not a SQLite database, damaged, tables or columns missing, too old: left, with its line
  kFailed,   // an error inside the transaction: rolled back, with its line
};

// The oldest schema versions the browsers still open (an older file is one
// the browser would replace, so nothing in it is worth judging), and the
// newest these cleaners were tested with (a newer one proceeds on its shape).
constexpr int kOldestPlacesSchema = 52;          // places.sqlite user_version
constexpr int kNewestTestedPlacesSchema = 86;    // Firefox 153
constexpr int kOldestFirefoxCookiesSchema = 1;   // cookies.sqlite user_version
constexpr int kNewestTestedFirefoxCookiesSchema = 17;
constexpr int kOldestChromiumCookiesSchema = 18;  // Cookies, meta 'version'
constexpr int kNewestTestedChromiumCookiesSchema = 24;  // Chromium 156
constexpr int kOldestChromiumFaviconsSchema = 8;  // Favicons, meta 'version'
constexpr int kNewestTestedChromiumFaviconsSchema = 9;

// One Firefox profile: visits, typed input and every page nothing the user
// keeps refers to leave places.sqlite; favicons.sqlite loses the icons of
// the pages that left, keeping those of kept pages and the root icons
// (/favicon.ico) of their sites. label names the profile in the lines.
DbSweep CleanFirefoxPlaces(const std::string& profileFolder, const std::string& label, int* count, float* kb);
// The same for favicons.sqlite alone, given the pages places.sqlite keeps.
DbSweep CleanFirefoxIcons(const std::string& profileFolder, const std::string& label,
                          const std::vector<std::string>& keptUrls, int* count, float* kb);

// One Chromium profile's Favicons: the pages that are not bookmarked (in the
// profile's Bookmarks or AccountBookmarks file) lose their icon mappings, then the icons no page
// uses go. browser names it in the lines ("Chrome").
DbSweep CleanChromiumIcons(const std::string& profileFolder, const std::string& browser, int* count, float* kb);
// Every page address in a Chromium Bookmarks file (JSON). False when the
// file exists but cannot be read as one; a missing file has no bookmarks.
bool ReadChromiumBookmarkUrls(const std::string& path, std::vector<std::string>& urls);
// The plain bookmark files of a Chromium profile (the local ones and those
// synced to an account), each with the names of its encrypted copies.
struct ChromiumBookmarkFile {
  const char* plain;
  const char* encrypted;  // a pattern
};
constexpr ChromiumBookmarkFile kChromiumBookmarkFiles[] = {{"Bookmarks", "EncryptedBookmarks*"},
                                                           {"AccountBookmarks", "EncryptedAccountBookmarks*"}};
// Whether the profile has an encrypted bookmark file (EncryptedBookmarks2 and
// the like).
bool HasEncryptedBookmarks(const std::string& profileFolder);
// Every page address the profile's plain bookmark files hold. Returns why
// they cannot be used (a file that cannot be read; a file kept only in
// encrypted form), or "" when
// urls is the whole list.
std::string ReadChromiumProfileBookmarks(const std::string& profileFolder, std::vector<std::string>& urls);

// "moc.elpmaxe." -> "example.com", one line per site: a port Firefox keeps
// for a site on a non-default one ("0808:moc.elpmaxe.") is dropped, as the
// browser's "forget this site" does. An empty rev_host is a local file.
std::string HostFromRevHost(std::string revHost);

enum class CookieStore { kChromium, kFirefox };

// One cookie database: every row whose host is not kept by friendlyHosts.
DbSweep CleanCookieDatabase(const std::string& path, CookieStore store, const std::string& browser,
                            const std::string& profile, const std::vector<std::string>& friendlyHosts, int* count,
                            float* kb);

// A cookie host as the keep list compares it: lower case, no leading dot.
std::string NormalizeCookieHost(const std::string& host);
// Whether a cookie of this host stays: its host is a friendly host or lies
// below one ("mail.example.com" under "example.com").
bool CookieHostKept(const std::string& host, const std::vector<std::string>& friendlyHosts);

// Every cookie database of the current user.
struct CookieDatabase {
  std::string path;
  CookieStore store;
  std::string browser;  // "Chrome", "Edge", "Brave", "Vivaldi", "Firefox"
  std::string profile;  // the profile folder's name
  const BrowserInfo* info;
};
std::vector<CookieDatabase> FindCookieDatabases();

// The hosts found in the cookie databases, for the Cookie Control dialog:
// each normalized host once, with the browsers that hold cookies for it
// ("Chrome, Firefox"). Nothing is written: a database a browser holds is
// read from a snapshot, one that cannot be read is skipped.
struct CookieHostSeen {
  std::string host;
  std::string browsers;
};
std::vector<CookieHostSeen> CollectCookieHosts();

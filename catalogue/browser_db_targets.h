// Cleaning inside browser databases: Firefox history with the bookmarks
// kept (places.sqlite and favicons.sqlite), and the cookies of Chrome, Edge,
// Brave, Vivaldi and Firefox with the friendly hosts kept. The files stay;
// rows go, all of a database's changes in one transaction. A database that a
// running browser holds is left with a line; a file that is not the database
// expected is refused with a line and never changed.
#pragma once
#include <string>
#include <vector>

class SweepWorker;

// The entries of the built-in rules that switch these cleaners off.
extern const char kFirefoxHistoryChoice[];   // "Firefox history (bookmarks kept)"
extern const char kChromiumCookiesChoice[];  // "Chrome and Edge cookies (friendly sites kept)"
extern const char kFirefoxCookiesChoice[];   // "Firefox cookies (friendly sites kept)"

// Target cleaners of the Internet category. CleanFirefoxHistory runs on its
// rule choice alone; CleanBrowserCookies runs behind the "Cookie Files" bit
// and asks each browser family's choice.
void CleanFirefoxHistory(SweepWorker* worker, int* count, float* kb);
void CleanBrowserCookies(SweepWorker* worker, int* count, float* kb);

struct BrowserInfo;

// One browser's databases in every profile: its history (Firefox's
// places.sqlite, bookmarks kept) and its cookies with the friendly hosts
// kept, each behind that browser's own rule choice. What the sweep of a
// browser that has closed cleans inside its files.
void CleanBrowserDatabases(const BrowserInfo& browser, int* count, float* kb);

// How one database fared.
enum class DbSweep {
  kCleaned,  // changed (or, in preview, would be), or had nothing to remove
  kMissing,
  kInUse,    // held by a running browser: left, with its line
  kRefused,  // not a SQLite database, unknown tables or columns, too new: left, with its line
  kFailed,   // an error inside the transaction: rolled back, with its line
};

// The newest schema versions these cleaners were written against.
constexpr int kMaxPlacesSchema = 80;         // places.sqlite user_version
constexpr int kMaxFirefoxCookiesSchema = 16;  // cookies.sqlite user_version
constexpr int kMaxChromiumCookiesSchema = 24;  // Cookies, meta 'last_compatible_version' or 'version'

// One Firefox profile: visits, typed input and every page nothing the user
// keeps refers to leave places.sqlite; favicons.sqlite loses the icons of
// the pages that left. label names the profile in the lines.
DbSweep CleanFirefoxPlaces(const std::string& profileFolder, const std::string& label, int* count, float* kb);

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

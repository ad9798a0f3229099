// Browser databases built with SQLite, with the tables and columns the
// database sweeps touch, laid out as the browsers lay them out: Firefox's
// places.sqlite (WAL, user_version), favicons.sqlite and cookies.sqlite, and
// Chromium's Cookies (rollback journal, meta version). Used by the demo
// seeder, the tests and the benchmark.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class SqliteDb;

constexpr int kSeedPlacesSchema = 77;
constexpr int kSeedFirefoxCookiesSchema = 14;
constexpr int kSeedChromiumCookiesSchema = 23;

// Empty databases (an existing file is replaced). False on failure.
bool CreatePlacesDatabase(const std::string& path, int userVersion = kSeedPlacesSchema);
bool CreateFaviconsDatabase(const std::string& path);
bool CreateChromiumCookies(const std::string& path, int version = kSeedChromiumCookiesSchema);
bool CreateChromiumFavicons(const std::string& path, int version = 9);
bool CreateFirefoxCookies(const std::string& path, int userVersion = kSeedFirefoxCookiesSchema);

// One page of places.sqlite with its visits; returns its id (0 on failure).
int64_t AddPlace(SqliteDb& places, const std::string& url, const std::string& title, int visits);
// A bookmark of the place in the menu folder; a tag (a folder below the
// tags root holding a bookmark of the place); a keyword for the place.
bool AddBookmark(SqliteDb& places, int64_t placeId, const std::string& title);
bool AddTag(SqliteDb& places, int64_t placeId, const std::string& tag);
bool AddKeyword(SqliteDb& places, int64_t placeId, const std::string& keyword);
// Typed input that led to the place, and a page annotation.
bool AddInputHistory(SqliteDb& places, int64_t placeId, const std::string& input);
bool AddPageAnnotation(SqliteDb& places, int64_t placeId, const std::string& name, const std::string& content);
// An icon of the page in favicons.sqlite.
bool AddIcon(SqliteDb& favicons, const std::string& pageUrl, const std::string& iconUrl);
// A site's own icon ("https://example.com/favicon.ico"), which no page maps.
bool AddRootIcon(SqliteDb& favicons, const std::string& iconUrl);
// An icon of the page in a Chromium Favicons database, with one bitmap; an
// icon already there is shared.
bool AddChromiumIcon(SqliteDb& favicons, const std::string& pageUrl, const std::string& iconUrl);

// Cookie rows, one per (host, name).
bool AddChromiumCookie(SqliteDb& cookies, const std::string& hostKey, const std::string& name);
bool AddFirefoxCookie(SqliteDb& cookies, const std::string& host, const std::string& name);

// The bookmarks, tags and keywords as the user sees them, one line per row,
// in a fixed order: what a sweep must leave exactly as it was.
std::vector<std::string> KeptPlacesPicture(SqliteDb& places);

// A profile for the benchmark: `pages` pages, every other one bookmarked,
// `visits` visits spread over them, in one transaction.
bool FillPlaces(SqliteDb& places, int pages, int visits);

// The demo's databases and what it checks after the sweep.
bool SeedBrowserDatabases();
bool CheckBrowserDatabases();
// Stores the friendly list of the Internet settings.
bool SetFriendlyHostList(const std::vector<std::string>& hosts);
// The friendly list, and the Internet "Cookie Files" box ticked.
bool SeedCookieSweep(const std::vector<std::string>& hosts);

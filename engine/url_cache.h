// The URL cache cleaner: walks the browser's index of cached URLs for one kind
// of entry (content, cookie or history), logs and counts every entry with the
// size of its local file, and deletes it. An entry the cache refuses to
// delete (in use) is replaced by an empty file committed under the same URL
// and deleted again. Every cache call goes through g_platform; in a preview
// the entries are logged and counted and nothing is overwritten or deleted.
#pragma once
#include <windows.h>

#include <string>

#include "settings/settings_groups.h"

// Entry filters of the three passes (WinINet entry-type bits).
constexpr DWORD kContentCacheFilter = 0x35;      // normal, sticky, track offline, track online
constexpr DWORD kCookieCacheFilter = 0x100035;   // the same in the cookie container
constexpr DWORD kHistoryCacheFilter = 0x200035;  // the same in the URL history container

// Deletes every entry the filter selects. extension is the extension text
// used for a replacement file ("", "Cookie:", "Visited:"); cacheName is
// printed in the lines. count and kb may be null.
void CleanUrlCache(DWORD filter, const char* extension, const char* cacheName, int statusId, int* count,
                   float* kb);

// As CleanUrlCache, but an entry whose local file is the path half of an
// entry of keepList (exact comparison) is neither logged, counted nor deleted.
void CleanCookieCache(const StringPairList& keepList, DWORD filter, const char* extension, const char* cacheName,
                      int statusId, int* count, float* kb);

// Whether an entry of the given CacheEntryType belongs to the filter: the
// container bits (cookie, history) must be the same, and an entry with
// type bits of its own must share one with the filter. Used where the
// system's search cannot filter for us.
bool CacheEntryMatches(DWORD entryType, DWORD filter);

// The line logged for one entry, as it appears in the log (with the item
// number when number > 0), of any length.
std::string FormatCacheLine(int number, const char* cacheName, const char* url, const char* localFile, float sizeKB);

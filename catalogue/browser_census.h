// The census of browser profiles: every file and folder that today's
// Chromium and Firefox write into a profile (and into Chromium's user-data
// folder above the profiles), and every table of their SQLite databases,
// each with what a sweep does with it: which entry cleans it and how, or why
// it is kept. The real-browser test lists what the browsers really wrote and
// fails on anything this table does not name; the README's table of browser
// files is made from it.
#pragma once
#include <cstddef>
#include <string>

#include "engine/browsers.h"

enum class CensusKind {
  kFile,    // a file; its -journal, -wal and -shm go with it
  kFolder,  // a folder and everything in it
  kTable,   // a table of a database named by the file row before it
};

enum class CensusAction {
  kWholeFile,            // the file or folder is deleted by the entry
  kRowsByHost,           // rows go by their host, the friendly hosts kept
  kRowsWithoutBookmark,  // rows go unless a bookmark (or what the user keeps) needs them
  kRowsAll,              // every row goes (a table of history inside a database that stays)
  kKept,                 // left as it is; why says why
};

enum class CensusPlace {
  kProfile,   // a profile folder ("Default", "Profile 1"; Firefox's roaming profile)
  kUserData,  // Chromium's user-data folder, above the profiles
  kLocal,     // Firefox's local profile folder (Local AppData), on Windows only
};

struct CensusItem {
  BrowserFamily family;
  CensusPlace place;
  CensusKind kind;
  // A file or folder: its path below the place, '\' between folders, '*' and
  // '?' as wildcards; a Chromium file that Windows keeps in the profile's
  // Network folder is named without it. A table: "file:table".
  const char* name;
  CensusAction action;
  // The entry that cleans it: for Chromium the part after the browser's
  // group ("history" for "Google Chrome history"), for Firefox the whole
  // name; null when kept.
  const char* entry;
  const char* what;  // what it records
  const char* why;   // why it is kept, or how it is cleaned when that needs saying; may be null
};

const CensusItem* BrowserCensus(size_t* count);

// "deleted", "inside: rows by host", ... as the README and the listing say it.
const char* CensusActionText(CensusAction action);
// The entry of a census item for one browser ("Google Chrome history"), or
// "" when the item is kept or is of the other family.
std::string CensusEntryFor(const CensusItem& item, const BrowserInfo& browser);

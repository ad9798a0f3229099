// Browser databases a sweep found held by their running browser, remembered
// under Morvane's key so that they are cleaned at the next moment nothing
// holds them: when that browser closes, at the next start of the resident
// program, or at the next sweep. A service the database cleaners call; it
// calls none of them (catalogue/held_database_sweep.h sweeps the records).
// One value per database under SOFTWARE\Calderix\Morvane\Held Databases:
// its path as the name, the browser's name ("Chrome", "Firefox") as the text.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct BrowserInfo;

extern const char kHeldDatabasesPath[];  // "SOFTWARE\Calderix\Morvane\Held Databases"

struct HeldDatabase {
  std::string path;
  std::string browser;
};

// The records as stored; a value that is not a text naming a known browser
// is left out.
std::vector<HeldDatabase> RememberedDatabases();
bool IsRememberedDatabase(const std::string& path);
// Whether a record could have come from a sweep: one of the files the
// cleaners know (places.sqlite, favicons.sqlite, cookies.sqlite; Cookies,
// Favicons) in a profile directly below that browser's data folder. Records
// that are not are never read and are dropped at the next sweep of them.
bool IsValidHeldRecord(const std::string& path, const BrowserInfo& browser);
// At most this many records are kept; a sweep adds no more beyond it.
extern const size_t kMostRememberedDatabases;

// Called by the database cleaners once a database's sweep has ended: one
// held is remembered; any other result forgets it, and a database that was
// remembered and is now cleaned gets the line "... was open at the last
// sweep; cleaned now.". A preview changes no record.
void AfterDatabaseSweep(const std::string& path, const std::string& browser, bool held, bool cleaned,
                        const std::string& what, const std::string& label);
void ForgetHeldDatabase(const std::string& path);
// Drops every value that is no valid record.
void DropInvalidHeldRecords();

// Browser databases a sweep found held by their running browser, remembered
// under Morvane's key so that they are cleaned at the next moment nothing
// holds them: when that browser closes, at the next start of the resident
// program, or at the next sweep. One value per database under
// SOFTWARE\Calderix\Morvane\Held Databases: its path as the name, the
// browser's name ("Chrome", "Firefox") as the text.
#pragma once
#include <string>
#include <vector>

#include "catalogue/browser_db_targets.h"

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

// Called by the database cleaners once a database's sweep has ended:
// kInUse remembers it; any other result forgets it, and a database that was
// remembered and is now cleaned gets the line "... was open at the last
// sweep; cleaned now.". A preview changes no record.
void AfterDatabaseSweep(const std::string& path, const std::string& browser, DbSweep result,
                        const std::string& what, const std::string& label);
// The same, handing the result on: a database cleaner's last step.
inline DbSweep RememberIfHeld(DbSweep result, const std::string& path, const std::string& browser,
                              const std::string& what, const std::string& label) {
  AfterDatabaseSweep(path, browser, result, what, label);
  return result;
}

// Sweeps the remembered databases of one browser (all of them when browser
// is null) as their cleaner would, each behind its rule choice: a record
// whose profile folder is gone is dropped, one the browser still holds stays.
void CleanRememberedDatabases(const BrowserInfo* browser, int* count, float* kb);

// The Internet category's first step: every remembered database, with an
// opening line when there is any.
class SweepWorker;
void CleanHeldDatabases(SweepWorker* worker, int* count, float* kb);

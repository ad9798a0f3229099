// Cleaning the databases a sweep found held, once free: the cleaners are
// called here, and the record is only read and written through its own
// service (catalogue/held_databases.h), which calls no cleaner back.
#include "catalogue/held_database_sweep.h"

#include <windows.h>

#include "catalogue/browser_db_targets.h"
#include "catalogue/db_sweep.h"
#include "catalogue/held_databases.h"
#include "engine/browsers.h"
#include "engine/outcome_ledger.h"
#include "engine/path_text.h"
#include "engine/preview.h"
#include "engine/sqlite_db.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"

namespace {

// The profile a database belongs to: its folder, or for Chromium's
// Network\Cookies the folder above.
std::string ProfileFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  if (_stricmp(LeafOf(folder).c_str(), "Network") == 0) folder = FolderOf(folder);
  return folder;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool StillHeld(const std::string& path) {
  SqliteDb db;
  return db.OpenToCheck(path) == DbOpen::kInUse;
}

}  // namespace

void CleanRememberedDatabases(const BrowserInfo* only, int* count, float* kb, bool alone) {
  DropInvalidHeldRecords();
  std::vector<std::string> friendly;
  bool haveFriendly = false, friendlyUnreadable = false;
  for (const HeldDatabase& held : RememberedDatabases()) {
    const BrowserInfo* browser = FindBrowser(held.browser.c_str());
    if (only != nullptr && browser != only) continue;
    const std::string profile = ProfileFolderOf(held.path);
    if (!FolderExists(profile)) {
      // The profile was removed since: nothing is left to clean.
      if (!PreviewActive()) ForgetHeldDatabase(held.path);
      continue;
    }
    const std::string file = LeafOf(held.path);
    const bool firefoxHistory = SameNoCase(file, "places.sqlite") || SameNoCase(file, "favicons.sqlite");
    const bool chromiumIcons = SameNoCase(file, "Favicons");
    const char* entry = firefoxHistory || chromiumIcons ? browser->historyChoice : browser->cookieChoice;
    if (!RuleChoiceOn(entry, true)) {
      // Switched off: the user no longer asks for it to be cleaned.
      if (!PreviewActive()) ForgetHeldDatabase(held.path);
      continue;
    }
    if (!BrowserEntryRuns(entry)) continue;
    // The sweep's own pass over the browser's databases follows and gives
    // one still held its line and count; counting it here too would say it
    // twice in one sweep.
    if (!alone && StillHeld(held.path)) continue;
    EntryScope scope(SWEEP_CATEGORY_INTERNET, entry);
    if (firefoxHistory) {
      // favicons.sqlite is swept after places.sqlite, and only then; with no
      // places.sqlite left its record no longer applies.
      if (CleanFirefoxPlaces(profile, LeafOf(profile), count, kb) == DbSweep::kMissing && !PreviewActive())
        ForgetHeldDatabase(held.path);
      continue;
    }
    if (chromiumIcons) {
      CleanChromiumIcons(profile, browser->name, count, kb);
      continue;
    }
    if (!haveFriendly && !friendlyUnreadable) {
      haveFriendly = g_InternetSettings.GetFriendlyHosts(friendly);
      friendlyUnreadable = !haveFriendly;
    }
    if (friendlyUnreadable) {
      // Without the keep list every cookie would look unwanted: sweep none,
      // and count each as left, as the sweep does not end here.
      LogRefusedDatabase(held.path, "the list of friendly sites could not be read");
      continue;
    }
    const CookieStore store = browser->family == BrowserFamily::kFirefox ? CookieStore::kFirefox : CookieStore::kChromium;
    CleanCookieDatabase(held.path, store, browser->name, LeafOf(profile), friendly, count, kb);
  }
}

void CleanHeldDatabases(SweepWorker*, int* count, float* kb) {
  if (RememberedDatabases().empty()) return;
  LogLine("Start clean up the browser databases that were open at the last sweep.\n", 0);
  CleanRememberedDatabases(nullptr, count, kb, false);
}

void CleanHeldDatabasesAlone(int* count, float* kb) {
  if (RememberedDatabases().empty()) return;
  LogLine("Start clean up the browser databases that were open at the last sweep.\n", 0);
  CleanRememberedDatabases(nullptr, count, kb, true);
}

// The record of held browser databases, and cleaning them once free.
#include "catalogue/held_databases.h"

#include <windows.h>

#include "catalogue/browsers.h"
#include "engine/outcome_ledger.h"
#include "engine/path_text.h"
#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/reg_key.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"

const char kHeldDatabasesPath[] = "SOFTWARE\\Calderix\\Morvane\\Held Databases";

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

void Remember(const std::string& path, const std::string& browser) {
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  if (!key.IsOpen() && !key.Create()) return;
  key.SetValue(path.c_str(), REG_SZ, browser.c_str(), static_cast<DWORD>(browser.size() + 1));
}

void Forget(const std::string& path) {
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  if (key.IsOpen()) key.DeleteValue(path.c_str());
}

}  // namespace

std::vector<HeldDatabase> RememberedDatabases() {
  std::vector<HeldDatabase> held;
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  if (!key.IsOpen()) return held;
  std::vector<char> data(key.DataBufferSize());
  std::string name;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size() - 1);
    DWORD type = 0;
    if (!key.EnumValue(name, data.data(), &size, &type)) break;
    if (type != REG_SZ || size == 0) continue;
    data[size] = '\0';
    const std::string browser(data.data());
    if (FindBrowser(browser.c_str()) == nullptr || name.empty()) continue;
    held.push_back({name, browser});
  }
  return held;
}

bool IsRememberedDatabase(const std::string& path) {
  for (const HeldDatabase& held : RememberedDatabases())
    if (_stricmp(held.path.c_str(), path.c_str()) == 0) return true;
  return false;
}

void AfterDatabaseSweep(const std::string& path, const std::string& browser, DbSweep result,
                        const std::string& what, const std::string& label) {
  if (PreviewActive()) return;
  if (result == DbSweep::kInUse) {
    Remember(path, browser);
    return;
  }
  if (!IsRememberedDatabase(path)) return;
  Forget(path);
  if (result == DbSweep::kCleaned)
    LogFormat(IDC_STATUS_INTERNET, "   %s (%s) was open at the last sweep; cleaned now.\n", what.c_str(),
              label.c_str());
}

void CleanRememberedDatabases(const BrowserInfo* only, int* count, float* kb) {
  std::vector<std::string> friendly;
  bool haveFriendly = false;
  for (const HeldDatabase& held : RememberedDatabases()) {
    const BrowserInfo* browser = FindBrowser(held.browser.c_str());
    if (only != nullptr && browser != only) continue;
    const std::string profile = ProfileFolderOf(held.path);
    if (!FolderExists(profile)) {
      // The profile was removed since: nothing is left to clean.
      if (!PreviewActive()) Forget(held.path);
      continue;
    }
    const std::string file = LeafOf(held.path);
    const bool firefoxHistory = SameNoCase(file, "places.sqlite") || SameNoCase(file, "favicons.sqlite");
    const bool chromiumIcons = SameNoCase(file, "Favicons");
    const char* entry = firefoxHistory || chromiumIcons ? browser->historyChoice : browser->cookieChoice;
    if (!BrowserEntryRuns(entry)) continue;
    EntryScope scope(SWEEP_CATEGORY_INTERNET, entry);
    if (firefoxHistory) {
      CleanFirefoxPlaces(profile, LeafOf(profile), count, kb);
      continue;
    }
    if (chromiumIcons) {
      CleanChromiumIcons(profile, browser->name, count, kb);
      continue;
    }
    if (!haveFriendly) {
      // Without the keep list every cookie would look unwanted: sweep none.
      if (!g_InternetSettings.GetFriendlyHosts(friendly)) return;
      haveFriendly = true;
    }
    const CookieStore store = browser->family == BrowserFamily::kFirefox ? CookieStore::kFirefox : CookieStore::kChromium;
    CleanCookieDatabase(held.path, store, browser->name, LeafOf(profile), friendly, count, kb);
  }
}

void CleanHeldDatabases(SweepWorker*, int* count, float* kb) {
  if (RememberedDatabases().empty()) return;
  LogLine("Start clean up the browser databases that were open at the last sweep.\n", 0);
  CleanRememberedDatabases(nullptr, count, kb);
}

// The record of browser databases a sweep found held.
#include "catalogue/held_databases.h"

#include <windows.h>

#include "catalogue/firefox_targets.h"
#include "engine/browsers.h"
#include "engine/path_text.h"
#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "settings/reg_key.h"
#include "winlib/trace.h"

const char kHeldDatabasesPath[] = "SOFTWARE\\Calderix\\Morvane\\Held Databases";
const size_t kMostRememberedDatabases = 64;

namespace {

// The databases the cleaners sweep, by family; nothing else is remembered.
bool KnownDatabaseName(const BrowserInfo& browser, const std::string& leaf) {
  if (browser.family == BrowserFamily::kFirefox)
    return SameNoCase(leaf, "places.sqlite") || SameNoCase(leaf, "favicons.sqlite") ||
           SameNoCase(leaf, "cookies.sqlite");
  return SameNoCase(leaf, "Cookies") || SameNoCase(leaf, "Favicons");
}

// Splits what follows root\ in path into its names; false when path does
// not start with root\ or a name is empty, "." or "..".
bool NamesBelow(const std::string& path, const std::string& root, std::vector<std::string>& names) {
  names.clear();
  if (root.empty() || path.size() <= root.size() + 1 || path[root.size()] != '\\' ||
      !SameNoCase(path.substr(0, root.size()), root))
    return false;
  size_t from = root.size() + 1;
  for (;;) {
    const size_t end = path.find_first_of("\\/", from);
    const std::string name = path.substr(from, end == std::string::npos ? std::string::npos : end - from);
    if (name.empty() || name == "." || name == ".." || name.find(':') != std::string::npos) return false;
    names.push_back(name);
    if (end == std::string::npos) return true;
    from = end + 1;
  }
}

}  // namespace

bool IsValidHeldRecord(const std::string& path, const BrowserInfo& browser) {
  if (!KnownDatabaseName(browser, LeafOf(path))) return false;
  std::vector<std::string> names;
  if (browser.family == BrowserFamily::kFirefox) {
    // AppData\Mozilla\Firefox*\Profiles\<profile>\<file>
    if (!NamesBelow(path, UserShellFolder("AppData") + "\\Mozilla", names) || names.size() != 4) return false;
    return _strnicmp(names[0].c_str(), "Firefox", 7) == 0 && SameNoCase(names[1], "Profiles");
  }
  // Local AppData\<data root>\<profile>\[Network\]<file>; only Cookies moved to Network.
  if (!NamesBelow(path, UserShellFolder("Local AppData") + "\\" + browser.dataRoot, names)) return false;
  if (names.size() == 2) return true;
  return names.size() == 3 && SameNoCase(names[1], "Network") && SameNoCase(names[2], "Cookies");
}

namespace {

void Remember(const std::string& path, const std::string& browser) {
  const BrowserInfo* info = FindBrowser(browser.c_str());
  if (info == nullptr || !IsValidHeldRecord(path, *info)) return;
  if (IsRememberedDatabase(path)) return;
  // A bound on what a sweep may add: the cleaners know only a few files per
  // profile, so the list reaches it only when something is wrong.
  if (RememberedDatabases().size() >= kMostRememberedDatabases) {
    Trace("Held databases: %u records already; %s is not remembered\n",
          static_cast<unsigned>(kMostRememberedDatabases), path.c_str());
    return;
  }
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  if (!key.IsOpen() && !key.Create()) return;
  key.SetValue(path.c_str(), REG_SZ, browser.c_str(), static_cast<DWORD>(browser.size() + 1));
}

}  // namespace

void ForgetHeldDatabase(const std::string& path) {
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  if (key.IsOpen()) key.DeleteValue(path.c_str());
}


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
    const BrowserInfo* info = FindBrowser(browser.c_str());
    if (info == nullptr || name.empty() || !IsValidHeldRecord(name, *info)) continue;
    held.push_back({name, browser});
    if (held.size() >= kMostRememberedDatabases) break;
  }
  return held;
}

bool IsRememberedDatabase(const std::string& path) {
  for (const HeldDatabase& held : RememberedDatabases())
    if (_stricmp(held.path.c_str(), path.c_str()) == 0) return true;
  return false;
}

void AfterDatabaseSweep(const std::string& path, const std::string& browser, bool held, bool cleaned,
                        const std::string& what, const std::string& label) {
  if (PreviewActive()) return;
  if (held) {
    Remember(path, browser);
    return;
  }
  if (!IsRememberedDatabase(path)) return;
  ForgetHeldDatabase(path);
  if (cleaned)
    LogFormat(IDC_STATUS_INTERNET, "   %s (%s) was open at the last sweep; cleaned now.\n", what.c_str(),
              label.c_str());
}

// Values that are no record a sweep could have made (a path elsewhere, a
// file the cleaners do not know, a browser nobody knows): dropped.
void DropInvalidHeldRecords() {
  if (PreviewActive()) return;
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  if (!key.IsOpen()) return;
  std::vector<std::string> invalid;
  std::vector<char> data(key.DataBufferSize());
  std::string name;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size() - 1);
    DWORD type = 0;
    if (!key.EnumValue(name, data.data(), &size, &type)) break;
    const BrowserInfo* info = nullptr;
    if (type == REG_SZ && size > 0) {
      data[size] = '\0';
      info = FindBrowser(data.data());
    }
    if (info == nullptr || !IsValidHeldRecord(name, *info)) invalid.push_back(name);
  }
  for (const std::string& value : invalid) key.DeleteValue(value.c_str());
}

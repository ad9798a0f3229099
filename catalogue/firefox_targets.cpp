// Firefox profile targets: every profile below the roaming application-data
// folder loses its history, form, cookie, download, certificate, key and
// window-state files and the plain files of its Cache folder. A profile file
// in use is always left for removal at restart: the browser holds these open
// while it runs, and the next start would otherwise find them intact.
#include "catalogue/firefox_targets.h"

#include <windows.h>

#include <functional>
#include <string>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/restart_removal.h"
#include "engine/sweep_log.h"
#include "settings/reg_key.h"
#include "winlib/file_status.h"
#include "winlib/trace.h"

namespace {

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kUserShellFolders[] = "Explorer\\User Shell Folders";
constexpr size_t kPathBufferSize = 1024;

const char* const kProfileFiles[] = {"history.dat", "formhistory.dat", "cookies.txt", "downloads.rdf",
                                     "cert8.db",    "key3.db",         "localstore.rdf"};

bool IsProfileFile(const std::string& name) {
  for (const char* file : kProfileFiles)
    if (::lstrcmpiA(name.c_str(), file) == 0) return true;
  return false;
}

}  // namespace

std::string UserShellFolder(const char* valueName) {
  RegKey currentVersion(kCurrentVersionKey, HKEY_CURRENT_USER);
  if (!currentVersion.IsOpen()) return std::string();
  RegKey shellFolders(currentVersion.OpenSubKey(kUserShellFolders));
  if (!shellFolders.IsOpen()) return std::string();
  char value[kPathBufferSize] = {};
  DWORD size = sizeof value - 1;  // room for a terminator the value may lack
  if (!shellFolders.QueryValue(valueName, value, &size)) return std::string();
  char expanded[kPathBufferSize];
  const DWORD n = ::ExpandEnvironmentStringsA(value, expanded, sizeof expanded);
  if (n == 0 || n >= sizeof expanded) {
    Trace("Path buffer is not enough.\n");
    return std::string();
  }
  return expanded;
}

namespace {

void RemoveProfileFile(const std::string& path, int* count, float* kb) {
  const float sizeKB = FileSizeKB(path);
  // A file that stays (refused, or neither removed nor scheduled) is
  // recorded and named by the call; only what went or will go is counted.
  const RestartRemoval outcome = RemoveNowOrAtRestart(path);
  if (outcome != RestartRemoval::kRemovedNow && outcome != RestartRemoval::kAtRestart) return;
  if (kb != nullptr) *kb += sizeKB;
  if (outcome == RestartRemoval::kRemovedNow)
    LogItemOf(count, IDC_STATUS_INTERNET, "   ", path, sizeKB, "Remove file: %s, size %.3f(KB).\n", path.c_str(),
            static_cast<double>(sizeKB));
  else
    LogItemOf(count, IDC_STATUS_INTERNET, "   ", path, sizeKB, "Remove file: %s, size %.3f(KB) (After Rebooting).\n",
            path.c_str(), static_cast<double>(sizeKB));
}

void CleanCacheFolder(const std::string& folder, int* count, float* kb) {
  try {
    DirWalker cache(folder + "\\*.*", true);
    cache.RemoveFiles(IDC_STATUS_INTERNET, count, kb);
  } catch (const FileException& e) {
    Trace("Cannot sweep %s: %s\n", folder.c_str(), e.what());
  }
}

// Level d: the entries directly in one profile folder.
void CleanProfile(const std::string& profile, int* count, float* kb) {
  DirWalker entries(profile + "\\*.*", true);
  while (entries.HasMore()) {
    entries.Next();
    if (entries.IsDots()) continue;
    const std::string name = entries.GetFileName();
    if (entries.MatchesMask(FILE_ATTRIBUTE_DIRECTORY)) {
      // A link named Cache leads outside the profile: it is not the cache.
      if (::lstrcmpiA(name.c_str(), "Cache") == 0 && !entries.IsReparsePoint())
        CleanCacheFolder(entries.GetFilePath(), count, kb);
      continue;
    }
    if (IsProfileFile(name)) RemoveProfileFile(entries.GetFilePath(), count, kb);
  }
}

// Calls visit with the full path of every folder (no links) the pattern matches.
template <class Visit>
void ForEachFolder(const std::string& pattern, Visit visit) {
  DirWalker search(pattern, true);
  while (search.HasMore()) {
    search.Next();
    if (search.IsDots() || !search.MatchesMask(FILE_ATTRIBUTE_DIRECTORY) || search.IsReparsePoint()) continue;
    visit(search.GetFilePath());
  }
}

}  // namespace

void ForEachFirefoxProfile(const std::function<void(const std::string& profile)>& visit) {
  const std::string appData = UserShellFolder("AppData");
  if (appData.empty()) return;
  ForEachFolder(appData + "\\Mozilla\\Firefox*", [&](const std::string& browser) {
    ForEachFolder(browser + "\\profiles", [&](const std::string& profiles) {
      ForEachFolder(profiles + "\\*.*", visit);
    });
  });
}

void ForEachSubfolder(const std::string& folder, const std::function<void(const std::string& subfolder)>& visit) {
  ForEachFolder(folder + "\\*.*", visit);
}

void CleanFirefox(SweepWorker*, int* count, float* kb) {
  ForEachFirefoxProfile([&](const std::string& profile) { CleanProfile(profile, count, kb); });
}

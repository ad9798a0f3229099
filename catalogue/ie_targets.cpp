// Internet Explorer targets: content cache, cookies, history, IntelliForms, the
// MSN and Google toolbars, AOL. The shell-folder rows are data walked by
// CleanRows; the special folders are swept first and recorded as the done
// folder, so a row that names the same folder the same way is not swept twice.
#include "catalogue/ie_targets.h"

#include <windows.h>
#include <shlobj.h>

#include <iterator>
#include <string>
#include <vector>

#include "engine/clean_ops.h"
#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/folder_clean.h"
#include "engine/reg_clean.h"
#include "engine/reg_primitives.h"
#include "engine/sweep_log.h"
#include "engine/url_cache.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"

namespace {

constexpr int kStatus = IDC_STATUS_INTERNET;

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kUserShellFolders[] = "Explorer\\User Shell Folders";
const char kShellFolders[] = "Explorer\\Shell Folders";

const CleanItem kContentRows[] = {
    FolderRow(kKindFolder, kUserShellFolders, "Cache", nullptr, OP_CLEAN_DIR_TREE_BY_VALUE),
    FolderRow(kKindFolder, kShellFolders, "Cache", nullptr, OP_CLEAN_DIR_TREE_BY_VALUE),
    SubFolderRow(kKindFolder, kUserShellFolders, "Local Settings", nullptr, "Temporary Internet Files",
                 OP_CLEAN_SUBDIR_BY_VALUE),
    SubFolderRow(kKindFolder, kShellFolders, "Local Settings", nullptr, "Temporary Internet Files",
                 OP_CLEAN_SUBDIR_BY_VALUE),
};

// The Cookies folders named by the two shell-folder keys keep the friendly
// cookies (CleanCookieDirExcept); their copies under the Temp folder of Local
// Settings are swept whole.
const char* const kCookieKeyPaths[] = {kUserShellFolders, kShellFolders};
const CleanItem kCookieTempRows[] = {
    SubFolderRow(kKindFolder, kUserShellFolders, "Local Settings", nullptr, "Cookies", OP_CLEAN_SUBDIR_BY_VALUE),
    SubFolderRow(kKindFolder, kShellFolders, "Local Settings", nullptr, "Cookies", OP_CLEAN_SUBDIR_BY_VALUE),
};

const CleanItem kTypedUrlRows[] = {
    KeyRow(kKindKey, "Software\\Microsoft\\Internet Explorer\\TypedURLs", OP_CLEAN_MRU),
};
const CleanItem kHistoryRows[] = {
    FolderRow(kKindFolder, kUserShellFolders, "History", nullptr, OP_CLEAN_DIR_TREE_BY_VALUE),
    FolderRow(kKindFolder, kShellFolders, "History", nullptr, OP_CLEAN_DIR_TREE_BY_VALUE),
    EnvRow(kKindFolder, "%USERPROFILE%\\Local Settings\\Temp\\History", "History.*", OP_CLEAN_ENV_DIR_GUARDED),
};

const CleanItem kIntelliFormsRows[] = {
    KeyRow(kKindKey, "Software\\Microsoft\\Internet Explorer\\IntelliForms", OP_CLEAN_REG_KEY_TREE),
};

const char kMsnToolbarKey[] = "SOFTWARE\\Microsoft\\MSN Toolbar";
const char kGoogleToolbarKey[] = "SOFTWARE\\Google\\NavClient";
const char kAolKey[] = "SOFTWARE\\America Online\\America Online\\CurrentVersion\\";
const char* const kAolMasks[] = {"*.ARL", "*.AUT", "CACHE\\*.*"};

// The special folder's search pattern, or empty when the shell has none.
std::string SpecialFolderPattern(int csidl) {
  char folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE) || folder[0] == '\0') return std::string();
  return std::string(folder) + "\\*.*";
}

// Sweeps a special folder as a whole tree and returns its pattern as the
// done folder of the rows that follow.
std::string SweepSpecialFolder(int csidl, int* count, float* kb) {
  std::string done = SpecialFolderPattern(csidl);
  if (!done.empty()) {
    DirWalker walker(done, DeepSweepOn());
    walker.RemoveTree(1, kStatus, count, kb);
  }
  return done;
}

// Deletes every value of root\NavClient\<subkey>\History except one literally
// named "(Default)".
void CleanGoogleHistoryKeys(HKEY root, int* count) {
  TargetKey navClient(kGoogleToolbarKey, root);
  if (!navClient.IsOpen()) return;
  std::string subkey;
  while (navClient.EnumKey(subkey)) {
    TargetKey history(std::string(kGoogleToolbarKey) + "\\" + subkey + "\\History", root);
    if (!history.IsOpen()) continue;
    std::vector<char> data(history.DataBufferSize(), 0);
    std::string name;
    for (;;) {
      DWORD size = static_cast<DWORD>(data.size());
      if (!history.EnumValue(name, data.data(), &size, nullptr)) break;
      if (name == "(Default)") continue;
      const RegChange change = SweepDeleteValue(history, name.c_str());
      if (ItemGone(change)) --history.m_nValueIndex;
      // Each item counted has its line, as everywhere else.
      if (ChangeMade(change)) LogDeleteValue(history, count, kStatus, name, data.data());
    }
  }
}

}  // namespace

void CleanIeContent(SweepWorker*, int* count, float* kb) {
  CleanUrlCache(kContentCacheFilter, "", "Contents Cache", kStatus, count, kb);
  std::string done = SweepSpecialFolder(CSIDL_INTERNET_CACHE, count, kb);
  RegKey currentVersion(kCurrentVersionKey, HKEY_CURRENT_USER);
  if (!currentVersion.IsOpen()) return;
  CleanRows(currentVersion, kContentRows, std::size(kContentRows), kStatus, count, kb, &done);
}

void CleanIeCookies(SweepWorker*, int* count, float* kb) {
  // A private copy: a change made in the cookie dialog meanwhile counts from
  // the next run on.
  StringPairList friendly;
  g_InternetSettings.GetFriendlyCookies(friendly);
  CleanCookieCache(friendly, kCookieCacheFilter, "Cookie:", "Cookies Cache", kStatus, count, kb);

  // Never scheduled for restart: a cookie file in use belongs to a running
  // browser, and removing it at restart would take cookies set after this
  // sweep, which the user has not seen swept.
  std::string done = SpecialFolderPattern(CSIDL_COOKIES);
  if (!done.empty()) {
    DirWalker walker(done, false);
    walker.RemoveFilesExcept(friendly, kStatus, count, kb);
  }

  RegKey currentVersion(kCurrentVersionKey, HKEY_CURRENT_USER);
  if (!currentVersion.IsOpen()) return;
  for (const char* path : kCookieKeyPaths) {
    RegKey shellFolders(currentVersion.OpenSubKey(path));
    if (!shellFolders.IsOpen()) continue;
    shellFolders.NameBelow(currentVersion, path);
    CleanCookieDirExcept(friendly, shellFolders, "Cookies", kStatus, count, kb, &done);
  }
  CleanRows(currentVersion, kCookieTempRows, std::size(kCookieTempRows), kStatus, count, kb, &done);
}

void CleanIeHistory(SweepWorker*, int* count, float* kb) {
  CleanUrlCache(kHistoryCacheFilter, "Visited:", "UrlHistory Cache", kStatus, count, kb);
  CleanRows(HKEY_CURRENT_USER, "", kTypedUrlRows, kStatus, count, kb, nullptr);
  std::string done = SweepSpecialFolder(CSIDL_HISTORY, count, kb);
  // The Temp History folder is only swept along with the shell-folder rows.
  RegKey currentVersion(kCurrentVersionKey, HKEY_CURRENT_USER);
  if (!currentVersion.IsOpen()) return;
  CleanRows(currentVersion, kHistoryRows, std::size(kHistoryRows), kStatus, count, kb, &done);
}

void CleanIntelliForms(SweepWorker*, int* count, float*) {
  LogLine("Start clean up auto complete password.\n", 0);
  // Counted, but no kilobytes: registry values have no size worth adding.
  CleanRows(HKEY_CURRENT_USER, "", kIntelliFormsRows, kStatus, count, nullptr, nullptr);
}

void CleanMsnToolbar(SweepWorker*, int* count, float*) {
  // The per-user search strings are one item when there are any, with their
  // line; an empty value has nothing to sweep. The machine's copy is emptied
  // alongside and counts nothing.
  TargetKey user(kMsnToolbarKey, HKEY_CURRENT_USER);
  if (user.IsOpen()) ResetValueToEmpty(user, "SearchStrings", kStatus, count);
  TargetKey machine(kMsnToolbarKey, HKEY_LOCAL_MACHINE);
  if (machine.IsOpen()) ResetValueToEmpty(machine, "SearchStrings", 0, nullptr);
}

void CleanGoogleToolbar(SweepWorker*, int* count, float*) {
  CleanGoogleHistoryKeys(HKEY_CURRENT_USER, count);
  CleanGoogleHistoryKeys(HKEY_LOCAL_MACHINE, count);
}

void CleanAol(SweepWorker*, int* count, float* kb) {
  TargetKey aol(kAolKey, HKEY_LOCAL_MACHINE);
  if (!aol.IsOpen()) return;
  char folder[1024] = {};
  DWORD size = sizeof folder - 1;  // room for a terminator the value may lack
  if (!aol.QueryValue("DDPath", folder, &size) || folder[0] == '\0') return;
  for (const char* mask : kAolMasks) {
    DirWalker walker(std::string(folder) + "\\organize\\" + mask, DeepSweepOn());
    walker.RemoveFiles(kStatus, count, kb);
  }
}

// Windows history targets: recycle bin, document, find, run and network history, temporary files, last logon name,
// custom locations. The registry and environment targets are tables walked by CleanRows; the rest are small cleaners
// that still change the machine only through the engine's primitives.
#include "catalogue/windows_targets.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "engine/clean_ops.h"
#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/outcome_ledger.h"
#include "engine/recycle_bin.h"
#include "engine/reg_value.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "engine/reg_primitives.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"
#include "winlib/file_status.h"
#include "winlib/trace.h"

namespace {

constexpr int kStatus = IDC_STATUS_WINDOWS;

const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
// The Explorer search bar keeps what was searched for under its class id.
const char kSearchBar[] =
    "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}";

const CleanItem kDocumentKeys[] = {
    KeyRow(kKindKey, "Explorer\\ComDlg32\\LastVisitedMRU", OP_CLEAN_MRU),
    KeyRow(kKindKey, "Explorer\\ComDlg32\\OpenSaveMRU", OP_CLEAN_MRU),
    KeyRow(kKindKey, "Explorer\\ComDlg32\\OpenSaveMRU", OP_CLEAN_SUBKEY_MRU),
    KeyRow(kKindKey, "Explorer\\FileExts", OP_CLEAN_FILE_EXT),
    KeyRow(kKindKey, "Explorer\\RecentDocs", OP_CLEAN_MRU),
    KeyRow(kKindKey, "Explorer\\RecentDocs", OP_CLEAN_SUBKEY_MRU),
};

// Both shell-folder keys may name the Recent folder; the done folder keeps
// the one already swept from being swept twice.
const CleanItem kDocumentFolders[] = {
    FolderRow(kKindFolder, "Explorer\\User Shell Folders", "Recent", nullptr, OP_CLEAN_DIR_BY_VALUE),
    FolderRow(kKindFolder, "Explorer\\Shell Folders", "Recent", nullptr, OP_CLEAN_DIR_BY_VALUE),
};

const CleanItem kFindBarKeys[] = {
    KeyRow(kKindKey, "ContainingTextMRU", OP_CLEAN_REG_KEY),
    KeyRow(kKindKey, "FilesNamedMRU", OP_CLEAN_REG_KEY),
};

const CleanItem kFindKeys[] = {
    KeyRow(kKindKey, "Explorer\\Doc Find Spec MRU", OP_CLEAN_MRU),
    KeyRow(kKindKey, "Explorer\\FindComputerMRU", OP_CLEAN_MRU),
};

const CleanItem kRunKeys[] = {KeyRow(kKindRunKey, "Explorer\\RunMRU", OP_CLEAN_MRU)};

const CleanItem kNetworkKeys[] = {KeyRow(kKindKey, "Explorer\\Map Network Drive MRU", OP_CLEAN_MRU)};

// CleanRows skips a row whose expansion equals the one just before it, so
// "%TMP%" and "%TEMP%" naming one folder sweep it once.
const CleanItem kTempFolders[] = {
    EnvRow(kKindFolder, "%TMP%", "*.*", OP_CLEAN_ENV_DIR),
    EnvRow(kKindFolder, "%TEMP%", "*.*", OP_CLEAN_ENV_DIR),
    EnvRow(kKindFolder, "%TMPDIR%", "*.*", OP_CLEAN_ENV_DIR),
};

const char* const kLogonKeys[] = {
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon",
};
const char* const kLogonValues[] = {"AltDefaultDomainName", "AltDefaultUserName", "DefaultDomainName",
                                    "DefaultUserName"};

struct Root {
  HKEY key;
  const char* name;
};
const Root kLogonRoots[] = {{HKEY_CURRENT_USER, "HKEY_CURRENT_USER"}, {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}};

template <size_t N>
void RunRows(RegKey& base, const CleanItem (&rows)[N], int* count, float* kb, std::string* doneFolder = nullptr) {
  CleanRows(base, rows, N, kStatus, count, kb, doneFolder);
}

// One custom location: the user typed it, so it may lie inside the user's
// data folders (never at the root of one), and a place the guard turns down
// is named in the log, malformed text included, where the user looks.
void SweepCustomLocation(const CustomLocation& where, bool rebootFallback, int* count, float* kb) {
  if (where.m_bUnfitText) {
    // Converted, its characters would become '?', a wildcard that matches other files.
    RecordLeft(Outcome::kRefused, where.m_strDir + "\\" + where.m_strFilter,
               "its folder or filter does not fit the system's code page");
    return;
  }
  if (where.m_strFilter.empty()) {
    LogFormat(0, "  Skipped %s: it has no file filter.\n", where.m_strDir.c_str());
    return;
  }
  const std::string pattern = where.m_strDir + "\\" + where.m_strFilter;
  if (const char* why = TextRefusal(pattern); why != nullptr && IsMalformedRefusal(why)) {
    LogFormat(0, "  Skipped %s: %s.\n", where.m_strDir.c_str(), why);
    return;
  }
  try {
    // The walker judges the folder and logs its own refusal.
    DirWalker walker(pattern, rebootFallback, GuardScope::kTyped);
    if (where.m_nSubInc == 1)
      walker.RemoveTree(1, kStatus, count, kb);
    else
      walker.RemoveFiles(kStatus, count, kb);
  } catch (const std::exception& e) {
    Trace("Custom location %s ended early: %s\n", pattern.c_str(), e.what());
  }
}

}  // namespace

void CleanRecycleBin(SweepWorker*, int* count, float* kb) {
  uint64_t bytes = 0, items = 0;
  const bool known = QueryRecycleBins(&bytes, &items);
  const float size = BytesToKB(bytes);
  if (known)
    LogFormat(kStatus, "  Clean up 'Recycle Bin'. Items %d, Size %.3f(KB)\n", static_cast<int>(items),
              static_cast<double>(size));
  else
    LogLine("  Clean up 'Recycle Bin'.\n", 0);
  // Counted only once the bins are empty: a bin the shell would not empty
  // has lost nothing, and the call names it as not removed.
  if (!EmptyRecycleBins()) return;
  LogLine("  Cleaned up 'Recycle Bin'.\n", 0);
  // Each item in the bins counts as one, as if it had a line of its own; the
  // bins' size is shared out among them.
  if (count != nullptr)
    for (uint64_t i = 0; i < items; ++i)
      NumberItem(count, "Recycle Bin: item " + std::to_string(i + 1) + " of " + std::to_string(items),
                 static_cast<double>(size) / static_cast<double>(items));
  if (kb != nullptr) *kb += size;
}

void CleanDocumentHistory(SweepWorker*, int* count, float* kb) {
  std::string done;
  char recent[MAX_PATH + 8] = {};
  if (::SHGetSpecialFolderPathA(nullptr, recent, CSIDL_RECENT, FALSE)) {
    done = std::string(recent) + "\\*.*";
    try {
      // Plain files only: folders inside Recent are not the shell's shortcuts.
      DirWalker walker(done, DeepSweepOn());
      walker.RemoveFiles(kStatus, count, kb);
    } catch (const std::exception& e) {
      Trace("Recent folder sweep ended early: %s\n", e.what());
    }
  }
  LogLine("Start clean up document historical records.\n", 0);
  TargetKey base(kCurrentVersion, HKEY_CURRENT_USER);
  if (!base.IsOpen()) return;
  RunRows(base, kDocumentKeys, count, kb);
  RunRows(base, kDocumentFolders, count, kb, &done);
}

void CleanFindHistory(SweepWorker*, int* count, float* kb) {
  LogLine("Start clean up finding historical records.\n", 0);
  {
    TargetKey bar(kSearchBar, HKEY_CURRENT_USER);
    if (bar.IsOpen()) RunRows(bar, kFindBarKeys, count, kb);
  }
  TargetKey base(kCurrentVersion, HKEY_CURRENT_USER);
  if (base.IsOpen()) RunRows(base, kFindKeys, count, kb);
}

void CleanRunHistory(SweepWorker*, int* count, float* kb) {
  LogLine("Start clean up running historical records.\n", 0);
  TargetKey base(kCurrentVersion, HKEY_CURRENT_USER);
  if (base.IsOpen()) RunRows(base, kRunKeys, count, kb);
}

void CleanNetworkHistory(SweepWorker*, int* count, float* kb) {
  LogLine("Start clean up network historical records.\n", 0);
  TargetKey base(kCurrentVersion, HKEY_CURRENT_USER);
  if (base.IsOpen()) RunRows(base, kNetworkKeys, count, kb);
}

void CleanTempFiles(SweepWorker*, int* count, float* kb) {
  LogLine("Start clean up temporary files.\n", 0);
  // Environment rows need no base key.
  RegKey none(static_cast<HKEY>(nullptr));
  RunRows(none, kTempFolders, count, kb);
}

void CleanLogonUser(SweepWorker*, int* count, float*) {
  LogLine("Clean up default logon user name.\n", 0);
  for (const char* path : kLogonKeys) {
    for (const Root& root : kLogonRoots) {
      TargetKey key(path, root.key);
      if (!key.IsOpen()) continue;
      for (const char* value : kLogonValues)
        if (RemoveRegistryValue(key, value))
          LogItemOf(count, kStatus, "  ", std::string(root.name) + "\\" + path + "\\" + value, 0.0,
                    "Clean up registry key: %s\\%s\\%s\n", root.name, path, value);
    }
  }
}

void CleanCustomLocations(SweepWorker*, int* count, float* kb) {
  std::vector<CustomLocation> locations;
  {
    TimedLockGuard hold(g_WindowsSettings.m_lock);
    if (!hold.Owns()) {
      LogLine("  Custom locations skipped: their list is being changed.\n", 0);
      return;
    }
    locations = g_WindowsSettings.m_locations;
  }
  const bool rebootFallback = DeepSweepOn();
  for (const CustomLocation& where : locations) SweepCustomLocation(where, rebootFallback, count, kb);
}

// Reader and media player recent-file lists: Acrobat Reader 4.0 and 5.0,
// Media Player, RealPlayer 5.0 to 7.0 and RealOne Player with its user data
// folder. One cleaner covers the three check boxes; it tests the bits itself
// and moves the Applications bar itself.
#include "catalogue/media_targets.h"

#include <string>

#include "catalogue/registry_path_text.h"
#include "engine/dir_walker.h"
#include "engine/entry_selection.h"
#include "engine/outcome_ledger.h"
#include "engine/removal_guard.h"
#include "engine/reg_clean.h"
#include "engine/sweep_worker.h"
#include "engine/sweep_log.h"
#include "engine/reg_primitives.h"
#include "settings/reg_key.h"
#include "settings/settings_groups.h"

namespace {

constexpr int kStatus = IDC_STATUS_APPLICATIONS;
constexpr int kBitAcrobat = 0x10;
constexpr int kBitRealPlayer = 0x20;
constexpr int kBitMediaPlayer = 0x40;

// Player files are often held open by a running player: they go at the next
// restart whatever the Deep Sweep option says.
constexpr bool kRebootFallback = true;

enum class Removal { kSubKeys, kValues };

struct PlayerKey {
  int bit;
  HKEY root;
  // Opened first, the key below it; the line is written once the parent
  // opens. Null: the key is a full path and its line is written when it opens.
  const char* parent;
  const char* key;
  const char* line;
  bool lineWithoutKey;  // the line is written even when the key is missing
  Removal removal;
  const char* prefix;
};

const PlayerKey kPlayerKeys[] = {
    {kBitAcrobat, HKEY_CURRENT_USER, "Software\\Adobe", "Acrobat Reader\\4.0\\AVGeneral\\cRecentFiles",
     "Clean up Adobe 4.0.\n", false, Removal::kSubKeys, "c"},
    {kBitAcrobat, HKEY_CURRENT_USER, "Software\\Adobe", "Acrobat Reader\\5.0\\AVGeneral\\cRecentFiles",
     "Clean up Adobe 5.0.\n", false, Removal::kSubKeys, "c"},
    {kBitMediaPlayer, HKEY_CURRENT_USER, nullptr, "Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList",
     "Clean up MediaPlayer.\n", true, Removal::kValues, "File"},
    {kBitRealPlayer, HKEY_LOCAL_MACHINE, nullptr,
     "SOFTWARE\\classes\\Software\\RealNetworks\\RealPlayer\\5.0\\Preferences", "Clean up RealPlayer 5.0.\n", false,
     Removal::kSubKeys, "MostRecentClips"},
    {kBitRealPlayer, HKEY_LOCAL_MACHINE, nullptr,
     "SOFTWARE\\classes\\Software\\RealNetworks\\RealPlayer\\6.0\\Preferences", "Clean up RealPlayer 6.0.\n", false,
     Removal::kSubKeys, "MostRecentClips"},
    {kBitRealPlayer, HKEY_LOCAL_MACHINE, nullptr,
     "SOFTWARE\\classes\\Software\\RealNetworks\\RealPlayer\\7.0\\Preferences", "Clean up RealPlayer 7.0.\n", false,
     Removal::kSubKeys, "MostRecentClips"},
    {kBitRealPlayer, HKEY_CURRENT_USER, nullptr, "SOFTWARE\\RealNetworks\\RealPlayer\\6.0\\Preferences",
     "Clean up RealOne Player 6.0.\n", false, Removal::kSubKeys, "MostRecentClips"},
};

// The bar position set before each selectable target, in sweep order, with
// the target's caption as the Applications page shows it.
struct BarStep {
  unsigned percent;
  int bit;
  const char* name;
};
const BarStep kBarSteps[] = {{90, kBitAcrobat, "Adobe Acrobat Reader"},
                             {95, kBitMediaPlayer, "Windows Media Player"},
                             {100, kBitRealPlayer, "RealPlayer"}};

const char kRealOneDirLine[] = "Clean up RealOne Player 6.0 Directory.\n";
const char kUserDataPathKey[] = "SOFTWARE\\RealNetworks\\Preferences\\UserDataPath";
const char kCookiesPathKey[] = "SOFTWARE\\RealNetworks\\RealMediaSDK\\6.0\\Preferences\\CookiesPath";

void CleanKey(const PlayerKey& target, RegKey& key, int* count, float* kb) {
  if (target.removal == Removal::kSubKeys)
    DeleteSubKeysByPrefix(key, target.prefix, kStatus, count, kb);
  else
    DeleteValuesByPrefix(key, target.prefix, kStatus, count, kb);
}

void CleanPlayerKey(const PlayerKey& target, int* count, float* kb) {
  if (target.parent != nullptr) {
    TargetKey parent(target.parent, target.root);
    if (!parent.IsOpen()) return;
    LogLine(target.line, 0);
    TargetKey key(parent, target.key);
    if (!key.IsOpen()) return;
    key.NameBelow(parent, target.key);
    CleanKey(target, key, count, kb);
    return;
  }
  TargetKey key(target.key, target.root);
  if (target.lineWithoutKey || key.IsOpen()) LogLine(target.line, 0);
  if (key.IsOpen()) CleanKey(target, key, count, kb);
}

// RealOne's user data folder D (from the key's default value): its URL list,
// its state file, the History folder emptied and the Temp folder removed.
void CleanRealOneUserData(int* count, float* kb) {
  TargetKey key(kUserDataPathKey, HKEY_CURRENT_USER);
  if (!key.IsOpen()) return;
  LogLine(kRealOneDirLine, 0);
  std::string folder;
  if (!ReadPathText(key, nullptr, folder)) return;
  if (folder.back() != '\\') folder += '\\';
  // One reference, four walks: judged (and a refusal logged) once.
  if (!RemovalAllowed(folder + "*.*")) return;
  DirWalker(folder + "urls.ini", kRebootFallback).RemoveFiles(kStatus, count, kb);
  DirWalker(folder + "realplayer.ste", kRebootFallback).RemoveFiles(kStatus, count, kb);
  DirWalker(folder + "History\\*.*", kRebootFallback).RemoveTree(1, kStatus, count, kb);
  // The pattern names the folder itself, so the folder goes with its contents.
  DirWalker(folder + "Temp", kRebootFallback).RemoveTree(1, kStatus, count, kb);
}

// RealOne's cookie file: the value names a file or a pattern, used as it is.
void CleanRealOneCookies(int* count, float* kb) {
  TargetKey key(kCookiesPathKey, HKEY_CURRENT_USER);
  if (!key.IsOpen()) return;
  LogLine(kRealOneDirLine, 0);
  std::string pattern;
  if (!ReadPathText(key, nullptr, pattern)) return;
  DirWalker(pattern, kRebootFallback).RemoveFiles(kStatus, count, kb);
}

}  // namespace

void CleanOtherApplications(SweepWorker*, int* count, float* kb) {
  LogLine("Start clean up historical records on other applications.\n", 0);
  const int targets = g_ApplicationSettings.m_nTargets;
  for (const BarStep& step : kBarSteps) {
    SetProgress(IDC_PROGRESS_APPLICATIONS, step.percent);
    if ((targets & step.bit) == 0 || !EntryChosen(SWEEP_CATEGORY_APPLICATIONS, step.name)) continue;
    EntryScope entry(SWEEP_CATEGORY_APPLICATIONS, step.name);
    for (const PlayerKey& target : kPlayerKeys)
      if (target.bit == step.bit) CleanPlayerKey(target, count, kb);
    if (step.bit == kBitRealPlayer) {
      CleanRealOneUserData(count, kb);
      CleanRealOneCookies(count, kb);
    }
  }
}

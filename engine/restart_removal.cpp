// Single-file removal with a restart fallback that does not depend on Deep Sweep.
#include "engine/restart_removal.h"

#include <windows.h>

#include "engine/file_removal.h"
#include "engine/folder_open.h"
#include "engine/nt_calls.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"
#include "winlib/unique_handle.h"

bool ScheduleRemovalAtRestart(const std::string& path) {
  if (PreviewActive()) return true;
  return g_platform.MoveFileExW(nt::LongPathForm(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

namespace {
// The removal itself; refusals are recorded where they are met.
RestartRemoval Attempt(const std::string& path) {
  if (const char* why = RemovalRefusal(path)) {
    LogRefusal(path, why);
    RecordLeft(RefusedOutcome(why), path, why);
    return RestartRemoval::kRefused;
  }
  const size_t cut = path.find_last_of("\\/");
  const std::string canonical = cut == std::string::npos ? std::string() : CanonicalFolderOf(path);
  if (canonical.empty()) {
    RecordLeft(Outcome::kRefused, path, "it names no full folder");
    return RestartRemoval::kRefused;
  }
  // The file is opened relative to its folder's handle and checked to be the
  // folder's own entry, so a link planted under a profile file's name never
  // takes its target with it.
  HANDLE raw = nullptr;
  std::vector<FolderIdentity> opened;
  switch (OpenFolderChecked(canonical, ParentLength(canonical), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            &raw, &opened)) {
    case FolderOpen::kOpen:
      break;
    case FolderOpen::kMissing:
      RecordLeft(Outcome::kFailed, path, "its folder is not there");
      return RestartRemoval::kRefused;
    case FolderOpen::kLink:
      RecordLeft(Outcome::kRefused, path, "its folder is reached through a link");
      return RestartRemoval::kRefused;
    case FolderOpen::kFailed: {
      const DWORD e = ::GetLastError();
      RecordLeft(OutcomeOfError(e), path, "its folder cannot be opened: " + ErrorReason(e));
      return RestartRemoval::kRefused;
    }
  }
  ScopedHandle folder(raw);
  if (const char* why = FolderHandleRefusal(folder.Get(), GuardScope::kReference, opened)) {
    LogRefusal(path, why);
    RecordLeft(RefusedOutcome(why), path, why);
    return RestartRemoval::kRefused;
  }
  const std::wstring objectName = nt::ObjectName(folder.Get());
  const std::string folderPath = path.substr(0, cut);
  const OpenFolder open{folder.Get(), objectName, folderPath};
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  std::string now;
  // Never shredded: these files are removed by name, not swept from a folder.
  switch (RemoveFileAt(open, nt::Widen(path.substr(cut + 1)), attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes,
                       false, &now)) {
    case RemovalResult::kRemoved:
    case RemovalResult::kRemovedNotOverwritten:
      return RestartRemoval::kRemovedNow;
    case RemovalResult::kLeftLink:
      Trace("   Left the link %s.\n", path.c_str());
      RecordLeft(Outcome::kRefused, path, "it leads out of its folder");
      return RestartRemoval::kRefused;
    case RemovalResult::kTakenBefore:
      return RestartRemoval::kRefused;  // counted with what takes it
    case RemovalResult::kKept:
      Trace("   Kept %s: a rule keeps it.\n", path.c_str());
      RecordLeft(Outcome::kGuarded, path, "a rule keeps it");
      return RestartRemoval::kRefused;
    case RemovalResult::kUnjudged:
      RecordLeft(Outcome::kRefused, path, kUnjudgedKept);
      return RestartRemoval::kRefused;
    case RemovalResult::kStayed:
      RecordLeft(Outcome::kFailed, path, kStayedReason);
      return RestartRemoval::kRefused;
    case RemovalResult::kMovedAway:
      RecordLeft(Outcome::kFailed, path, kMovedReason);
      return RestartRemoval::kRefused;
    case RemovalResult::kFailed:
      break;
  }
  Trace("   Cannot remove file now: %s (%lu).\n", now.c_str(), ::GetLastError());
  if (ScheduleRemovalAtRestart(now)) return RestartRemoval::kAtRestart;
  Trace("   Even Cannot remove File %s (After Rebooting).\n", now.c_str());
  return RestartRemoval::kNotScheduled;
}
}  // namespace

RestartRemoval RemoveNowOrAtRestart(const std::string& path) {
  const float sizeKB = FileSizeKB(path);
  const RestartRemoval result = Attempt(path);
  switch (result) {
    case RestartRemoval::kRemovedNow:
      RecordOutcome(Outcome::kRemoved, path, sizeKB);
      break;
    case RestartRemoval::kAtRestart:
      RecordOutcome(Outcome::kScheduled, path, sizeKB);
      break;
    case RestartRemoval::kNotScheduled:
      RecordLeft(Outcome::kNotScheduled, path);
      break;
    case RestartRemoval::kRefused:
      break;  // recorded where it was refused
  }
  return result;
}

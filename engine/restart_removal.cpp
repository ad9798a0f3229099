// Single-file removal with a restart fallback that does not depend on Deep Sweep.
#include "engine/restart_removal.h"

#include <windows.h>

#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "winlib/trace.h"

namespace {

// Whether a deletion would go through now: the file opens for deletion while
// others hold it, and is not read-only.
bool RemovableNow(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  HANDLE h = ::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

}  // namespace

RestartRemoval RemoveNowOrAtRestart(const std::string& path) {
  if (!RemovalAllowed(path)) return RestartRemoval::kRefused;
  if (PreviewActive()) return RemovableNow(path) ? RestartRemoval::kRemovedNow : RestartRemoval::kAtRestart;
  if (::DeleteFileA(path.c_str())) return RestartRemoval::kRemovedNow;
  Trace("   Cannot remove file now: %s (%lu).\n", path.c_str(), ::GetLastError());
  if (!::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    Trace("   Even Cannot remove File %s (After Rebooting).\n", path.c_str());
  return RestartRemoval::kAtRestart;
}

// Registry changes of a sweep, each behind the preview switch.
#include "engine/reg_primitives.h"

#include <shlwapi.h>

#include "engine/preview.h"
#include "winlib/trace.h"

namespace {
RegChange Outcome(bool ok) { return ok ? RegChange::kDone : RegChange::kFailed; }
}  // namespace

RegChange SweepDeleteValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return RegChange::kFailed;
  if (PreviewActive()) return RegChange::kPreviewed;
  return Outcome(key.DeleteValue(name));
}

RegChange SweepSetValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size) {
  if (!key.IsOpen()) return RegChange::kFailed;
  if (PreviewActive()) return RegChange::kPreviewed;
  return Outcome(key.SetValue(name, type, data, size));
}

RegChange SweepDeleteSubKey(RegKey& key, const char* name) {
  // SHDeleteKeyA with an empty name empties the key itself: never what a
  // cleaner that names a subkey means.
  if (!key.IsOpen() || name == nullptr || *name == '\0') return RegChange::kFailed;
  if (PreviewActive()) return RegChange::kPreviewed;
  return Outcome(key.DeleteSubKey(name));
}

RegChange SweepDeleteKey(HKEY root, const char* path) {
  if (root == nullptr || path == nullptr || *path == '\0') {
    Trace("Refused to delete a registry root.\n");
    return RegChange::kFailed;
  }
  if (PreviewActive()) {
    HKEY probe = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, &probe) != ERROR_SUCCESS) return RegChange::kFailed;
    ::RegCloseKey(probe);
    return RegChange::kPreviewed;
  }
  return Outcome(::SHDeleteKeyA(root, path) == ERROR_SUCCESS);
}

// Registry changes of a sweep, each behind the preview switch and each
// recorded in the outcome ledger after the call, with what happened.
#include "engine/reg_primitives.h"

#include <shlwapi.h>

#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "winlib/trace.h"

namespace {

const char* RootName(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

// The error is the registry's answer; a key or value that is not there was
// not ours to remove and is not recorded.
RegChange Settle(LONG error, const std::string& item) {
  if (error == ERROR_SUCCESS) {
    RecordOutcome(Outcome::kRemoved, item, 0.0);
    return RegChange::kDone;
  }
  if (error == ERROR_FILE_NOT_FOUND) return RegChange::kAbsent;
  RecordLeft(OutcomeOfError(static_cast<unsigned long>(error)), item, ErrorReason(static_cast<unsigned long>(error)));
  return RegChange::kFailed;
}

RegChange Previewed(const std::string& item) {
  RecordOutcome(Outcome::kRemoved, item, 0.0);
  return RegChange::kPreviewed;
}

}  // namespace

std::string RegItemText(HKEY root, const std::string& path, const char* name) {
  std::string text;
  if (const char* rootName = RootName(root)) text = rootName;
  if (!path.empty()) text += (text.empty() ? "" : "\\") + path;
  if (name != nullptr) text += std::string(text.empty() ? "" : "\\") + (*name == '\0' ? "(Default)" : name);
  return text;
}

RegChange SweepDeleteValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return RegChange::kFailed;
  const std::string item = RegItemText(key.m_hRoot, key.m_strPath, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::RegDeleteValueA(key.IsOpen(), name), item);
}

RegChange SweepSetValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size) {
  if (!key.IsOpen()) return RegChange::kFailed;
  const std::string item = RegItemText(key.m_hRoot, key.m_strPath, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::RegSetValueExA(key.IsOpen(), name, 0, type, static_cast<const BYTE*>(data), size), item);
}

RegChange SweepDeleteSubKey(RegKey& key, const char* name) {
  // SHDeleteKeyA with an empty name empties the key itself: never what a
  // cleaner that names a subkey means.
  if (!key.IsOpen() || name == nullptr || *name == '\0') return RegChange::kFailed;
  const std::string item = RegItemText(key.m_hRoot, key.m_strPath, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::SHDeleteKeyA(key.IsOpen(), name), item);
}

RegChange SweepDeleteKey(HKEY root, const char* path) {
  if (root == nullptr || path == nullptr || *path == '\0') {
    Trace("Refused to delete a registry root.\n");
    return RegChange::kFailed;
  }
  const std::string item = RegItemText(root, path, nullptr);
  if (PreviewActive()) {
    HKEY probe = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_READ, &probe) != ERROR_SUCCESS) return RegChange::kAbsent;
    ::RegCloseKey(probe);
    return Previewed(item);
  }
  return Settle(::SHDeleteKeyA(root, path), item);
}

// Preview-aware single registry changes for the cleaners that are not tables.
#include "engine/reg_write.h"

#include <shlwapi.h>

#include "engine/preview.h"
#include "settings/reg_key.h"
#include "winlib/trace.h"

bool DeleteRegValue(RegKey& key, const char* name) {
  if (PreviewActive()) return false;
  if (key.DeleteValue(name)) return true;
  Trace("Cannot delete value %s of %s\n", name != nullptr ? name : "", key.m_strPath.c_str());
  return false;
}

bool SetRegValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size) {
  if (PreviewActive()) return true;
  if (key.SetValue(name, type, data, size)) return true;
  Trace("Cannot set value %s of %s\n", name != nullptr ? name : "", key.m_strPath.c_str());
  return false;
}

bool DeleteKeyTree(HKEY root, const std::string& path) {
  if (path.empty()) return false;
  if (PreviewActive()) return false;
  const LSTATUS status = ::SHDeleteKeyA(root, path.c_str());
  if (status == ERROR_SUCCESS) return true;
  if (status != ERROR_FILE_NOT_FOUND) Trace("Cannot delete key %s: %ld\n", path.c_str(), static_cast<long>(status));
  return false;
}

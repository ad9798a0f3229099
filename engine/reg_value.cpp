#include "engine/reg_value.h"

#include <windows.h>

#include "engine/preview.h"
#include "settings/reg_key.h"
#include "winlib/trace.h"

bool RemoveRegistryValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return false;
  if (PreviewActive())
    return ::RegQueryValueExA(key.IsOpen(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  const LONG rc = ::RegDeleteValueA(key.IsOpen(), name);
  if (rc == ERROR_SUCCESS) return true;
  if (rc != ERROR_FILE_NOT_FOUND) Trace("Cannot delete registry value %s\\%s (%ld).\n", key.m_strPath.c_str(), name, rc);
  return false;
}

#include "engine/reg_value.h"

#include <windows.h>

#include "engine/reg_primitives.h"
#include "settings/reg_key.h"
#include "winlib/trace.h"

bool RemoveRegistryValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return false;
  // Asked first so that a preview, which deletes nothing, still reports
  // only the values a real sweep would remove.
  if (::RegQueryValueExA(key.IsOpen(), name, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
  if (SweepDeleteValue(key, name) != RegChange::kFailed) return true;
  Trace("Cannot delete registry value %s\\%s.\n", key.m_strPath.c_str(), name);
  return false;
}

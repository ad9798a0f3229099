#include "engine/reg_value.h"

#include <windows.h>

#include "engine/reg_primitives.h"
#include "settings/reg_key.h"

bool RemoveRegistryValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return false;
  // Asked first so that a preview, which deletes nothing, still reports
  // only the values a real sweep would remove.
  if (::RegQueryValueExA(key.IsOpen(), name, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
  // A refusal is recorded and named in the log by the primitive.
  const RegChange change = SweepDeleteValue(key, name);
  return ChangeMade(change);
}

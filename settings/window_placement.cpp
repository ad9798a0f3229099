#include "settings/window_placement.h"

#include <string>

#include "settings/reg_key.h"

namespace {
const char kPlacementValue[] = "Placement";

std::string KeyOf(const char* window) { return std::string(kProductKeyPath) + "\\" + window; }
}  // namespace

bool LoadWindowPlacement(const char* window, WINDOWPLACEMENT* placement) {
  RegKey key(KeyOf(window), HKEY_CURRENT_USER);
  if (!key.IsOpen()) return false;
  WINDOWPLACEMENT stored = {};
  DWORD size = sizeof stored, type = 0;
  if (::RegQueryValueExA(key.IsOpen(), kPlacementValue, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) !=
          ERROR_SUCCESS ||
      type != REG_BINARY || size != sizeof stored || stored.length != sizeof stored)
    return false;
  *placement = stored;
  return true;
}

bool SaveWindowPlacement(const char* window, const WINDOWPLACEMENT& placement) {
  RegKey key(KeyOf(window), HKEY_CURRENT_USER);
  if (!key.IsOpen() && !key.Create()) return false;
  return key.SetValue(kPlacementValue, REG_BINARY, &placement, sizeof placement);
}

// Reading folder and file references out of registry text values.
#include "catalogue/registry_path_text.h"

#include <windows.h>

#include "settings/reg_key.h"
#include "winlib/trace.h"

bool ReadPathText(RegKey& key, const char* valueName, std::string& text) {
  text.clear();
  // One byte more than the value may hold, so that a value that fills the
  // whole buffer without a terminator can still be ended safely.
  char buffer[kPathValueBytes + 1] = {};
  DWORD size = kPathValueBytes;
  if (!key.QueryValue(valueName != nullptr ? valueName : "", buffer, &size)) return false;
  if (size > kPathValueBytes) return false;
  std::string raw(buffer, size);
  // String values usually carry their terminator (sometimes two); it is not part of the path.
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  if (raw.find('\0') != std::string::npos) {
    Trace("Path value %s\\%s holds a NUL; not used.\n", key.m_strPath.c_str(), valueName ? valueName : "");
    return false;
  }
  if (raw.empty()) return false;
  text = raw;
  return true;
}

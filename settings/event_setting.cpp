#include "settings/event_setting.h"

#include <windows.h>

#include <string>

#include "settings/policy.h"
#include "settings/reg_key.h"

const char kEventLogValueName[] = "EventLog";

namespace {

bool InRange(int level) { return level >= EVENT_LOG_OFF && level <= EVENT_LOG_ALL; }

// Whether the policy names the value at all, whatever its type or content.
bool PolicyValuePresent() {
  HKEY key = nullptr;
  const std::string path = std::string(kPolicyRootPath) + "\\General Settings";
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  const bool present = ::RegQueryValueExA(key, kEventLogValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return present;
}

// A policy value the administrator set but that makes no sense (a text, a
// number out of range) fixes the default: falling back to the user's own
// choice would let a typo in the policy switch the log off.
bool PolicyLevel(int* level) {
  int value = 0;
  if (ReadPolicyNumber(std::string(kPolicyRootPath) + "\\General Settings", kEventLogValueName, &value) &&
      InRange(value)) {
    *level = value;
    return true;
  }
  if (!PolicyValuePresent()) return false;
  *level = kDefaultEventLogLevel;
  return true;
}

// Settings are 4-byte numbers; a REG_DWORD written by hand counts the same.
bool StoredLevel(HKEY root, int* level) {
  RegKey key(std::string(kProductKeyPath) + "\\General Settings", root);
  if (!key.IsOpen()) return false;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!key.QueryValue(kEventLogValueName, &value, &size) || size != sizeof value) return false;
  if (!InRange(static_cast<int>(value))) return false;
  *level = static_cast<int>(value);
  return true;
}

}  // namespace

int EventLogLevelNow() {
  int level = kDefaultEventLogLevel;
  if (PolicyLevel(&level)) return level;
  if (StoredLevel(HKEY_CURRENT_USER, &level)) return level;
  if (StoredLevel(HKEY_LOCAL_MACHINE, &level)) return level;
  return kDefaultEventLogLevel;
}

bool EventLogLevelFixedByPolicy() {
  int level = 0;
  return PolicyLevel(&level);
}

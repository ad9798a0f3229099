#include "settings/event_setting.h"

#include <windows.h>

#include <string>

#include "settings/policy.h"
#include "settings/reg_key.h"

const char kEventLogValueName[] = "EventLog";

namespace {

bool InRange(int level) { return level >= EVENT_LOG_OFF && level <= EVENT_LOG_ALL; }

bool PolicyLevel(int* level) {
  int value = 0;
  if (!ReadPolicyNumber(std::string(kPolicyRootPath) + "\\General Settings", kEventLogValueName, &value)) return false;
  if (!InRange(value)) return false;
  *level = value;
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

// Reading the administrator's policy values below HKLM\SOFTWARE\Policies.
#include "settings/policy.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/reg_key.h"

const char kPolicyRootPath[] = "SOFTWARE\\Policies\\Calderix\\Morvane";
const char kHidePanelValueName[] = "NoControlPanel";

namespace {

const char kSettingsRoot[] = "SOFTWARE\\Calderix\\Morvane";

// A REG_SZ policy holds digits (decimal, or hex after 0x); anything else in
// it makes the value unusable rather than 0.
bool ParseNumber(const char* text, int* value) {
  while (*text == ' ') ++text;
  if (*text == '\0') return false;
  char* end = nullptr;
  const unsigned long n = std::strtoul(text, &end, 0);
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *value = static_cast<int>(static_cast<unsigned>(n));
  return true;
}

// Read access only: a user without rights to change the policies must still
// be bound by them, and the full access RegKey asks for is refused there.
HKEY OpenForReading(const std::string& path, REGSAM access = KEY_QUERY_VALUE) {
  HKEY key = nullptr;
  if (path.empty() || ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

bool QueryNumber(RegKey& key, const char* name, int* value) {
  if (!key.IsOpen()) return false;
  DWORD type = 0;
  BYTE data[64] = {};
  DWORD size = sizeof data - 1;  // room for a terminator of a text
  if (::RegQueryValueExA(key.m_hKey, name, nullptr, &type, data, &size) != ERROR_SUCCESS) return false;
  switch (type) {
    case REG_DWORD:
    case REG_BINARY:
      if (size != 4) return false;
      *value = static_cast<int>(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned>(data[3]) << 24));
      return true;
    case REG_SZ:
    case REG_EXPAND_SZ:
      data[size < sizeof data ? size : sizeof data - 1] = '\0';
      return ParseNumber(reinterpret_cast<const char*>(data), value);
    default:
      return false;
  }
}

}  // namespace

std::string PolicyPathFor(const std::string& settingsPath) {
  const size_t rootLength = std::strlen(kSettingsRoot);
  if (settingsPath.size() < rootLength || _strnicmp(settingsPath.c_str(), kSettingsRoot, rootLength) != 0)
    return std::string();
  const std::string rest = settingsPath.substr(rootLength);
  if (!rest.empty() && rest[0] != '\\') return std::string();
  return kPolicyRootPath + rest;
}

std::string PolicyBitValueName(const char* name, unsigned bit) {
  char text[64];
  std::snprintf(text, sizeof text, "%s.0x%02X", name, bit);
  return text;
}

bool ReadPolicyNumber(const std::string& policyPath, const char* name, int* value) {
  RegKey key(OpenForReading(policyPath));
  return QueryNumber(key, name, value);
}

PolicyFix ReadPolicyFix(const std::string& policyPath, const char* name, bool bitwise, unsigned allowedBits) {
  PolicyFix fix;
  RegKey key(OpenForReading(policyPath));
  if (!key.IsOpen()) return fix;
  int whole = 0;
  if (QueryNumber(key, name, &whole)) {
    fix.mask = ~0u;
    fix.bits = static_cast<unsigned>(whole);
  }
  if (!bitwise) return fix;
  // One bit per value: a policy that owns one option leaves the others to the user.
  for (unsigned bit = 1; bit != 0 && bit <= allowedBits; bit <<= 1) {
    if ((allowedBits & bit) == 0) continue;
    int on = 0;
    if (!QueryNumber(key, PolicyBitValueName(name, bit).c_str(), &on)) continue;
    fix.mask |= bit;
    fix.bits = on != 0 ? (fix.bits | bit) : (fix.bits & ~bit);
  }
  return fix;
}

int PanelPolicyNow() {
  int value = PANEL_SHOWN;
  if (!ReadPolicyNumber(std::string(kPolicyRootPath) + "\\General Settings", kHidePanelValueName, &value))
    return PANEL_SHOWN;
  return value == PANEL_HIDDEN || value == PANEL_NO_ICON ? value : PANEL_SHOWN;
}

bool AnyPolicySet() {
  RegKey root(OpenForReading(kPolicyRootPath, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS));
  if (!root.IsOpen()) return false;
  if (root.m_nValues != 0) return true;
  std::string name;
  while (root.EnumKey(name)) {
    RegKey group(OpenForReading(std::string(kPolicyRootPath) + "\\" + name, KEY_QUERY_VALUE));
    if (group.IsOpen() && group.m_nValues != 0) return true;
  }
  return false;
}

// The user's choice of rule entries under the Rules key, under the
// administrator's policy.
#include "settings/rule_choices.h"

#include <windows.h>

#include "settings/policy.h"
#include "settings/reg_key.h"

const char kRulesSettingsPath[] = "SOFTWARE\\Calderix\\Morvane\\Rules";

namespace {

// 1 on, 0 off, -1 no usable value in this root. Read access is enough, and
// all a user without rights on the machine hive gets there.
int StoredChoice(HKEY root, const std::string& entryName) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(root, kRulesSettingsPath, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return -1;
  RegKey key(handle);
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!key.QueryValue(entryName.c_str(), &value, &size) || size != sizeof(value)) return -1;
  return value != 0 ? 1 : 0;
}

int PolicyChoice(const std::string& entryName) {
  int value = 0;
  if (!ReadPolicyNumber(PolicyPathFor(kRulesSettingsPath), entryName.c_str(), &value)) return -1;
  return value != 0 ? 1 : 0;
}

// Entries that took over from one of an earlier version: a choice stored or
// fixed under the old name holds for each new entry until one is stored
// under the new name at the same level (policy, user, machine).
struct FormerName {
  const char* entry;
  const char* former;
};
const FormerName kFormerNames[] = {
    {"Google Chrome cookies (friendly sites kept)", "Chrome and Edge cookies (friendly sites kept)"},
    {"Microsoft Edge cookies (friendly sites kept)", "Chrome and Edge cookies (friendly sites kept)"},
};

const char* FormerNameOf(const std::string& entryName) {
  for (const FormerName& name : kFormerNames)
    if (_stricmp(name.entry, entryName.c_str()) == 0) return name.former;
  return nullptr;
}

// The choice of one level under the entry's name, else under its former one.
template <typename Read>
int ChoiceAtLevel(const std::string& entryName, Read read) {
  const int choice = read(entryName);
  if (choice >= 0) return choice;
  const char* former = FormerNameOf(entryName);
  return former != nullptr ? read(former) : -1;
}

int ForcedChoice(const std::string& entryName) { return ChoiceAtLevel(entryName, PolicyChoice); }

}  // namespace

bool RuleChoiceOn(const std::string& entryName, bool defaultOn) {
  const int forced = ForcedChoice(entryName);
  if (forced >= 0) return forced == 1;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const int stored = ChoiceAtLevel(entryName, [root](const std::string& name) { return StoredChoice(root, name); });
    if (stored >= 0) return stored == 1;
  }
  return defaultOn;
}

bool RuleChoiceFixed(const std::string& entryName) { return ForcedChoice(entryName) >= 0; }

bool StoreRuleChoices(const std::vector<std::pair<std::string, bool>>& choices) {
  RegKey key(kRulesSettingsPath, HKEY_CURRENT_USER);
  if (!key.IsOpen() && !key.Create()) return false;
  bool ok = true;
  for (const auto& choice : choices) {
    // The user's own choice stays as it was: it counts again once the policy goes.
    if (RuleChoiceFixed(choice.first)) continue;
    const DWORD value = choice.second ? 1 : 0;
    ok = key.SetValue(choice.first.c_str(), REG_DWORD, &value, sizeof(value)) && ok;
  }
  return ok;
}

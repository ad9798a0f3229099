// The user's choice of rule entries under the Rules key.
#include "settings/rule_choices.h"

#include <windows.h>

#include "settings/reg_key.h"

const char kRulesSettingsPath[] = "SOFTWARE\\Calderix\\Morvane\\Rules";

namespace {

// 1 on, 0 off, -1 no usable value in this root.
int StoredChoice(HKEY root, const std::string& entryName) {
  RegKey key(kRulesSettingsPath, root);
  if (!key.IsOpen()) return -1;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!key.QueryValue(entryName.c_str(), &value, &size) || size != sizeof(value)) return -1;
  return value != 0 ? 1 : 0;
}

}  // namespace

bool RuleChoiceOn(const std::string& entryName, bool defaultOn) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const int stored = StoredChoice(root, entryName);
    if (stored >= 0) return stored == 1;
  }
  return defaultOn;
}

bool StoreRuleChoices(const std::vector<std::pair<std::string, bool>>& choices) {
  RegKey key(kRulesSettingsPath, HKEY_CURRENT_USER);
  if (!key.IsOpen() && !key.Create()) return false;
  bool ok = true;
  for (const auto& choice : choices) {
    const DWORD value = choice.second ? 1 : 0;
    ok = key.SetValue(choice.first.c_str(), REG_DWORD, &value, sizeof(value)) && ok;
  }
  return ok;
}

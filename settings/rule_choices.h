// The user's choice of rule entries: one REG_DWORD per entry under
// SOFTWARE\Calderix\Morvane\Rules, named by the entry's section name, 1 on
// and 0 off. The per-user key is read first, the machine key is the fallback,
// and an entry with no value keeps its default.
#pragma once
#include <string>
#include <utility>
#include <vector>

extern const char kRulesSettingsPath[];  // "SOFTWARE\Calderix\Morvane\Rules"

bool RuleChoiceOn(const std::string& entryName, bool defaultOn);

// Writes each (entry name, on) pair to the per-user key. False when the key
// cannot be opened or a value cannot be written.
bool StoreRuleChoices(const std::vector<std::pair<std::string, bool>>& choices);

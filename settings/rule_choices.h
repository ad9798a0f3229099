// The user's choice of rule entries: one REG_DWORD per entry under
// SOFTWARE\Calderix\Morvane\Rules, named by the entry's section name, 1 on
// and 0 off. An administrator's value under
// HKLM\SOFTWARE\Policies\Calderix\Morvane\Rules (a number, or a text holding
// one) wins; then the per-user key, then the machine key; an entry with no
// value keeps its default.
#pragma once
#include <string>
#include <utility>
#include <vector>

extern const char kRulesSettingsPath[];  // "SOFTWARE\Calderix\Morvane\Rules"

bool RuleChoiceOn(const std::string& entryName, bool defaultOn);

// True when policy fixes the entry: its page shows the box disabled, and
// StoreRuleChoices leaves its stored choice alone.
bool RuleChoiceFixed(const std::string& entryName);

// Writes each (entry name, on) pair to the per-user key, except the entries
// policy fixes. False when the key cannot be opened or a value cannot be
// written.
bool StoreRuleChoices(const std::vector<std::pair<std::string, bool>>& choices);

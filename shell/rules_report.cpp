#include "shell/rules_report.h"

#include <cstdio>

#include "rules/rule_set.h"

std::vector<std::string> RuleReportLines(RuleSet& rules) {
  std::vector<std::string> lines;
  for (const auto& f : rules.Files())
    if (!f.skipped.empty()) lines.push_back("Skipped " + f.path + ": " + f.skipped + ".");
  rules.DetectAll();
  size_t loaded = 0, partly = 0, whole = 0, apply = 0, on = 0;
  const std::vector<RuleEntry>& entries = rules.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const RuleEntry& e = entries[i];
    const bool applies = rules.Applies(i);
    const bool isOn = !e.refusedWhole && RuleEntryOn(e);
    if (e.refusedWhole)
      ++whole;
    else if (e.refused.empty())
      ++loaded;
    else
      ++partly;
    apply += applies ? 1 : 0;
    on += isOn ? 1 : 0;
    lines.push_back(e.source + " | " + SweepCategoryName(e.category) + " | " + e.group + " | " + e.name + " | " +
                    (e.refusedWhole ? "refused" : (applies ? "applies: yes" : "applies: no")) + " | " +
                    (isOn ? "on" : "off"));
    for (const auto& r : e.refused) lines.push_back("    refused " + r.key + ": " + r.reason + ".");
  }
  char totals[200];
  std::snprintf(totals, sizeof totals,
                "%zu entries: %zu loaded, %zu with refused keys, %zu refused whole; %zu apply here, %zu on.",
                entries.size(), loaded, partly, whole, apply, on);
  lines.push_back(totals);
  return lines;
}

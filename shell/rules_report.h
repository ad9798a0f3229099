// "Morvane.exe /rules": one line per rule entry loaded (source, category,
// group, name, whether it applies here, on or off) with the keys refused and
// why, the files skipped, and a totals line.
#pragma once
#include <string>
#include <vector>

class RuleSet;

// The report's lines, without line ends. Works out detection for every entry.
std::vector<std::string> RuleReportLines(RuleSet& rules);

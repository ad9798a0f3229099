// One entry's keys, checked and turned into what the cleaner uses. Every
// key is judged on its own: a refused key is recorded with its reason and the
// rest of the entry goes on, except where what the entry keeps or does can no
// longer be known, and then nothing of the entry is taken.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "rules/rule_keys.h"

// An entry's keys as its section holds them: name and text, in file order.
using RawRuleKeys = std::vector<std::pair<std::string, std::string>>;

// A file past this many bytes of kept entries is read no further (far above
// any real rule file; the largest community file takes a few MB).
constexpr size_t kMaxRuleBytesPerFile = 32u * 1024 * 1024;

// Checks raw and fills entry's keys, or refuses it whole (refusedWhole, with
// why in refused).
void BuildRuleEntry(RuleEntry& entry, const RawRuleKeys& raw);

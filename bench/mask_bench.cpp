// Mask matcher benchmark: the costliest masks the rule reader accepts (the
// bounds of a FileKey or ExcludeKey pattern: 10 wildcards, 4096 characters)
// against 10,000 file names each, through the matcher every sweep uses.
// Each mask is first read by the reader; a mask it refuses is not timed.
//   bench_mask_bench.exe [names=10000] [runs=5]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "engine/mask_match.h"
#include "rules/rule_keys.h"

namespace {

// The mask as the reader keeps it from an ExcludeKey, or empty when refused.
std::string Accepted(const std::string& mask) {
  SetRuleVariableForTests("LocalAppData", {"C:\\bench"});
  std::vector<RuleEntry> entries;
  ParseRuleText("[Bench *]\nFileKey1=%LocalAppData%\\x|*\nExcludeKey1=FILE|%LocalAppData%\\x\\|" + mask + "\n",
                "bench.ini", false, &entries);
  if (entries.empty() || entries[0].refusedWhole || !entries[0].keys || entries[0].keys->excludes.empty()) return {};
  return entries[0].keys->excludes[0].patterns.at(0);
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int names = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  // Names of 255 characters that almost match every mask below.
  std::vector<std::string> list;
  for (int i = 0; i < names; ++i) list.push_back(Repeat("a", 240) + "." + std::to_string(i) + Repeat("a", 8));
  const struct {
    const char* what;
    std::string mask;
  } masks[] = {
      {"10 stars between long runs", Repeat("*" + Repeat("a", 400), 9) + "*b"},
      {"10 stars and dots", Repeat("*.", 9) + "*b"},
      {"stars ending in .*", Repeat("*.", 9) + "*"},
      {"9 stars, then 3000 ?", Repeat("*", 9) + Repeat("?", 3000) + "*"},
      {"plain mask", "*.tmp"},
  };
  bool allUnder = true;
  for (const auto& m : masks) {
    const std::string mask = Accepted(m.mask);
    if (mask.empty()) {
      std::printf("%-28s refused by the reader (not timed)\n", m.what);
      continue;
    }
    std::vector<double> times;
    int matched = 0;
    for (int r = 0; r < runs; ++r) {
      matched = 0;
      const double start = Now();
      for (const auto& n : list) matched += MaskMatches(n, mask);
      times.push_back(Now() - start);
    }
    const double median = Median(times);
    allUnder = allUnder && median < 1.0;
    std::printf("%-28s mask %4zu chars: %d names in %.3f s median of %d (%d matched)\n", m.what, mask.size(), names,
                median, runs, matched);
  }
  std::printf("%s\n", allUnder ? "every accepted mask under 1 s" : "SOME MASK TOOK 1 s OR MORE");
  return allUnder ? 0 : 1;
}

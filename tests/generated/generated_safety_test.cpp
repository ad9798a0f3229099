// The rule cleaner against generated cases: a fixed set of seeds, each a
// folder tree and registry keys with second names and a random rule entry
// over them (tests/support/generated_cases.h). After the seeds, a check that
// the set as a whole removed things and held every kind of second name, so
// that it cannot pass by generating nothing to catch. The long mode is
// bench/generated_safety.cpp.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "support/generated_cases.h"

namespace {

constexpr unsigned kFirstSeed = 1;
constexpr unsigned kSeedCount = 30;

struct Tally {
  std::mutex lock;
  unsigned cases = 0, removing = 0, mustGo = 0;
  std::map<std::string, unsigned> features;
};
Tally& Seen() {
  static Tally t;
  return t;
}

class GeneratedSafety : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    std::string why;
    if (!GeneratedCasesSupported(&why)) FAIL() << "the generated cases cannot be built here: " << why;
  }
};

TEST_P(GeneratedSafety, TheSweepStaysInsideItsTargetsAndCountsWhatStays) {
  const GeneratedResult r = RunGeneratedCase(GetParam());
  {
    std::lock_guard<std::mutex> hold(Seen().lock);
    ++Seen().cases;
    if (r.removed > 0) ++Seen().removing;
    if (r.mustGo > 0) ++Seen().mustGo;
    for (const auto& f : r.features) ++Seen().features[f];
  }
  EXPECT_FALSE(r.Failed()) << r.Report();
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, GeneratedSafety, ::testing::Range(kFirstSeed, kFirstSeed + kSeedCount),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return "seed" + std::to_string(info.param);
                         });

// Registered after GeneratedSafety, so it runs after every seed of the set.
class GeneratedCoverage : public ::testing::TestWithParam<int> {};

TEST_P(GeneratedCoverage, TheFixedSeedsRemoveThingsAndHoldEverySecondName) {
  Tally& t = Seen();
  if (t.cases < kSeedCount) GTEST_SKIP() << "only " << t.cases << " of the fixed seeds ran in this process";
  EXPECT_GE(t.removing * 2, t.cases) << "at least half the cases must remove something";
  EXPECT_GE(t.mustGo * 2, t.cases) << "at least half the cases must set out to remove something";
  for (const char* f :
       {"folder link", "file link", "registry link", "dangling registry link", "8.3 name", "8.3 spelling",
        "drive letter that is a folder", "drive letter spelling", "named file at a letter's root", "\\\\?\\ spelling",
        "case spelling", "rule variable", "CJK name", "Cyrillic name", "emoji name", "decomposed accent",
        "HKEY_CURRENT_USER spelling", "HKU\\<sid> spelling", "protected folder", "FILE exclusion", "PATH exclusion",
        "REG exclusion", "RECURSE", "REMOVESELF", "RegKey of a value", "rule through a folder link",
        "misspelt ExcludeKey", "ExcludeKey with an extra field"})
    EXPECT_GT(t.features[f], 0u) << "no fixed seed generated: " << f;
}

INSTANTIATE_TEST_SUITE_P(AfterTheSeeds, GeneratedCoverage, ::testing::Values(0));

// The checker itself: a change outside the targets and a target that stays
// uncounted are both caught (seed 3 removes files on every build).
TEST(GeneratedSafetyChecker, CatchesAChangeOutsideAndAnUncountedStay) {
  std::string why;
  ASSERT_TRUE(GeneratedCasesSupported(&why)) << why;
  const GeneratedResult touched = RunGeneratedCase(3, GeneratedTamper::kTouchOutside);
  EXPECT_NE(std::string::npos, touched.Report().find("f\\o\\x1\\secret.log")) << touched.Report();
  const GeneratedResult restored = RunGeneratedCase(3, GeneratedTamper::kRestoreTarget);
  ASSERT_GT(restored.mustGo, 0u);
  EXPECT_FALSE(restored.uncounted.empty()) << restored.Report();
}

}  // namespace

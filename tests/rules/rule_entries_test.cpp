// Rule entries in a sweep: only the enabled, applying entries of the category
// run, after the category's own targets and inside its tally; cancel stops
// between entries; and the "/rules" report's lines and totals.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"
#include "shell/rules_report.h"
#include "support/sweep_table_swap.h"
#include "tests/rules/rule_fixture.h"

namespace {

class RuleEntriesTest : public RuleTest {
 protected:
  void SetUp() override {
    SetRuleVariableForTests("LocalAppData", {Root()});
    for (const char* f : {"on\\a.tmp", "off\\b.tmp", "net\\c.tmp", "second\\d.tmp", "choice\\e.tmp"}) Plant(f);
    m_rules.LoadText(
        "[On *]\nLangSecRef=3021\nFileKey1=%LocalAppData%\\on|*.tmp\n"
        "[Off *]\nLangSecRef=3021\nFileKey1=%LocalAppData%\\off|*.tmp\n"
        "[Net *]\nLangSecRef=3022\nFileKey1=%LocalAppData%\\net|*.tmp\n"
        "[Second *]\nLangSecRef=3021\nFileKey1=%LocalAppData%\\second|*.tmp\n"
        "[Absent *]\nLangSecRef=3021\nDetectFile=%LocalAppData%\\nowhere\nFileKey1=%LocalAppData%\\second|*.tmp\n"
        "[Choice *]\nLangSecRef=3021\nDetectFile=%LocalAppData%\\choice\n",
        "entries.ini", false);
    ASSERT_TRUE(StoreRuleChoices({{"On *", true},
                                  {"Off *", false},
                                  {"Net *", true},
                                  {"Second *", true},
                                  {"Absent *", true},
                                  {"Choice *", true}}));
  }
};

TEST_F(RuleEntriesTest, OnlyEnabledApplyingEntriesOfTheCategoryRun) {
  ProgressRecorder rec;
  int count = 0;
  float kb = 0;
  SweepRuleEntriesOf(m_rules, nullptr, SWEEP_CATEGORY_APPLICATIONS, &count, &kb);
  EXPECT_EQ(2, count);
  EXPECT_FALSE(FileExists(At("on\\a.tmp")));
  EXPECT_FALSE(FileExists(At("second\\d.tmp")));
  for (const char* kept : {"off\\b.tmp", "net\\c.tmp", "choice\\e.tmp"}) EXPECT_TRUE(FileExists(At(kept))) << kept;
  const std::vector<std::string> lines = rec.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("Start clean up On * (entries.ini rules).\n", lines[0]);
  EXPECT_NE(std::string::npos, lines[1].find("Item 1, Remove file: " + At("on\\a.tmp")));
  SweepRuleEntriesOf(m_rules, nullptr, SWEEP_CATEGORY_INTERNET, &count, &kb);
  EXPECT_EQ(3, count);
  EXPECT_FALSE(FileExists(At("net\\c.tmp")));
}

TEST_F(RuleEntriesTest, CancelStopsBetweenEntries) {
  auto* worker = new SweepWorker(static_cast<HANDLE>(nullptr));
  DirWalker::SetStepHook([worker](const std::string& path) {
    if (path.find("\\on\\") != std::string::npos) worker->RequestCancel(SWEEP_APPLICATIONS);
  });
  int count = 0;
  float kb = 0;
  SweepRuleEntriesOf(m_rules, worker, SWEEP_CATEGORY_APPLICATIONS, &count, &kb);
  DirWalker::SetStepHook(nullptr);
  EXPECT_EQ(1, count) << "the entry under way ends; the next does not start";
  EXPECT_TRUE(FileExists(At("second\\d.tmp")));
  worker->Quit();
}

unsigned g_extraCategory = 99;
void RecordExtra(SweepWorker*, SweepCategory category, int* count, float* kb) {
  g_extraCategory = static_cast<unsigned>(category);
  *count += 5;
  *kb += 1.5f;
}
void OneItem(SweepWorker*, int* count, float*) { *count += 1; }

TEST_F(RuleEntriesTest, TheCategoryHookRunsAfterTheBuiltInTargetsInsideTheTally) {
  ProgressRecorder rec;
  SweepTableSwap table(InternetSweepTable(), SweepStep{50, true, 0, &OneItem});
  SetCategoryExtraSweep(&RecordExtra);
  SweepInternet(nullptr);
  SetCategoryExtraSweep(nullptr);
  EXPECT_EQ(static_cast<unsigned>(SWEEP_CATEGORY_INTERNET), g_extraCategory);
  EXPECT_EQ("Total: 6 item(s) swept, 1.500 KB restored.", rec.ItemText(IDC_TOTALS));

  // Cancelled before the hook: nothing of it runs and nothing is added.
  auto* worker = new SweepWorker(static_cast<HANDLE>(nullptr));
  g_extraCategory = 99;
  SweepTableSwap cancelling(InternetSweepTable(), SweepStep{50, true, 0, [](SweepWorker* w, int*, float*) {
                                                              w->RequestCancel(SWEEP_INTERNET);
                                                            }});
  SetCategoryExtraSweep(&RecordExtra);
  SweepInternet(worker);
  SetCategoryExtraSweep(nullptr);
  EXPECT_EQ(99u, g_extraCategory);
  worker->Quit();
}

TEST_F(RuleEntriesTest, TheRulesReportListsEveryEntryAndTotals) {
  m_rules.LoadText(
      "[Half *]\nFileKey1=%LocalAppData%\\h|*.tmp\nFileKey2=%LocalAppData%\\..\\x|*\n[Whole *]\nRegKey1=HKCU\n",
      "more.ini", false);
  m_rules.LoadText(std::string("\0\0binary", 8), "bin.ini", false);
  const std::vector<std::string> lines = RuleReportLines(m_rules);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("Skipped bin.ini: not a rule file (it holds NUL characters).", lines.front());
  EXPECT_EQ("entries.ini | Applications | Applications | On * | applies: yes | on", lines[1]);
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(),
                                   "entries.ini | Applications | Applications | Absent * | applies: no | on"));
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "    refused FileKey2: a path holding '..'."));
  EXPECT_EQ("8 entries: 6 loaded, 1 with refused keys, 1 refused whole; 6 apply here, 5 on.", lines.back());
}

}  // namespace

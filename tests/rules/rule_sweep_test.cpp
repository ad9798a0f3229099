// The cleaner on real folders and keys: each FileKey flag, wildcard folder
// segments, each ExcludeKey kind, registry values and keys, detection, and
// hostile rules. Every case compares before/after pictures: what went must
// be exactly what the rule names.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/removal_guard.h"
#include "engine/outcome_ledger.h"
#include "support/key_access.h"
#include "tests/rules/rule_fixture.h"

namespace {

class RuleSweepTest : public RuleTest {
 protected:
  void SetUp() override { SetRuleVariableForTests("LocalAppData", {Root()}); }

  // Sweeps the entry and returns what went, sorted, with the scratch label.
  std::vector<std::string> SweepAndDiff(const RuleEntry& e, int* count = nullptr) {
    const SnapshotMap before = Picture();
    const int n = Sweep(e);
    if (count != nullptr) *count = n;
    const SnapshotDiff diff = CompareSnapshots(before, Picture());
    EXPECT_TRUE(diff.added.empty() && diff.changed.empty()) << diff.Describe();
    std::vector<std::string> removed = diff.removed;
    std::sort(removed.begin(), removed.end());
    return removed;
  }

  std::vector<std::string> Ts(std::vector<std::string> rels) const {
    for (auto& r : rels) r = T(r);
    std::sort(rels.begin(), rels.end());
    return rels;
  }
};

TEST_F(RuleSweepTest, EachFlagRemovesWhatItNamesAndNothingElse) {
  struct Case {
    const char* key;
    std::vector<std::string> removed;  // below cN\Cache
  } cases[] = {
      {"|*.tmp;*.LOG", {"a.tmp", "b.log"}},
      {"|*.tmp|RECURSE", {"a.tmp", "sub\\c.tmp", "sub\\deeper\\d.tmp", "only\\e.tmp"}},
      {"|*.tmp|REMOVESELF", {"a.tmp", "sub\\c.tmp", "sub\\deeper\\d.tmp", "sub\\deeper", "sub", "only\\e.tmp", "only"}},
      {"|*|REMOVESELF",
       {"a.tmp", "b.log", "keep.txt", "sub\\c.tmp", "sub\\deeper\\d.tmp", "sub\\deeper", "sub", "only\\e.tmp", "only",
        ""}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string base = "c" + std::to_string(n++) + "\\Cache";
    for (const char* f : {"a.tmp", "b.log", "keep.txt", "sub\\c.tmp", "sub\\deeper\\d.tmp", "only\\e.tmp"})
      Plant(base + "\\" + f);
    Plant("c" + std::to_string(n - 1) + "\\beside.tmp");
    const RuleEntry& e = Read("[Flag " + std::string(c.key) + "]\nFileKey1=%LocalAppData%\\" + base + c.key + "\n");
    SCOPED_TRACE(c.key);
    ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    std::vector<std::string> expected;
    for (const auto& r : c.removed) expected.push_back(r.empty() ? base : base + "\\" + r);
    int count = 0;
    EXPECT_EQ(Ts(expected), SweepAndDiff(e, &count));
    EXPECT_EQ(static_cast<int>(expected.size()), count) << "one item per file and per folder removed";
  }
}

TEST_F(RuleSweepTest, RemoveSelfEmptiesATemporaryFolderButKeepsIt) {
  Plant("t\\a.tmp");
  Plant("t\\sub\\b.tmp");
  SetRuleVariableForTests("Temp", {At("t")});
  // The system's temporary folder, as the guard takes it.
  char oldTemp[MAX_PATH] = "", oldTmp[MAX_PATH] = "";
  ::GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
  ::GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH);
  ::SetEnvironmentVariableA("TEMP", At("t").c_str());
  ::SetEnvironmentVariableA("TMP", At("t").c_str());
  ReloadProtectedFoldersForTests();
  const RuleEntry& e = Read("[Temp *]\nFileKey1=%Temp%|*|REMOVESELF\n");
  ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
  EXPECT_EQ(Ts({"t\\a.tmp", "t\\sub", "t\\sub\\b.tmp"}), SweepAndDiff(e));
  ::SetEnvironmentVariableA("TEMP", oldTemp);
  ::SetEnvironmentVariableA("TMP", oldTmp);
  ReloadProtectedFoldersForTests();
}

TEST_F(RuleSweepTest, WildcardFolderSegmentsReachEveryFolderThatMatches) {
  for (const char* f :
       {"Profiles\\a1.default\\cache2\\x.bin", "Profiles\\b2\\cache2\\entries\\y.bin", "Profiles\\b2\\other\\z.bin",
        "Chrome Beta\\User Data\\Default\\Cache\\q.tmp", "Chromium\\User Data\\Profile 1\\Cache\\r.tmp",
        "Chromium\\User Data\\Profile 1\\Cache\\r.txt", "Other\\User Data\\Default\\Cache\\s.tmp"})
    Plant(f);
  const RuleEntry& e = Read(
      "[Wild *]\nFileKey1=%LocalAppData%\\Profiles\\*\\cache2|*|RECURSE\n"
      "FileKey2=%LocalAppData%\\Chrom*\\User Data\\*\\Cache|*.tmp\n");
  EXPECT_EQ(Ts({"Profiles\\a1.default\\cache2\\x.bin", "Profiles\\b2\\cache2\\entries\\y.bin",
                "Chrome Beta\\User Data\\Default\\Cache\\q.tmp", "Chromium\\User Data\\Profile 1\\Cache\\r.tmp"}),
            SweepAndDiff(e));
}

TEST_F(RuleSweepTest, ExcludeKeysSpareExactFoldersNotTextPrefixes) {
  struct Case {
    const char* name;
    const char* keys;
    std::vector<std::string> removed;  // below dN
  } cases[] = {
      {"FILE",
       "FileKey1=%LocalAppData%\\dX|*|RECURSE\nExcludeKey1=FILE|%LocalAppData%\\dX\\keep\\|a.txt\n",
       {"keep\\b.txt", "keepX\\a.txt", "keep\\deep\\a.txt", "other\\a.txt"}},
      {"PATH",
       "FileKey1=%LocalAppData%\\dX|*|RECURSE\nExcludeKey1=PATH|%LocalAppData%\\dX\\keep\\|a.txt\n",
       {"keep\\b.txt", "keepX\\a.txt", "other\\a.txt"}},
      {"PATH wildcard",
       "FileKey1=%LocalAppData%\\dX|*|RECURSE\nExcludeKey1=PATH|%LocalAppData%\\dX\\*\\deep\\|*\n",
       {"keep\\a.txt", "keep\\b.txt", "keepX\\a.txt", "other\\a.txt"}},
      {"REMOVESELF keeps the excluded file's folders",
       "FileKey1=%LocalAppData%\\dX|*|REMOVESELF\nExcludeKey1=FILE|%LocalAppData%\\dX\\keep\\|a.txt\n",
       {"keep\\b.txt", "keepX\\a.txt", "keepX", "keep\\deep\\a.txt", "keep\\deep", "other\\a.txt", "other"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = "d" + std::to_string(n++);
    for (const char* f : {"keep\\a.txt", "keep\\b.txt", "keepX\\a.txt", "keep\\deep\\a.txt", "other\\a.txt"})
      Plant(base + "\\" + f);
    std::string keys = c.keys;
    for (size_t at; (at = keys.find("dX")) != std::string::npos;) keys.replace(at, 2, base);
    const RuleEntry& e = Read("[Exclude " + std::string(c.name) + "]\n" + keys);
    ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    std::vector<std::string> expected;
    for (const auto& r : c.removed) expected.push_back(base + "\\" + r);
    EXPECT_EQ(Ts(expected), SweepAndDiff(e));
    const bool spared = std::find(c.removed.begin(), c.removed.end(), "keep\\a.txt") == c.removed.end();
    EXPECT_EQ(spared, FileExists(At(base + "\\keep\\a.txt")));
  }
}

TEST_F(RuleSweepTest, RegistryValuesAndKeysGoAsNamedWithExclusionsKept) {
  const std::string v = "Software\\RuleVendor";
  SetString(HKEY_CURRENT_USER, v + "\\App\\Recent", "File1", "C:\\doc1.txt");
  SetString(HKEY_CURRENT_USER, v + "\\App\\Recent", "File2", "C:\\doc2.txt");
  SetString(HKEY_CURRENT_USER, v + "\\App\\Settings", "Colour", "blue");
  SetString(HKEY_CURRENT_USER, v + "\\App\\Window", "Pos", "1,2");
  SetString(HKEY_CURRENT_USER, v + "\\Cache\\sub", "x", "y");
  SetString(HKEY_CURRENT_USER, v + "\\Office\\16.0\\Word\\User MRU\\ADAL_1\\File MRU", "Item 1", "a.docx");
  SetString(HKEY_CURRENT_USER, v + "\\Office\\16.0\\Word\\User MRU\\ADAL_2\\File MRU", "Item 1", "b.docx");
  SetString(HKEY_CURRENT_USER, v + "\\Office\\16.0\\Word\\User MRU\\ADAL_2\\Place MRU", "Item 1", "C:\\");

  const RuleEntry& values = Read(
      "[Reg values *]\nRegKey1=HKCU\\Software\\RuleVendor\\App\\Recent|File1\n"
      "RegKey2=HKCU\\Software\\RuleVendor\\Cache\nRegKey3=HKCU\\Software\\RuleVendor\\Missing\n"
      "RegKey4=HKCU\\Software\\RuleVendor\\Office\\16.0\\Word\\User MRU\\*\\File MRU\n");
  int count = 0;
  EXPECT_EQ((std::vector<std::string>{"hkcu\\RuleVendor\\App\\Recent\\:File1", "hkcu\\RuleVendor\\Cache",
                                      "hkcu\\RuleVendor\\Cache\\sub", "hkcu\\RuleVendor\\Cache\\sub\\:x",
                                      "hkcu\\RuleVendor\\Office\\16.0\\Word\\User MRU\\ADAL_1\\File MRU",
                                      "hkcu\\RuleVendor\\Office\\16.0\\Word\\User MRU\\ADAL_1\\File MRU\\:Item 1",
                                      "hkcu\\RuleVendor\\Office\\16.0\\Word\\User MRU\\ADAL_2\\File MRU",
                                      "hkcu\\RuleVendor\\Office\\16.0\\Word\\User MRU\\ADAL_2\\File MRU\\:Item 1"}),
            SweepAndDiff(values, &count));
  EXPECT_EQ(4, count) << "a value, and three whole keys";

  const RuleEntry& partial = Read(
      "[Reg partial *]\nRegKey1=HKCU\\Software\\RuleVendor\\App\n"
      "ExcludeKey1=REG|HKCU\\Software\\RuleVendor\\App\\Settings\n"
      "ExcludeKey2=REG|HKCU\\Software\\RuleVendor\\App\\Recent|File2\n");
  EXPECT_EQ((std::vector<std::string>{"hkcu\\RuleVendor\\App\\Window", "hkcu\\RuleVendor\\App\\Window\\:Pos"}),
            SweepAndDiff(partial));
}

// A deletion the system refuses is neither logged nor counted as done: it is
// named once, after the call, and counted as not removed.
TEST_F(RuleSweepTest, RegistryDeletionsTheSystemRefusesAreCountedAsNotRemoved) {
  const std::string v = "Software\\RuleVendor\\Locked";
  SetString(HKEY_CURRENT_USER, v, "File1", "C:\\doc1.txt");
  SetString(HKEY_CURRENT_USER, v + "\\Sub", "x", "y");
  ASSERT_TRUE(MakeKeyReadOnly(HKEY_CURRENT_USER, v + "\\Sub"));
  ASSERT_TRUE(MakeKeyReadOnly(HKEY_CURRENT_USER, v));
  ProgressRecorder log;
  const RuleEntry& e = Read("[Locked *]\nRegKey1=HKCU\\Software\\RuleVendor\\Locked|File1\n"
                            "RegKey2=HKCU\\Software\\RuleVendor\\Locked\\Sub|x\n");
  ResetOutcomes();
  const SnapshotMap before = Picture();
  const int count = Sweep(e);
  const int notRemoved = NotRemovedCount();
  MakeKeyWritable(HKEY_CURRENT_USER, v);
  MakeKeyWritable(HKEY_CURRENT_USER, v + "\\Sub");
  EXPECT_TRUE(Removed(before).empty());
  EXPECT_EQ(count, 0);
  EXPECT_EQ(notRemoved, 2);
  std::vector<std::string> named;
  for (const auto& l : log.LogLines()) {
    EXPECT_EQ(l.find("Delete "), std::string::npos) << l;
    if (l.rfind("   Not removed: ", 0) == 0) named.push_back(l);
  }
  EXPECT_EQ(named, (std::vector<std::string>{
                       "   Not removed: HKEY_CURRENT_USER\\" + v + "\\File1: the system refused it (error 5).\n",
                       "   Not removed: HKEY_CURRENT_USER\\" + v + "\\Sub\\x: the system refused it (error 5).\n"}));
  ResetOutcomes();
}

TEST_F(RuleSweepTest, DetectionTakesKeysFilesAndTheOsRange) {
  SetString(HKEY_CURRENT_USER, "Software\\RuleVendor\\Present", "x", "1");
  Plant("det\\v2\\marker.txt");
  SetRuleVariableForTests("Music", {});
  SetRuleOsVersionForTests(1000);
  struct Case {
    const char* keys;
    bool applies;
  } cases[] = {
      {"", true},
      {"Detect=HKCU\\Software\\RuleVendor\\Present", true},
      {"Detect1=HKCU\\Software\\RuleVendor\\Absent\nDetect2=HKCU\\Software\\RuleVendor\\Present", true},
      {"Detect=HKCU\\Software\\RuleVendor\\Absent", false},
      {"Detect=HKCU\\Software\\Rule*\\Pres*", true},
      {"DetectFile=%LocalAppData%\\det\\*\\marker.txt", true},
      {"DetectFile=%LocalAppData%\\det\\v2", true},
      {"DetectFile=%LocalAppData%\\det\\*\\missing.txt", false},
      {"DetectFile=%Music%\\det", false},
      {"DetectOS=10.0|", true},
      {"DetectOS=|6.3", false},
      {"DetectOS=6.1", false},
      {"DetectOS=6.1|10.0\nDetect=HKCU\\Software\\RuleVendor\\Present", true},
      {"DetectOS=6.1|6.3\nDetect=HKCU\\Software\\RuleVendor\\Present", false},
  };
  RuleSet rules;
  int n = 0;
  for (const Case& c : cases)
    rules.LoadText("[Det " + std::to_string(n++) + "]\n" + c.keys + "\nFileKey1=%LocalAppData%\\x|*.tmp\n", "d.ini",
                   false);
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].applies, rules.Applies(i)) << cases[i].keys;
}

TEST_F(RuleSweepTest, TheGuardJudgesEveryFolderAWildcardReaches) {
  Plant("vendor\\guarded\\a.tmp");
  Plant("vendor\\open\\b.tmp");
  ASSERT_TRUE(ProtectFolderForTests(At("vendor\\guarded")));
  const RuleEntry& e = Read("[Guarded *]\nFileKey1=%LocalAppData%\\vendor\\*|*.tmp|RECURSE\n");
  const std::vector<std::string> removed = SweepAndDiff(e);
  ClearExtraProtectedFolders();
  EXPECT_EQ(Ts({"vendor\\open\\b.tmp"}), removed);
}

// Rules are references the user did not type: nothing inside the user's data
// folders goes, whether the rule names such a folder, its wildcard reaches
// one, or its walk meets one.
TEST_F(RuleSweepTest, NothingInsideTheUsersDataFoldersGoes) {
  for (const char* f : {"docs\\Vendor\\Cache\\a.tmp", "docs\\b.tmp", "app\\Cache\\c.tmp", "app\\Cache\\Pictures\\d.tmp",
                        "app\\Cache\\Pictures\\sub\\e.tmp", "vendor\\Music\\f.tmp", "vendor\\open\\g.tmp"})
    Plant(f);
  ASSERT_TRUE(ProtectDataFolderForTests(At("docs"), "Documents"));
  ASSERT_TRUE(ProtectDataFolderForTests(At("app\\Cache\\Pictures"), "Pictures"));
  ASSERT_TRUE(ProtectDataFolderForTests(At("vendor\\Music"), "Music"));
  SetRuleVariableForTests("Documents", {At("docs")});
  const RuleEntry& e = Read(
      "[User data *]\nFileKey1=%Documents%\\Vendor\\Cache|*.tmp|REMOVESELF\n"
      "FileKey2=%LocalAppData%\\app\\Cache|*.tmp|REMOVESELF\nFileKey3=%LocalAppData%\\vendor\\*|*.tmp\n");
  ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
  ProgressRecorder rec;
  const std::vector<std::string> removed = SweepAndDiff(e);
  ClearExtraProtectedFolders();
  EXPECT_EQ(Ts({"app\\Cache\\c.tmp", "vendor\\open\\g.tmp"}), removed);
  bool named = false;
  for (const auto& line : rec.LogLines())
    named = named || line.find("Skipped " + At("docs\\Vendor\\Cache")) != std::string::npos;
  EXPECT_TRUE(named) << ::testing::PrintToString(rec.LogLines());
}

TEST_F(RuleSweepTest, NamedFilesInTheWindowsFolderGoOneByOne) {
  char windows[MAX_PATH];
  ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  const std::string gone = std::string(windows) + "\\morvane-rule-test.log";
  const std::string kept = std::string(windows) + "\\morvane-rule-keep.log";
  ASSERT_TRUE(WriteFileBytes(gone, "log"));
  ASSERT_TRUE(WriteFileBytes(kept, "log"));
  const RuleEntry& e = Read("[Windows log *]\nFileKey1=%WinDir%|morvane-rule-test.log;absent.log\n");
  ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
  EXPECT_EQ(1, Sweep(e, true));
  EXPECT_TRUE(FileExists(gone)) << "preview";
  EXPECT_EQ(1, Sweep(e));
  EXPECT_FALSE(FileExists(gone));
  EXPECT_TRUE(FileExists(kept));
  ::DeleteFileA(kept.c_str());
}

// The link fixtures come from tools/make-fixtures.sh (Win32 code cannot make
// a link under Wine): tree\real\cache holds a file and a link out; tree\link
// leads to outside, which has a cache of its own.
const std::string kLinks = "D:\\fixtures\\rules";

TEST_F(RuleSweepTest, AFolderLinkMetWhileExpandingIsNeverPassedThrough) {
  REQUIRE_FIXTURE(FileExists(kLinks + "\\outside\\cache\\secret.tmp"), kLinks);
  SnapshotMap before, after;
  SnapshotFolder("fx", kLinks, before);
  const RuleEntry& e = Read("[Links *]\nFileKey1=" + kLinks + "\\tree\\*\\cache|*.tmp|REMOVESELF\nFileKey2=" + kLinks +
                            "\\tree\\link\\cache|*.tmp|RECURSE\nDetectFile=" + kLinks + "\\tree\\*\\cache\n");
  ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
  Sweep(e);
  SnapshotFolder("fx", kLinks, after);
  const SnapshotDiff diff = CompareSnapshots(before, after);
  EXPECT_EQ((std::vector<std::string>{"fx\\tree\\real\\cache\\own.tmp"}), diff.removed) << diff.Describe();
  EXPECT_TRUE(diff.added.empty() && diff.changed.empty()) << diff.Describe();
  EXPECT_TRUE(FileExists(kLinks + "\\outside\\cache\\secret.tmp"));
}

// A FileKey whose folder is a link to a protected folder (made by
// tools/make-fixtures.sh) leaves it as it is, and says so: the entry set out
// to sweep there, so what stays counts as not removed.
TEST_F(RuleSweepTest, AFolderLinkToAProtectedFolderIsLeftAndCounted) {
  const std::string alias = "D:\\fixtures\\hostile\\alias\\";
  REQUIRE_FIXTURE(FileExists(alias + "windows\\win.ini"), alias + "windows");
  const char* const links[] = {"documents", "desktop", "windows"};
  for (const char* link : links) {
    SCOPED_TRACE(link);
    const auto before = Picture();
    SnapshotMap outside;
    SnapshotFolder("a", alias + link, outside);
    const RuleEntry& e = Read(std::string("[Link to ") + link + " *]\nFileKey1=" + alias + link + "|*.*\n");
    ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    ResetOutcomes();
    ProgressRecorder log;
    EXPECT_EQ(Sweep(e), 0);
    EXPECT_EQ(NotRemovedCount(), 1) << ::testing::PrintToString(log.LogLines());
    SnapshotMap after;
    SnapshotFolder("a", alias + link, after);
    EXPECT_TRUE(CompareSnapshots(outside, after).removed.empty());
    EXPECT_TRUE(Removed(before).empty());
  }
}

TEST_F(RuleSweepTest, APreviewEqualsTheRealSweepAndChangesNothing) {
  for (const char* f : {"p\\keep\\a.txt", "p\\keep\\b.txt", "p\\gone\\c.txt", "p\\gone\\deep\\d.txt", "p\\e.log"})
    Plant(f, std::string(1500, 'x'));
  SetString(HKEY_CURRENT_USER, "Software\\RuleVendor\\App\\Recent", "File1", "C:\\doc1.txt");
  SetString(HKEY_CURRENT_USER, "Software\\RuleVendor\\App\\Keep", "x", "1");
  const RuleEntry& e = Read(
      "[Preview *]\nFileKey1=%LocalAppData%\\p|*.txt;*.log;*|REMOVESELF\n"
      "ExcludeKey1=FILE|%LocalAppData%\\p\\keep\\|a.txt\nRegKey1=HKCU\\Software\\RuleVendor\\App\n"
      "ExcludeKey2=REG|HKCU\\Software\\RuleVendor\\App\\Keep\n");
  const SnapshotMap before = Picture();
  float previewKb = 0, realKb = 0;
  std::vector<std::string> previewLines, realLines;
  int previewCount = 0, realCount = 0;
  {
    ProgressRecorder rec;
    previewCount = Sweep(e, true, &previewKb);
    previewLines = rec.LogLines();
  }
  EXPECT_TRUE(CompareSnapshots(before, Picture()).Empty()) << CompareSnapshots(before, Picture()).Describe();
  {
    ProgressRecorder rec;
    realCount = Sweep(e, false, &realKb);
    realLines = rec.LogLines();
  }
  EXPECT_EQ(previewLines, realLines);
  EXPECT_EQ(previewCount, realCount);
  EXPECT_FLOAT_EQ(previewKb, realKb);
  EXPECT_EQ(7, realCount) << ::testing::PrintToString(realLines);  // 4 files, 2 folders, 1 key
  EXPECT_TRUE(FileExists(At("p\\keep\\a.txt")));
  EXPECT_FALSE(FileExists(At("p\\e.log")));
}

}  // namespace

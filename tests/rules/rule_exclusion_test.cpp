// What an entry keeps: every key that starts with "ExcludeKey" is read or the
// whole entry is refused, ExcludeKey patterns have the bounds FileKey
// patterns have, and an exclusion keeps the file it names whatever spelling
// of its folder the FileKey or the ExcludeKey uses (short names, long names).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/outcome_ledger.h"
#include "engine/removal_guard.h"
#include "settings/settings_groups.h"
#include "support/generated_cases.h"
#include "tests/rules/rule_fixture.h"

namespace {

class RuleExclusionTest : public RuleTest {
 protected:
  void SetUp() override { SetRuleVariableForTests("LocalAppData", {Root()}); }
};

// Each line would have the entry sweep ex\ while what it was told to keep
// cannot be known: the entry is refused whole, with the key and its reason,
// and nothing of ex\ goes.
TEST_F(RuleExclusionTest, ExcludeKeysThatCannotBeReadExactlyRefuseTheirEntry) {
  std::string many;
  for (int i = 0; i < 11; ++i) many += "*a";
  const struct {
    const char* line;
    const char* reason;  // part of the entry's reason
  } cases[] = {
      {"ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt|", "more than three fields"},
      {"ExcludeKey1=PATH|%LocalAppData%\\ex\\|keep.txt|x", "more than three fields"},
      {"ExcludeKey1=REG|HKCU\\Software\\X|v|w", "more than three fields"},
      {"ExcludeKey 1=FILE|%LocalAppData%\\ex\\|keep.txt", "ExcludeKey 1"},
      {"ExcludeKey=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExcludeKeyA=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExcludeKey1b=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExcludeKey01=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt", "an unknown key that holds an exclusion"},
      {"Keep1=path|%LocalAppData%\\ex\\|keep.txt", "an unknown key that holds an exclusion"},
      {"Exlude1= REG|HKCU\\Software\\X", "an unknown key that holds an exclusion"},
      {"ExludeKey1 FILE|%LocalAppData%\\ex\\|keep.txt", "has no '='"},
      {"excludekey_2=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep<.txt", "a character no file name holds"},
      {"ExcludeKey1=FILE|%LocalAppData%\\ex\\|\"keep.txt\"", "a character no file name holds"},
      {"ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep\x01.txt", "a character no file name holds"},
      {"ExcludeKey1 FILE|%LocalAppData%\\ex\\|keep.txt", "has no '='"},
      {"ExcludeKey1:FILE|%LocalAppData%\\ex\\|keep.txt", "has no '='"},
      {"\xC2\xA0" "Exclude\xE2\x80\x8BKey1 FILE|%LocalAppData%\\ex\\|keep.txt", "has no '='"},
      {"FileKey2 %LocalAppData%\\other|*.txt", "has no '='"},
      {"Detect HKCU\\Software\\X", "has no '='"},
      {"\xC2\xA0" "ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"\xEF\xBB\xBF" "ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"\xE2\x80\x8B\xE2\x81\xA0" "ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExcludeKey1\xE3\x80\x80=FILE|%LocalAppData%\\ex\\|keep.txt", "not ExcludeKey and a number"},
      {"ExcludeKey1=PATH|%LocalAppData%\\ex\\|", nullptr},  // control: the whole folder is kept
  };
  int n = 0;
  std::vector<const char*> all;
  for (const auto& c : cases) all.push_back(c.line);
  const std::string wild = "ExcludeKey1=FILE|%LocalAppData%\\ex\\|" + many;
  all.push_back(wild.c_str());
  for (size_t i = 0; i < all.size(); ++i) {
    const char* line = all[i];
    const char* reason = i < sizeof cases / sizeof cases[0] ? cases[i].reason : "more than 10 wildcards";
    SCOPED_TRACE(line);
    Plant("ex\\drop.txt");
    Plant("ex\\keep.txt");
    const RuleEntry& e =
        Read("[Exclude " + std::to_string(n++) + " *]\nFileKey1=%LocalAppData%\\ex|*.txt\n" + std::string(line) + "\n");
    const SnapshotMap before = Picture();
    const int count = Sweep(e);
    EXPECT_TRUE(FileExists(At("ex\\keep.txt")));
    if (reason == nullptr) {
      EXPECT_FALSE(e.refusedWhole) << ::testing::PrintToString(Reasons(e));
      EXPECT_TRUE(FileExists(At("ex\\drop.txt")));
      continue;
    }
    EXPECT_TRUE(e.refusedWhole);
    EXPECT_EQ(0, count);
    EXPECT_TRUE(Removed(before).empty());
    ASSERT_EQ(1u, e.refused.size()) << ::testing::PrintToString(Reasons(e));
    EXPECT_NE(std::string::npos, e.refused[0].reason.find(reason)) << e.refused[0].reason;
  }
}

}  // namespace

namespace {

std::string ShortLeaf(const std::string& path) {
  char buf[MAX_PATH];
  const DWORD n = ::GetShortPathNameA(path.c_str(), buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  const std::string s(buf, n);
  return s.substr(s.find_last_of('\\') + 1);
}

// An exclusion keeps what its folder's name opens, whatever name the FileKey
// reaches the same folder by: short and long folder names either way round,
// another case, a trailing dot, and a file named by its short name.
TEST_F(RuleExclusionTest, ExclusionsKeepByIdentityWhateverNameReachesTheFolder) {
  const std::string folder = "Long Folder Name";
  const std::string kept = "keep this.txt";
  Plant(folder + "\\" + kept);
  const std::string shortFolder = ShortLeaf(At(folder));
  const std::string shortKept = ShortLeaf(At(folder + "\\" + kept));
  ASSERT_FALSE(shortFolder.empty());
  ASSERT_NE(folder, shortFolder);
  ASSERT_NE(kept, shortKept);
  const std::string L = "%LocalAppData%\\" + folder, S = "%LocalAppData%\\" + shortFolder;
  const struct {
    const char* name;
    std::string keys;
  } cases[] = {
      {"short FileKey, long PATH", "FileKey1=" + S + "|*.txt\nExcludeKey1=PATH|" + L + "\\|keep*"},
      {"long FileKey, short PATH", "FileKey1=" + L + "|*.txt\nExcludeKey1=PATH|" + S + "\\|keep*"},
      {"short FileKey, long FILE", "FileKey1=" + S + "|*.txt\nExcludeKey1=FILE|" + L + "\\|" + kept},
      {"long FileKey, short FILE", "FileKey1=" + L + "|*.txt\nExcludeKey1=FILE|" + S + "\\" + kept},
      {"RECURSE above, short PATH", "FileKey1=%LocalAppData%|*.txt|RECURSE\nExcludeKey1=PATH|" + S + "\\|keep*"},
      {"other case", "FileKey1=" + S + "|*.txt\nExcludeKey1=FILE|%LocalAppData%\\LONG FOLDER name\\|KEEP THIS.TXT"},
      {"file by its short name", "FileKey1=" + L + "|*.txt\nExcludeKey1=FILE|" + L + "\\|" + shortKept},
      {"trailing dot", "FileKey1=" + S + "|*.txt\nExcludeKey1=FILE|" + L + ".\\|" + kept},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Plant(folder + "\\" + kept);
    Plant(folder + "\\drop.txt");
    const RuleEntry& e = Read("[Identity " + std::to_string(n++) + " *]\n" + c.keys + "\n");
    ASSERT_FALSE(e.refusedWhole) << ::testing::PrintToString(Reasons(e));
    Sweep(e);
    EXPECT_TRUE(FileExists(At(folder + "\\" + kept)));
    EXPECT_FALSE(FileExists(At(folder + "\\drop.txt")));
  }
}

}  // namespace

namespace {

// An exclusion keeps what its folder opens: a folder link (made by
// tools/make-fixtures.sh, "alias" reaching "real") as the last segment, a
// middle segment or a wildcard's match keeps the files of the folder it
// reaches, never reads as "nothing to keep".
TEST_F(RuleExclusionTest, AnExclusionNamedThroughAFolderLinkKeepsWhatTheLinkReaches) {
  const std::string base = "D:\\fixtures\\rule-kept";
  REQUIRE_FIXTURE(::GetFileAttributesA((base + "\\alias\\sub").c_str()) != INVALID_FILE_ATTRIBUTES, base);
  SetRuleVariableForTests("LocalAppData", {base});
  const struct {
    const char* name;
    const char* keys;
    const char* kept;  // below real
  } cases[] = {
      {"PATH, link last", "FileKey1=%LocalAppData%\\real|*.txt\nExcludeKey1=PATH|%LocalAppData%\\alias\\|keep.txt", "keep.txt"},
      {"FILE, link last", "FileKey1=%LocalAppData%\\real|*.txt\nExcludeKey1=FILE|%LocalAppData%\\alias\\|keep.txt", "keep.txt"},
      {"link in the middle", "FileKey1=%LocalAppData%\\real\\sub|*.txt\nExcludeKey1=FILE|%LocalAppData%\\alias\\sub\\|keep.txt",
       "sub\\keep.txt"},
      {"wildcard reaches the link", "FileKey1=%LocalAppData%\\real|*.txt\nExcludeKey1=PATH|%LocalAppData%\\ali*\\|keep.txt",
       "keep.txt"},
      {"RECURSE, PATH below", "FileKey1=%LocalAppData%\\real|*.txt|RECURSE\nExcludeKey1=PATH|%LocalAppData%\\alias\\|keep.txt",
       "sub\\keep.txt"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string kept = base + "\\real\\" + c.kept;
    const std::string dropped = kept.substr(0, kept.find_last_of('\\')) + "\\drop.txt";
    ASSERT_TRUE(WriteFileBytes(kept, "keep"));
    ASSERT_TRUE(WriteFileBytes(dropped, "drop"));
    const RuleEntry& e = Read("[Through a link " + std::to_string(n++) + " *]\n" + c.keys + "\n");
    ASSERT_FALSE(e.refusedWhole) << ::testing::PrintToString(Reasons(e));
    Sweep(e);
    EXPECT_TRUE(FileExists(kept));
    EXPECT_FALSE(FileExists(dropped));
    ::DeleteFileA(kept.c_str());
  }
}

}  // namespace

// engine/kept_files.cpp: the files opened so far on this thread to be
// compared with the files exclusions name exactly.
size_t KeptCandidateOpensForTests();

namespace {

// Many exclusions that name files exactly cost one open of each file the
// sweep meets, not one for every exclusion: 300 exclusions over 60 files.
TEST_F(RuleExclusionTest, ManyExactExclusionsOpenEachCandidateOnceAtMost) {
  const int kKept = 300, kDropped = 30;
  std::string keys = "FileKey1=%LocalAppData%\\many|*.txt\n";
  for (int i = 0; i < kKept; ++i) {
    keys += "ExcludeKey" + std::to_string(i + 1) + "=FILE|%LocalAppData%\\many\\|keep" + std::to_string(i) + ".txt\n";
    if (i < kDropped) Plant("many\\keep" + std::to_string(i) + ".txt");
  }
  for (int i = 0; i < kDropped; ++i) Plant("many\\drop" + std::to_string(i) + ".txt");
  const RuleEntry& e = Read("[Many exact *]\n" + keys);
  ASSERT_FALSE(e.refusedWhole) << ::testing::PrintToString(Reasons(e));
  const size_t before = KeptCandidateOpensForTests();
  Sweep(e);
  const size_t opens = KeptCandidateOpensForTests() - before;
  for (int i = 0; i < kDropped; ++i) {
    EXPECT_TRUE(FileExists(At("many\\keep" + std::to_string(i) + ".txt"))) << i;
    EXPECT_FALSE(FileExists(At("many\\drop" + std::to_string(i) + ".txt"))) << i;
  }
  EXPECT_LE(opens, static_cast<size_t>(2 * kDropped));
}

// A folder emptied is filled again once its removal was taken (a folder of
// the walk, and the walk's own): Wine then leaves it, saying nothing. It is
// counted as not removed, never as removed.
TEST_F(RuleExclusionTest, AFolderFilledAgainAfterItsRemovalIsCountedAsLeft) {
  for (const char* folder : {"refill\\d", "refill"}) {
    SCOPED_TRACE(folder);
    const std::string own = std::string(folder) + "\\f.txt";
    Plant(own);
    const std::string late = UnixPathOf(At(folder)) + "/late.txt";
    int marks = 0;
    SetMarkedHookForTests([&] {
      if (++marks == 2) RunUnixCommand("touch '" + late + "'");  // f.txt first, then its folder
    });
    ResetOutcomes();
    const int swept =
        Sweep(Read("[Refilled " + std::string(folder) + " *]\nFileKey1=%LocalAppData%\\refill|*.*|REMOVESELF\n"));
    SetMarkedHookForTests(nullptr);
    ASSERT_EQ(marks, 2);
    EXPECT_FALSE(FileExists(At(own))) << "control: the file went";
    EXPECT_TRUE(FileExists(std::string(At(folder)) + "\\late.txt"));
    EXPECT_EQ(swept, 1) << "the file alone: the folder filled again was not removed";
    EXPECT_EQ(NotRemovedCount(), 1) << "the folder filled again";
    RunUnixCommand("rm -rf '" + UnixPathOf(At("refill")) + "'");
  }
}

// Emptying and judging a folder gives another program time to move it away:
// Wine would then remove nothing and say nothing. It stays where it went,
// counted as not removed.
TEST_F(RuleExclusionTest, AFolderMovedAwayBeforeItsRemovalIsCountedAsLeft) {
  // The walk's own folder is met twice: before it is opened to be judged,
  // and once judged.
  const struct {
    const char* folder;
    int call;
  } cases[] = {{"gone\\d", 1}, {"gone", 1}, {"gone", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " at call " + std::to_string(c.call));
    Plant(std::string(c.folder) + "\\f.txt");
    const std::string away = UnixPathOf(Root()) + "/away";
    int calls = 0;
    SetRemovalHookForTests([&](const std::string& path) {
      if (path == At(c.folder) && ++calls == c.call) RunUnixCommand("mv '" + UnixPathOf(path) + "' '" + away + "'");
    });
    ResetOutcomes();
    const int swept =
        Sweep(Read("[Moved away " + std::to_string(&c - cases) + " *]\nFileKey1=%LocalAppData%\\gone|*.*|REMOVESELF\n"));
    SetRemovalHookForTests(nullptr);
    ASSERT_GE(calls, c.call);
    EXPECT_TRUE(FileExists(At("away"))) << "it stays where it went";
    EXPECT_EQ(swept, 1) << "f.txt alone";
    EXPECT_EQ(NotRemovedCount(), 1);
    RunUnixCommand("rm -rf '" + away + "' '" + UnixPathOf(At("gone")) + "'");
  }
}

// Another program holds the walk's own folder, sharing reading and deleting
// but not writing: the folder is judged on a handle that asks no deleting,
// and goes once the holder lets go.
TEST_F(RuleExclusionTest, AnOwnFolderHeldSharingDeletionIsRemovedWhenItsHolderLetsGo) {
  Plant("held\\f.txt");
  HANDLE hold = ::CreateFileA(At("held").c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  ResetOutcomes();
  const int swept = Sweep(Read("[Held *]\nFileKey1=%LocalAppData%\\held|*.*|REMOVESELF\n"
                               "ExcludeKey1=PATH|%LocalAppData%\\other\\|*.txt\n"));
  ::CloseHandle(hold);
  EXPECT_EQ(swept, 2) << "f.txt and its folder";
  EXPECT_EQ(NotRemovedCount(), 0);
  EXPECT_FALSE(FileExists(At("held")));
}

// Another program holds a file, or the walk's own folder, sharing
// everything, where the removal cannot be made: the item or its folder is
// immutable (not even its owner may remove it, or from it), or the item is
// append-only. Wine takes the removal, and drops it unsaid when the holder
// lets go: it is counted as not removed, and stays. The own folder also while
// a drive letter leads to it (Wine then names it as the letter's root, which
// names no folder above it), and, as a control, there in a folder that may
// change: it goes when its holder lets go. No folder's permissions change.
TEST_F(RuleExclusionTest, AnItemHeldWhereItCannotBeRemovedIsCountedAsLeft) {
  const struct {
    const char* held;
    const char* rule;
    bool letter;
    const char* attr;  // chattr's, on `on`
    const char* on;
    int swept, left;
  } cases[] = {{"fixed\\f.txt", "fixed|f.txt", false, "+i", "fixed", 0, 1},
               {"fixed\\own", "fixed\\own|*.*|REMOVESELF", false, "+i", "fixed", 1, 1},
               {"fixed\\own", "fixed\\own|*.*|REMOVESELF", true, "+i", "fixed", 1, 1},
               {"fixed\\own", "fixed\\own|*.*|REMOVESELF", true, nullptr, "", 2, 0},
               {"fixed\\f.txt", "fixed|f.txt", false, "+i", "fixed\\f.txt", 0, 1},
               {"fixed\\f.txt", "fixed|f.txt", false, "+a", "fixed\\f.txt", 0, 1},
               {"fixed\\own\\e", "fixed\\own|*.*|REMOVESELF", false, "+i", "fixed\\own\\e", 1, 1}};
  const std::string letter = DriveLetterLink('q');
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + (c.letter ? ", with a letter" : "") + ", " + (c.attr ? c.attr : "") + " " + c.on);
    Plant("fixed\\f.txt");
    Plant("fixed\\own\\g.txt");
    if (std::string(c.on).back() == 'e') ::CreateDirectoryA(At(c.on).c_str(), nullptr);
    const std::string fixed = UnixPathOf(At("fixed")), on = UnixPathOf(At(c.on));
    // A mode Wine would widen if it set the folder's attributes.
    ASSERT_TRUE(RunUnixCommand("chmod 575 '" + fixed + "'"));
    if (c.letter) {
      ASSERT_TRUE(RunUnixCommand("ln -sfn '" + fixed + "/own' '" + letter + "'"));
      SettleDriveLetters();
      RefreshProtectedPlaces();  // as a sweep starts
    }
    if (c.attr != nullptr && !RunUnixCommand("chattr " + std::string(c.attr) + " '" + on + "'")) {
      RunUnixCommand("rm -rf '" + fixed + "'");
      GTEST_SKIP() << "this file system cannot make an item immutable";
    }
    const std::string held = UnixPathOf(At(c.held)), time = fixed + ".time";
    ASSERT_TRUE(RunUnixCommand("stat -c %y '" + held + "' '" + fixed + "' > '" + time + "'"));
    HANDLE hold = ::CreateFileA(At(c.held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    ResetOutcomes();
    ProgressRecorder log;
    const int swept =
        Sweep(Read("[Fixed " + std::to_string(&c - cases) + " *]\nFileKey1=%LocalAppData%\\" + c.rule + "\n"));
    SCOPED_TRACE(::testing::PrintToString(log.LogLines()));
    ::CloseHandle(hold);
    if (c.letter) {
      RunUnixCommand("rm -f '" + letter + "'");
      SettleDriveLetters();
    }
    EXPECT_EQ(FileExists(At(c.held)), c.left > 0);
    EXPECT_EQ(swept, c.swept);
    EXPECT_EQ(NotRemovedCount(), c.left);
    EXPECT_TRUE(RunUnixCommand("test \"$(stat -c %a '" + fixed + "')\" = 575")) << "its folder's mode changed";
    if (c.left > 0 && std::string(c.held).back() == 't')  // a folder emptied has a new time
      EXPECT_TRUE(RunUnixCommand("test \"$(stat -c %y '" + held + "' '" + fixed + "')\" = \"$(cat '" + time + "')\""))
          << "what stays, and its folder, keep their times";
    RunUnixCommand("chattr -i -a '" + on + "'; rm -rf '" + fixed + "' '" + time + "'");
  }
}

// The Shredder's overwrite gives another program time to move the file out
// of its folder, with or without a link left at its name (Wine would then
// remove the link alone): it is counted as not removed, never as removed.
TEST_F(RuleExclusionTest, AFileMovedAwayWhileItIsOverwrittenIsCountedAsLeft) {
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link left at its name" : "moved");
    Plant("shred\\f.txt", std::string(70000, 'x'));
    const std::string folder = UnixPathOf(At("shred")), away = UnixPathOf(Root()) + "/away.txt";
    int moves = 0;
    SetOverwriteObserver([&](const std::string&, unsigned char, uint32_t) {
      if (++moves == 1)
        RunUnixCommand("cd '" + folder + "' && f=$(ls) && mv \"$f\" '" + away + "'" +
                       (link ? " && ln -s '" + away + "' \"$f\"" : ""));
    });
    const DWORD targets = g_GeneralSettings.m_nTargets;
    g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
    ResetOutcomes();
    const int swept = Sweep(Read(std::string("[Shred ") + (link ? "link" : "moved") +
                                 " *]\nFileKey1=%LocalAppData%\\shred|*.txt\n"));
    g_GeneralSettings.m_nTargets = targets;
    SetOverwriteObserver(nullptr);
    ASSERT_GE(moves, 1);
    EXPECT_TRUE(FileExists(At("away.txt")));
    EXPECT_EQ(swept, 0);
    EXPECT_EQ(NotRemovedCount(), 1);
    RunUnixCommand("rm -rf '" + away + "' '" + folder + "'");
  }
}

// The walk's own folder is moved away once it is emptied, and a link left
// at its name: the link leads to the same folder, but it is no longer where
// the walk found it, and nothing is removed through the link.
TEST_F(RuleExclusionTest, AnOwnFolderReplacedByALinkToItIsLeftWhereItWent) {
  Plant("own\\f.txt");
  const std::string own = UnixPathOf(At("own")), away = UnixPathOf(Root()) + "/went";
  int marks = 0;
  SetMarkedHookForTests([&] {
    if (++marks == 1) RunUnixCommand("mv '" + own + "' '" + away + "' && ln -s '" + away + "' '" + own + "'");
  });
  ResetOutcomes();
  Sweep(Read("[Own replaced *]\nFileKey1=%LocalAppData%\\own|*.*|REMOVESELF\n"));
  SetMarkedHookForTests(nullptr);
  ASSERT_EQ(marks, 1);
  EXPECT_TRUE(FileExists(At("went"))) << "never removed through the link";
  EXPECT_EQ(NotRemovedCount(), 1);
  RunUnixCommand("rm -rf '" + own + "' '" + away + "'");
}

// A walk holds p while p is moved into the kept folder, and a kept folder
// moves (inside it) to where the walk will enter next, a decoy standing at
// p's old place. What the walk meets there was kept all along: it is judged
// where it stands now, never by where p stood, even by the Shredder.
TEST_F(RuleExclusionTest, AFolderMovedIntoAKeptPlaceUnderAWalkIsJudgedWhereItStands) {
  Plant("mv\\t\\p\\a\\own.txt");
  Plant("mv\\t\\p\\b\\own.txt");
  Plant("mv\\kk\\s\\k.txt", "kept");
  const std::string t = UnixPathOf(At("mv\\t")), kk = UnixPathOf(At("mv\\kk"));
  int entered = 0;
  std::string second, moved;
  DirWalker::SetStepHook([&](const std::string& path) {
    // Each step of the walk, files too: the folders a and b are counted.
    const size_t at = path.find("\\t\\p\\");
    const std::string name = at == std::string::npos ? "" : path.substr(at + 5);
    if ((name != "a" && name != "b") || ++entered != 2) return;
    second = name;  // whichever comes second
    moved = "mv\\kk\\p\\" + second + "\\k.txt";
    RunUnixCommand("mv '" + t + "/p' '" + kk + "/p' && mv '" + kk + "/p/" + second + "' '" + kk + "/old' && mv '" + kk +
                   "/s' '" + kk + "/p/" + second + "' && mkdir -p '" + t + "/p/" + second + "' && touch '" + t + "/p/" +
                   second + "/k.txt'");
  });
  const DWORD targets = g_GeneralSettings.m_nTargets;
  g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
  Sweep(Read("[Moved under a walk *]\nFileKey1=%LocalAppData%\\mv\\t|*.txt|RECURSE\n"
             "ExcludeKey1=PATH|%LocalAppData%\\mv\\kk\\|*.txt\n"));
  g_GeneralSettings.m_nTargets = targets;
  DirWalker::SetStepHook(nullptr);
  ASSERT_EQ(entered, 2);
  EXPECT_EQ(ReadFileBytes(At(moved)), "kept");
  EXPECT_FALSE(FileExists(At(std::string("mv\\kk\\p\\") + (second == "a" ? "b" : "a") + "\\own.txt")))
      << "control: the folder met first was swept";
}

// Wine names what lies below a folder whose name ends in a dot without the
// dot: such folders are swept as any other, never taken for moved away.
TEST_F(RuleExclusionTest, FoldersWhoseNamesEndInADotAreSwept) {
  const std::string top = UnixPathOf(At("dots"));
  const DWORD targets = g_GeneralSettings.m_nTargets;
  for (const bool shred : {false, true}) {
    // The rule spells the folder in its own case, or in another.
    for (const char* spelt : {"dots", "DOTS"}) {
    SCOPED_TRACE(std::string(shred ? "shredded, " : "plain, ") + spelt);
    if (shred) g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
    RunUnixCommand("mkdir -p '" + top + "/e.' '" + top + "/p./in' && echo x > '" + top + "/p./in/g.log'");
    ResetOutcomes();
    ProgressRecorder log;
    const int swept = Sweep(Read(std::string("[Dots ") + (shred ? "shred " : "plain ") + (spelt[0] == 'd' ? "own" : "upper") +
                                 " *]\nFileKey1=%LocalAppData%\\" + spelt + "|*.*|REMOVESELF\n"));
    g_GeneralSettings.m_nTargets = targets;
    SCOPED_TRACE(::testing::PrintToString(log.LogLines()));
    EXPECT_EQ(NotRemovedCount(), 0);
    EXPECT_EQ(swept, 5) << "g.log, in, p., e. and dots";
    EXPECT_FALSE(FileExists(At("dots")));
    RunUnixCommand("rm -rf '" + top + "'");
    }
  }
}

// Wine removes by the name a handle was opened under, at its last close, and
// follows whatever links stand on that path by then. A folder above the item
// about to go is moved into a kept place (with or without a link left at its
// old name): the item goes with it and stays there, counted as not removed.
// Also below a folder whose name ends in a dot, which Wine drops from the
// names it gives (as an exclusion leaves such a folder unjudged, k is then
// merely outside the target); and for that reason, moved beside itself to
// its own name plus a dot, which Wine names as it was. Also while a drive
// letter leads to the folder that moves (Wine then names the item by the
// letter, and the folders above it are out of the name), the rule naming
// the item by its path or by the letter; and where the folder is moved to
// a place merely outside the target while a letter is led there for as long
// as Wine reads its letters, then led back.
TEST_F(RuleExclusionTest, AnItemWhoseParentsMovedIntoAKeptPlaceStaysThere) {
  enum Letter { kNone, kByPath, kByLetter, kNewLetter };
  const struct {
    const char* item;  // about to go, below anc/w
    int call;
    bool link;
    const char* moved;  // below anc, to `to`
    const char* to;
    Letter letter = kNone;  // q: leads to anc/w; a new p: (named first) also to where w went
    bool shred = true;
    bool flip = false;  // r: (leading to anc) is led to o while Wine reads its letters, then back
  } cases[] = {{"d3/s/f.txt", 1, true, "w", "k/w"},       {"d3/s", 1, true, "w", "k/w"},
               {"d3", 2, true, "w", "k/w"},              {"d3", 2, false, "w", "k/w"},
               {"d3/s./f.txt", 1, true, "w", "k/w"},     {"d3/s.", 1, true, "w", "k/w"},
               {"d3/s/f.txt", 1, true, "w/d3", "w/d3."}, {"d3/s", 1, true, "w/d3", "w/d3."},
               {"d3/s/f.txt", 1, true, "w", "k/w", kByPath}, {"d3/s", 1, true, "w", "k/w", kByPath},
               {"d3/s/f.txt", 1, true, "w", "k/w", kByLetter}, {"d3/s/f.txt", 1, true, "w", "w.", kByPath},
               {"d3/s/f.txt", 1, true, "w", "k/w", kNewLetter},  {"d3/s/f.txt", 1, true, "w", "k/w", kByPath, false},
               {"d3/s/f.txt", 1, true, "w", "o/w", kByPath, false, true}};
  const std::string letter = DriveLetterLink('q'), newLetter = DriveLetterLink('p'), outer = DriveLetterLink('r');
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.item) + (c.link ? ", a link left" : "") + ", " + c.moved + " to " + c.to +
                 (c.letter == kNone        ? ""
                  : c.letter == kByLetter ? ", q: leads to w, the rule by q:"
                  : c.letter == kByPath   ? ", q: leads to w"
                                          : ", q: leads to w, p: made for where it went") +
                 (c.shred ? "" : ", not shredded") + (c.flip ? ", r: led to o and back" : ""));
    const bool dot = std::string(c.item).find("s.") != std::string::npos;
    const std::string anc = UnixPathOf(At("anc")), s = anc + "/w/d3/s" + (dot ? "." : "");
    // Unshredded, a.txt goes first: the folder was judged before the move.
    RunUnixCommand("mkdir -p '" + s + "' '" + anc + "/k' '" + anc + "/o' && echo x > '" + s + "/f.txt' && echo x > '" + anc +
                   "/k/keep.txt'" + (c.shred ? "" : " && echo x > '" + s + "/a.txt'"));
    if (c.letter != kNone) {
      ASSERT_TRUE(RunUnixCommand("ln -sfn '" + anc + "/w' '" + letter + "'" +
                                 (c.flip ? " && ln -sfn '" + anc + "' '" + outer + "'" : "")));
      SettleDriveLetters();
      RefreshProtectedPlaces();  // as a sweep starts
    }
    const std::string from = anc + "/" + c.moved, to = anc + "/" + c.to;
    std::string item = std::string("anc\\w\\") + c.item;
    std::replace(item.begin(), item.end(), '/', '\\');
    int calls = 0;
    const auto move = [&](const std::string& path) {
      if (path.substr(path.size() - std::min(path.size(), item.size() - 6)) != item.substr(6) || ++calls != c.call)
        return;
      RunUnixCommand("mv '" + from + "' '" + to + "'" + (c.link ? " && ln -s '" + to + "' '" + from + "'" : "") +
                     (c.letter == kNewLetter ? " && ln -sfn '" + to + "' '" + newLetter + "'" : ""));
      // Wine names the item by the new letter once it has read its letters.
      if (c.letter == kNewLetter) SettleDriveLetters();
      // Wine reads its letters at the first name it gives once the clock's
      // second has turned, and names by them until it turns again: the
      // letter, led back at once, still names where the folder went.
      if (c.flip) {
        RunUnixCommand("ln -sfn '" + anc + "/o' '" + outer + "'");
        SettleDriveLetters();
        HANDLE named = ::CreateFileA(At("anc").c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        char name[MAX_PATH];
        ::GetFinalPathNameByHandleA(named, name, MAX_PATH, 0);
        ::CloseHandle(named);
        RunUnixCommand("ln -sfn '" + anc + "' '" + outer + "'");
      }
    };
    // Shredded, the move comes during the overwrite; otherwise before the
    // file is opened, through its folder's path.
    if (c.shred)
      SetRemovalHookForTests(move);
    else
      DirWalker::SetStepHook(move);
    // A file is looked at when its overwrite gave time for a move; and,
    // below a letter, for the folders above the letter's.
    const DWORD targets = g_GeneralSettings.m_nTargets;
    if (c.shred) g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
    ResetOutcomes();
    ProgressRecorder log;
    const RuleEntry& e = Read("[Parents moved " + std::to_string(&c - cases) + " *]\nFileKey1=" +
                              (c.letter == kByLetter ? "Q:\\d3\\s|*.*" : "%LocalAppData%\\anc\\w\\d3|*.*|REMOVESELF") + "\n" +
                              (dot ? "" : "ExcludeKey1=PATH|%LocalAppData%\\anc\\k\\\n"));
    ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    Sweep(e);
    g_GeneralSettings.m_nTargets = targets;
    SetRemovalHookForTests(nullptr);
    DirWalker::SetStepHook(nullptr);
    if (c.letter != kNone) {
      RunUnixCommand("rm -f '" + letter + "' '" + newLetter + "' '" + outer + "'");
      SettleDriveLetters();
    }
    ASSERT_EQ(calls, c.call) << ::testing::PrintToString(log.LogLines());
    // Asked of the Unix side: a Windows path drops a folder name's last dot.
    const std::string stays = to + (anc + "/w/" + c.item).substr(from.size());
    EXPECT_TRUE(RunUnixCommand("test -e '" + stays + "' || test -e '" + ShredName(stays) + "'"))
        << "it stays where it went";
    EXPECT_GE(NotRemovedCount(), 1);
    RunUnixCommand("rm -rf '" + anc + "'");
  }
}

// A folder above a letter's, whose name ends in dots or spaces (which Wine's
// names drop), moves out of the target during the overwrite, a link left at
// its name, and a folder is made beside it under the name without that end,
// holding the same names: the names Wine gives fit both. Also unshredded,
// the link hidden while the item's way is looked at and put back before the
// removal is made. The file stays where it went, counted.
TEST_F(RuleExclusionTest, AFolderBesideAMovedDottedOneAboveALetterIsNotTakenForIt) {
  const std::string par = UnixPathOf(At("par")), o = UnixPathOf(At("o")), letter = DriveLetterLink('q');
  const DWORD targets = g_GeneralSettings.m_nTargets;
  g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
  const struct {
    std::string dotted;
    bool hidden;  // unshredded, the link hidden during the look
  } cases[] = {{"p.", false}, {"p. ", false}, {"p.", true}};
  for (const auto& c : cases) {
    const std::string& dotted = c.dotted;
    SCOPED_TRACE("q: leads to '" + dotted + "/w'" + (c.hidden ? ", the link hidden during the look" : ""));
    const std::string q = par + "/" + dotted + "/w";
    RunUnixCommand("mkdir -p '" + q + "/d/e' '" + o + "' && echo x > '" + q + "/d/e/g.txt' && ln -sfn '" + q + "' '" +
                   letter + "'");
    SettleDriveLetters();
    RefreshProtectedPlaces();
    int calls = 0;
    const std::string link = par + "/" + dotted, away = par + "/away";
    const auto move = [&](const std::string&) {
      if (++calls == 1)
        RunUnixCommand("mv '" + link + "' '" + o + "/' && ln -s '" + o + "/" + dotted + "' '" + link + "' && mkdir -p '" +
                       par + "/p/w/d/e'");
    };
    if (c.hidden) {
      g_GeneralSettings.m_nTargets &= ~GENERAL_SHREDDER;
      DirWalker::SetStepHook(move);
      SetLookHookForTests([&] { RunUnixCommand("mv '" + link + "' '" + away + "'"); });
      SetMarkedHookForTests([&] { RunUnixCommand("test -L '" + away + "' && mv '" + away + "' '" + link + "'"); });
    } else {
      SetRemovalHookForTests(move);
    }
    ResetOutcomes();
    Sweep(Read("[Beside dotted " + std::to_string(&c - cases) + " *]\nFileKey1=Q:\\d\\e|*.*\n"));
    SetRemovalHookForTests(nullptr);
    DirWalker::SetStepHook(nullptr);
    SetLookHookForTests(nullptr);
    SetMarkedHookForTests(nullptr);
    g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
    RunUnixCommand("rm -f '" + letter + "'");
    SettleDriveLetters();
    EXPECT_TRUE(RunUnixCommand("f=\"$(ls '" + o + "/" + dotted + "/w/d/e')\" && test -n \"$f\"")) << "it stays";
    EXPECT_GE(NotRemovedCount(), 1);
    RunUnixCommand("rm -rf '" + par + "' '" + o + "'");
  }
  g_GeneralSettings.m_nTargets = targets;
}

// Wine lists a mount point as it lists a link. A drive letter leads below
// one, or to its root: what lies there is swept as anything else, shredded
// or emptied (the look before each removal then passes the mount point);
// so is what a letter leads to below a folder whose name ends in a space
// (or a dot and a space), which Wine drops from its names; also with a link
// to the mount's root beside its mount point. And where the folder holding
// the mount point moves into a kept place, with a link left at its name,
// during the overwrite, the file stays there.
TEST_F(RuleExclusionTest, ItemsWhereALetterLeadsBelowAMountPointAreSwept) {
  const std::string par = UnixPathOf(At("par")), mnt = par + "/mnt", k = UnixPathOf(At("k"));
  // A link beside the mount point reaches the mount's root too.
  RunUnixCommand("mkdir -p '" + mnt + "' '" + k + "' && ln -s mnt '" + par + "/mlink'");
  if (!RunUnixCommand("mount -t tmpfs morvane-test '" + mnt + "'")) GTEST_SKIP() << "no file system can be mounted here";
  const std::string letter = DriveLetterLink('q');
  const DWORD targets = g_GeneralSettings.m_nTargets;
  g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
  // A file beside a folder on the way, named as it is with a dot, is no
  // folder the item lies under.
  const struct {
    const char* leads;  // below par
    bool moved;         // par, into k, a link left
    const char* beside;  // a file made below par
  } cases[] = {{"mnt/w", false, ""},  {"mnt", false, ""},   {"mnt", true, ""},
               {"sp /w", false, ""},  {"p. /w", false, ""}, {"x/w", false, "x."},
               {"p. /w", false, "p"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("q: leads to ") + c.leads + (c.moved ? ", par moved" : "") + ", beside " + c.beside);
    const std::string q = par + "/" + c.leads;
    RunUnixCommand("mkdir -p '" + q + "/d/e' && echo x > '" + q + "/d/e/g.txt' && ln -sfn '" + q + "' '" + letter + "'");
    if (*c.beside) RunUnixCommand("echo x > '" + par + "/" + c.beside + "'");
    SettleDriveLetters();
    RefreshProtectedPlaces();
    int calls = 0;
    SetRemovalHookForTests([&](const std::string&) {
      if (c.moved && ++calls == 1) RunUnixCommand("mv '" + par + "' '" + k + "/par' && ln -s '" + k + "/par' '" + par + "'");
    });
    ResetOutcomes();
    ProgressRecorder log;
    const int swept = Sweep(Read("[Mounted " + std::to_string(&c - cases) + " *]\nFileKey1=Q:\\d\\e|*.*|REMOVESELF\n" +
                                 "ExcludeKey1=PATH|%LocalAppData%\\k\\\n"));
    SetRemovalHookForTests(nullptr);
    SCOPED_TRACE(::testing::PrintToString(log.LogLines()));
    RunUnixCommand("rm -f '" + letter + "'");
    SettleDriveLetters();
    if (c.moved) {
      EXPECT_TRUE(RunUnixCommand("f=\"$(ls '" + k + "/par/" + c.leads + "/d/e')\" && test -n \"$f\"")) << "it stays";
      EXPECT_GE(NotRemovedCount(), 1);
      RunUnixCommand("rm -f '" + par + "' && mv '" + k + "/par' '" + par + "'");
    } else {
      EXPECT_EQ(swept, 2) << "g.txt and e";
      EXPECT_EQ(NotRemovedCount(), 0);
      EXPECT_FALSE(RunUnixCommand("test -e '" + q + "/d/e'"));
    }
  }
  g_GeneralSettings.m_nTargets = targets;
  RunUnixCommand("umount '" + mnt + "'; rm -rf '" + par + "' '" + k + "'");
}

}  // namespace

namespace {

// Files named through the letter M: (tools/make-fixtures.sh makes it reach
// drive-folder\docs). The protected folder's test takes the cases
// without RECURSE; the plain folder's takes them all.
const struct LetterCase {
  const char* key;
  const char* file;  // below docs
  bool recurse;
} kLetterCases[] = {
    {"FileKey1=M:\\|notes.txt", "notes.txt", false},
    {"FileKey1=M:\\below|notes.txt", "below\\notes.txt", false},
    {"FileKey1=M:\\below|*.txt", "below\\notes.txt", false},
    {"FileKey1=M:\\below\\deep|*.*|RECURSE", "below\\deep\\notes.txt", true},
};

// A drive letter that maps to a folder (tools/make-fixtures.sh makes M: reach
// drive-folder\docs) is that folder, never a drive root: a file named at
// "M:\" is judged as a file of the folder, here a protected user data folder.
TEST_F(RuleExclusionTest, ADriveLetterThatMapsToAFolderIsJudgedAsThatFolder) {
  const std::string docs = "D:\\fixtures\\drive-folder\\docs";
  REQUIRE_FIXTURE(::GetFileAttributesA("M:\\below") != INVALID_FILE_ATTRIBUTES, docs);
  ASSERT_TRUE(ProtectDataFolderForTests(docs, "Documents"));
  int n = 0;
  for (const auto& c : kLetterCases) {
    if (c.recurse) continue;
    SCOPED_TRACE(c.key);
    const std::string file = docs + "\\" + c.file;
    ASSERT_TRUE(WriteFileBytes(file, "the user's own"));
    const RuleEntry& e = Read("[Letter " + std::to_string(n++) + " *]\n" + std::string(c.key) + "\n");
    if (!e.refusedWhole) {
      EXPECT_EQ(0, Sweep(e));
    }
    EXPECT_TRUE(FileExists(file));
  }
  ClearExtraProtectedFolders();
  ::DeleteFileA((docs + "\\notes.txt").c_str());
  ::DeleteFileA((docs + "\\below\\notes.txt").c_str());
}

}  // namespace

namespace {

// The same letter over a folder nobody protects: the folder is swept like
// the folder it is, or what stays is counted; never skipped in silence as
// if the letter were a link.
TEST_F(RuleExclusionTest, ADriveLetterThatMapsToAFolderIsSweptOrCounted) {
  const std::string docs = "D:\\fixtures\\drive-folder\\docs";
  REQUIRE_FIXTURE(::GetFileAttributesA("M:\\below") != INVALID_FILE_ATTRIBUTES, docs);
  int n = 0;
  for (const auto& c : kLetterCases) {
    SCOPED_TRACE(c.key);
    const std::string file = docs + "\\" + c.file;
    ::CreateDirectoryA((docs + "\\below\\deep").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(file, "a trace"));
    const RuleEntry& e = Read("[Plain letter " + std::to_string(n++) + " *]\n" + std::string(c.key) + "\n");
    ASSERT_TRUE(e.refused.empty()) << ::testing::PrintToString(Reasons(e));
    ResetOutcomes();
    ProgressRecorder log;
    const int count = Sweep(e);
    if (FileExists(file))
      EXPECT_GE(NotRemovedCount(), 1) << ::testing::PrintToString(log.LogLines());
    else
      EXPECT_EQ(count, 1);
    ::DeleteFileA(file.c_str());
  }
  EXPECT_TRUE(FileExists("M:\\below"));
}

}  // namespace

namespace {

// What an entry keeps must be known before any of its files go: an exclusion
// in a second section of the entry's name (in the same file or a later one)
// refuses the entry, and an exclusion that cannot be expanded leaves the
// entry's files counted as not removed, never skipped in silence.
TEST_F(RuleExclusionTest, AnExclusionThatCannotBeTakenLeavesTheEntryRefusedOrCounted) {
  Plant("ex\\keep.txt");
  Plant("ex\\drop.txt");
  const std::string first = "[Twice *]\nFileKey1=%LocalAppData%\\ex|*.txt\n";
  for (const char* second : {"ExcludeKey1=FILE|%LocalAppData%\\ex\\|keep.txt", "ExludeKey1 PATH|%LocalAppData%\\ex"}) {
    SCOPED_TRACE(second);
    RuleSet rules;
    rules.LoadText(first + "[twice *]\n" + second + "\n", "a.ini", false);
    rules.LoadText("[Twice too *]\nFileKey1=%LocalAppData%\\ex|*.txt\n", "b.ini", false);
    rules.LoadText(std::string("[Twice too *]\n") + second + "\n", "c.ini", false);
    for (const RuleEntry& e : rules.Entries()) {
      EXPECT_TRUE(e.refusedWhole) << e.name;
      int count = 0;
      float kb = 0;
      SweepRuleEntry(e, 0, &count, &kb);
    }
    EXPECT_TRUE(FileExists(At("ex\\keep.txt")));
  }
  // Control: a second section without an exclusion leaves the first as it is.
  RuleSet plain;
  plain.LoadText(first + "[Twice *]\nFileKey1=%LocalAppData%\\other|*.txt\n", "a.ini", false);
  EXPECT_FALSE(plain.Entries().front().refusedWhole);

  // A PATH that names a file keeps that file.
  const RuleEntry& file = Read("[Path file *]\nFileKey1=%LocalAppData%\\ex|*.txt\nExcludeKey1=PATH|" + At("ex\\keep.txt") + "\n");
  Sweep(file);
  EXPECT_TRUE(FileExists(At("ex\\keep.txt")));
  EXPECT_FALSE(FileExists(At("ex\\drop.txt")));
  Plant("ex\\drop.txt");

  const std::string loop = At("loop");
  ASSERT_TRUE(MakeUnixLink(loop, loop));
  ResetOutcomes();
  const RuleEntry& e = Read("[Loop *]\nFileKey1=%LocalAppData%\\ex|*.txt\nExcludeKey1=PATH|" + loop + "\\\n");
  Sweep(e);
  EXPECT_TRUE(FileExists(At("ex\\drop.txt")));
  EXPECT_GE(NotRemovedCount(), 1) << "the entry's files stayed uncounted";
  ResetOutcomes();
  RunUnixCommand("rm -f '" + UnixPathOf(Root()) + "/loop'");
}

}  // namespace

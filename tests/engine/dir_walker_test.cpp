// The removal loops on real files under Wine: what they remove, what they
// keep, what they log and count, and that nothing outside the target changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "support/test_env.h"
#include "tests/engine/removal_fixtures.h"
#include "winlib/platform_calls.h"

namespace {

// A target folder with a tree two levels deep, and a sibling folder that no
// sweep of the target may touch.
class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryA(target().c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(sibling().c_str(), nullptr));
    WriteFileBytes(sibling() + "\\keep.txt", "precious");
    WriteFileBytes(sibling() + "\\index.dat", "header");
    m_siblingBefore = Snapshot(sibling());
  }
  void TearDown() override { EXPECT_EQ(Snapshot(sibling()), m_siblingBefore) << "a file outside the target changed"; }

  std::string target() const { return m_tmp / "target"; }
  std::string sibling() const { return m_tmp / "target-sibling"; }
  std::string pattern() const { return target() + "\\*.*"; }
  void MakeTree() {
    ::CreateDirectoryA((target() + "\\one").c_str(), nullptr);
    ::CreateDirectoryA((target() + "\\one\\two").c_str(), nullptr);
    WriteFileBytes(target() + "\\top.txt", std::string(1024, 'x'));
    WriteFileBytes(target() + "\\one\\mid.txt", std::string(2048, 'x'));
    WriteFileBytes(target() + "\\one\\two\\deep.txt", std::string(512, 'x'));
  }

  TempFolder m_tmp;
  ProgressRecorder m_log;
  TraceRecorder m_trace;
  std::map<std::string, std::string> m_siblingBefore;
};

TEST_F(Sweep, TreeTwoLevelsDeepIsRemovedDepthFirstAndCounted) {
  MakeTree();
  int count = 0;
  float kb = 0;
  DirWalker(pattern(), false).RemoveTree(0, IDC_STATUS_WINDOWS, &count, &kb);

  EXPECT_TRUE(Snapshot(target()).empty());
  EXPECT_TRUE(FileExists(target())) << "the folder that holds the pattern stays";
  EXPECT_EQ(count, 5) << "three files and two folders";
  EXPECT_FLOAT_EQ(kb, 3.5f);
  auto lines = m_log.LogLines();
  ASSERT_EQ(lines.size(), 5u);
  const std::string two = target() + "\\one\\two";
  auto at = [&](const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].find(text) != std::string::npos) return (int)i;
    return -1;
  };
  EXPECT_LT(at("deep.txt"), at("Remove directory: " + two + ","));
  EXPECT_LT(at("Remove directory: " + two + ","), at("Remove directory: " + target() + "\\one,"));
  EXPECT_NE(at("Remove directory: " + target() + "\\one, size 2.500(KB).\n"), -1) << "subfolder subtotal";
  EXPECT_NE(at(": " + two + "\\deep.txt, size 0.500(KB).\n"), -1);
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("   Item ", 0), 0u) << lines[i];
  EXPECT_EQ(m_log.ItemText(IDC_STATUS_WINDOWS), lines.back());
}

TEST_F(Sweep, WithoutCounterLinesArePlainAndStayOffTheStatusLine) {
  MakeTree();
  float kb = 0;
  DirWalker(pattern(), false).RemoveTree(0, IDC_STATUS_WINDOWS, nullptr, &kb);
  auto lines = m_log.LogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].find("Item"), std::string::npos);
  bool folderLine = false;
  for (auto& l : lines) folderLine |= l == "   Remove file: " + target() + "\\one\\two, size 0.500(KB).\n";
  EXPECT_TRUE(folderLine) << "a folder without counter uses the file wording";
  EXPECT_EQ(m_log.ItemText(IDC_STATUS_WINDOWS), "");
  EXPECT_FLOAT_EQ(kb, 3.5f);
}

TEST_F(Sweep, ShellFilesAreKeptUnderTheGuardFlagAndTheirFolderStaysUncounted) {
  ::CreateDirectoryA((target() + "\\cache").c_str(), nullptr);
  WriteFileBytes(target() + "\\cache\\Desktop.INI", "[.ShellClassInfo]");
  WriteFileBytes(target() + "\\cache\\page.htm", "x");
  int count = 0;
  DirWalker(pattern(), false).RemoveTree(1, IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_TRUE(FileExists(target() + "\\cache\\Desktop.INI"));
  EXPECT_FALSE(FileExists(target() + "\\cache\\page.htm"));
  EXPECT_EQ(count, 1) << "the page; its folder stays, so it is neither logged nor counted";
  for (const auto& l : m_log.LogLines()) EXPECT_EQ(l.find("Remove directory"), std::string::npos) << l;

  DirWalker(pattern(), false).RemoveTree(0, IDC_STATUS_INTERNET, &count, nullptr);
  EXPECT_FALSE(FileExists(target() + "\\cache"));
}

TEST_F(Sweep, ReadOnlyFilesAreRemovedAndSizesComeFromTheListing) {
  WriteFileBytes(target() + "\\ro.txt", std::string(2048, 'r'));
  ASSERT_TRUE(::SetFileAttributesA((target() + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  int count = 0;
  float kb = 0;
  DirWalker(pattern(), false).RemoveFiles(0, &count, &kb);
  EXPECT_FALSE(FileExists(target() + "\\ro.txt"));
  EXPECT_EQ(count, 1);
  EXPECT_FLOAT_EQ(kb, 2.0f);

  // The walker reads no status of its own: a failing status read changes nothing.
  WriteFileBytes(target() + "\\nostatus.txt", std::string(4096, 'n'));
  g_platform.GetFileAttributesExA = [](LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID) -> BOOL {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  DirWalker(pattern(), false).RemoveFiles(0, &count, &kb);
  ResetPlatformCalls();
  EXPECT_FALSE(FileExists(target() + "\\nostatus.txt"));
  EXPECT_EQ(m_log.LogLines().back(), "   Item 2, Remove file: " + target() + "\\nostatus.txt, size 4.000(KB).\n");
  EXPECT_FLOAT_EQ(kb, 6.0f);
}

TEST_F(Sweep, LockedFileIsScheduledForRestartOnlyWithDeepSweep) {
  const std::string locked = target() + "\\locked.tmp";
  WriteFileBytes(locked, std::string(3072, 'l'));
  HANDLE hold = ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  PendingRenames pending;

  int count = 0;
  float kb = 0;
  DirWalker(pattern(), false).RemoveFiles(IDC_STATUS_WINDOWS, &count, &kb);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(kb, 0.0f);
  // Named as left, after the call that left it; never as removed.
  const std::string left = "   Not removed: " + locked + ": another program holds it.\n";
  EXPECT_EQ(m_log.LogLines(), std::vector<std::string>{left});
  EXPECT_TRUE(m_trace.Contains("   Cannot remove file now: " + locked + ".\n"));
  EXPECT_FALSE(pending.Names(locked));

  DirWalker(pattern(), true).RemoveFiles(IDC_STATUS_WINDOWS, nullptr, &kb);
  ::CloseHandle(hold);
  const std::string line = "   Remove File " + locked + ", size 3.000(KB) (After Rebooting).\n";
  ASSERT_EQ(m_log.LogLines(), (std::vector<std::string>{left, line}));
  EXPECT_EQ(m_log.ItemText(IDC_STATUS_WINDOWS), line) << "restart lines are shown even without a counter";
  EXPECT_FLOAT_EQ(kb, 3.0f);
  EXPECT_TRUE(pending.Names(locked));
}

TEST_F(Sweep, ExceptLoopSparesIndexDatAndTheKeepListAndNeverSchedules) {
  RemovalOptions options(/*deepSweep=*/true, /*shredder=*/false);
  ::CreateDirectoryA((target() + "\\upper").c_str(), nullptr);
  WriteFileBytes(target() + "\\index.dat", "i");
  WriteFileBytes(target() + "\\upper\\INDEX.DAT", "I");
  WriteFileBytes(target() + "\\friend.txt", "f");
  WriteFileBytes(target() + "\\other.txt", "o");
  WriteFileBytes(target() + "\\locked.txt", "l");
  HANDLE hold = ::CreateFileA((target() + "\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  PendingRenames pending;
  StringPairList keep = {{"friend", target() + "\\friend.txt"}};
  int count = 0;
  DirWalker(pattern(), true).RemoveFilesExcept(keep, IDC_STATUS_INTERNET, &count, nullptr);
  DirWalker(target() + "\\upper\\*.*", true).RemoveFilesExcept(keep, IDC_STATUS_INTERNET, &count, nullptr);
  ::CloseHandle(hold);
  EXPECT_TRUE(FileExists(target() + "\\index.dat"));
  EXPECT_FALSE(FileExists(target() + "\\upper\\INDEX.DAT"));
  EXPECT_TRUE(FileExists(target() + "\\friend.txt"));
  EXPECT_FALSE(FileExists(target() + "\\other.txt"));
  EXPECT_TRUE(FileExists(target() + "\\upper")) << "folders are not this loop's business";
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(pending.Names(target() + "\\locked.txt"));
  EXPECT_TRUE(m_trace.Contains("   Cannot remove system file now: " + target() + "\\locked.txt.\n"));
}

TEST_F(Sweep, CollectFilesListsWithoutRemoving) {
  WriteFileBytes(target() + "\\index.dat", "i");
  WriteFileBytes(target() + "\\a.txt", "a");
  WriteFileBytes(target() + "\\b.txt", "b");
  ::CreateDirectoryA((target() + "\\dir").c_str(), nullptr);
  StringPairList saved = g_InternetSettings.m_friendlyCookies;
  g_InternetSettings.m_friendlyCookies = {{"b", target() + "\\b.txt"}};
  StringPairList list = {{"stale", "entry"}};
  DirWalker(pattern(), false).CollectFiles(list);
  g_InternetSettings.m_friendlyCookies = saved;
  EXPECT_EQ(list, (StringPairList{{"", target() + "\\a.txt"}}));
  EXPECT_EQ(Snapshot(target()).size(), 4u);
}

TEST_F(Sweep, IteratorYieldsTheLastEntryToo) {
  WriteFileBytes(target() + "\\only.txt", "1");
  DirWalker walker(target() + "\\*.txt", false);
  std::vector<std::string> names;
  while (walker.HasMore()) {
    walker.Next();
    names.push_back(walker.GetFileName());
  }
  EXPECT_EQ(names, std::vector<std::string>{"only.txt"});
  DirWalker none(target() + "\\*.none", false);
  EXPECT_FALSE(none.HasMore());
}

TEST_F(Sweep, LockedIndexDatIsWipedAfterItsHeaderUnderTheGuardFlag) {
  const std::string index = target() + "\\index.dat";
  WriteFileBytes(index, std::string(20000, 'h'));
  // Held the way the system holds it: sharing reading and writing, not deletion.
  HANDLE hold = ::CreateFileA(index.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  OverwriteRecorder writes;
  int count = 0;
  DirWalker(pattern(), false).RemoveTree(1, 0, &count, nullptr);
  ::CloseHandle(hold);
  const std::string bytes = ReadFileBytes(index);
  ASSERT_EQ(bytes.size(), 20000u);
  EXPECT_EQ(bytes.substr(0, 64), std::string(64, 'h'));
  EXPECT_EQ(bytes.substr(64), std::string(20000 - 64, '\0'));
  ASSERT_EQ(writes.writes.size(), 2u);
  EXPECT_EQ(writes.writes[0].bytes, 10240u);
  EXPECT_EQ(writes.writes[1].bytes, 20000u - 64 - 10240);
  EXPECT_EQ(count, 0);
}

}  // namespace

// Hostile cases for the removal guard and the walker: second names of
// protected folders (folder links, loopback shares, a second drive letter),
// NUL characters, file links that lead out of a swept tree, a folder swapped
// for a link in the middle of a walk, a tree deeper than MAX_PATH, and
// preview against a real sweep. Outside data is compared by snapshot
// (names, sizes and contents) before and after.
//
// The link fixtures come from tools/run-tests.sh: Win32 code cannot make a
// link under Wine.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "support/test_env.h"
#include "tests/engine/removal_fixtures.h"

namespace {

const std::string kHostile = "D:\\fixtures\\hostile";

bool HaveFixtures() { return FileExists(kHostile + "\\outside\\secret.txt"); }
#define REQUIRE_FIXTURES() REQUIRE_FIXTURE(HaveFixtures(), kHostile)

std::string Special(int csidl) {
  char buf[MAX_PATH];
  return ::SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) ? std::string(buf) : std::string();
}

// The prefix's C: drive as the build folder's D: drive sees it.
std::string SecondDriveFormOf(const std::string& cPath) {
  const std::string d = "D:\\wine-test\\drive_c" + cPath.substr(2);
  return FileExists(d) ? d : std::string();
}

TEST(HostileGuard, SecondNamesOfProtectedFoldersAndRootsAreRefused) {
  const std::string windows = Special(CSIDL_WINDOWS), profile = Special(CSIDL_PROFILE);
  ASSERT_FALSE(windows.empty());
  std::vector<std::string> refused = {
      "\\\\localhost\\c$\\windows\\*.*",       "\\\\?\\UNC\\localhost\\c$\\windows\\*.*",
      "\\\\localhost\\c$\\*.*",                "\\\\127.0.0.1\\c$\\users\\*.*",
      windows + std::string("\0\\sub\\*.*", 9),  // the system sees only what comes before the NUL
      std::string("C:\\users\\root\\Temp\\x\0y\\*.*", 26),
  };
  for (const auto& p : refused) {
    EXPECT_NE(RemovalRefusal(p), nullptr) << p;
    DirWalker walker(p, true);
    EXPECT_FALSE(walker.HasMore()) << p;
  }
  // Every profile, not only the current one; and the 32-bit common files.
  const std::string users = profile.substr(0, profile.find_last_of('\\'));
  for (const char* other : {"\\Public", "\\Default"})
    if (FileExists(users + other)) {
      EXPECT_NE(RemovalRefusal(users + other + "\\*.*"), nullptr) << other;
    }
  const std::string common86 = Special(CSIDL_PROGRAM_FILES_COMMONX86);
  if (!common86.empty()) {
    EXPECT_NE(RemovalRefusal(common86 + "\\*.*"), nullptr);
  }
  // A folder that cannot be opened because it is not there is no threat.
  EXPECT_EQ(RemovalRefusal(profile + "\\Temp\\no-such-folder\\*.*"), nullptr);
}

// The same through the fixtures: folder links to protected folders and the
// prefix's C: drive as the build folder's D: drive sees it.
TEST(HostileGuard, LinksAndASecondDriveLetterToProtectedFoldersAreRefused) {
  REQUIRE_FIXTURES();
  const std::string windows = Special(CSIDL_WINDOWS), profile = Special(CSIDL_PROFILE);
  const std::string secondWindows = SecondDriveFormOf(windows);
  REQUIRE_FIXTURE(!secondWindows.empty(), "D:\\wine-test (the test prefix seen through D:)");
  std::vector<std::string> refused = {secondWindows + "\\*.*", "D:\\wine-test\\drive_c\\*.*",
                                      SecondDriveFormOf(profile) + "\\*.*"};
  for (const char* link : {"windows", "root", "profile", "desktop"})
    refused.push_back(kHostile + "\\alias\\" + link + "\\*.*");
  for (const auto& p : refused) {
    EXPECT_NE(RemovalRefusal(p), nullptr) << p;
    DirWalker walker(p, true);
    EXPECT_FALSE(walker.HasMore()) << p;
  }
}

TEST(HostileGuard, FolderLinkToADesktopLeavesItWhole) {
  REQUIRE_FIXTURES();
  const std::string desktop = Special(CSIDL_DESKTOPDIRECTORY);
  ASSERT_TRUE(WriteFileBytes(desktop + "\\bait.txt", "on the desktop"));
  const auto before = Snapshot(desktop);
  ProgressRecorder log;
  int count = 0;
  DirWalker(kHostile + "\\alias\\desktop\\*.*", true).RemoveTree(0, IDC_STATUS_WINDOWS, &count, nullptr);
  DirWalker(kHostile + "\\alias\\desktop\\bait.txt", true).RemoveFiles(IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_THROW(RemoveFile(kHostile + "\\alias\\desktop\\bait.txt"), FileException);
  EXPECT_EQ(Snapshot(desktop), before);
  EXPECT_EQ(count, 0);
  ::DeleteFileA((desktop + "\\bait.txt").c_str());
}

// A protected folder reached as a plain folder inside a swept tree (as
// through a second drive letter) is skipped whole, its parent still swept.
TEST(HostileGuard, ProtectedFolderInsideATreeIsSkippedWhole) {
  TempFolder tmp;
  ::CreateDirectoryA((tmp / "keep").c_str(), nullptr);
  WriteFileBytes(tmp / "keep\\inside.txt", "kept");
  WriteFileBytes(tmp / "loose.txt", "swept");
  ASSERT_TRUE(ProtectFolderForTests(tmp / "keep"));
  int count = 0;
  DirWalker(tmp.Path() + "\\*.*", false).RemoveTree(0, 0, &count, nullptr);
  ClearExtraProtectedFolders();
  EXPECT_TRUE(FileExists(tmp / "keep\\inside.txt"));
  EXPECT_FALSE(FileExists(tmp / "loose.txt"));
  EXPECT_EQ(count, 1);
}

// A file link to data outside the tree: never overwritten, never made
// writable, never deleted, with the Shredder off and on; the tree's own
// file is removed all the same.
TEST(HostileWalk, FileLinksOutOfTheTreeLeaveTheirTargetsAlone) {
  REQUIRE_FIXTURES();
  const std::string outside = kHostile + "\\outside";
  const DWORD roBefore = ::GetFileAttributesA((outside + "\\ro-secret.txt").c_str());
  for (bool shredder : {false, true}) {
    SCOPED_TRACE(shredder ? "Shredder on" : "Shredder off");
    const auto before = Snapshot(outside);
    ASSERT_TRUE(WriteFileBytes(kHostile + "\\tree\\own.txt", "own"));
    RemovalOptions options(/*deepSweep=*/true, shredder);
    OverwriteRecorder rec;
    ProgressRecorder log;
    int count = 0;
    DirWalker(kHostile + "\\tree\\*.*", true).RemoveTree(1, IDC_STATUS_WINDOWS, &count, nullptr);
    DirWalker(kHostile + "\\tree\\*.*", true).RemoveFiles(IDC_STATUS_WINDOWS, &count, nullptr);
    EXPECT_THROW(RemoveFile(kHostile + "\\tree\\flink"), FileException);
    EXPECT_EQ(OverwriteFile(kHostile + "\\tree\\flink"), -1);
    EXPECT_EQ(WipeIndexFile(kHostile + "\\tree\\flink"), 0);
    // The Shredder opens the folder it overwrites in through open-and-check:
    // a folder that is a link is never passed through.
    EXPECT_EQ(OverwriteFile(kHostile + "\\alias\\outside\\secret.txt"), -1);
    EXPECT_EQ(WipeIndexFile(kHostile + "\\alias\\outside\\secret.txt"), 0);
    EXPECT_EQ(Snapshot(outside), before);
    EXPECT_EQ(::GetFileAttributesA((outside + "\\ro-secret.txt").c_str()), roBefore) << "read-only bit changed";
    EXPECT_FALSE(FileExists(kHostile + "\\tree\\own.txt"));
    EXPECT_EQ(count, 1) << "only the tree's own file is an item";
    for (const auto& w : rec.writes) EXPECT_EQ(w.name.find("link"), std::string::npos) << w.name;
    // A link is named only as left, never as removed.
    for (const auto& line : log.LogLines())
      if (line.rfind("   Not removed: ", 0) != 0) EXPECT_EQ(line.find("link"), std::string::npos) << line;
  }
}

// The walker's folder is traded for one whose entry "a" is a link to outside
// data between the listing and the open of "a".
TEST(HostileWalk, FolderSwappedForALinkMidWalkIsNotFollowed) {
  REQUIRE_FIXTURES();
  const std::string swap = kHostile + "\\swap";
  const std::string outside = kHostile + "\\outside";
  ASSERT_TRUE(FileExists(swap + "\\decoy\\a")) << "a previous run left the swap fixture moved";
  ::CreateDirectoryA((swap + "\\tree").c_str(), nullptr);
  ::CreateDirectoryA((swap + "\\tree\\a").c_str(), nullptr);
  WriteFileBytes(swap + "\\tree\\a\\inner.txt", "inner");
  const auto before = Snapshot(outside);
  bool swapped = false;
  DirWalker::SetStepHook([&](const std::string& path) {
    if (swapped || path != swap + "\\tree\\a") return;
    swapped = ::MoveFileA((swap + "\\tree").c_str(), (swap + "\\tree-away").c_str()) &&
              ::MoveFileA((swap + "\\decoy").c_str(), (swap + "\\tree").c_str());
  });
  ProgressRecorder log;
  int count = 0;
  DirWalker(swap + "\\tree\\*.*", false).RemoveTree(0, 0, &count, nullptr);
  DirWalker::SetStepHook(nullptr);
  EXPECT_TRUE(swapped);
  EXPECT_EQ(Snapshot(outside), before);
  // Put the fixture back for the next run.
  ::MoveFileA((swap + "\\tree").c_str(), (swap + "\\decoy").c_str());
  ::MoveFileA((swap + "\\tree-away").c_str(), (swap + "\\tree").c_str());
  ::DeleteFileA((swap + "\\tree\\a\\inner.txt").c_str());
  ::RemoveDirectoryA((swap + "\\tree\\a").c_str());
  ::RemoveDirectoryA((swap + "\\tree").c_str());
}

// Builds a chain of folders below root until the path passes `depth`
// characters, with a file at every level; returns how many of each.
int MakeDeepTree(const std::string& root, size_t depth) {
  std::wstring path = L"\\\\?\\" + std::wstring(root.begin(), root.end());
  int levels = 0;
  while (path.size() < depth + 4) {
    path += L"\\level-" + std::to_wstring(levels);
    if (!::CreateDirectoryW(path.c_str(), nullptr)) return -1;
    HANDLE h = ::CreateFileW((path + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    DWORD written;
    ::WriteFile(h, "0123456789", 10, &written, nullptr);
    ::CloseHandle(h);
    ++levels;
  }
  return levels;
}

TEST(HostileWalk, TreeDeeperThanMaxPathIsRemovedAndCountedHonestly) {
  TempFolder tmp;
  const int levels = MakeDeepTree(tmp.Path(), 600);
  ASSERT_GT(levels, 0);
  ProgressRecorder log;
  int count = 0;
  float kb = 0;
  DirWalker(tmp.Path() + "\\*.*", true).RemoveTree(0, IDC_STATUS_WINDOWS, &count, &kb);
  EXPECT_TRUE(Snapshot(tmp.Path()).empty());
  EXPECT_EQ(count, 2 * levels) << "one item per folder and per file";
  EXPECT_FLOAT_EQ(kb, levels * 10 / 1024.0f);
  EXPECT_EQ(log.LogLines().size(), static_cast<size_t>(2 * levels));
}

// The same walk in preview and then for real: the same lines and totals,
// and the preview leaves the tree exactly as it was.
TEST(Preview, WalkLogsAndCountsAsForRealAndChangesNothing) {
  TempFolder tmp;
  ::CreateDirectoryA((tmp / "t").c_str(), nullptr);
  ::CreateDirectoryA((tmp / "t\\sub").c_str(), nullptr);
  WriteFileBytes(tmp / "t\\a.txt", std::string(1500, 'a'));
  WriteFileBytes(tmp / "t\\sub\\b.txt", std::string(3000, 'b'));
  WriteFileBytes(tmp / "t\\sub\\ro.txt", std::string(700, 'r'));
  ::SetFileAttributesA((tmp / "t\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  RemovalOptions options(true, /*shredder=*/true);
  const auto before = Snapshot(tmp.Path());
  std::vector<std::string> lines[2];
  int counts[2] = {0, 0};
  float kbs[2] = {0, 0};
  for (int real = 0; real < 2; ++real) {
    PreviewScope preview(real == 0);
    OverwriteRecorder rec;
    ProgressRecorder log;
    DirWalker(tmp / "t\\*.*", true).RemoveTree(1, IDC_STATUS_WINDOWS, &counts[real], &kbs[real]);
    lines[real] = log.LogLines();
    if (real == 0) {
      EXPECT_EQ(Snapshot(tmp.Path()), before);
      EXPECT_TRUE(rec.writes.empty());
      EXPECT_EQ(OverwriteFile(tmp / "t\\a.txt"), 1);
      EXPECT_EQ(WipeIndexFile(tmp / "t\\a.txt"), 1);
      EXPECT_NO_THROW(RemoveFile(tmp / "t\\a.txt"));
      EXPECT_EQ(Snapshot(tmp.Path()), before);
      EXPECT_EQ(::GetFileAttributesA((tmp / "t\\sub\\ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
                static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
  }
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(counts[0], 4);
  EXPECT_EQ(counts[0], counts[1]);
  EXPECT_FLOAT_EQ(kbs[0], kbs[1]);
  EXPECT_TRUE(Snapshot(tmp / "t").empty());
}

}  // namespace

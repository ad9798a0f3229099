// The Shredder, in-place overwriting, sizes of large files, the removal guard
// and links inside a swept tree.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/removal_guard.h"
#include "support/test_env.h"
#include "tests/engine/removal_fixtures.h"

namespace {

std::vector<std::pair<int, uint32_t>> FillsAndSizes(const std::vector<WriteRecord>& writes) {
  std::vector<std::pair<int, uint32_t>> out;
  for (const auto& w : writes) out.emplace_back(w.fill, w.bytes);
  return out;
}

TEST(Shredder, RenamesOverwritesTwiceInBlocksAndRemoves) {
  TempFolder tmp;
  ProgressRecorder log;
  RemovalOptions options(false, /*shredder=*/true);
  const std::string report = tmp / "report.doc";
  WriteFileBytes(report, std::string(2500, 's'));
  OverwriteRecorder rec;
  int count = 0;
  float kb = 0;
  DirWalker(tmp.Path() + "\\*.*", false).RemoveFiles(IDC_STATUS_WINDOWS, &count, &kb);

  const std::vector<std::pair<int, uint32_t>> expected = {{0xFF, 1024}, {0xFF, 1024}, {0xFF, 452},
                                                          {0x00, 1024}, {0x00, 1024}, {0x00, 452}};
  EXPECT_EQ(FillsAndSizes(rec.writes), expected);
  for (const auto& w : rec.writes) EXPECT_EQ(w.name, tmp / "AAAAAA.AAA");
  EXPECT_TRUE(Snapshot(tmp.Path()).empty());
  EXPECT_EQ(log.LogLines(), std::vector<std::string>{"   Item 1, Remove file: " + report + ", size 2.441(KB).\n"})
      << "the log names the file the user had";
}

TEST(Shredder, OverwriteKeepsNameAndLengthAndLeavesZeros) {
  TempFolder tmp;
  WriteFileBytes(tmp / "entry.cache", std::string(3000, 'c'));
  EXPECT_NE(OverwriteFile(tmp / "entry.cache"), -1);
  EXPECT_EQ(ReadFileBytes(tmp / "entry.cache"), std::string(3000, '\0'));
  EXPECT_EQ(OverwriteFile(tmp / "missing.cache"), -1);
}

TEST(Shredder, NamesOfAsIndexDatAndHardLinks) {
  TempFolder tmp;
  RemovalOptions options(false, true);
  OverwriteRecorder rec;

  // Already bearing its shred name: shredded where it is and removed.
  WriteFileBytes(tmp / "AAAA.AAA", std::string(100, 'a'));
  EXPECT_NO_THROW(RemoveFile(tmp / "AAAA.AAA"));
  EXPECT_FALSE(FileExists(tmp / "AAAA.AAA"));
  EXPECT_EQ(rec.writes.size(), 2u);

  // The shred name is taken by a file that is not ours: it stays.
  WriteFileBytes(tmp / "AA.AAA", "bystander");
  WriteFileBytes(tmp / "ab.txt", "target");
  RemoveFile(tmp / "ab.txt");
  EXPECT_FALSE(FileExists(tmp / "ab.txt"));
  EXPECT_EQ(ReadFileBytes(tmp / "AA.AAA"), "bystander");

  // index.dat is never renamed or overwritten.
  rec.writes.clear();
  WriteFileBytes(tmp / "index.dat", std::string(500, 'i'));
  RemoveFile(tmp / "index.dat");
  EXPECT_FALSE(FileExists(tmp / "index.dat"));
  EXPECT_TRUE(rec.writes.empty());

  // Another name of the same data survives with its content.
  WriteFileBytes(tmp / "shared.txt", "twin data");
  ASSERT_TRUE(::CreateHardLinkA((tmp / "twin.txt").c_str(), (tmp / "shared.txt").c_str(), nullptr));
  RemoveFile(tmp / "shared.txt");
  EXPECT_FALSE(FileExists(tmp / "shared.txt"));
  EXPECT_EQ(ReadFileBytes(tmp / "twin.txt"), "twin data");
}

// A file the Shredder cannot overwrite (its data has another name, or
// someone else holds it open) still goes, but its line says it was not
// overwritten: it is never reported as shredded.
TEST(Shredder, FilesThatCannotBeOverwrittenAreSaidToBeRemovedWithoutIt) {
  TempFolder tmp;
  ::CreateDirectoryA((tmp / "t").c_str(), nullptr);
  RemovalOptions options(false, true);
  WriteFileBytes(tmp / "t\\shared.txt", "twin data");
  ASSERT_TRUE(::CreateHardLinkA((tmp / "twin.txt").c_str(), (tmp / "t\\shared.txt").c_str(), nullptr));
  WriteFileBytes(tmp / "t\\held.txt", "held data");
  HANDLE held = ::CreateFileA((tmp / "t\\held.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  OverwriteRecorder rec;
  ProgressRecorder log;
  int count = 0;
  DirWalker(tmp / "t\\*.*", false).RemoveFiles(IDC_STATUS_WINDOWS, &count, nullptr);
  ::CloseHandle(held);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(rec.writes.empty());
  EXPECT_EQ(ReadFileBytes(tmp / "twin.txt"), "twin data");
  EXPECT_TRUE(Snapshot(tmp / "t").empty());
  for (const auto& line : log.LogLines())
    EXPECT_NE(line.find(", removed without overwriting.\n"), std::string::npos) << line;
}

TEST(Shredder, FailedFinalRemovalIsScheduledUnderTheShredName) {
  TempFolder tmp;
  ProgressRecorder log;
  RemovalOptions options(/*deepSweep=*/true, /*shredder=*/true);
  PendingRenames pending;
  WriteFileBytes(tmp / "secret.txt", std::string(1500, 's'));
  OverwriteRecorder rec;
  // Made read-only while it is being overwritten, so its removal fails.
  rec.onWrite = [](const std::string& name) { ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY); };
  int count = 0;
  DirWalker(tmp.Path() + "\\*.*", true).RemoveTree(0, IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_TRUE(FileExists(tmp / "AAAAAA.AAA"));
  EXPECT_TRUE(pending.Names(tmp / "AAAAAA.AAA"));
  EXPECT_FALSE(pending.Names(tmp / "secret.txt"));
  EXPECT_EQ(count, 1);
  EXPECT_NE(log.LogLines().back().find("(After Rebooting)"), std::string::npos);
}

TEST(LargeFiles, SizesBeyondFourGigabytesAreCountedInFull) {
  TempFolder tmp;
  ProgressRecorder log;
  const std::string big = tmp / "big.bin";
  HANDLE h = ::CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = (5LL << 30) + 512;  // sparse: nothing is written
  ASSERT_TRUE(::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h));
  ::CloseHandle(h);
  EXPECT_FLOAT_EQ(FileSizeKB(big), 5242880.5f);
  float kb = 0;
  DirWalker(tmp.Path() + "\\*.*", false).RemoveFiles(0, nullptr, &kb);
  EXPECT_EQ(log.LogLines().at(0), "   Remove file: " + big + ", size 5242880.500(KB).\n");
  EXPECT_FLOAT_EQ(kb, 5242880.5f);
  EXPECT_EQ(FileSizeKB(big), 0.0f);

  // Every byte of such a file is overwritten.
  const uint64_t size = (5ULL << 30) + 452;
  const WritePlan plan = PlanWrites(size, 1024);
  EXPECT_EQ(plan.whole, 5ULL << 20);
  EXPECT_EQ(plan.last, 452u);
  EXPECT_EQ(PlanWrites(2048, 1024).whole, 1u);
  EXPECT_EQ(PlanWrites(2048, 1024).last, 1024u);
  EXPECT_EQ(PlanWrites(0, 1024).last, 0u);
}

TEST(RemovalGuard, RefusesRootsRelativeAndProtectedFoldersButNotTheirSubfolders) {
  char desktop[MAX_PATH], documents[MAX_PATH], profile[MAX_PATH], windows[MAX_PATH], system[MAX_PATH],
      programs[MAX_PATH];
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE));
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE));
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE));
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string refused[] = {"",
                                 "*.*",
                                 "Temp\\*.*",
                                 "\\*.*",
                                 "\\Temp\\*.*",
                                 "C:*.*",
                                 "C:\\*.*",
                                 "D:\\*.*",
                                 "c:/*.*",
                                 "\\\\?\\C:\\*.*",
                                 "\\\\server\\share\\*.*",
                                 std::string(windows) + "\\*.*",
                                 std::string(windows) + "\\system32\\..\\*.tmp",
                                 std::string(windows) + "\\..\\*.*",
                                 std::string(system) + "\\*.dll",
                                 std::string(programs) + "\\*.*",
                                 std::string(profile) + "\\*.*",
                                 std::string(profile) + "\\\\*.*",
                                 std::string(desktop) + "\\*.*",
                                 std::string(desktop) + "\\.\\*.lnk",
                                 std::string(documents) + "\\*.*"};
  for (const auto& p : refused) EXPECT_NE(RemovalRefusal(p), nullptr) << p;
  const std::string allowed[] = {std::string(desktop) + "\\old\\*.*", std::string(profile) + "\\Recent\\*.*",
                                 std::string(windows) + "\\Temp\\*.*", "\\\\server\\share\\cache\\*.*"};
  for (const auto& p : allowed) EXPECT_EQ(RemovalRefusal(p), nullptr) << p;

  TraceRecorder trace;
  DirWalker walker(std::string(desktop) + "\\*.*", true);
  EXPECT_FALSE(walker.HasMore());
  EXPECT_TRUE(trace.Contains("Refused to sweep " + std::string(desktop) + "\\*.*"));
  EXPECT_THROW(RemoveFile(std::string(desktop) + "\\never-there.txt"), FileException);
  EXPECT_THROW(RemoveFile("relative.txt"), FileException);
  EXPECT_EQ(OverwriteFile(std::string(windows) + "\\win.ini"), -1);
  EXPECT_EQ(WipeIndexFile(std::string(windows) + "\\win.ini"), 0);
}

// The fixture is made from the Linux side by tools/run-tests.sh: Win32 code
// cannot make a folder link under Wine.
TEST(Links, LinkInsideATreeIsNeverFollowed) {
  const std::string root = "D:\\fixtures\\link-sweep";
  REQUIRE_FIXTURE(FileExists(root + "\\tree\\sub"), root);
  const auto preciousBefore = Snapshot(root + "\\precious");
  ASSERT_FALSE(preciousBefore.empty());
  ProgressRecorder log;
  RemovalOptions options(true, true);
  int count = 0;
  DirWalker(root + "\\tree\\*.*", true).RemoveTree(1, IDC_STATUS_WINDOWS, &count, nullptr);
  EXPECT_EQ(Snapshot(root + "\\precious"), preciousBefore);
  EXPECT_TRUE(FileExists(root + "\\precious-empty")) << "an empty folder behind a link is not ours either";
  EXPECT_FALSE(FileExists(root + "\\tree\\sub\\plain.txt"));
  EXPECT_FALSE(FileExists(root + "\\tree\\own.txt"));
  for (const auto& line : log.LogLines())
    EXPECT_EQ(line.find("keep"), std::string::npos) << "reached through a link: " << line;
}

}  // namespace

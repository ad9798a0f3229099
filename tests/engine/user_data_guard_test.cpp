// The user's own folders against the removal guard: nothing below a data
// folder is swept through a reference, whatever name reaches it; the
// application-data and profile roots are never swept whole, though their
// subfolders are; a typed custom location may lie inside a data folder; a
// data folder moved to the profile root leaves the system's own folders
// below it sweepable; every refusal is one log line.
#include <windows.h>
// The known-folder ids are defined here, not taken from a library.
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/removal_guard.h"
#include "engine/restart_removal.h"
#include "support/test_env.h"
#include "tests/engine/removal_fixtures.h"

namespace {

std::string Special(int csidl) {
  char buf[MAX_PATH];
  return ::SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) ? std::string(buf) : std::string();
}

std::string Known(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path != nullptr) {
    char buf[MAX_PATH * 2];
    if (::WideCharToMultiByte(CP_ACP, 0, path, -1, buf, sizeof buf, nullptr, nullptr) > 0) out = buf;
  }
  ::CoTaskMemFree(path);
  return out;
}

struct DataFolder {
  std::string path, name;
};

// The data folders the prefix has, as the system names them.
std::vector<DataFolder> DataFolders() {
  std::vector<DataFolder> out = {
      {Special(CSIDL_PERSONAL), "Documents"},  {Special(CSIDL_DESKTOPDIRECTORY), "Desktop"},
      {Special(CSIDL_MYPICTURES), "Pictures"}, {Special(CSIDL_MYMUSIC), "Music"},
      {Special(CSIDL_MYVIDEO), "Videos"},      {Known(FOLDERID_Downloads), "Downloads"},
      {Special(CSIDL_FAVORITES), "Favorites"}, {Special(CSIDL_COMMON_DOCUMENTS), "the public Documents"}};
  for (const auto& d : out) EXPECT_FALSE(d.path.empty()) << d.name;
  return out;
}

// A folder of the user's planted below a data folder for one test, removed
// (as the test's own clean-up, never by the code under test) afterwards.
class Planted {
 public:
  Planted(const std::string& parent, const std::string& name) : m_path(parent + "\\" + name) {
    ::CreateDirectoryA(m_path.c_str(), nullptr);
    ::CreateDirectoryA((m_path + "\\inner").c_str(), nullptr);
    WriteFileBytes(m_path + "\\letter.txt", "dear ann");
    WriteFileBytes(m_path + "\\inner\\return.pdf", "figures");
  }
  ~Planted() {
    ::DeleteFileA((m_path + "\\inner\\return.pdf").c_str());
    ::DeleteFileA((m_path + "\\letter.txt").c_str());
    ::DeleteFileA((m_path + "\\scratch.tmp").c_str());
    ::RemoveDirectoryA((m_path + "\\inner").c_str());
    ::RemoveDirectoryA(m_path.c_str());
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

// Every way a reference reaches a folder: the walker's loops and the
// single-file primitives. None may change anything.
void SweepEveryWay(const std::string& folder, int* count) {
  RemovalOptions options(/*deepSweep=*/true, /*shredder=*/false);
  DirWalker(folder + "\\*.*", true).RemoveTree(1, IDC_STATUS_WINDOWS, count, nullptr);
  DirWalker(folder + "\\*.*", true).RemoveFiles(IDC_STATUS_WINDOWS, count, nullptr);
  DirWalker(folder + "\\*.*", false).RemoveFilesExcept({}, IDC_STATUS_WINDOWS, count, nullptr);
  EXPECT_THROW(RemoveFile(folder + "\\letter.txt"), FileException);
  EXPECT_EQ(OverwriteFile(folder + "\\letter.txt"), -1);
  EXPECT_EQ(WipeIndexFile(folder + "\\letter.txt"), 0);
  EXPECT_EQ(RemoveNowOrAtRestart(folder + "\\letter.txt"), RestartRemoval::kRefused);
}

TEST(UserDataGuard, NothingBelowADataFolderIsSweptThroughAReference) {
  for (const DataFolder& d : DataFolders()) {
    SCOPED_TRACE(d.name);
    Planted taxes(d.path, "Taxes");
    const auto before = Snapshot(d.path);
    ProgressRecorder log;
    int count = 0;
    SweepEveryWay(taxes.Path(), &count);
    SweepEveryWay(taxes.Path() + "\\inner", &count);
    EXPECT_EQ(Snapshot(d.path), before);
    EXPECT_EQ(count, 0);
    ASSERT_NE(RemovalRefusal(taxes.Path() + "\\*.*"), nullptr);
    EXPECT_EQ(std::string(RemovalRefusal(taxes.Path() + "\\*.*")), "it is inside " + d.name);
    EXPECT_EQ(std::string(RemovalRefusal(d.path + "\\*.*")), "it is " + d.name);
    // One line per refused reference, each naming the folder and why.
    const auto lines = log.LogLines();
    EXPECT_EQ(lines.front(), "  Skipped " + taxes.Path() + ": it is inside " + d.name + ".\n");
    EXPECT_EQ(lines.size(), 14u) << ::testing::PrintToString(lines);
  }
}

TEST(UserDataGuard, ATypedLocationMaySweepInsideADataFolderButNotItsRoot) {
  const std::string documents = Special(CSIDL_PERSONAL);
  Planted scratch(documents, "Scratch");
  ASSERT_TRUE(WriteFileBytes(scratch.Path() + "\\scratch.tmp", "swept"));
  EXPECT_EQ(RemovalRefusal(scratch.Path() + "\\*.tmp", GuardScope::kTyped), nullptr);
  EXPECT_NE(RemovalRefusal(documents + "\\*.tmp", GuardScope::kTyped), nullptr);
  int count = 0;
  DirWalker(scratch.Path() + "\\*.tmp", false, GuardScope::kTyped).RemoveFiles(0, &count, nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(FileExists(scratch.Path() + "\\scratch.tmp"));
  EXPECT_TRUE(FileExists(scratch.Path() + "\\letter.txt"));
}

// Roots that are never swept whole, though what lies below them may be.
TEST(UserDataGuard, ApplicationDataAndProfileRootsAreRefusedWholeOnly) {
  struct Root {
    std::string path;
    const char* says;
  };
  const std::string profile = Special(CSIDL_PROFILE);
  const std::vector<Root> roots = {
      {Special(CSIDL_APPDATA), "it is the roaming AppData folder"},
      {Special(CSIDL_LOCAL_APPDATA), "it is the local AppData folder"},
      {Known(FOLDERID_LocalAppDataLow), "it is the LocalLow folder"},
      {Special(CSIDL_COMMON_APPDATA), "it is ProgramData"},
      {profile.substr(0, profile.find_last_of('\\')), "it is the Users folder"},
      {profile, "it is a user profile"},
      {Special(CSIDL_STARTMENU), "it is the Start Menu"},
      {Special(CSIDL_STARTUP), "it is the Startup folder"},
      {Special(CSIDL_SENDTO), "it is the SendTo folder"},
      {Special(CSIDL_TEMPLATES), "it is the Templates folder"},
      {Special(CSIDL_FONTS), "it is the Fonts folder"},
  };
  for (const Root& r : roots) {
    ASSERT_FALSE(r.path.empty()) << r.says;
    const char* why = RemovalRefusal(r.path + "\\*.*");
    ASSERT_NE(why, nullptr) << r.path;
    EXPECT_EQ(std::string(why), r.says) << r.path;
    EXPECT_NE(RemovalRefusal(r.path + "\\*.*", GuardScope::kTyped), nullptr) << r.path;
  }
  // Below them a program's cache is swept.
  const std::string cache = Special(CSIDL_LOCAL_APPDATA) + "\\MorvaneGuardTest";
  ::CreateDirectoryA(cache.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(cache + "\\entry.bin", "cached"));
  int count = 0;
  DirWalker(cache + "\\*.*", false).RemoveTree(0, 0, &count, nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(::RemoveDirectoryA(cache.c_str()));
}

// Documents moved to the profile root holds AppData and Temp: the system's
// own folders stay sweepable, everything else below it does not.
TEST(UserDataGuard, DocumentsAtTheProfileRootLeavesTheSystemFoldersSweepable) {
  const std::string profile = Special(CSIDL_PROFILE);
  ASSERT_TRUE(ProtectDataFolderForTests(profile, "Documents"));
  TempFolder tmp;  // inside the temporary folder, below the profile
  ASSERT_TRUE(WriteFileBytes(tmp / "old.tmp", "temporary"));
  Planted letters(profile, "Letters");
  ProgressRecorder log;
  int count = 0;
  DirWalker(tmp.Path() + "\\*.*", false).RemoveTree(0, 0, &count, nullptr);
  SweepEveryWay(letters.Path(), &count);
  const char* tempWhy = RemovalRefusal(Special(CSIDL_LOCAL_APPDATA) + "\\Temp\\*.*");
  const char* lettersWhy = RemovalRefusal(letters.Path() + "\\*.*");
  ClearExtraProtectedFolders();
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(FileExists(tmp / "old.tmp"));
  EXPECT_TRUE(FileExists(letters.Path() + "\\letter.txt"));
  EXPECT_EQ(tempWhy, nullptr);
  ASSERT_NE(lettersWhy, nullptr);
  EXPECT_EQ(std::string(lettersWhy), "it is inside Documents");
}

// Second names of a folder inside Documents: another drive letter, the
// loopback share, and a folder link made by tools/run-tests.sh.
TEST(UserDataGuard, SecondNamesOfAFolderInsideDocumentsAreRefused) {
  const std::string documents = Special(CSIDL_PERSONAL);
  Planted taxes(documents, "Taxes");
  const std::string tail = taxes.Path().substr(2);  // "\users\...\Documents\Taxes"
  std::vector<std::string> names = {"\\\\localhost\\c$" + tail, "\\\\?\\UNC\\localhost\\c$" + tail,
                                    "D:\\wine-test\\drive_c" + tail};
  const std::string alias = "D:\\fixtures\\hostile\\alias\\documents\\Taxes";
  REQUIRE_FIXTURE(FileExists(alias + "\\letter.txt"), "D:\\fixtures\\hostile\\alias\\documents");
  REQUIRE_FIXTURE(FileExists(names[2] + "\\letter.txt"), "D:\\wine-test (the test prefix seen through D:)");
  names.push_back(alias);
  const auto before = Snapshot(documents);
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(FileExists(name + "\\letter.txt")) << "the second name does not reach the folder";
    EXPECT_NE(RemovalRefusal(name + "\\*.*"), nullptr);
    int count = 0;
    SweepEveryWay(name, &count);
    EXPECT_EQ(count, 0);
  }
  EXPECT_EQ(Snapshot(documents), before);
}

}  // namespace

// Folder cleaners on real folders named by real registry values and
// environment strings: the patterns they build, the done folder, the guard
// against values that name no safe folder, and Deep Sweep.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/clean_ops.h"
#include "engine/dir_walker.h"
#include "engine/folder_clean.h"
#include "settings/reg_key.h"
#include "support/test_env.h"
#include "tests/engine/reg_fixtures.h"
#include "tests/engine/removal_fixtures.h"

namespace {

using Lines = std::vector<std::string>;

// Sets an environment variable for one test and restores it afterwards.
class EnvVar {
 public:
  EnvVar(const char* name, const std::string& value) : m_name(name) {
    char old[32768];
    const DWORD n = ::GetEnvironmentVariableA(name, old, sizeof old);
    m_had = n > 0 && n < sizeof old;
    if (m_had) m_old.assign(old, n);
    ::SetEnvironmentVariableA(name, value.c_str());
  }
  ~EnvVar() { ::SetEnvironmentVariableA(m_name, m_had ? m_old.c_str() : nullptr); }

 private:
  const char* m_name;
  bool m_had;
  std::string m_old;
};

class FolderClean : public ::testing::Test {
 protected:
  const std::string kKeyPath = "Software\\Test\\Shell Folders";
  std::unique_ptr<RegKey> Key() {
    auto key = std::make_unique<RegKey>(kKeyPath, HKEY_CURRENT_USER);
    return key;
  }
  void Seed(const std::string& rel, const std::string& bytes = "data") {
    const std::string path = tmp / rel;
    const size_t cut = path.find_last_of('\\');
    for (size_t at = tmp.Path().size() + 1; at < cut; at = path.find('\\', at) + 1) {
      const size_t end = path.find('\\', at);
      ::CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
    }
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
  }
  RegistrySandbox sandbox;
  TempFolder tmp;
  ProgressRecorder log;
  RemovalOptions options{false, false};
  int count = 0;
  float kb = 0;
};

TEST_F(FolderClean, TrailingBackslashIsDroppedForFilesButKeptByTheQuietCleaner) {
  regseed::Sz(kKeyPath, "Recent", tmp.Path() + "\\");
  Seed("a.lnk", std::string(2048, 'a'));
  Seed("sub\\b.lnk");
  CleanDirByValue(kKindFolder, *Key(), "Recent", nullptr, IDC_STATUS_WINDOWS, &count, &kb, nullptr, nullptr);
  EXPECT_EQ(log.LogLines(), (Lines{"  Clean up directory: " + tmp.Path() + "\\.\n",
                                   "   Item 1, Remove file: " + tmp.Path() + "\\a.lnk, size 2.000(KB).\n"}));
  EXPECT_EQ(kb, 2.0f);
  EXPECT_TRUE(FileExists(tmp / "sub\\b.lnk")) << "plain files only";

  Seed("Microsoft\\Office\\Recent\\c.doc.lnk");
  CleanDirQuiet(kKindFolder, *Key(), "Recent", nullptr, IDC_STATUS_WINDOWS, &count, &kb, nullptr, nullptr);
  EXPECT_FALSE(FileExists(tmp / "Microsoft\\Office\\Recent\\c.doc.lnk"));
  EXPECT_EQ(count, 1) << "the quiet cleaner counts nothing";
  const Lines lines = log.LogLines();
  ASSERT_EQ(lines.size(), 3u) << "no opening line";
  EXPECT_NE(lines[2].find(tmp.Path() + "\\\\Microsoft\\Office\\Recent\\c.doc.lnk"), std::string::npos)
      << "the doubled backslash reaches the walker unchanged: " << lines[2];
  EXPECT_EQ(lines[2].find("Item"), std::string::npos);
}

TEST_F(FolderClean, SameFolderThroughTwoSubfolderRowsIsCleanedOnceAndAnnouncedTwice) {
  regseed::Sz("Software\\Test\\User Shell Folders", "Cache", tmp.Path());
  regseed::Sz("Software\\Test\\Shell Folders", "Cache", tmp.Path() + "\\");
  Seed("Temp\\Content.IE5\\x.htm");
  Seed("Temp\\Content.IE5\\INDEX\\y.gif");
  Seed("Temp\\Content.IE5\\desktop.ini");
  const CleanItem rows[] = {
      SubFolderRow(kKindFolder, "User Shell Folders", "Cache", nullptr, "Content.IE5", OP_CLEAN_SUBDIR_BY_VALUE),
      SubFolderRow(kKindFolder, "Shell Folders", "Cache", nullptr, "Content.IE5", OP_CLEAN_SUBDIR_BY_VALUE),
  };
  std::string done;
  CleanRows(HKEY_CURRENT_USER, "Software\\Test", rows, IDC_STATUS_INTERNET, &count, &kb, &done);
  EXPECT_EQ(done, tmp.Path() + "\\Temp\\Content.IE5\\*.*");
  EXPECT_EQ(count, 3) << "two files and one folder, once";
  EXPECT_TRUE(FileExists(tmp / "Temp\\Content.IE5\\desktop.ini")) << "shell files are spared";
  int openings = 0;
  for (const auto& line : log.LogLines())
    if (line.rfind("  Clean up directory ", 0) == 0) ++openings;
  EXPECT_EQ(openings, 2);

  // The other folder operations only skip what the done folder names.
  Seed("Temp\\Content.IE5\\z.htm");
  regseed::Sz(kKeyPath, "Tree", tmp.Path() + "\\Temp\\Content.IE5");
  CleanDirTreeByValue(kKindFolder, *Key(), "Tree", nullptr, 0, &count, &kb, &done, nullptr);
  EXPECT_TRUE(FileExists(tmp / "Temp\\Content.IE5\\z.htm"));
  CleanDirTreeByValue(kKindFolder, *Key(), "Tree", nullptr, 0, &count, &kb, nullptr, nullptr);
  EXPECT_FALSE(FileExists(tmp / "Temp\\Content.IE5\\z.htm"));
}

TEST_F(FolderClean, EnvironmentFolderWithPattern) {
  EnvVar tmpVar("TMP", tmp.Path());
  Seed("one.tmp");
  Seed("deep\\two.tmp");
  Seed("desktop.ini");
  CleanEnvDir(kKindFolder, "%TMP%", "*.*", IDC_STATUS_WINDOWS, &count, &kb);
  EXPECT_EQ(log.LogLines().front(), "  Clean up directory: %TMP%.\n");
  EXPECT_TRUE(Snapshot(tmp.Path()).empty()) << "unguarded: files, folders and desktop.ini go";
  EXPECT_EQ(count, 4);

  Seed("History.IE5\\h.dat");
  Seed("keep.txt");
  Seed("desktop.ini");
  CleanEnvDirGuarded(kKindFolder, "%TMP%", "History.*", IDC_STATUS_INTERNET, &count, &kb);
  EXPECT_TRUE(FileExists(tmp / "keep.txt")) << "only what the pattern names";
  EXPECT_TRUE(FileExists(tmp / "desktop.ini"));
  EXPECT_FALSE(FileExists(tmp / "History.IE5"));
}

// Values that name no folder that may be swept: each removes nothing and the
// trace says why.
TEST_F(FolderClean, UnsafeValuesRemoveNothing) {
  char profile[MAX_PATH];
  ASSERT_GT(::ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH), 0u);
  const std::string marker = std::string(profile) + "\\morvane-marker.txt";
  ASSERT_TRUE(WriteFileBytes(marker, "must stay"));
  Seed("file.txt");
  EnvVar nothing("MORVANE_EMPTY", "");
  EnvVar longVar("MORVANE_LONG", std::string(1024 - tmp.Path().size() - 1, 'L'));

  struct Case {
    const char* what;
    std::string value;
    DWORD type;
    const char* trace;
  };
  const std::vector<Case> cases = {
      {"empty text", "", REG_SZ, "Refused"},
      {"expands to nothing", "%MORVANE_EMPTY%", REG_EXPAND_SZ, "Refused"},
      {"relative", "morvane-relative", REG_SZ, "Refused"},
      {"drive-relative", "\\", REG_SZ, "Refused"},
      {"the profile itself", "%USERPROFILE%", REG_EXPAND_SZ, "Refused"},
      {"1024 characters", tmp.Path() + "\\%MORVANE_LONG%", REG_EXPAND_SZ, "Path buffer is not enough.\n"},
      {"NUL inside", tmp.Path() + std::string("\0\\..", 4), REG_SZ, "holds a NUL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    regseed::Put(kKeyPath, "Folder", c.type, c.value + std::string(1, '\0'));
    TraceRecorder trace;
    for (auto op : {CleanDirByValue, CleanDirTreeByValue, CleanSubDirByValue, CleanDirQuiet})
      op(kKindFolder, *Key(), "Folder", nullptr, 0, &count, &kb, nullptr, "Content.IE5");
    CleanCookieDirExcept({}, *Key(), "Folder", 0, &count, &kb, nullptr);
    bool said = false;
    for (const auto& line : trace.Lines()) said |= line.find(c.trace) != std::string::npos;
    EXPECT_TRUE(said) << "the trace says why";
  }
  CleanEnvDir(kKindFolder, "%MORVANE_EMPTY%", nullptr, 0, &count, &kb);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(FileExists(marker));
  EXPECT_TRUE(FileExists(tmp / "file.txt"));
  ::DeleteFileA(marker.c_str());
}

TEST_F(FolderClean, MissingValueIsTracedWithoutALine) {
  TraceRecorder trace;
  CleanDirByValue(kKindFolder, *Key(), "Absent", nullptr, 0, &count, &kb, nullptr, nullptr);
  CleanCookieDirExcept({}, *Key(), "Absent", 0, &count, &kb, nullptr);
  EXPECT_TRUE(log.LogLines().empty());
  EXPECT_TRUE(trace.Contains("Cannot get value from registry\n"));
  EXPECT_TRUE(trace.Contains("Cannot get value from registry.\n"));
}

// Restart scheduling is recorded in the machine's real key, which a registry
// sandbox would hide: this test keeps its folder value in a key of its own.
TEST(FolderCleanDeepSweep, SchedulesLockedFilesButNeverCookies) {
  TempFolder tmp;
  ProgressRecorder log;
  RemovalOptions deep(/*deepSweep=*/true, false);
  PendingRenames pending;
  const std::string keyPath = "Software\\MorvaneTests\\deep-" + std::to_string(::GetCurrentProcessId());
  regseed::Sz(keyPath, "Cache", tmp.Path());
  ASSERT_TRUE(WriteFileBytes(tmp / "locked.htm", std::string(1024, 'l')));
  ASSERT_TRUE(WriteFileBytes(tmp / "cookie@site.txt", "c"));
  HANDLE lock = ::CreateFileA((tmp / "locked.htm").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  int count = 0;
  float kb = 0;
  {
    RegKey key(keyPath, HKEY_CURRENT_USER);
    CleanCookieDirExcept({}, key, "Cache", IDC_STATUS_INTERNET, &count, &kb, nullptr);
    EXPECT_FALSE(FileExists(tmp / "cookie@site.txt"));
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(pending.Names(tmp / "locked.htm")) << "cookies are never kept for the restart";

    CleanDirTreeByValue(kKindFolder, key, "Cache", nullptr, IDC_STATUS_INTERNET, &count, &kb, nullptr, nullptr);
  }
  EXPECT_TRUE(pending.Names(tmp / "locked.htm"));
  EXPECT_EQ(log.LogLines().back(),
            "   Item 2, Remove File " + (tmp / "locked.htm") + ", size 1.000(KB) (After Rebooting).\n");
  ::CloseHandle(lock);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
}

TEST_F(FolderClean, CookieFolderKeepsFriendsIndexAndDoneFolder) {
  regseed::Sz(kKeyPath, "Cookies", tmp.Path());
  Seed("friend@bank.txt");
  Seed("index.dat");
  Seed("tracker@ads.txt");
  const StringPairList keep = {{"bank", tmp / "friend@bank.txt"}};
  std::string done = tmp.Path() + "\\*.*";
  CleanCookieDirExcept(keep, *Key(), "Cookies", 0, &count, &kb, &done);
  EXPECT_TRUE(FileExists(tmp / "tracker@ads.txt")) << "already done";
  done.clear();
  CleanCookieDirExcept(keep, *Key(), "Cookies", 0, &count, &kb, &done);
  EXPECT_FALSE(FileExists(tmp / "tracker@ads.txt"));
  EXPECT_TRUE(FileExists(tmp / "friend@bank.txt"));
  EXPECT_TRUE(FileExists(tmp / "index.dat"));
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(log.LogLines().size() == 1u) << "no opening line";
}

}  // namespace

namespace {

TEST(CollectCookies, ListsTheShellCookieFolderWithoutIndexOrFriends) {
  char folder[MAX_PATH] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COOKIES, TRUE));
  const std::string dir = folder;
  const std::string mine = dir + "\\morvane@collect.txt";
  const std::string index = dir + "\\index.dat";
  const bool hadIndex = FileExists(index);
  ASSERT_TRUE(WriteFileBytes(mine, "c"));
  if (!hadIndex) WriteFileBytes(index, "i");
  StringPairList list = {{"stale", "C:\\stale.txt"}};
  CollectCurrentCookies(list);
  ::DeleteFileA(mine.c_str());
  if (!hadIndex) ::DeleteFileA(index.c_str());

  EXPECT_TRUE(ListHasPath(list, mine));
  EXPECT_FALSE(ListHasPath(list, index));
  EXPECT_FALSE(ListHasPath(list, "C:\\stale.txt")) << "the list is filled afresh";
}

}  // namespace

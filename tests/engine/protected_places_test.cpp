// The protected places the guard adds to the roots: the stores of keys and
// credentials below both AppData folders (never swept, by anyone, under any
// name), the temporary folders (emptied, never removed), and the registry's
// configuration, sign-in, policy, start-up, shell-folder, class-root and
// Morvane keys. Each kind is reached through a folder value, a second
// spelling and a link; what lies there is compared before and after.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/dir_walker.h"
#include "engine/folder_open.h"
#include "engine/nt_calls.h"
#include "engine/removal_guard.h"
#include "support/test_env.h"
#include "tests/engine/removal_fixtures.h"

namespace {

std::string Special(int csidl) {
  char buf[MAX_PATH];
  return ::SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) ? std::string(buf) : std::string();
}

bool MakeFolders(const std::string& path) {
  for (size_t at = 3; (at = path.find('\\', at)) != std::string::npos; ++at)
    ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  return ::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// Plants one file in every store below both AppData folders for a test, and
// takes them away afterwards; the guard takes the folders afresh.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int base : {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA})
      for (const char* store : {"Protect", "Credentials", "Crypto", "SystemCertificates", "Vault"}) {
        const std::string folder = Special(base) + "\\Microsoft\\" + store + "\\guard-test";
        ASSERT_TRUE(MakeFolders(folder)) << folder;
        ASSERT_TRUE(WriteFileBytes(folder + "\\secret.bin", "key material"));
        m_planted.push_back(folder);
      }
    ReloadProtectedFoldersForTests();
  }
  void TearDown() override {
    for (const auto& f : m_planted) {
      ::DeleteFileA((f + "\\secret.bin").c_str());
      ::RemoveDirectoryA(f.c_str());
    }
    ReloadProtectedFoldersForTests();
  }
  std::vector<std::string> m_planted;
};

TEST_F(StoreTest, StoresOfKeysAreNeverSweptByAnyoneUnderAnyName) {
  const std::string roaming = Special(CSIDL_APPDATA);
  for (const auto& folder : m_planted) {
    SCOPED_TRACE(folder);
    const std::string store = folder.substr(0, folder.find_last_of('\\'));
    const auto before = Snapshot(store);
    for (GuardScope scope : {GuardScope::kReference, GuardScope::kTyped}) {
      EXPECT_NE(nullptr, RemovalRefusal(store + "\\*.*", scope));
      EXPECT_NE(nullptr, RemovalRefusal(folder + "\\*.*", scope));
      int count = 0;
      DirWalker(store + "\\*.*", true, scope).RemoveTree(0, 0, &count, nullptr);
      DirWalker(folder + "\\*.*", true, scope).RemoveTree(0, 0, &count, nullptr);
      EXPECT_EQ(0, count);
    }
    // The second drive letter of the prefix reaches the same folder.
    const std::string d = "D:\\wine-test\\drive_c" + folder.substr(2);
    if (FileExists(d)) {
      EXPECT_NE(nullptr, RemovalRefusal(d + "\\*.*"));
    }
    EXPECT_EQ(before, Snapshot(store));
  }
  // A tree that holds a store is swept around it.
  const std::string beside = roaming + "\\Microsoft\\guard-test-beside";
  ASSERT_TRUE(MakeFolders(beside));
  ASSERT_TRUE(WriteFileBytes(beside + "\\old.log", "log"));
  const auto storeBefore = Snapshot(roaming + "\\Microsoft\\Protect");
  int count = 0;
  DirWalker(roaming + "\\Microsoft\\*.*", false, GuardScope::kTyped).RemoveTree(0, 0, &count, nullptr);
  EXPECT_FALSE(FileExists(beside + "\\old.log"));
  EXPECT_EQ(storeBefore, Snapshot(roaming + "\\Microsoft\\Protect"));
  EXPECT_TRUE(FileExists(m_planted[0] + "\\secret.bin"));
}

TEST(ProtectedPlaces, AStoreReachedThroughALinkIsNeverSwept) {
  const std::string alias = "D:\\fixtures\\hostile\\alias\\protect";
  REQUIRE_FIXTURE(FileExists(alias + "\\S-1-5-21-fixture\\key"), alias);
  ReloadProtectedFoldersForTests();
  const auto before = Snapshot(alias);
  int count = 0;
  DirWalker(alias + "\\*.*", false).RemoveTree(0, 0, &count, nullptr);
  DirWalker(alias + "\\S-1-5-21-fixture\\*.*", false, GuardScope::kTyped).RemoveTree(0, 0, &count, nullptr);
  EXPECT_EQ(0, count);
  EXPECT_TRUE(FileExists(alias + "\\S-1-5-21-fixture\\key"));
  EXPECT_EQ(before, Snapshot(alias));
}

// The temporary folder is swept in but never removed, under any spelling.
TEST(ProtectedPlaces, TemporaryFoldersAreEmptiedNeverRemoved) {
  char buf[MAX_PATH];
  ASSERT_GT(::GetTempPathA(MAX_PATH, buf), 0u);
  std::string temp = buf;
  temp.pop_back();
  char shortName[MAX_PATH];
  ASSERT_GT(::GetShortPathNameA(temp.c_str(), shortName, MAX_PATH), 0u);
  for (const std::string& name : {temp, std::string(shortName), "D:\\wine-test\\drive_c" + temp.substr(2)}) {
    SCOPED_TRACE(name);
    if (!FileExists(name)) continue;
    EXPECT_EQ(nullptr, RemovalRefusal(name + "\\*.*"));
    HANDLE h = nullptr;
    ASSERT_EQ(FolderOpen::kOpen, OpenFolderChecked(name, ParentLength(name), FILE_READ_ATTRIBUTES, &h));
    EXPECT_EQ(nullptr, FolderHandleRefusal(h));
    EXPECT_NE(nullptr, FolderRemovalRefusal(h));
    ::CloseHandle(h);
  }
  // An ordinary folder inside it may go.
  TempFolder scratch;
  HANDLE h = nullptr;
  ASSERT_EQ(FolderOpen::kOpen, OpenFolderChecked(scratch.Path(), ParentLength(scratch.Path()), DELETE, &h));
  EXPECT_EQ(nullptr, FolderRemovalRefusal(h));
  ::CloseHandle(h);
}

// Open and check: every segment past the trusted part is its parent's own
// plain folder; a link there, or a missing segment, says so.
TEST(ProtectedPlaces, OpenAndCheckRefusesALinkInAnySegmentPastTheTrustedPart) {
  const std::string hostile = "D:\\fixtures\\hostile";
  REQUIRE_FIXTURE(FileExists(hostile + "\\outside\\secret.txt"), hostile);
  struct Case {
    std::string folder;
    size_t trusted;
    FolderOpen want;
  } cases[] = {
      {hostile + "\\alias\\outside", ParentLength(hostile + "\\alias\\outside"), FolderOpen::kLink},
      {hostile + "\\swap\\decoy\\a", 3, FolderOpen::kLink},
      {hostile + "\\alias\\outside", (hostile + "\\alias\\outside").size(), FolderOpen::kOpen},  // the system's own
      {hostile + "\\outside", 3, FolderOpen::kOpen},
      {hostile + "\\no-such\\folder", 3, FolderOpen::kMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    HANDLE h = nullptr;
    EXPECT_EQ(c.want, OpenFolderChecked(c.folder, c.trusted, FILE_LIST_DIRECTORY, &h));
    if (h != nullptr) ::CloseHandle(h);
  }
}

// Registry: every kind of protected key, under each spelling that reaches
// it, refused as a whole key and for its values where the kind says so.
TEST(ProtectedPlaces, RegistryKeysOfTheMachineSignInAndPolicyAreRefusedUnderEverySpelling) {
  RegistrySandbox sandbox;
  struct Case {
    HKEY root;
    const char* path;
    bool whole;
    bool refused;
  } cases[] = {
      {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\X", true, true},
      {HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", false, true},
      {HKEY_CURRENT_CONFIG, "Software\\Fonts", true, true},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", false, true},
      {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", true,
       true},
      {HKEY_CURRENT_USER, "Software\\Policies\\Calderix\\Morvane", true, true},
      {HKEY_LOCAL_MACHINE, "Software\\Vendor\\Policies", false, true},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", false, true},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", false, true},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true, true},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", false, true},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", true, true},  // holds them
      {HKEY_CLASSES_ROOT, "CLSID", true, true},
      {HKEY_LOCAL_MACHINE, "Software\\Classes", true, true},
      {HKEY_USERS, "S-1-5-21-1-2-3-1001_Classes\\CLSID", true, true},
      {HKEY_USERS, "S-1-5-21-1-2-3-1001\\Software\\Calderix\\Morvane\\Rules", false, true},
      {HKEY_CURRENT_USER, "Software\\Calderix", true, true},
      // One class below the roots, and ordinary traces, may go.
      {HKEY_CLASSES_ROOT, "CLSID\\{00000000-1111-2222-3333-444444444444}", true, false},
      {HKEY_CURRENT_USER, "Software\\Classes\\.ruletest", true, false},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU", true, false},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", false, false},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.refused, RegistryRefusal(c.root, c.path, c.whole) != nullptr);
    EXPECT_EQ(c.refused, RegistryPatternRefusal(c.root, c.path, c.whole) != nullptr);
  }
  EXPECT_NE(nullptr, RegistryPatternRefusal(HKEY_LOCAL_MACHINE, "SYST*\\*\\Services", true));
  EXPECT_NE(nullptr, RegistryPatternRefusal(HKEY_CURRENT_USER, "Software\\Microsoft\\*", true));
}

// A key that leads elsewhere (a registry link) is judged by the key it
// reaches, not by its own name.
TEST(ProtectedPlaces, ARegistryLinkToAPolicyKeyIsJudgedByWhatItReaches) {
  RegistrySandbox sandbox;
  HKEY target = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Policies\\LinkVendor", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &target, nullptr));
  const std::wstring name = nt::KeyName(target);
  ::RegCloseKey(target);
  ASSERT_FALSE(name.empty());
  // A link key outlives the sandbox's cleanup (deleting it needs the link
  // opened as such): each run makes one of its own name.
  const std::string shortcut = "Software\\LinkVendor\\Shortcut" + std::to_string(::GetCurrentProcessId()) + "-" +
                               std::to_string(::GetTickCount());
  HKEY link = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegCreateKeyExA(HKEY_CURRENT_USER, shortcut.c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                              &link, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                            reinterpret_cast<const BYTE*>(name.c_str()),
                                            static_cast<DWORD>(name.size() * sizeof(wchar_t))));
  ::RegCloseKey(link);
  EXPECT_EQ(nullptr, RegistryPatternRefusal(HKEY_CURRENT_USER, shortcut.c_str(), true));
  EXPECT_NE(nullptr, RegistryRefusal(HKEY_CURRENT_USER, shortcut.c_str(), true));
  EXPECT_EQ(nullptr, RegistryRefusal(HKEY_CURRENT_USER, "Software\\LinkVendor", false));
}

}  // namespace

namespace {

// A folder that becomes a user data folder after the program started (here
// OneDrive, which only the environment names) is protected from the next
// sweep on: each sweep takes the set afresh.
TEST(ProtectedPlaces, AFolderThatBecomesADataFolderIsProtectedFromTheNextSweep) {
  TempFolder tmp;
  const std::string cloud = tmp / "cloud";
  ASSERT_TRUE(MakeFolders(cloud + "\\notes"));
  char old[MAX_PATH] = {};
  const bool hadOld = ::GetEnvironmentVariableA("OneDrive", old, sizeof old) > 0;
  ::SetEnvironmentVariableA("OneDrive", nullptr);
  RefreshProtectedPlaces();
  EXPECT_EQ(nullptr, RemovalRefusal(cloud + "\\notes\\*.*"));
  ::SetEnvironmentVariableA("OneDrive", cloud.c_str());
  RefreshProtectedPlaces();
  EXPECT_NE(nullptr, RemovalRefusal(cloud + "\\notes\\*.*"));
  ::SetEnvironmentVariableA("OneDrive", hadOld ? old : nullptr);
  RefreshProtectedPlaces();
}

}  // namespace

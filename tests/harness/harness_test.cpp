// The test prefix is a sandbox: the Linux root and home are out of reach, and
// every test's registry writes vanish with its fixture.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/test_env.h"

namespace {
std::set<std::string> ListNames(const std::string& pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.insert(fd.cFileName);
  while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  return names;
}
}  // namespace

TEST(PrefixHygiene, RootPatternAndZDriveNameNothingOutsideTheBuildFolder) {
  // The current directory is the build folder, mapped as a drive of its own.
  auto root = ListNames("\\*.*");
  ASSERT_FALSE(root.empty());
  std::string seen;
  for (const auto& n : root) seen += n + " ";
  EXPECT_TRUE(root.count("CMakeCache.txt") && root.count("tests")) << "\\*.* should list the build folder: " << seen;
  for (const char* linuxDir : {"etc", "usr", "proc", "sys", "dev", "boot"}) EXPECT_EQ(root.count(linuxDir), 0u) << linuxDir;

  EXPECT_TRUE(ListNames("Z:\\*.*").empty()) << "Z: must not be mapped";
  EXPECT_EQ(::GetDriveTypeA("Z:\\"), (UINT)DRIVE_NO_ROOT_DIR);
}

TEST(PrefixHygiene, ProfileFoldersAreRealFoldersInsideThePrefix) {
  char desktop[MAX_PATH] = {};
  ASSERT_EQ(::GetEnvironmentVariableA("USERPROFILE", desktop, MAX_PATH) > 0, true);
  for (const char* sub : {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos",
                          "AppData\\Roaming\\Microsoft\\Windows\\Templates"}) {
    std::string path = std::string(desktop) + "\\" + sub;
    DWORD attrs = ::GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) continue;  // a missing folder links nowhere either
    EXPECT_EQ(attrs & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << path << " is a link";
  }
}

TEST(RegistrySandbox, WritesUnderTheMappedRootsVanishWithTheFixture) {
  const char* kKey = "Software\\MorvaneSandboxProbe";
  {
    RegistrySandbox sandbox;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      HKEY k = nullptr;
      ASSERT_EQ(::RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
      DWORD v = 7;
      ::RegSetValueExA(k, "Probe", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
      ::RegCloseKey(k);
    }
    HKEY k = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
    ::RegCloseKey(k);
  }
  HKEY k = nullptr;
  EXPECT_NE(::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  // Nor does the scratch area outlive the fixture.
  EXPECT_NE(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneTests\\Nothing", 0, KEY_READ, &k), ERROR_SUCCESS);
}

TEST(RegistrySandbox, TwoSandboxesInARowStartEmpty) {
  {
    RegistrySandbox first;
    HKEY k = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Left", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(k);
  }
  RegistrySandbox second;
  HKEY k = nullptr;
  EXPECT_NE(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Left", 0, KEY_READ, &k), ERROR_SUCCESS);
}

TEST(TempFolder, IsInsideTheBuildFolderAndRemovedAfterwards) {
  std::string path;
  {
    TempFolder dir;
    path = dir.Path();
    ASSERT_TRUE(WriteFileBytes(dir / "a.txt", "abc"));
    ASSERT_TRUE(::CreateDirectoryA((dir / "sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir / "sub\\b.txt", "abc"));
    char full[MAX_PATH];
    ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    // C: is the prefix's own drive_c, which lives in the build folder.
    EXPECT_TRUE(full[0] == 'C' || full[0] == 'D') << full;
  }
  EXPECT_FALSE(FileExists(path));
}

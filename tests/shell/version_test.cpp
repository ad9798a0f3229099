// The version resource of the program that ships: its texts, and numbers that
// agree with the build's one version (morvane_version.h).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvane_version.h"

namespace {

// Morvane.exe in the build folder, one level above the tests.
std::string ProgramPath() {
  char exe[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path = exe;
  for (int up = 0; up < 2; ++up) path = path.substr(0, path.find_last_of('\\'));
  return path + "\\Morvane.exe";
}

std::string Text(const std::vector<char>& block, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
  if (!::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) return "";
  return std::string(value, length > 0 ? length - 1 : 0);
}

}  // namespace

TEST(VersionResource, TheProgramSaysWhatAndWhichVersionItIs) {
  const std::string path = ProgramPath();
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_NE(size, 0u) << path;
  std::vector<char> block(size);
  ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

  EXPECT_EQ(Text(block, "ProductName"), "Morvane");
  EXPECT_EQ(Text(block, "CompanyName"), "Calderix");
  EXPECT_EQ(Text(block, "FileVersion"), MORVANE_VERSION_TEXT);
  EXPECT_EQ(Text(block, "ProductVersion"), MORVANE_VERSION_TEXT);
  EXPECT_FALSE(Text(block, "FileDescription").empty());
  EXPECT_EQ(std::string(MORVANE_VERSION_TEXT).rfind("2.91.", 0), 0u);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), MORVANE_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), MORVANE_VERSION_MINOR);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), MORVANE_VERSION_BUILD);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
}

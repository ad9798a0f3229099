// The reader and player targets: the bar steps they own, targets missing from
// the machine, RealOne's data folder however its value is written, and folder
// references that must not be swept.
#include "tests/catalogue/applications_fixture.h"

namespace {

const char kUserDataPath[] = "SOFTWARE\\RealNetworks\\Preferences\\UserDataPath";
const char kCookiesPath[] = "SOFTWARE\\RealNetworks\\RealMediaSDK\\6.0\\Preferences\\CookiesPath";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

// With none of the reader and player boxes checked the cleaner still opens
// the log and moves the bar to 90, 95 and 100, and touches nothing.
TEST_F(ApplicationsSweepTest, NoPlayerBitStillMovesTheBar) {
  const SnapshotMap before = Snapshot();
  const ApplicationsSweepResult sweep = Sweep(0);
  EXPECT_EQ((std::vector<int>{0, 20, 40, 60, 80, 90, 95, 100}), sweep.bar);
  EXPECT_TRUE(sweep.Logged("Start clean up historical records on other applications.\n"));
  EXPECT_EQ(0, sweep.CountContaining("Clean up "));
  EXPECT_TRUE(CompareSnapshots(before, Snapshot()).Empty());
}

// Acrobat Reader missing: the others are swept all the same.
TEST_F(ApplicationsSweepTest, MissingAdobeKeyStillSweepsThePlayers) {
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Adobe"));
  const ApplicationsSweepResult sweep = Sweep(0x70);
  EXPECT_EQ(0, sweep.CountContaining("Clean up Adobe"));
  EXPECT_TRUE(sweep.Logged("Clean up MediaPlayer.\n"));
  EXPECT_TRUE(sweep.Logged("Clean up RealPlayer 7.0.\n"));
  EXPECT_EQ(2 + 7 + 10, sweep.items);
  EXPECT_FALSE(FileExists(RealOne() + "\\urls.ini"));
}

// Media Player's line is written even when it has no list to clear; a
// player whose key is missing writes none.
TEST_F(ApplicationsSweepTest, MediaPlayerLineWithoutItsKey) {
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\MediaPlayer"));
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\classes\\Software\\RealNetworks\\RealPlayer\\5.0"));
  const ApplicationsSweepResult sweep = Sweep(0x60);
  EXPECT_TRUE(sweep.Logged("Clean up MediaPlayer.\n"));
  EXPECT_FALSE(sweep.Logged("Clean up RealPlayer 5.0.\n"));
  EXPECT_TRUE(sweep.Logged("Clean up RealPlayer 6.0.\n"));
  EXPECT_EQ(5, sweep.CountContaining("Delete Key: MostRecentClips"));  // two each in 6.0 and 7.0, one in RealOne
}

// RealOne writes its data folder with a trailing backslash, other tools
// without one: both reach the same four places, with one separator.
class ApplicationsUserDataPathTest : public ApplicationsSweepTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ApplicationsUserDataPathTest, SameRemovalsWithOrWithoutTrailingBackslash) {
  regtest::PutText(HKEY_CURRENT_USER, kUserDataPath, nullptr, RealOne() + (GetParam() ? "\\" : ""));
  const ApplicationsSweepResult sweep = Sweep(0x20);
  const std::string d = RealOne() + "\\";
  EXPECT_FALSE(FileExists(d + "urls.ini"));
  EXPECT_FALSE(FileExists(d + "realplayer.ste"));
  EXPECT_FALSE(FileExists(d + "History\\h1.rhf"));
  EXPECT_TRUE(FileExists(d + "History\\desktop.ini"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((d + "Temp").c_str()));
  EXPECT_TRUE(FileExists(d + "prefs.ini"));
  EXPECT_TRUE(FileExists(d + "Skins\\blue.rjs"));
  EXPECT_EQ(7 + 10, sweep.items);
  EXPECT_EQ(1, sweep.CountContaining("Remove file: " + d + "urls.ini, "));
  EXPECT_EQ(0, sweep.CountContaining("\\\\"));
}

INSTANTIATE_TEST_SUITE_P(TrailingBackslash, ApplicationsUserDataPathTest, ::testing::Bool());

// A folder or file reference that names no absolute place of its own sweeps
// no file: not an empty text, not a relative one, and not one cut short by a
// NUL inside it (the part before the NUL names a real place, but not the one
// the value names).
TEST_F(ApplicationsSweepTest, UnsafeFolderValuesSweepNothing) {
  const struct {
    const char* key;
    const char* value;
    int targets;
    std::string whole;  // what the text before the NUL names
    const char* relative;
  } places[] = {
      {kUserDataPath, nullptr, 0x20, RealOne() + "\\", "Real\\RealOne Player\\"},
      {kCookiesPath, nullptr, 0x20, RealOne() + "\\cookies.txt", "cookies.txt"},
      {kShellFolders, "Local AppData", 0x02, m_local.Path(), "AppData\\Local"},
  };
  const auto put = [](const char* key, const char* value, const std::string& bytes) {
    regtest::Put(HKEY_CURRENT_USER, key, value, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
  };
  for (const auto& place : places) put(place.key, place.value, std::string(1, '\0'));
  for (const auto& place : places) {
    for (const std::string& bytes :
         {std::string(1, '\0'), place.relative + std::string(1, '\0'), place.whole + '\0' + "Elsewhere" + '\0'}) {
      SCOPED_TRACE(std::string(place.key) + " = " + bytes.c_str());
      put(place.key, place.value, bytes);
      const SnapshotMap before = Snapshot();
      const ApplicationsSweepResult sweep = Sweep(place.targets);
      EXPECT_EQ(0, sweep.CountContaining("Remove "));
      // Registry traces may go; every file and folder stays.
      const SnapshotDiff diff = CompareSnapshots(before, Snapshot());
      for (const std::string& entry : diff.removed) EXPECT_EQ(0u, entry.find("HK")) << entry;
    }
    put(place.key, place.value, std::string(1, '\0'));
  }
}

// Every category with every target on, in a profile whose shell-folder
// values, %TMP%/%TEMP% and an application's value point into the user's own
// folders and the application-data roots: nothing of the user's is removed,
// and the log names each refused folder.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/removal_guard.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "support/snapshot.h"
#include "support/test_env.h"
#include "windows_fixture.h"
#include "winlib/platform_calls.h"

namespace {

std::string Special(int csidl) {
  char buf[MAX_PATH] = {};
  return ::SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) ? std::string(buf) : std::string();
}

void SetValue(const std::string& path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), (DWORD)text.size() + 1);
  ::RegCloseKey(key);
}

// A folder of the user's, with files and a subfolder, planted for the test
// and removed by the test itself afterwards.
struct UserFolder {
  std::string path;
  void Plant() {
    ::CreateDirectoryA(path.c_str(), nullptr);
    ::CreateDirectoryA((path + "\\2026").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(path + "\\keep.txt", "the user's own"));
    ASSERT_TRUE(WriteFileBytes(path + "\\photo.jpg", "pixels"));
    ASSERT_TRUE(WriteFileBytes(path + "\\2026\\return.pdf", "figures"));
  }
  void Remove() const {
    for (const char* f : {"\\2026\\return.pdf", "\\keep.txt", "\\photo.jpg"}) ::DeleteFileA((path + f).c_str());
    ::RemoveDirectoryA((path + "\\2026").c_str());
    ::RemoveDirectoryA(path.c_str());
  }
};

class UserDataSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    // The guard's folders are taken before the values are bent.
    RemovalRefusal(Special(CSIDL_LOCAL_APPDATA) + "\\*.*");
    m_saved = {g_WindowsSettings.m_nTargets, g_InternetSettings.m_nTargets, g_ApplicationSettings.m_nTargets,
               g_GeneralSettings.m_nTargets};
    m_savedLocations = g_WindowsSettings.m_locations;
    g_WindowsSettings.m_nTargets = 0x7F;
    g_InternetSettings.m_nTargets = 0x7FF;
    g_ApplicationSettings.m_nTargets = 0x7F;
    g_GeneralSettings.m_nTargets |= GENERAL_DEEP_SWEEP;
    g_WindowsSettings.m_locations.clear();
    g_platform.SHQueryRecycleBinA = &WindowsFakeBin::Query;
    g_platform.SHEmptyRecycleBinA = &WindowsFakeBin::Empty;
    for (const char* v : {"TMP", "TEMP"}) {
      char buf[1024] = {};
      ::GetEnvironmentVariableA(v, buf, sizeof buf);
      m_savedEnv.push_back(buf);
    }
    const std::string documents = Special(CSIDL_PERSONAL), local = Special(CSIDL_LOCAL_APPDATA);
    taxes.path = documents + "\\Taxes";
    holiday.path = Special(CSIDL_MYPICTURES) + "\\Holiday";
    work.path = Special(CSIDL_DESKTOPDIRECTORY) + "\\Work";
    band.path = Special(CSIDL_MYMUSIC) + "\\Band";
    trip.path = Special(CSIDL_MYVIDEO) + "\\Trip";
    letters.path = documents + "\\Letters";
    program.path = local + "\\SomeProgram";
    for (UserFolder* f : All()) f->Plant();
    const std::string shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    for (const char* key : {"User Shell Folders", "Shell Folders"}) {
      SetValue(shell + key, "Cache", taxes.path);
      SetValue(shell + key, "Recent", holiday.path);
      SetValue(shell + key, "Cookies", work.path);
      SetValue(shell + key, "History", local);
    }
    ::SetEnvironmentVariableA("TMP", band.path.c_str());
    ::SetEnvironmentVariableA("TEMP", trip.path.c_str());
    SetValue("Software\\RealNetworks\\RealMediaSDK\\6.0\\Preferences\\CookiesPath", "", letters.path + "\\*.*");
  }

  void TearDown() override {
    ::SetEnvironmentVariableA("TMP", m_savedEnv[0].c_str());
    ::SetEnvironmentVariableA("TEMP", m_savedEnv[1].c_str());
    for (UserFolder* f : All()) f->Remove();
    ResetPlatformCalls();
    g_WindowsSettings.m_nTargets = m_saved[0];
    g_InternetSettings.m_nTargets = m_saved[1];
    g_ApplicationSettings.m_nTargets = m_saved[2];
    g_GeneralSettings.m_nTargets = m_saved[3];
    g_WindowsSettings.m_locations = m_savedLocations;
  }

  std::vector<UserFolder*> All() { return {&taxes, &holiday, &work, &band, &trip, &letters, &program}; }

  SnapshotMap Picture() {
    SnapshotMap m;
    for (UserFolder* f : All()) SnapshotFolder(f->path, f->path, m);
    return m;
  }

  RegistrySandbox m_sandbox;
  UserFolder taxes, holiday, work, band, trip, letters, program;

 private:
  std::vector<int> m_saved;
  std::vector<CustomLocation> m_savedLocations;
  std::vector<std::string> m_savedEnv;
};

TEST_F(UserDataSweep, EveryTargetOnRemovesNothingOfTheUsersAndSaysWhy) {
  const SnapshotMap before = Picture();
  ProgressRecorder log;
  SweepWindows(nullptr);
  SweepInternet(nullptr);
  SweepApplications(nullptr);
  const SnapshotDiff diff = CompareSnapshots(before, Picture());
  EXPECT_TRUE(diff.removed.empty() && diff.changed.empty()) << diff.Describe();

  const auto lines = log.LogLines();
  // One line for each folder a reference led to, naming it and why.
  std::vector<std::string> skipped;
  for (const auto& l : lines)
    if (l.find("Skipped") != std::string::npos) skipped.push_back(l);
  std::vector<std::string> expected = {
      "  Skipped " + holiday.path + ": it is inside Pictures.\n",
      "  Skipped " + band.path + ": it is inside Music.\n",
      "  Skipped " + trip.path + ": it is inside Videos.\n",
      "  Skipped " + taxes.path + ": it is inside Documents.\n",
      "  Skipped " + work.path + ": it is inside Desktop.\n",
      "  Skipped " + Special(CSIDL_LOCAL_APPDATA) + ": it is the local AppData folder.\n",
      "  Skipped " + letters.path + ": it is inside Documents.\n",
  };
  std::sort(skipped.begin(), skipped.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(skipped, expected);
  for (const auto& l : lines) {
    for (UserFolder* f : All()) EXPECT_EQ(l.find("Remove file: " + f->path), std::string::npos) << l;
  }
}

}  // namespace

// Firefox profiles below an "AppData" folder pointed at a private folder:
// the seven profile files go in any letter case, everything else stays, a
// locked file is left for restart whatever Deep Sweep says.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/firefox_targets.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "internet_fixture.h"
#include "settings/reg_key.h"
#include "winlib/platform_calls.h"

namespace {

class InternetFirefoxTest : public InternetTest {
 protected:
  void SetUp() override {
    InternetTest::SetUp();
    SetAppData(m_temp.Path());
    const std::string mozilla = m_temp / "Mozilla";
    for (const char* folder : {"", "\\Firefox", "\\Firefox\\Profiles", "\\Firefox\\Profiles\\ab12.default",
                               "\\Firefox\\Profiles\\ab12.default\\Cache",
                               "\\Firefox\\Profiles\\ab12.default\\Cache\\0A", "\\Firefox\\Profiles\\ab12.default\\chrome",
                               "\\Firefox Beta", "\\Firefox Beta\\profiles", "\\Firefox Beta\\profiles\\cd34.beta",
                               "\\Thunderbird", "\\Thunderbird\\profiles", "\\Thunderbird\\profiles\\mail"})
      ASSERT_TRUE(::CreateDirectoryA((mozilla + folder).c_str(), nullptr)) << folder;
    m_profile = mozilla + "\\Firefox\\Profiles\\ab12.default";
    m_beta = mozilla + "\\Firefox Beta\\profiles\\cd34.beta";
    // The seven, in mixed case, in the first profile; three in the second.
    m_targets = {m_profile + "\\History.dat",  m_profile + "\\FORMHISTORY.DAT", m_profile + "\\cookies.TXT",
                 m_profile + "\\downloads.rdf", m_profile + "\\Cert8.db",        m_profile + "\\key3.DB",
                 m_profile + "\\localstore.rdf", m_beta + "\\history.dat",       m_beta + "\\cookies.txt",
                 m_beta + "\\key3.db",           m_profile + "\\Cache\\1F2E3D4C", m_profile + "\\Cache\\_CACHE_MAP_"};
    m_keep = {m_profile + "\\prefs.js",          m_profile + "\\bookmarks.html",  m_profile + "\\history.dat.bak",
              m_profile + "\\chrome\\cookies.txt", m_profile + "\\Cache\\0A\\history.dat",
              mozilla + "\\Thunderbird\\profiles\\mail\\history.dat", mozilla + "\\Firefox\\history.dat",
              mozilla + "\\Firefox\\Profiles\\cookies.txt"};
    for (const auto* list : {&m_targets, &m_keep})
      for (const std::string& f : *list) ASSERT_TRUE(WriteFileBytes(f, std::string(1024, 'f'))) << f;
  }

  void SetAppData(const std::string& value) {
    RegKey key("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", HKEY_CURRENT_USER);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.SetValue("AppData", REG_EXPAND_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1)));
  }

  std::string m_profile, m_beta;
  std::vector<std::string> m_targets, m_keep;
};

TEST_F(InternetFirefoxTest, RemovesProfileFilesInAnyCaseAndLeavesEverythingElse) {
  int count = 0;
  float kb = 0;
  CleanFirefox(nullptr, &count, &kb);
  for (const std::string& f : m_targets) EXPECT_FALSE(FileExists(f)) << f;
  for (const std::string& f : m_keep) EXPECT_TRUE(FileExists(f)) << f;
  EXPECT_EQ(count, 12);
  EXPECT_FLOAT_EQ(kb, 12.0f);
  EXPECT_EQ(LinesWith("Remove file: " + m_profile + "\\History.dat, size 1.000(KB).\n").size(), 1u);
  EXPECT_TRUE(LinesWith("(After Rebooting)").empty());
  // Every line is numbered and shown in the Internet status line.
  const auto lines = m_log.LogLines();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines.back().rfind("   Item 12, Remove file: ", 0), 0u) << lines.back();
  EXPECT_EQ(m_log.ItemText(IDC_STATUS_INTERNET), lines.back());
}

TEST_F(InternetFirefoxTest, LockedHistoryIsLeftForRestartEvenWithoutDeepSweep) {
  SetGeneralOption(GENERAL_DEEP_SWEEP, false);
  const std::string locked = m_profile + "\\History.dat";
  HANDLE h = ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int count = 0;
  CleanFirefox(nullptr, &count, nullptr);
  ::CloseHandle(h);
  EXPECT_TRUE(FileExists(locked));
  EXPECT_EQ(count, 12);
  const auto scheduled = LinesWith("(After Rebooting)");
  ASSERT_EQ(scheduled.size(), 1u);
  EXPECT_NE(scheduled[0].find("Remove file: " + locked + ", size 1.000(KB) (After Rebooting).\n"), std::string::npos);
}

// A standard user may not schedule removals at restart: then the held file
// is neither logged as "(After Rebooting)" nor counted, and it is named as
// not removed.
TEST_F(InternetFirefoxTest, LockedHistoryTheSystemWillNotScheduleIsNotRemoved) {
  const std::string locked = m_profile + "\\History.dat";
  HANDLE h = ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  g_platform.MoveFileExW = [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  ResetOutcomes();
  int count = 0;
  float kb = 0;
  CleanFirefox(nullptr, &count, &kb);
  ::CloseHandle(h);
  ResetPlatformCalls();
  EXPECT_TRUE(FileExists(locked));
  EXPECT_EQ(count, 11) << "every other profile file";
  EXPECT_EQ(NotRemovedCount(), 1);
  ResetOutcomes();
  EXPECT_TRUE(LinesWith("(After Rebooting)").empty());
  EXPECT_EQ(LinesWith("Not removed: " + locked + ": ").size(), 1u);
}

TEST_F(InternetFirefoxTest, PreviewListsTheSameLinesAndRemovesNothing) {
  int previewCount = 0;
  float previewKB = 0;
  {
    PreviewScope preview(true);
    CleanFirefox(nullptr, &previewCount, &previewKB);
  }
  for (const auto* list : {&m_targets, &m_keep})
    for (const std::string& f : *list) EXPECT_TRUE(FileExists(f)) << f;
  const auto previewLines = m_log.LogLines();

  ProgressRecorder real;
  int count = 0;
  float kb = 0;
  CleanFirefox(nullptr, &count, &kb);
  EXPECT_EQ(real.LogLines(), previewLines);
  EXPECT_EQ(count, previewCount);
  EXPECT_FLOAT_EQ(kb, previewKB);
}

TEST_F(InternetFirefoxTest, MissingOrOversizedAppDataRemovesNothing) {
  // Short in the registry, too long once expanded.
  ::SetEnvironmentVariableA("MORVANE_LONG_FOLDER", (m_temp.Path() + std::string(1100, 'x')).c_str());
  const std::string tooLong = "%MORVANE_LONG_FOLDER%";
  for (const std::string& value : {std::string("%NO_SUCH_MORVANE_VAR%"), tooLong}) {
    SetAppData(value);
    TraceRecorder trace;
    int count = 0;
    CleanFirefox(nullptr, &count, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(trace.Contains("Path buffer is not enough.\n"), value == tooLong);
  }
  ::SetEnvironmentVariableA("MORVANE_LONG_FOLDER", nullptr);
  RegKey key("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", HKEY_CURRENT_USER);
  ASSERT_TRUE(key.DeleteValue("AppData"));
  CleanFirefox(nullptr, nullptr, nullptr);
  for (const std::string& f : m_targets) EXPECT_TRUE(FileExists(f)) << f;
  EXPECT_TRUE(m_log.LogLines().empty());
}

TEST_F(InternetFirefoxTest, WithoutTalliesFilesStillGo) {
  CleanFirefox(nullptr, nullptr, nullptr);
  for (const std::string& f : m_targets) EXPECT_FALSE(FileExists(f)) << f;
  EXPECT_EQ(LinesWith("Item").size(), 0u);
  EXPECT_EQ(m_log.LogLines().size(), 12u);
}

}  // namespace

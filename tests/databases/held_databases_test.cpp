// Databases a sweep found held: remembered under Morvane's key, counted as
// not removed once, cleaned with their line once free, forgotten with their
// profile, and never recorded by a preview.
#include <gtest/gtest.h>

#include "catalogue/browsers.h"
#include "catalogue/held_databases.h"
#include "db_fixture.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"

namespace {

class HeldDatabasesTest : public BrowserDbTest {
 protected:
  void SetUp() override {
    BrowserDbTest::SetUp();
    BuildCookies();
    ResetOutcomes();
  }
  // One sweep of Chrome's cookie database, friendly hosts kept.
  DbSweep SweepChrome() {
    return CleanCookieDatabase(ChromeCookies(), CookieStore::kChromium, "Chrome", "Default", {"friend.example"},
                               &m_count, nullptr);
  }
  // A browser holding the file: opened without sharing, as the watch's
  // stand-in browser and SQLite's exclusive mode do.
  static HANDLE Hold(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  int m_count = 0;
};

const char kCleanedNow[] = "Chrome cookies (Chrome, Default) was open at the last sweep; cleaned now.";

}  // namespace

TEST_F(HeldDatabasesTest, AHeldDatabaseIsCountedOnceAndCleanedWithItsLineOnceFree) {
  // Sweep after sweep while the browser runs, then one after it has ended.
  struct Step {
    bool held;
    DbSweep result;
    int notRemoved;  // the ledger's count after the step
    bool remembered;
  };
  const Step steps[] = {
      {true, DbSweep::kInUse, 1, true},
      {true, DbSweep::kInUse, 1, true},  // not counted a second time
      {false, DbSweep::kCleaned, 1, false},
      {false, DbSweep::kCleaned, 1, false},
  };
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE("step " + std::to_string(++n));
    HANDLE browser = step.held ? Hold(ChromeCookies()) : INVALID_HANDLE_VALUE;
    ASSERT_EQ(step.held, browser != INVALID_HANDLE_VALUE);
    EXPECT_EQ(SweepChrome(), step.result);
    if (browser != INVALID_HANDLE_VALUE) ::CloseHandle(browser);
    EXPECT_EQ(NotRemovedCount(), step.notRemoved);
    EXPECT_EQ(IsRememberedDatabase(ChromeCookies()), step.remembered);
  }
  EXPECT_EQ(LinesWith(kCleanedNow).size(), 1u) << "said once, when it was cleaned";
  EXPECT_EQ(Count(ChromeCookies(), "SELECT count(*) FROM cookies WHERE host_key LIKE '%tracker%'"), 0);
}

TEST_F(HeldDatabasesTest, RememberedDatabasesAreCleanedByTheirBrowserOrAllAndAGoneProfileIsDropped) {
  HANDLE chrome = Hold(ChromeCookies());
  HANDLE firefox = Hold(FirefoxCookies());
  EXPECT_EQ(SweepChrome(), DbSweep::kInUse);
  EXPECT_EQ(CleanCookieDatabase(FirefoxCookies(), CookieStore::kFirefox, "Firefox", "ab12.default", {}, &m_count,
                                nullptr),
            DbSweep::kInUse);
  ::CloseHandle(chrome);
  ::CloseHandle(firefox);
  ASSERT_EQ(RememberedDatabases().size(), 2u);

  // Only Firefox's record, when Firefox closes.
  g_InternetSettings.SetFriendlyHosts({});
  CleanRememberedDatabases(FindBrowser("Firefox"), &m_count, nullptr);
  EXPECT_FALSE(IsRememberedDatabase(FirefoxCookies()));
  EXPECT_TRUE(IsRememberedDatabase(ChromeCookies()));
  EXPECT_EQ(Count(FirefoxCookies(), "SELECT count(*) FROM moz_cookies"), 0);

  // Chrome's profile is removed meanwhile: its record goes, with no line.
  ASSERT_TRUE(::DeleteFileA(ChromeCookies().c_str()));
  ASSERT_TRUE(::RemoveDirectoryA((m_chrome + "\\Network").c_str()));
  ASSERT_TRUE(::RemoveDirectoryA(m_chrome.c_str()));
  CleanRememberedDatabases(nullptr, &m_count, nullptr);
  EXPECT_TRUE(RememberedDatabases().empty());
  EXPECT_TRUE(LinesWith("Chrome cookies (Chrome, Default) was open").empty());
}

TEST_F(HeldDatabasesTest, APreviewRemembersNothingAndOddRecordsAreIgnored) {
  {
    PreviewScope preview(true);
    HANDLE browser = Hold(ChromeCookies());
    EXPECT_EQ(SweepChrome(), DbSweep::kInUse);
    ::CloseHandle(browser);
  }
  EXPECT_TRUE(RememberedDatabases().empty());

  // Values that are not a browser's name, or not text, are not records.
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  ASSERT_TRUE(key.Create());
  const DWORD number = 1;
  ASSERT_TRUE(key.SetValue("C:\\a\\Cookies", REG_DWORD, &number, sizeof number));
  ASSERT_TRUE(key.SetValue("C:\\b\\Cookies", REG_SZ, "Netscape", 9));
  ASSERT_TRUE(key.SetValue("C:\\c\\Cookies", REG_SZ, "Chrome", 7));
  const std::vector<HeldDatabase> held = RememberedDatabases();
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].path, "C:\\c\\Cookies");
  EXPECT_EQ(held[0].browser, "Chrome");
}

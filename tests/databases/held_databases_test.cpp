// Databases a sweep found held: remembered under Morvane's key, counted as
// not removed at every sweep that leaves them, cleaned with their line once
// free, forgotten with their profile or their entry, never recorded by a
// preview; and only records a sweep could have made are read.
#include <gtest/gtest.h>

#include "engine/browsers.h"
#include "catalogue/held_database_sweep.h"
#include "catalogue/held_databases.h"
#include "db_fixture.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "settings/rule_choices.h"

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
  // Both browsers' cookie databases swept while held, so both are remembered.
  void RememberBothCookieDatabases() {
    HANDLE chrome = Hold(ChromeCookies());
    HANDLE firefox = Hold(FirefoxCookies());
    EXPECT_EQ(SweepChrome(), DbSweep::kInUse);
    EXPECT_EQ(CleanCookieDatabase(FirefoxCookies(), CookieStore::kFirefox, "Firefox", "ab12.default", {}, &m_count,
                                  nullptr),
              DbSweep::kInUse);
    ::CloseHandle(chrome);
    ::CloseHandle(firefox);
  }
  int m_count = 0;
};

const char kCleanedNow[] = "Chrome cookies (Chrome, Default) was open at the last sweep; cleaned now.";

}  // namespace

TEST_F(HeldDatabasesTest, AHeldDatabaseIsCountedAtEverySweepThatLeavesItAndCleanedWithItsLineOnceFree) {
  // Sweep after sweep while the browser runs, then one after it has ended.
  struct Step {
    bool held;
    DbSweep result;
    int notRemoved;  // the ledger's count after the step
    bool remembered;
  };
  const Step steps[] = {
      {true, DbSweep::kInUse, 1, true},
      {true, DbSweep::kInUse, 2, true},  // left again: not removed again
      {true, DbSweep::kInUse, 3, true},
      {false, DbSweep::kCleaned, 3, false},
      {false, DbSweep::kCleaned, 3, false},
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
  RememberBothCookieDatabases();
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
  ASSERT_TRUE(key.SetValue(ChromeCookies().c_str(), REG_SZ, "Chrome", 7));
  const std::vector<HeldDatabase> held = RememberedDatabases();
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].path, ChromeCookies());
  EXPECT_EQ(held[0].browser, "Chrome");
}

TEST_F(HeldDatabasesTest, OnlyRecordsASweepCouldHaveMadeAreReadAndTheRestAreDropped) {
  const std::string chromeData = m_temp / "Local\\Google\\Chrome\\User Data";
  const std::string firefoxData = m_temp / "Roaming\\Mozilla\\Firefox\\Profiles";
  struct Case {
    std::string path;
    const char* browser;
    bool valid;
  };
  const Case cases[] = {
      {ChromeCookies(), "Chrome", true},
      {m_chrome + "\\Favicons", "Chrome", true},
      {m_chrome + "\\Cookies", "Chrome", true},  // where older versions kept it
      {Places(), "Firefox", true},
      {Favicons(), "Firefox", true},
      {FirefoxCookies(), "Firefox", true},
      // A file the cleaners do not know, even beside the ones they do.
      {m_chrome + "\\Bookmarks", "Chrome", false},
      {m_chrome + "\\Network\\Favicons", "Chrome", false},
      {m_profile + "\\key4.db", "Firefox", false},
      // Outside the browser's data folder, or another browser's.
      {m_temp / "Documents\\Cookies", "Chrome", false},
      {"C:\\windows\\system32\\config\\Cookies", "Chrome", false},
      {ChromeCookies(), "Firefox", false},
      {Places(), "Chrome", false},
      {m_temp / "Local\\Microsoft\\Edge\\User Data\\Default\\Cookies", "Chrome", false},
      // Names that climb out, or sit at the wrong depth.
      {chromeData + "\\Default\\..\\..\\..\\Cookies", "Chrome", false},
      {chromeData + "\\Cookies", "Chrome", false},
      {chromeData + "\\Default\\Extra\\Deeper\\Cookies", "Chrome", false},
      {firefoxData + "\\places.sqlite", "Firefox", false},
      {firefoxData + "\\..\\..\\places.sqlite", "Firefox", false},
      {chromeData + "\\Default\\C:\\Cookies", "Chrome", false},
      {chromeData + "Evil\\Default\\Cookies", "Chrome", false},
  };
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  ASSERT_TRUE(key.Create());
  size_t valid = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " as " + c.browser);
    EXPECT_EQ(IsValidHeldRecord(c.path, *FindBrowser(c.browser)), c.valid);
    ASSERT_TRUE(key.SetValue(c.path.c_str(), REG_SZ, c.browser, static_cast<DWORD>(strlen(c.browser) + 1)));
    if (c.valid) ++valid;
  }
  // The same path under two browsers is one value: the last case for it wins.
  EXPECT_EQ(RememberedDatabases().size(), valid - 2);
  for (const HeldDatabase& held : RememberedDatabases())
    EXPECT_TRUE(IsValidHeldRecord(held.path, *FindBrowser(held.browser.c_str()))) << held.path;

  // A sweep of the records drops what is not valid from the key itself.
  g_InternetSettings.SetFriendlyHosts({});
  CleanRememberedDatabases(nullptr, &m_count, nullptr);
  RegKey after(kHeldDatabasesPath, HKEY_CURRENT_USER);
  std::vector<char> data(after.DataBufferSize());
  std::string name;
  DWORD size = static_cast<DWORD>(data.size()), type = 0;
  while (after.EnumValue(name, data.data(), &size, &type)) {
    data[size < data.size() ? size : data.size() - 1] = '\0';
    EXPECT_TRUE(IsValidHeldRecord(name, *FindBrowser(data.data()))) << name << " was kept";
    size = static_cast<DWORD>(data.size());
  }
}

TEST_F(HeldDatabasesTest, TheRecordsAreBoundedAndOneWhoseEntryIsSwitchedOffIsDropped) {
  // Profiles enough to pass the bound.
  const std::string chromeData = m_temp / "Local\\Google\\Chrome\\User Data";
  RegKey key(kHeldDatabasesPath, HKEY_CURRENT_USER);
  ASSERT_TRUE(key.Create());
  for (size_t i = 0; i < kMostRememberedDatabases + 10; ++i) {
    const std::string path = chromeData + "\\Profile " + std::to_string(i) + "\\Cookies";
    ASSERT_TRUE(key.SetValue(path.c_str(), REG_SZ, "Chrome", 7));
  }
  EXPECT_EQ(RememberedDatabases().size(), kMostRememberedDatabases);
  // A sweep that finds one more held does not add it beyond the bound.
  HANDLE browser = Hold(ChromeCookies());
  EXPECT_EQ(SweepChrome(), DbSweep::kInUse);
  ::CloseHandle(browser);
  EXPECT_FALSE(IsRememberedDatabase(ChromeCookies()));
  EXPECT_EQ(NotRemovedCount(), 1) << "held all the same";

  // The records of profiles that are gone go, as many as the bound at each
  // sweep; then one whose entry is switched off.
  CleanRememberedDatabases(nullptr, &m_count, nullptr);
  CleanRememberedDatabases(nullptr, &m_count, nullptr);
  EXPECT_TRUE(RememberedDatabases().empty());
  browser = Hold(ChromeCookies());
  EXPECT_EQ(SweepChrome(), DbSweep::kInUse);
  ::CloseHandle(browser);
  ASSERT_TRUE(IsRememberedDatabase(ChromeCookies()));
  ASSERT_TRUE(StoreRuleChoices({{FindBrowser("Chrome")->cookieChoice, false}}));
  CleanRememberedDatabases(nullptr, &m_count, nullptr);
  EXPECT_TRUE(RememberedDatabases().empty());
  EXPECT_GT(Count(ChromeCookies(), "SELECT count(*) FROM cookies WHERE host_key LIKE '%tracker%'"), 0)
      << "an entry switched off cleans nothing";
}

TEST_F(HeldDatabasesTest, ASweepCountsAHeldDatabaseOnceThoughItsRecordAndItsCleanerBothReachIt) {
  g_InternetSettings.SetFriendlyHosts({"friend.example"});
  HANDLE browser = Hold(ChromeCookies());
  for (int sweep = 1; sweep <= 2; ++sweep) {
    SCOPED_TRACE("sweep " + std::to_string(sweep));
    ResetOutcomes();
    // The Internet category's steps in their order: the records, then the cookies.
    CleanHeldDatabases(nullptr, &m_count, nullptr);
    CleanBrowserCookies(nullptr, &m_count, nullptr);
    EXPECT_EQ(NotRemovedCount(), 1);
  }
  // The resident program's start sweeps the records alone: counted there.
  ResetOutcomes();
  CleanHeldDatabasesAlone(&m_count, nullptr);
  EXPECT_EQ(NotRemovedCount(), 1);
  ::CloseHandle(browser);
  ResetOutcomes();
  CleanHeldDatabasesAlone(&m_count, nullptr);
  EXPECT_EQ(NotRemovedCount(), 0);
  EXPECT_FALSE(IsRememberedDatabase(ChromeCookies()));
}

TEST_F(HeldDatabasesTest, RecordsLeftForWantOfTheFriendlyListAreEachCountedAsNotRemoved) {
  RememberBothCookieDatabases();
  ASSERT_EQ(RememberedDatabases().size(), 2u);

  // Another thread holds the settings past the wait: the keep list cannot be read.
  HANDLE locked = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  struct Hands {
    HANDLE locked, release;
  } hands{locked, release};
  HANDLE holder = ::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        Hands* h = static_cast<Hands*>(p);
        const bool owns = g_InternetSettings.m_lock.Lock();
        ::SetEvent(h->locked);
        ::WaitForSingleObject(h->release, INFINITE);
        if (owns) g_InternetSettings.m_lock.Unlock();
        return 0;
      },
      &hands, 0, nullptr);
  ASSERT_NE(holder, nullptr);
  ::WaitForSingleObject(locked, INFINITE);
  ResetOutcomes();
  CleanRememberedDatabases(nullptr, &m_count, nullptr);
  ::SetEvent(release);
  ::WaitForSingleObject(holder, INFINITE);
  for (HANDLE h : {holder, locked, release}) ::CloseHandle(h);

  EXPECT_EQ(NotRemovedCount(), 2) << "every record left is counted, not only those before the first";
  EXPECT_EQ(LinesWith("the list of friendly sites could not be read").size(), 2u);
  EXPECT_TRUE(IsRememberedDatabase(ChromeCookies()));
  EXPECT_TRUE(IsRememberedDatabase(FirefoxCookies()));
  EXPECT_GT(Count(ChromeCookies(), "SELECT count(*) FROM cookies WHERE host_key LIKE '%tracker%'"), 0);
}

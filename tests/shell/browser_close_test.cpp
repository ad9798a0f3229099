// The resident program and browsers that close, with stand-in browsers
// (tests/stand_in: a program under a browser's file name that opens a window
// and holds its profile's databases until it is closed): the sweep of that
// browser alone when its last process ends, nothing without "Browser
// closes", the line for a browser that stays in the background, and a
// database held during a one-shot sweep cleaned at the next resident start.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/browser_db_targets.h"
#include "catalogue/held_database_sweep.h"
#include "catalogue/held_databases.h"
#include "databases/db_fixture.h"
#include "engine/outcome_ledger.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "shell/browser_sweep.h"
#include "shell/browser_watch.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "shell_fixtures.h"
#include "winlib/window_probe.h"

namespace {

constexpr int kChromeBit = 0x01;
constexpr int kFirefoxBit = 0x10;
constexpr UINT kGoBackground = WM_APP + 1;  // the stand-in's own messages
constexpr UINT kFlashWindow = WM_APP + 2;

// One stand-in browser process.
class StandIn {
 public:
  // exe: "chrome.exe" or "firefox.exe", from tests\stand_in beside this program.
  StandIn(const char* exe, const std::string& args) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    path = path.substr(0, path.find_last_of('\\')) + "\\stand_in\\" + exe;
    std::string command = "\"" + path + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!::CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
      m_pi = {};
  }
  ~StandIn() {
    if (m_pi.hProcess == nullptr) return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
      Close();
      if (!PumpUntil([&] { return Ended(); }, 5000)) ::TerminateProcess(m_pi.hProcess, 1);
    }
    ::CloseHandle(m_pi.hProcess);
    ::CloseHandle(m_pi.hThread);
  }
  bool Started() const { return m_pi.hProcess != nullptr; }
  // Its window, shown or hidden; null until it has one.
  HWND Window() const {
    const std::string title = "Stand-in browser " + std::to_string(m_pi.dwProcessId);
    return ::FindWindowA("MorvaneStandInBrowser", title.c_str());
  }
  bool WaitForWindow() {
    return PumpUntil([&] { return Window() != nullptr || Ended(); }, 15000) && !Ended();
  }
  void Close() { ::PostMessageA(Window(), WM_CLOSE, 0, 0); }
  void GoBackground() { ::PostMessageA(Window(), kGoBackground, 0, 0); }
  void FlashWindow() { ::PostMessageA(Window(), kFlashWindow, 0, 0); }
  bool Ended() const { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }
  bool WaitForEnd() { return PumpUntil([&] { return Ended(); }, 10000); }

 private:
  PROCESS_INFORMATION m_pi = {};
};

class BrowserCloseTest : public BrowserDbTest {
 protected:
  void SetUp() override {
    ResetGroups();
    BrowserDbTest::SetUp();
    ResetOutcomes();
    BuildCookies();
    m_chromeBefore = CookieRows(ChromeCookies());
    m_firefoxBefore = CookieRows(FirefoxCookies());
    ASSERT_GT(m_chromeBefore, 0);
    // Nothing shown, no category in a whole sweep: only what a browser's
    // close starts runs.
    StoreNumber(kGeneralSettingsPath, "Targets", 0);
    StoreNumber(kGeneralSettingsPath, "NotShowLogo", 1);
  }
  void TearDown() override {
    if (m_app != nullptr) m_app->ExitInstance();
    m_app.reset();
    ResetGroups();
    BrowserDbTest::TearDown();
  }

  // The resident program, started as the process starts it.
  void StartResident(int sweepAt) {
    StoreNumber(kGeneralSettingsPath, "StTm", sweepAt);
    m_app.reset(new CMainApp);
    ASSERT_TRUE(m_app->InitInstance("Morvane.exe"));
    ASSERT_NE(m_app->m_pBrowserWatch, nullptr) << "the window notifications are not to be had";
    m_app->m_pBrowserWatch->SetBackgroundDelay(1000);
    g_InternetSettings.SetFriendlyHosts({"friend.example"});
  }
  BrowserWatch& Watch() { return *m_app->m_pBrowserWatch; }
  bool WaitUntilWatched(int bit) {
    return PumpUntil([&] { return (Watch().RunningBrowsers() & bit) != 0; }, 10000);
  }
  bool SweepIdle() { return !m_app->m_pWork->IsAnyRunning(); }
  // Waits for a sweep that writes `line` to end. (Reading the databases
  // meanwhile would hold them at the moment the sweep looks.)
  bool WaitForSweep(const std::string& line) {
    return PumpUntil([&] { return !LinesWith(line).empty() && SweepIdle(); }, 10000);
  }

  static int64_t CookieRows(const std::string& path) {
    const bool chromium = path.find("Network") != std::string::npos;
    return Count(path, chromium ? "SELECT count(*) FROM cookies" : "SELECT count(*) FROM moz_cookies");
  }
  int64_t TrackerRows(const std::string& path) {
    const bool chromium = path.find("Network") != std::string::npos;
    return Count(path, chromium ? "SELECT count(*) FROM cookies WHERE host_key LIKE '%tracker%'"
                                : "SELECT count(*) FROM moz_cookies WHERE host LIKE '%tracker%'");
  }

  std::unique_ptr<CMainApp> m_app;
  int64_t m_chromeBefore = 0, m_firefoxBefore = 0;
};

}  // namespace

TEST_F(BrowserCloseTest, TheLastProcessEndingSweepsThatBrowserAloneOnTheInternetLine) {
  StartResident(SWEEP_AT_BROWSER_CLOSE);
  StandIn chrome("chrome.exe", "--hold \"" + ChromeCookies() + "\"");
  ASSERT_TRUE(chrome.Started());
  ASSERT_TRUE(chrome.WaitForWindow());
  ASSERT_TRUE(WaitUntilWatched(kChromeBit));
  PumpMessages(300);
  EXPECT_TRUE(LinesWith("Start Sweeping").empty()) << "nothing is swept while it runs";

  chrome.Close();
  ASSERT_TRUE(chrome.WaitForEnd());
  ASSERT_TRUE(WaitForSweep("Start clean up Chrome: the browser has closed."));
  EXPECT_EQ(TrackerRows(ChromeCookies()), 0);
  EXPECT_GT(Count(ChromeCookies(), "SELECT count(*) FROM cookies WHERE host_key LIKE '%friend.example'"), 0);
  EXPECT_EQ(CookieRows(FirefoxCookies()), m_firefoxBefore) << "another browser's files are not touched";
  EXPECT_EQ(LinesWith("Start Sweeping Chrome after it closed.").size(), 1u);
  EXPECT_EQ(LinesWith("Start clean up Chrome: the browser has closed.").size(), 1u);
  EXPECT_FALSE(LinesWith("Item 1, Remove cookies: ").empty());
  EXPECT_TRUE(LinesWith("Firefox").empty());
  // The Internet category was swept only in part.
  EXPECT_EQ(g_InternetSettings.m_tLastSweep, 0);
  EXPECT_LE(StoredNumber(kInternetSettingsPath, "LsRn"), 0);
}

TEST_F(BrowserCloseTest, WithTwoProcessesTheSweepWaitsForTheLast) {
  StartResident(SWEEP_AT_BROWSER_CLOSE);
  StandIn first("chrome.exe", "--hold \"" + ChromeCookies() + "\"");
  StandIn second("chrome.exe", "");
  ASSERT_TRUE(first.WaitForWindow());
  ASSERT_TRUE(second.WaitForWindow());
  ASSERT_TRUE(PumpUntil([&] { return Watch().WatchedProcesses() == 2; }, 10000));

  first.Close();
  ASSERT_TRUE(first.WaitForEnd());
  PumpMessages(2000);
  EXPECT_TRUE(LinesWith("Start Sweeping Chrome").empty());
  EXPECT_EQ(CookieRows(ChromeCookies()), m_chromeBefore);
  EXPECT_EQ(Watch().RunningBrowsers(), kChromeBit);

  second.Close();
  ASSERT_TRUE(second.WaitForEnd());
  ASSERT_TRUE(WaitForSweep("Start clean up Chrome: the browser has closed."));
  EXPECT_EQ(TrackerRows(ChromeCookies()), 0);
  EXPECT_EQ(LinesWith("Start Sweeping Chrome after it closed.").size(), 1u);
}

TEST_F(BrowserCloseTest, WithoutBrowserClosesNothingIsSwept) {
  StartResident(0);
  StandIn chrome("chrome.exe", "");
  ASSERT_TRUE(chrome.WaitForWindow());
  ASSERT_TRUE(WaitUntilWatched(kChromeBit));
  chrome.Close();
  ASSERT_TRUE(chrome.WaitForEnd());
  ASSERT_TRUE(PumpUntil([&] { return Watch().RunningBrowsers() == 0; }, 10000));
  PumpMessages(1500);
  EXPECT_TRUE(LinesWith("Start Sweeping").empty());
  EXPECT_EQ(CookieRows(ChromeCookies()), m_chromeBefore);
}

TEST_F(BrowserCloseTest, ABrowserLeftRunningWithNoWindowGetsOneLine) {
  StartResident(SWEEP_AT_BROWSER_CLOSE);
  StandIn firefox("firefox.exe", "");
  ASSERT_TRUE(firefox.WaitForWindow());
  ASSERT_TRUE(WaitUntilWatched(kFirefoxBit));
  PumpMessages(1500);  // its window shows: no line
  EXPECT_TRUE(LinesWith("still running with no window").empty());

  firefox.GoBackground();
  const char kLine[] = "Firefox is still running with no window open";
  ASSERT_TRUE(PumpUntil([&] { return !LinesWith(kLine).empty(); }, 10000));
  PumpMessages(1500);
  EXPECT_EQ(LinesWith(kLine).size(), 1u);
  EXPECT_NE(LinesWith(kLine)[0].find("What keeps it running: "), std::string::npos);
  EXPECT_TRUE(LinesWith("Start Sweeping Firefox").empty()) << "it has not closed";

  firefox.Close();
  ASSERT_TRUE(firefox.WaitForEnd());
  ASSERT_TRUE(WaitForSweep("Start clean up Firefox: the browser has closed."));
}

// One browser busy with windows must not put off another's line: each has a
// delay of its own.
TEST_F(BrowserCloseTest, ABusyBrowserDoesNotPutOffAnothersBackgroundLine) {
  StartResident(SWEEP_AT_BROWSER_CLOSE);
  StandIn firefox("firefox.exe", "");
  StandIn chrome("chrome.exe", "");
  ASSERT_TRUE(firefox.WaitForWindow() && chrome.WaitForWindow());
  ASSERT_TRUE(WaitUntilWatched(kFirefoxBit | kChromeBit));
  PumpMessages(1500);
  firefox.GoBackground();
  const char kLine[] = "Firefox is still running with no window open";
  // Chrome opens a window every 300 ms for four times the delay.
  bool said = false;
  for (int i = 0; i < 14 && !said; ++i) {
    chrome.FlashWindow();
    said = PumpUntil([&] { return !LinesWith(kLine).empty(); }, 300);
  }
  EXPECT_TRUE(said) << "Firefox's line waited for Chrome's windows";
  EXPECT_TRUE(LinesWith("Chrome is still running").empty());
}

// Run after other sweeps in this process: the one-shot sweep must not judge
// this test's folders by the protected places an earlier test's sweep took
// (a folder removed since gives its identity to a new one).
TEST_F(BrowserCloseTest, ADatabaseHeldDuringAOneShotSweepIsCleanedAtTheNextResidentStart) {
  StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_INTERNET);
  RecordingTables others;
  SweepTableSwap internet(InternetSweepTable(), {{0, false, 0, &CleanHeldDatabases},
                                                 {0, false, 0, &CleanBrowserCookies}});
  g_InternetSettings.SetFriendlyHosts({"friend.example"});
  {
    StandIn firefox("firefox.exe", "--hold \"" + FirefoxCookies() + "\"");
    ASSERT_TRUE(firefox.WaitForWindow());
    CMainApp once;
    EXPECT_FALSE(once.InitInstance("Morvane.exe /once"));
    EXPECT_EQ(once.ExitInstance(), 1) << "a held database is not removed";
    EXPECT_TRUE(IsRememberedDatabase(FirefoxCookies())) << ::testing::PrintToString(m_log.LogLines());
    EXPECT_EQ(TrackerRows(ChromeCookies()), 0) << "the free one was cleaned";
    firefox.Close();
    ASSERT_TRUE(firefox.WaitForEnd());
  }
  StoreNumber(kGeneralSettingsPath, "Targets", 0);
  EXPECT_EQ(CookieRows(FirefoxCookies()), m_firefoxBefore);
  StartResident(0);
  ASSERT_TRUE(WaitForSweep("Start clean up the browser databases that were open at the last sweep."));
  EXPECT_EQ(TrackerRows(FirefoxCookies()), 0);
  EXPECT_EQ(LinesWith("Firefox cookies (Firefox, ab12.default) was open at the last sweep; cleaned now.").size(), 1u);
  EXPECT_FALSE(IsRememberedDatabase(FirefoxCookies()));
  EXPECT_EQ(g_InternetSettings.m_tLastSweep, 0);
}

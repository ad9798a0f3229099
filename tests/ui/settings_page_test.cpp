// The Settings page driven by messages: the schedule boxes that exclude each
// other, the interval typed and spun, what Apply and Cancel do with the
// General group and the sweep timer, and "Sweep Now".
#include "panel_fixture.h"

namespace {

const int kIntervalIds[] = {IDC_SET_HOURS, IDC_SET_HOURS_SPIN, IDC_SET_MINUTES, IDC_SET_MINUTES_SPIN};

using Strings = std::vector<std::string>;

class SettingsPageTest : public PanelTest {
 protected:
  CLustraPage& Page() { return m_panel->m_settingsPage; }
  bool IntervalShown() {
    for (int id : kIntervalIds)
      if (!Page().IsItemVisible(id)) return false;
    return true;
  }
  bool IntervalHidden() {
    for (int id : kIntervalIds)
      if (Page().IsItemVisible(id)) return false;
    return true;
  }
  int SpinPos(int id) { return LOWORD(Page().SendItemMessage(id, UDM_GETPOS)); }
  // An arrow key in an interval edit: the spin asks the page where to go.
  void Arrow(int editId, UINT key) { ::SendMessageA(Page().GetItem(editId), WM_KEYDOWN, key, 0); }
};

TEST_F(SettingsPageTest, TheScheduleBoxesExcludeEachOther) {
  OpenPanel();
  EXPECT_EQ(Page().GetCheck(IDC_SET_EVERY), BST_CHECKED);
  EXPECT_TRUE(IntervalShown());
  EXPECT_EQ(Page().GetItemText(IDC_SET_HOURS), "05");
  EXPECT_EQ(Page().GetItemText(IDC_SET_MINUTES), "30");

  ClickItem(Page(), IDC_SET_SHUTDOWN);
  EXPECT_EQ(Page().GetCheck(IDC_SET_EVERY), BST_UNCHECKED);
  EXPECT_EQ(Page().GetCheck(IDC_SET_SHUTDOWN), BST_CHECKED);
  EXPECT_TRUE(IntervalHidden());

  ClickItem(Page(), IDC_SET_STARTUP);
  EXPECT_EQ(Page().GetCheck(IDC_SET_SHUTDOWN), BST_UNCHECKED);
  EXPECT_EQ(Page().GetCheck(IDC_SET_STARTUP), BST_CHECKED);

  ClickItem(Page(), IDC_SET_EVERY);
  EXPECT_EQ(Page().GetCheck(IDC_SET_EVERY), BST_CHECKED);
  EXPECT_EQ(Page().GetCheck(IDC_SET_STARTUP), BST_UNCHECKED);
  EXPECT_EQ(Page().GetCheck(IDC_SET_SHUTDOWN), BST_UNCHECKED);
  EXPECT_TRUE(IntervalShown());
  EXPECT_EQ(SpinPos(IDC_SET_HOURS_SPIN), 5);

  // Only now does the group take the schedule, and the timer follows it.
  ClickItem(Page(), IDC_SET_SHUTDOWN);
  EXPECT_EQ(g_GeneralSettings.m_nSweepAt, SWEEP_AT_INTERVAL);
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(g_GeneralSettings.m_nSweepAt, SWEEP_AT_EXIT);
  EXPECT_EQ(m_host.m_timer, Strings{"cancel"});
}

TEST_F(SettingsPageTest, ACancelledScheduleChangeLeavesGroupAndTimerAlone) {
  OpenPanel();
  ClickItem(Page(), IDC_SET_EVERY);  // off
  ClickItem(Page(), IDC_SET_STARTUP);
  m_panel->PressButton(PSBTN_CANCEL);
  EXPECT_EQ(g_GeneralSettings.m_nSweepAt, SWEEP_AT_INTERVAL);
  EXPECT_EQ(Page().m_fields.m_bSweepEvery, 1);
  EXPECT_EQ(Page().m_fields.m_bSweepStartup, 0);
  EXPECT_TRUE(m_host.m_timer.empty());
}

TEST_F(SettingsPageTest, TypedIntervalsAreCheckedAsTheyChange) {
  struct Case {
    int edit;
    const char* typed;
    const char* shown;  // what the field holds afterwards
    int seconds;        // the interval afterwards (05:30 before)
  };
  const Case cases[] = {
      {IDC_SET_HOURS, "7a", "05", 19800}, {IDC_SET_HOURS, "24", "05", 19800},
      {IDC_SET_HOURS, "", "", 1800},      {IDC_SET_HOURS, "7", "7", 27000},
      {IDC_SET_MINUTES, "60", "30", 19800}, {IDC_SET_MINUTES, "x", "30", 19800},
      {IDC_SET_MINUTES, "", "", 18000},   {IDC_SET_MINUTES, "59", "59", 21540},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.edit == IDC_SET_HOURS ? "hours " : "minutes ") + "'" + c.typed + "'");
    g_GeneralSettings.m_nTimerSeconds = 19800;
    OpenPanel();
    Page().SetItemText(c.edit, c.typed);
    EXPECT_EQ(Page().GetItemText(c.edit), c.shown);
    EXPECT_EQ(Page().m_fields.m_nSeconds, c.seconds);
    m_panel->PressButton(PSBTN_APPLYNOW);
    EXPECT_EQ(g_GeneralSettings.m_nTimerSeconds, c.seconds);
  }
  // A valid typed number moves its spin.
  EXPECT_EQ(SpinPos(IDC_SET_MINUTES_SPIN), 59);
}

TEST_F(SettingsPageTest, TheMinutesSpinNeverBringsTheIntervalToNothing) {
  g_GeneralSettings.m_nTimerSeconds = 2 * 60;
  OpenPanel();
  Arrow(IDC_SET_MINUTES, VK_DOWN);
  EXPECT_EQ(Page().GetItemText(IDC_SET_MINUTES), "01");
  Arrow(IDC_SET_MINUTES, VK_DOWN);
  EXPECT_EQ(Page().GetItemText(IDC_SET_MINUTES), "01");
  EXPECT_EQ(SpinPos(IDC_SET_MINUTES_SPIN), 1);
  EXPECT_EQ(Page().m_fields.m_nSeconds, 60);

  Arrow(IDC_SET_HOURS, VK_UP);
  EXPECT_EQ(Page().GetItemText(IDC_SET_HOURS), "01");
  Arrow(IDC_SET_MINUTES, VK_DOWN);
  EXPECT_EQ(Page().GetItemText(IDC_SET_MINUTES), "00");
  EXPECT_EQ(Page().m_fields.m_nSeconds, 3600);

  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(m_host.m_timer, (Strings{"cancel", "set 3600"}));
}

TEST_F(SettingsPageTest, ApplyTouchesTheTimerOnlyAfterAScheduleChange) {
  OpenPanel();
  ClickItem(Page(), IDC_SET_DEEP_SWEEP);
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_TRUE(m_host.m_timer.empty());
  EXPECT_NE(g_GeneralSettings.m_nTargets & GENERAL_DEEP_SWEEP, 0);

  // An interval of nothing arms no timer.
  Page().SetItemText(IDC_SET_HOURS, "0");
  Page().SetItemText(IDC_SET_MINUTES, "0");
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(m_host.m_timer, Strings{"cancel"});
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(m_host.m_timer, Strings{"cancel"});
}

TEST_F(SettingsPageTest, AutoStartIsWrittenWhenItsBoxChanged) {
  g_GeneralSettings.m_nTargets &= ~GENERAL_AUTO_START;
  OpenPanel();
  ClickItem(Page(), IDC_SET_AUTO_START);
  m_panel->PressButton(PSBTN_APPLYNOW);
  HKEY run = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_READ, &run), ERROR_SUCCESS);
  char data[1024] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(::RegQueryValueExA(run, kRunValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, ::GetCommandLineA());
  ::RegCloseKey(run);
}

TEST_F(SettingsPageTest, SweepNowWithNoCategoryStartsNothing) {
  g_GeneralSettings.m_nTargets = GENERAL_RUN_BACKGROUND;
  OpenPanel();
  ClickItem(Page(), IDC_SET_SWEEP_NOW);
  PumpMessages(100);
  EXPECT_FALSE(m_worker->IsAnyRunning());
  EXPECT_EQ(Page().GetItemText(IDC_SET_SWEEP_NOW), "Sweep Now");
  EXPECT_FALSE(Page().IsRunning());
  EXPECT_FALSE(m_host.m_bSweeping);
  EXPECT_EQ(m_host.m_nAnimations, 0);
  EXPECT_FALSE(m_panel->IsEnded());
}

TEST_F(SettingsPageTest, SweepNowStartsTheEnabledCategoriesAndThenCancelsThem) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET | GENERAL_SHOW_PROGRESS;
  OpenPanel();
  m_host.m_nPlacements = m_host.m_nProgressShown = 0;  // the panel's own opening
  ClickItem(Page(), IDC_SET_SWEEP_NOW);
  ASSERT_TRUE(WaitRunning(SWEEP_CATEGORY_WINDOWS, true));
  ASSERT_TRUE(WaitRunning(SWEEP_CATEGORY_INTERNET, true));
  EXPECT_FALSE(m_worker->IsRunning(SWEEP_CATEGORY_APPLICATIONS));
  EXPECT_TRUE(LogHas("\nStart Sweeping everything manually. @ "));
  EXPECT_EQ(Page().GetItemText(IDC_SET_SWEEP_NOW), "Cancel Sweep");
  EXPECT_TRUE(m_host.m_bSweeping);
  EXPECT_EQ(m_host.m_nAnimations, 1);
  EXPECT_EQ(m_host.m_nPlacements, 1);
  EXPECT_EQ(m_host.m_nProgressShown, 1);
  EXPECT_TRUE(m_panel->m_winTmpPage.IsRunning());
  EXPECT_TRUE(m_panel->m_internetPage.IsRunning());
  EXPECT_FALSE(m_panel->m_applicationPage.IsRunning());

  ClickItem(Page(), IDC_SET_SWEEP_NOW);  // now "Cancel Sweep"
  m_gates.OpenAll();
  ASSERT_TRUE(WaitAllEnded());
  EXPECT_FALSE(SweepGates::Completed(SWEEP_CATEGORY_WINDOWS));
  EXPECT_FALSE(SweepGates::Completed(SWEEP_CATEGORY_INTERNET));
  EXPECT_TRUE(m_worker->IsCancelled(SWEEP_ALL));
}

TEST_F(SettingsPageTest, RunningBackgroundClosesThePanelOnceTheSweepStarted) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_APPLICATIONS | GENERAL_RUN_BACKGROUND;
  m_panel.reset(new CLustraProp(&m_host, nullptr));
  SheetScript script([&](CPropertySheet& sheet) {
    ClickItem(m_panel->m_settingsPage, IDC_SET_SWEEP_NOW);
    return static_cast<INT_PTR>(IDCANCEL);
  });
  EXPECT_EQ(m_panel->DoModal(), 1);
  EXPECT_TRUE(WaitRunning(SWEEP_CATEGORY_APPLICATIONS, true));
  EXPECT_TRUE(m_host.m_bSweeping);
}

TEST_F(SettingsPageTest, ATimedSweepGoesThroughThePageOnlyWhenNothingRunsFromIt) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_INTERNET;
  OpenPanel();
  EXPECT_TRUE(Page().StartTimedSweep());
  EXPECT_EQ(Page().GetItemText(IDC_SET_SWEEP_NOW), "Cancel Sweep");
  EXPECT_TRUE(m_panel->m_internetPage.IsRunning());
  EXPECT_TRUE(WaitRunning(SWEEP_CATEGORY_INTERNET, true));
  EXPECT_FALSE(LogHas("\nStart Sweeping everything manually."));
  EXPECT_FALSE(Page().StartTimedSweep());
  // The caller owns the application's flag and the animation.
  EXPECT_FALSE(m_host.m_bSweeping);
  EXPECT_EQ(m_host.m_nAnimations, 0);
}

}  // namespace

namespace {

// "Browser closes" reads like a trigger for a whole sweep; its tip says it
// sweeps that browser's own entries.
TEST_F(SettingsPageTest, BrowserClosesHasATipThatSaysItSweepsThatBrowsersOwnEntries) {
  OpenPanel();
  HWND tip = Page().BrowserCloseTip();
  ASSERT_NE(tip, nullptr);
  char text[256] = {};
  TOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = Page().m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(Page().GetItem(IDC_SET_BROWSER_CLOSE));
  tool.lpszText = text;
  ::SendMessageA(tip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  EXPECT_EQ(std::string(text).rfind("When a browser closes (its own entries)", 0), 0u) << text;
}

}  // namespace

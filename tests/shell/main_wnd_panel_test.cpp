// The main window with the real control panel open: a category's end reaches
// its page, the tray's "Sweep Now" and "Cancel Sweeping" go through the
// Settings page, a timer tick is started by it, and "Exit" ends the panel.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/settings_groups.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "shell_fixtures.h"
#include "support/test_env.h"
#include "ui/control_panel.h"
#include "winlib/platform_calls.h"
#include "winlib/window_probe.h"

namespace {

const std::regex kLastSweep("Last Sweeping Time: \\d\\d:\\d\\d - [A-Z][a-z]{2} \\d\\d \\d{4}");

class MainWndPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGroups();
    // No progress window: shown windows are slow to go under Xvfb.
    g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET | GENERAL_SWEEP_APPLICATIONS;
    CleanerRecord::Reset();
    m_wnd = StartResidentWindow(m_app);
    ASSERT_NE(m_wnd, nullptr);
  }
  void TearDown() override {
    CleanerRecord::Release();
    m_app.ExitInstance();
    ResetGroups();
  }

  void Command(int id) { ::SendMessageA(m_wnd->m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // Opens the panel from the tray; the script drives it while it is open.
  void WithPanel(const std::function<void(CLustraProp&)>& drive) {
    EXPECT_EQ(DriveControlPanel(m_wnd->m_hWnd, drive), 1);
    EXPECT_EQ(m_wnd->m_pPanel, nullptr);
  }
  bool WaitForSweepEnd() {
    return PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 10000);
  }

  RegistrySandbox m_sandbox;
  TrayRecorder m_tray;
  RecordingTables m_tables;
  ProgressRecorder m_log;
  CMainApp m_app;
  CMainWnd* m_wnd = nullptr;
};

TEST_F(MainWndPanel, AnInternetSweepEndingWhileThePanelIsOpenRefreshesItsPage) {
  WithPanel([&](CLustraProp& panel) {
    EXPECT_NE(m_wnd->m_pPanel, nullptr);
    panel.SetActivePage(2);
    CInternetPage& internet = panel.m_internetPage;
    ClickItem(internet, IDC_INET_SWEEP);
    EXPECT_EQ(internet.GetItemText(IDC_INET_SWEEP), "Cancel Sweeping");
    ASSERT_TRUE(PumpUntil([&] { return !internet.IsRunning(); }, 10000));
    EXPECT_TRUE(std::regex_match(internet.GetItemText(IDC_INET_LAST_SWEEP), kLastSweep));
    EXPECT_EQ(internet.GetItemText(IDC_INET_GOOGLE_BAR), "Google Bar");
    EXPECT_EQ(internet.GetItemText(IDC_INET_SWEEP), "Sweep Internet Applications");
    EXPECT_NE(g_InternetSettings.m_tLastSweep, 0);
    // A single category is no whole sweep: the General time stays.
    EXPECT_EQ(g_GeneralSettings.m_tLastSweep, 0);
  });
}

TEST_F(MainWndPanel, TheTrayStartsAndCancelsAWholeSweepThroughTheSettingsPage) {
  WithPanel([&](CLustraProp& panel) {
    CLustraPage& settings = panel.m_settingsPage;
    CleanerRecord::Hold();
    Command(IDM_SWEEP_NOW);
    EXPECT_TRUE(m_app.m_bSweeping);
    EXPECT_EQ(settings.GetItemText(IDC_SET_SWEEP_NOW), "Cancel Sweep");
    ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 3; }, 5000));
    Command(IDM_CANCEL_SWEEP);
    EXPECT_TRUE(m_app.m_pWork->IsCancelled(SWEEP_ALL));
    ASSERT_TRUE(WaitForSweepEnd());
    EXPECT_EQ(settings.GetItemText(IDC_SET_SWEEP_NOW), "Sweep Now");
    EXPECT_TRUE(std::regex_match(settings.GetItemText(IDC_SET_LAST_SWEEP), kLastSweep));
    EXPECT_FALSE(m_app.m_pWork->IsCancelled(SWEEP_ALL));
    EXPECT_FALSE(panel.m_winTmpPage.IsRunning());
  });
}

TEST_F(MainWndPanel, ATimerTickWhileThePanelIsOpenSweepsThroughIt) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_APPLICATIONS;
  WithPanel([&](CLustraProp& panel) {
    m_wnd->SetSweepTimer(3600);
    ::SendMessageA(m_wnd->m_hWnd, WM_TIMER, m_wnd->m_nSweepTimer, 0);
    EXPECT_TRUE(m_app.m_bSweeping);
    EXPECT_TRUE(panel.m_settingsPage.IsRunning());
    EXPECT_TRUE(panel.m_applicationPage.IsRunning());
    ASSERT_TRUE(WaitForSweepEnd());
    EXPECT_FALSE(panel.m_settingsPage.IsRunning());
  });
  EXPECT_EQ(CleanerRecord::Categories(), std::vector<int>{CleanerRecord::kApplications});
}

TEST_F(MainWndPanel, ExitEndsTheOpenPanel) {
  bool ended = false;
  WithPanel([&](CLustraProp& panel) {
    Command(IDM_EXIT);
    ended = panel.IsEnded() || panel.GetSafeHwnd() == nullptr;
  });
  EXPECT_TRUE(ended);
}

}  // namespace

namespace {
std::vector<std::string> g_opened;
BOOL WINAPI RecordShellExecute(SHELLEXECUTEINFOA* info) {
  g_opened.push_back(info->lpFile != nullptr ? info->lpFile : "");
  return TRUE;
}

// Drives the real modal loop of the panel: F1 at a control, then Cancel.
int g_step = 0;
void CALLBACK PressF1ThenCancel(HWND, UINT, UINT_PTR id, DWORD) {
  CLustraProp* panel = CLustraProp::Open();
  if (panel == nullptr) return;
  if (g_step++ == 0) {
    ::SetForegroundWindow(panel->m_hWnd);
    ::SetFocus(::GetDlgItem(panel->m_settingsPage.m_hWnd, IDC_SET_SWEEP_NOW));
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
    return;
  }
  ::KillTimer(nullptr, id);
  ::PostMessageA(panel->m_hWnd, WM_COMMAND, IDCANCEL, 0);
}
}  // namespace

// F1 in the panel, pressed as the user presses it while the panel's own
// modal loop runs, opens the same help page as the tray's help item: the
// help request climbs from the control to its page, the sheet and the main
// window.
TEST_F(MainWndPanel, F1InThePanelOpensTheHelpPageAsTheTrayDoes) {
  g_platform.ShellExecuteExA = &RecordShellExecute;
  g_opened.clear();
  Command(IDM_ONLINE_HELP);
  ASSERT_EQ(g_opened.size(), 1u);
  const std::vector<std::string> trayPage = g_opened;
  g_opened.clear();
  g_step = 0;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 400, &PressF1ThenCancel);
  Command(IDM_SHOW_PANEL);
  ::KillTimer(nullptr, timer);
  EXPECT_EQ(g_opened, trayPage);
  ResetPlatformCalls();
}

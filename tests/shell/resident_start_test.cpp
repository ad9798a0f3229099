// Start-up of the resident program as the process runs it: the single
// instance, the startup window and its check box, the start-up sweep and the
// timer, and what exit takes down.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/policy.h"
#include "settings/settings_groups.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "shell_fixtures.h"
#include "support/test_env.h"
#include "winlib/window_probe.h"

namespace {

std::vector<UINT> g_beeps;
BOOL WINAPI FakeBeep(UINT type) {
  g_beeps.push_back(type);
  return TRUE;
}

class ResidentStart : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGroups();
    CleanerRecord::Reset();
    g_beeps.clear();
    // Nothing shown unless a case asks; no category enabled.
    StoreNumber(kGeneralSettingsPath, "Targets", 0);
    StoreNumber(kGeneralSettingsPath, "NotShowLogo", 1);
  }
  void TearDown() override { ResetGroups(); }

  RegistrySandbox m_sandbox;
  TrayRecorder m_tray;
  RecordingTables m_tables;
};

}  // namespace

TEST_F(ResidentStart, ASecondInstanceBeepsAsksTheFirstForItsPanelAndEnds) {
  CMainApp first;
  ModalScript modal(IDOK);
  ASSERT_TRUE(first.InitInstance("Morvane.exe"));
  HWND firstWindow = first.m_pMainWnd->m_hWnd;
  StoreNumber(kGeneralSettingsPath, "Targets", 0x07);

  // Even "/once" does not sweep a second time, and says it did not: a
  // script that reads the exit code must not take it for a sweep.
  CMainApp second;
  second.m_pMessageBeep = &FakeBeep;
  EXPECT_FALSE(second.InitInstance("Morvane.exe /once"));
  EXPECT_EQ(second.m_startMode, CMainApp::StartMode::kAlreadyRunning);
  EXPECT_EQ(second.ExitInstance(), 2);
  EXPECT_EQ(g_beeps, std::vector<UINT>{0xFFFFFFFF});
  EXPECT_TRUE(CleanerRecord::Calls().empty());
  EXPECT_EQ(m_tray.Count(NIM_ADD), 1);

  MSG msg = {};
  ASSERT_TRUE(::PeekMessageA(&msg, firstWindow, WM_SHOW_PANEL, WM_SHOW_PANEL, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 100u);
  EXPECT_EQ(msg.lParam, 0);

  first.ExitInstance();
  EXPECT_FALSE(::IsWindow(firstWindow));
  EXPECT_EQ(m_tray.Count(NIM_DELETE), 1);
  // With the first one gone, a start is the only instance again.
  CMainApp third;
  third.m_pMessageBeep = &FakeBeep;
  EXPECT_TRUE(third.InitInstance("Morvane.exe"));
  third.ExitInstance();
  EXPECT_EQ(g_beeps.size(), 1u);
}

// What a declined "/once" prints: the JSON totals say it declined and why,
// the text report says so in a line; both exit with 2. A plain second start
// (no "/once") still ends with 0.
TEST_F(ResidentStart, AOnceRunBesideTheResidentProgramReportsThatItDeclined) {
  CMainApp first;
  ModalScript modal(IDOK);
  ASSERT_TRUE(first.InitInstance("Morvane.exe"));
  const struct {
    const char* command;
    int exitCode;
    const char* printed;  // must appear; null: nothing printed
  } cases[] = {
      {"Morvane.exe /once /report:json", 2,
       "\"exit_code\":2,"},
      {"Morvane.exe /once /report:json", 2, "\"declined\":\"another Morvane runs in this session\"}"},
      {"Morvane.exe /once /report", 2, "Declined: nothing was swept, since another Morvane runs in this session."},
      {"Morvane.exe /once", 2, nullptr},
      {"Morvane.exe /report:json", 0, nullptr},
  };
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "morvane-declined.txt";
  const HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  for (const auto& c : cases) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, file);
    CMainApp second;
    second.m_pMessageBeep = &FakeBeep;
    EXPECT_FALSE(second.InitInstance(c.command)) << c.command;
    EXPECT_EQ(second.ExitInstance(), c.exitCode) << c.command;
    ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
    char text[1024] = {};
    DWORD read = 0;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ::ReadFile(file, text, sizeof text - 1, &read, nullptr);
    ::CloseHandle(file);
    const std::string printed(text, read);
    if (c.printed == nullptr) {
      EXPECT_EQ(printed, "") << c.command;
    } else {
      EXPECT_NE(printed.find(c.printed), std::string::npos) << c.command << ": " << printed;
    }
  }
  ::DeleteFileA(path.c_str());
  EXPECT_TRUE(CleanerRecord::Calls().empty());
  first.ExitInstance();
}

TEST_F(ResidentStart, TheTrayIconCarriesTheWindowIdMessageAndTip) {
  CMainApp app;
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  ASSERT_EQ(m_tray.Count(NIM_ADD), 1);
  const auto add = m_tray.Calls().front();
  EXPECT_EQ(add.hwnd, app.m_pMainWnd->m_hWnd);
  EXPECT_EQ(add.id, 1u);
  EXPECT_EQ(add.tip, "Morvane");
  EXPECT_NE(add.icon, nullptr);
  EXPECT_FALSE(::IsWindowVisible(app.m_pMainWnd->m_hWnd));
  char name[32] = {};
  ::GetClassNameA(app.m_pMainWnd->m_hWnd, name, sizeof name);
  EXPECT_STREQ(name, "Morvane");
  app.ExitInstance();
  EXPECT_EQ(m_tray.Count(NIM_DELETE), 1);
  EXPECT_EQ(app.m_trayIcon.m_hNormalIcon, nullptr);
}

TEST_F(ResidentStart, APolicyForNoIconLeavesTheTrayEmptyAndTheWindowFindable) {
  const DWORD noIcon = PANEL_NO_ICON;
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPolicyRootPath) + "\\General Settings").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(key, kHidePanelValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&noIcon), sizeof noIcon);
  ::RegCloseKey(key);

  CMainApp app;
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  EXPECT_EQ(m_tray.Count(NIM_ADD), 0);
  // An installer still finds the window to ask it to exit.
  EXPECT_EQ(::FindWindowA("Morvane", nullptr), app.m_pMainWnd->m_hWnd);
  app.ExitInstance();
  EXPECT_EQ(m_tray.Count(NIM_DELETE), 0);
}

TEST_F(ResidentStart, TheStartupWindowStoresItsCheckBoxOnlyWhenOkIsPressed) {
  struct Case {
    const char* name;
    bool pressOk;
    int stored;
  } cases[] = {{"OK pressed", true, 1}, {"closed by its timer", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StoreNumber(kGeneralSettingsPath, "NotShowLogo", 0);
    bool hadTimer = false;
    std::vector<std::string> texts;
    ModalScript modal([&](HWND dialog, int templateId) -> INT_PTR {
      EXPECT_EQ(templateId, IDD_LOGO);
      EXPECT_NE(::GetWindowLongA(::GetDlgItem(dialog, IDC_LOGO_NOT_AGAIN), GWL_STYLE) & WS_VISIBLE, 0);
      ClickItem(dialog, IDC_LOGO_NOT_AGAIN);
      if (c.pressOk) {
        ClickItem(dialog, IDOK);
      } else {
        // Its own timer runs (its id is the window handle); let it fire.
        hadTimer = ::KillTimer(dialog, reinterpret_cast<UINT_PTR>(dialog)) != FALSE;
        ::SendMessageA(dialog, WM_TIMER, reinterpret_cast<WPARAM>(dialog), 0);
      }
      return IDOK;
    });
    CMainApp app;
    ASSERT_TRUE(app.InitInstance("Morvane.exe"));
    app.ExitInstance();
    EXPECT_EQ(modal.Runs(), std::vector<int>{IDD_LOGO});
    EXPECT_EQ(StoredNumber(kGeneralSettingsPath, "NotShowLogo"), c.stored);
    if (!c.pressOk) {
      EXPECT_TRUE(hadTimer);
    }
    const auto& shown = modal.LastTexts();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Morvane 2.91"), shown.end());
  }
}

TEST_F(ResidentStart, TheAboutFormHasNoCheckBoxAndNoTimer) {
  CMainApp app;
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  bool checkVisible = true, timer = true;
  ModalScript modal([&](HWND dialog, int) -> INT_PTR {
    checkVisible = (::GetWindowLongA(::GetDlgItem(dialog, IDC_LOGO_NOT_AGAIN), GWL_STYLE) & WS_VISIBLE) != 0;
    timer = ::KillTimer(dialog, reinterpret_cast<UINT_PTR>(dialog)) != FALSE;
    return IDOK;
  });
  ::SendMessageA(app.m_pMainWnd->m_hWnd, WM_COMMAND, IDM_ABOUT, 0);
  EXPECT_EQ(modal.Runs(), std::vector<int>{IDD_LOGO});
  EXPECT_FALSE(checkVisible);
  EXPECT_FALSE(timer);
  const auto& shown = modal.LastTexts();
  EXPECT_NE(std::find(shown.begin(), shown.end(),
                      "Clean up the history of your activities on your computer and protect your privacy. Save "
                      "strorage space and improve performance of your computer. "),
            shown.end());
  app.ExitInstance();
}

TEST_F(ResidentStart, AStartUpSweepArmsTheTimerOnlyWhenItEnds) {
  StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_WINDOWS);
  StoreNumber(kGeneralSettingsPath, "StTm", SWEEP_AT_INTERVAL | SWEEP_AT_STARTUP);
  StoreNumber(kGeneralSettingsPath, "TmSn", 3600);
  CleanerRecord::Hold();
  CMainApp app;
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  CMainWnd* wnd = app.m_pMainWnd;
  EXPECT_TRUE(app.m_bSweeping);
  EXPECT_EQ(wnd->m_nSweepTimer, CMainWnd::kNoTimer);
  EXPECT_NE(wnd->m_nAnimTimer, CMainWnd::kNoTimer);
  CleanerRecord::Release();
  ASSERT_TRUE(PumpUntil([&] { return !app.m_bSweeping; }, 10000));
  EXPECT_EQ(CleanerRecord::Categories(), std::vector<int>{CleanerRecord::kWindows});
  EXPECT_NE(wnd->m_nSweepTimer, CMainWnd::kNoTimer);
  EXPECT_EQ(wnd->m_nAnimTimer, CMainWnd::kNoTimer);
  app.ExitInstance();
}

TEST_F(ResidentStart, WithoutAStartUpSweepTheTimerIsArmedAtOnce) {
  StoreNumber(kGeneralSettingsPath, "StTm", SWEEP_AT_INTERVAL);
  StoreNumber(kGeneralSettingsPath, "TmSn", 3600);
  CMainApp app;
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  EXPECT_FALSE(app.m_bSweeping);
  EXPECT_NE(app.m_pMainWnd->m_nSweepTimer, CMainWnd::kNoTimer);
  app.ExitInstance();
}

// "Exit" ends the message loop the process runs.
TEST_F(ResidentStart, ExitEndsTheMessageLoop) {
  CMainApp app;
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  ::PostMessageA(app.m_pMainWnd->m_hWnd, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.ExitInstance(), 0);
  MSG msg;
  EXPECT_FALSE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

namespace {
bool g_loopTimedOut = false;
void CALLBACK EndStuckLoop(HWND, UINT, UINT_PTR, DWORD) {
  g_loopTimedOut = true;
  ::PostQuitMessage(1);
}
}  // namespace

// "Exit" from the tray while the startup window still shows: start-up goes
// no further (no start-up sweep) and the loop returns at once, so the
// process ends as it does after a later Exit.
TEST_F(ResidentStart, ExitWhileTheStartupWindowShowsEndsTheProcess) {
  StoreNumber(kGeneralSettingsPath, "NotShowLogo", 0);
  StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_WINDOWS);
  StoreNumber(kGeneralSettingsPath, "StTm", SWEEP_AT_STARTUP);
  CMainApp app;
  bool windowGone = false;
  ModalScript modal([&](HWND, int templateId) -> INT_PTR {
    EXPECT_EQ(templateId, IDD_LOGO);
    HWND main = app.m_pMainWnd->m_hWnd;
    ::PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    windowGone = PumpUntil([&] { return !::IsWindow(main); }, 5000);
    return 0;  // what the modal run gives when its owner is destroyed
  });
  ASSERT_TRUE(app.InitInstance("Morvane.exe"));
  EXPECT_TRUE(windowGone);
  g_loopTimedOut = false;
  const UINT_PTR guard = ::SetTimer(nullptr, 0, 3000, &EndStuckLoop);
  EXPECT_EQ(app.Run(), 0);
  ::KillTimer(nullptr, guard);
  EXPECT_FALSE(g_loopTimedOut) << "the message loop ran on without a window";
  EXPECT_FALSE(app.m_bSweeping);
  EXPECT_EQ(app.ExitInstance(), 0);
  EXPECT_TRUE(CleanerRecord::Calls().empty());
  MSG msg;
  EXPECT_FALSE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

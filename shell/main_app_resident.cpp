// CMainApp's resident half: the single-instance check, the main window, the
// tray icon, the startup window, the start-up sweep and timer, the message
// loop, and taking them down at exit. One-shot start-up is in main_app.cpp.
#include <windows.h>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/policy.h"
#include "settings/settings_groups.h"
#include "catalogue/held_databases.h"
#include "shell/browser_sweep.h"
#include "shell/browser_watch.h"
#include "settings/event_setting.h"
#include "shell/console_report.h"
#include "shell/event_report.h"
#include "shell/help_page.h"
#include "shell/logo_dlg.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "ui/progress_dlg.h"
#include "winlib/dialog.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"

namespace {
constexpr int kStartupWindowSeconds = 5;
// What a second instance sends with WM_SHOW_PANEL.
constexpr WPARAM kShowPanelFromSecondInstance = 100;
}  // namespace

bool CMainApp::InitRichEdit() {
  // Loaded once for the life of the process; the progress window's log is a
  // rich edit 2.0 control.
  static HMODULE module = ::LoadLibraryA("riched20.dll");
  return module != nullptr;
}

bool CMainApp::NotifyRunningInstance() {
  HWND hwnd = ::GetWindow(::GetDesktopWindow(), GW_CHILD);
  for (; hwnd != nullptr; hwnd = ::GetWindow(hwnd, GW_HWNDNEXT)) {
    char name[41] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    if (lstrcmpiA(name, CMainWnd::kClassName) != 0) continue;
    m_pMessageBeep(0xFFFFFFFF);
    ::PostMessageA(hwnd, WM_SHOW_PANEL, kShowPanelFromSecondInstance, 0);
    return true;
  }
  return false;
}

bool CMainApp::StartResidentMode() {
  m_trayIcon.LoadIcons(ResourceInstance());
  if (!CMainWnd::RegisterClass(m_trayIcon.m_hNormalIcon)) {
    m_startMode = StartMode::kFailed;
    m_nExitCode = kExitStartFailed;
    WriteEvents({StoppedEvent("Morvane could not start.", "its window class could not be registered (error " +
                                                               std::to_string(::GetLastError()) + ")")},
                EventLogLevelNow());
    return false;
  }
  m_hMenu = ::CreateMenu();
  m_pMainWnd = new CMainWnd(*this);
  if (!m_pMainWnd->Create(m_hMenu)) {
    // Without its window the program could neither be reached nor ended:
    // say so and end, rather than run on unseen.
    const DWORD error = ::GetLastError();
    g_platform.MessageBoxA(nullptr, "Couldn't Create Window!", "Morvane", MB_OK);
    m_startMode = StartMode::kFailed;
    m_nExitCode = kExitStartFailed;
    WriteEvents({StoppedEvent("Morvane could not start.",
                              "its main window could not be created (error " + std::to_string(error) + ")")},
                EventLogLevelNow());
    return false;
  }
  m_pWork->SetNotifyWindow(m_pMainWnd->m_hWnd);
  // Every sweep from now on is accounted for the event log.
  ProgramSweepAccount().Attach();

  if (m_cmdInfo.HasOption("report")) {
    HANDLE out = ConsoleReport::FindStandardOutput();
    m_pReport = new ConsoleReport(out);
    if (m_pReport->CanWrite()) AttachProgressSink(m_pReport);
  }

  // With no icon by policy the program still sweeps as set, and ends at
  // logoff or when an installer asks it to through its window.
  if (PanelPolicyNow() != PANEL_NO_ICON) m_trayIcon.Add(m_pMainWnd->m_hWnd);
  m_pMainWnd->ShowWindow(SW_HIDE);
  ::UpdateWindow(m_pMainWnd->m_hWnd);

  if (g_GeneralSettings.m_bNotShowLogo == 0) ShowStartupWindow();
  // "Exit" from the tray while the startup window showed: the window is
  // gone, so nothing more starts and the loop is never entered.
  if (m_bEndedBeforeLoop) return true;

  const int general = g_GeneralSettings.m_nTargets;
  const int sweepAt = g_GeneralSettings.m_nSweepAt;
  if (general & GENERAL_SHOW_PROGRESS) m_pMainWnd->OpenProgressWindow(SW_HIDE);
  if (sweepAt & SWEEP_AT_STARTUP) ProgramSweepAccount().SetTrigger(SweepTrigger::kStartup);
  if ((sweepAt & SWEEP_AT_STARTUP) && m_pMainWnd->RequestWholeSweep()) {
    m_bSweeping = true;
    m_pMainWnd->StartTrayAnimation();
  } else {
    ProgramSweepAccount().SetTrigger(SweepTrigger::kManual);
  }
  // Databases a browser held at an earlier sweep are cleaned now, once free
  // (a start-up sweep of Internet covers them already).
  if (!RememberedDatabases().empty() && m_pWork != nullptr) m_pWork->RequestBrowserSweep(kRememberedDatabasesOnly);
  m_pBrowserWatch = new BrowserWatch(m_pMainWnd->m_hWnd);
  if (!m_pBrowserWatch->Start()) {
    delete m_pBrowserWatch;
    m_pBrowserWatch = nullptr;
  }
  // A start-up sweep arms the timer when it ends.
  if (!m_bSweeping && (sweepAt & SWEEP_AT_INTERVAL) && g_GeneralSettings.m_nTimerSeconds > 0)
    m_pMainWnd->SetSweepTimer(g_GeneralSettings.m_nTimerSeconds);
  return true;
}

void CMainApp::ShowStartupWindow() {
  CLogoDlg logo(kStartupWindowSeconds, /*offerCheckBox=*/true);
  logo.m_bNotShowAgain = g_GeneralSettings.m_bNotShowLogo;
  logo.DoModal(m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr);
  if (logo.m_bNotShowAgain == g_GeneralSettings.m_bNotShowLogo) return;
  g_GeneralSettings.m_bNotShowLogo = logo.m_bNotShowAgain;
  g_GeneralSettings.SaveToRegistry(kGeneralSettingsPath);
}

int CMainApp::Run() {
  if (m_bEndedBeforeLoop) return 0;
  m_bInMessageLoop = true;
  const int code = RunMessageLoop();
  m_bInMessageLoop = false;
  return code;
}

void CMainApp::ExitResidentMode() {
  delete m_pBrowserWatch;  // posts to the main window: goes first
  m_pBrowserWatch = nullptr;
  // The worker has ended: no sweep records any more. One that ran on to
  // the end with no window left to hear of it is reported now.
  ProgramSweepAccount().Detach();
  if (ProgramSweepAccount().IsOpen()) ReportSweepEnded();
  // The sheet has ended with the main window's Exit; deleting the window
  // also destroys the progress window.
  delete m_pMainWnd;
  m_pMainWnd = nullptr;
  if (m_hMenu != nullptr) {
    if (::IsMenu(m_hMenu)) ::DestroyMenu(m_hMenu);  // a destroyed window took its menu along
    m_hMenu = nullptr;
  }
  m_trayIcon.Remove();
  m_trayIcon.DestroyIcons();
  if (m_pReport != nullptr) {
    if (CurrentProgressSink() == m_pReport) DetachProgressSink();
    delete m_pReport;
    m_pReport = nullptr;
  }
}

#include "shell/main_wnd.h"

#include <shellapi.h>

#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/policy.h"
#include "settings/settings_groups.h"
#include "engine/browsers.h"
#include "shell/browser_sweep.h"
#include "shell/browser_watch.h"
#include "shell/event_report.h"
#include "shell/help_page.h"
#include "shell/logo_dlg.h"
#include "shell/main_app.h"
#include "shell/panel_link.h"
#include "shell/tray_menu.h"
#include "ui/control_panel.h"
#include "ui/progress_dlg.h"
#include "winlib/platform_calls.h"
#include "winlib/time_format.h"
#include "winlib/trace.h"

const char CMainWnd::kClassName[] = "Morvane";
CMainWnd* g_pMainWnd = nullptr;

namespace {

// Each category: its settings group, where that group is stored, and the
// lines that frame it in the final sweep.
struct CategoryGroup {
  SettingsGroup* group;
  const char* path;
};

CategoryGroup GroupOf(int category) {
  switch (category) {
    case SWEEP_CATEGORY_WINDOWS:
      return {&g_WindowsSettings, kWindowsSettingsPath};
    case SWEEP_CATEGORY_APPLICATIONS:
      return {&g_ApplicationSettings, kApplicationSettingsPath};
    case SWEEP_CATEGORY_INTERNET:
      return {&g_InternetSettings, kInternetSettingsPath};
    default:
      return {nullptr, nullptr};
  }
}

struct FinalSweepStep {
  int generalBit;
  unsigned (*procedure)(SweepWorker*);
  const char* before;
  const char* afterAtExit;
  const char* afterAtLogoff;
};

const FinalSweepStep kFinalSweep[] = {
    {GENERAL_SWEEP_APPLICATIONS, &SweepApplications, "Start cleaning history on applications.\n",
     "End cleaning history on Application.\n", "End cleaning history on applications.\n"},
    {GENERAL_SWEEP_WINDOWS, &SweepWindows, "Start cleaning history on Windows.\n",
     "End cleaning history on Windows.\n", "End cleaning history on Windows.\n"},
    {GENERAL_SWEEP_INTERNET, &SweepInternet, "Start cleaning history on internet brower.\n",
     "End cleaning history on internet brower.\n", "End cleaning history on internet brower.\n"},
};

// A whole sweep asks for the categories in this order.
const struct {
  int generalBit;
  int workerBit;
} kWholeSweep[] = {
    {GENERAL_SWEEP_INTERNET, SWEEP_INTERNET},
    {GENERAL_SWEEP_WINDOWS, SWEEP_WINDOWS},
    {GENERAL_SWEEP_APPLICATIONS, SWEEP_APPLICATIONS},
};

bool AnyWholeSweepCategory(int general) {
  for (const auto& c : kWholeSweep)
    if (general & c.generalBit) return true;
  return false;
}

// The open control panel as the main window sees it.
class SheetLink : public PanelLink {
 public:
  explicit SheetLink(CLustraProp& sheet) : m_sheet(sheet) {}
  HWND Window() const override { return m_sheet.GetSafeHwnd(); }
  void SweepAll() override { m_sheet.m_settingsPage.SweepAll(); }
  bool StartTimedSweep() override { return m_sheet.m_settingsPage.StartTimedSweep(); }
  void CategoryEnded(int category) override { m_sheet.CategoryEnded(category); }
  void WholeSweepEnded() override { m_sheet.WholeSweepEnded(); }
  void PreviewEnded() override { m_sheet.m_settingsPage.PreviewEnded(); }
  void EndModal(int result) override { m_sheet.EndDialog(result); }

 private:
  CLustraProp& m_sheet;
};

HWND PanelWindowOfMainWnd() {
  if (g_pMainWnd == nullptr || g_pMainWnd->m_pPanel == nullptr) return nullptr;
  return g_pMainWnd->m_pPanel->Window();
}

}  // namespace

CMainWnd::CMainWnd(CMainApp& app) : m_app(app) {}

CMainWnd::~CMainWnd() {
  delete m_pTrayMenu;
  m_pTrayMenu = nullptr;
  DestroyResultsWindow();
  DestroyProgressWindow();
  if (m_hWnd != nullptr) {
    ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
  }
  if (g_pMainWnd == this) {
    g_pMainWnd = nullptr;
    SetControlPanelLocator(nullptr);
  }
}

bool CMainWnd::RegisterClass(HICON icon) {
  return CWnd::RegisterWindowClass(kClassName, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, icon,
                                   reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

bool CMainWnd::Create(HMENU menu) {
  const RECT rect = {0, 0, 20, 20};
  // Created hidden: a visible one would flash in the corner until start-up
  // hides it (and under Wine, hiding a mapped window waits for the X server).
  if (!CreateEx(WS_EX_TRANSPARENT, kClassName, "HideMorvaneWindow", 0, rect, nullptr, menu)) return false;
  m_nTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
  g_pMainWnd = this;
  SetControlPanelLocator(&PanelWindowOfMainWnd);
  return true;
}

bool CMainWnd::DestroyWindow() {
  CancelSweepTimer();
  return CWnd::DestroyWindow();
}

// --- PanelHost ---------------------------------------------------------------

SweepWorker* CMainWnd::Worker() { return m_app.m_pWork; }
bool CMainWnd::IsSweeping() const { return m_app.m_bSweeping; }
bool CMainWnd::AnySweepRuns() { return m_app.m_bSweeping || (m_app.m_pWork != nullptr && m_app.m_pWork->IsAnyRunning()); }

void CMainWnd::ShowSweepBusy() {
  if (m_pResults != nullptr) m_pResults->ShowBusy();
  if (CLustraProp* panel = CLustraProp::Open()) panel->m_settingsPage.ShowBusy();
}
void CMainWnd::SetSweeping(bool on) { m_app.m_bSweeping = on; }
bool CMainWnd::IsPreviewing() const { return m_app.m_bPreviewing; }
void CMainWnd::SetPreviewing(bool on) { m_app.m_bPreviewing = on; }

void CMainWnd::SetSweepTimer(int seconds) {
  LogStamped("Set the Timer ", 0);
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  FILETIME ft = {};
  ::SystemTimeToFileTime(&now, &ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  t.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
  ft.dwLowDateTime = t.LowPart;
  ft.dwHighDateTime = t.HighPart;
  SYSTEMTIME due = now;
  ::FileTimeToSystemTime(&ft, &due);
  LogLine(FormatTime(" Start to sweep @ %H:%M - %b %d %Y\n", due).c_str(), 0);
  m_nSweepTimer = SetTimer(kSweepTimerId, static_cast<UINT>(seconds) * 1000u);
}

void CMainWnd::CancelSweepTimer() {
  if (m_nSweepTimer == kNoTimer) return;
  LogStamped("Cancel the Timer.", 0);
  KillTimer(m_nSweepTimer);
  m_nSweepTimer = kNoTimer;
}

void CMainWnd::StartTrayAnimation() {
  if (m_nAnimTimer != kNoTimer) return;
  CTrayIcon& tray = m_app.m_trayIcon;
  tray.m_hCurrentIcon = tray.m_hNormalIcon;  // so that the first frame is the blank one
  tray.NextTrayFrame();
  m_nAnimTimer = SetTimer(kAnimTimerId, kAnimIntervalMs);
}

void CMainWnd::StopTrayAnimation() {
  if (m_nAnimTimer != kNoTimer) {
    KillTimer(m_nAnimTimer);
    m_nAnimTimer = kNoTimer;
  }
  m_app.m_trayIcon.Restore();
}

POINT CMainWnd::PanelPositionForLog(SIZE desktop, SIZE panel) {
  if (desktop.cx >= 2 * panel.cx) return POINT{desktop.cx / 2 - panel.cx, (desktop.cy - panel.cy) / 2};
  return POINT{0, 0};
}

SIZE CMainWnd::DesktopSize() const {
  RECT r = {};
  ::GetWindowRect(::GetDesktopWindow(), &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void CMainWnd::PlacePanelForLog() {
  if (m_pPanel == nullptr) return;
  HWND panel = m_pPanel->Window();
  if (panel == nullptr) return;
  RECT r = {};
  ::GetWindowRect(panel, &r);
  const POINT at = PanelPositionForLog(DesktopSize(), SIZE{r.right - r.left, r.bottom - r.top});
  ::SetWindowPos(panel, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

void CMainWnd::ShowProgressWindow() {
  if (g_pProgressDlg == nullptr) {
    OpenProgressWindow(SW_SHOW);
    return;
  }
  g_pProgressDlg->Show();
}

void CMainWnd::ShowAbout(HWND owner) {
  CLogoDlg about(0, false);
  about.DoModal(owner);
}

bool CMainWnd::OpenProgressWindow(int show) {
  // CreateProgressWindow writes the start line itself.
  return CreateProgressWindow(m_hWnd, show == SW_SHOW) != nullptr;
}

void CMainWnd::HideProgressWindow() {
  if (g_pProgressDlg != nullptr) g_pProgressDlg->Hide();
}

bool CMainWnd::IsProgressVisible() const {
  return g_pProgressDlg != nullptr && g_pProgressDlg->m_hWnd != nullptr && g_pProgressDlg->IsWindowVisible();
}

// --- the control panel -------------------------------------------------------

// The control panel's one entry point.
void CMainWnd::ShowControlPanel() {
  // An administrator hid it: a double click or a second start opens nothing.
  if (PanelPolicyNow() != PANEL_SHOWN) return;
  if (m_pPanel != nullptr) {
    ::SetForegroundWindow(m_pPanel->Window());
    return;
  }
  CLustraProp sheet(this, m_hWnd, 0);
  SheetLink link(sheet);
  ::SetForegroundWindow(m_hWnd);
  m_pPanel = &link;
  sheet.DoModal();
  m_pPanel = nullptr;
  HideProgressWindow();
}

// --- messages ------------------------------------------------------------------

LRESULT CMainWnd::WindowProc(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_SWEEP_FINISHED:
      OnSweepFinished(static_cast<int>(w), static_cast<int>(l));
      return 0;
    case WM_SHOW_PANEL:
      ShowControlPanel();
      return 0;
    case WM_BROWSER_CLOSED:
      OnBrowserClosed(static_cast<int>(w));
      return 0;
    case WM_SHOW_PROGRESS:
      ShowProgressWindow();
      return 0;
    case WM_TRAY_NOTIFY:
      OnTrayNotify(static_cast<UINT>(l));
      return 0;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession(w, l);
    case WM_HELP:
      // Every help request opens the help page.
      OpenHelpPage();
      return TRUE;
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
      if (item->CtlType == ODT_MENU && m_pTrayMenu != nullptr) {
        m_pTrayMenu->MeasureItem(item);
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      if (item->CtlType == ODT_MENU && m_pTrayMenu != nullptr) {
        m_pTrayMenu->DrawItem(item);
        return TRUE;
      }
      break;
    }
    case WM_DESTROY:
      // The hidden window's end is the program's end.
      if (m_app.m_bInMessageLoop)
        ::PostQuitMessage(0);
      else
        m_app.m_bEndedBeforeLoop = true;
      break;
    default:
      // Explorer restarted: without this the program would run on unseen.
      if (m_nTaskbarCreated != 0 && msg == m_nTaskbarCreated) {
        m_app.m_trayIcon.Readd();
        return 0;
      }
      break;
  }
  return CWnd::WindowProc(msg, w, l);
}

void CMainWnd::OnTrayNotify(UINT mouseMessage) {
  switch (mouseMessage) {
    case WM_LBUTTONDBLCLK:
      if (m_pPanel != nullptr) {
        ::SetForegroundWindow(m_hWnd);
        ::SetForegroundWindow(m_pPanel->Window());
      } else {
        ShowControlPanel();
      }
      break;
    case WM_RBUTTONDOWN:
      ShowTrayMenu();
      break;
    default:
      break;
  }
}

void CMainWnd::ShowTrayMenu() {
  if (m_pTrayMenu != nullptr) return;  // one menu at a time
  m_pTrayMenu = new CTrayMenu;
  if (m_pTrayMenu->Build(m_app.m_bSweeping, IsProgressVisible(), PanelPolicyNow() != PANEL_SHOWN, m_pResults != nullptr))
    m_pTrayMenu->Track(m_hWnd);
  // The command (if any) arrives after the menu has closed.
  delete m_pTrayMenu;
  m_pTrayMenu = nullptr;
}

bool CMainWnd::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDM_SHOW_RESULTS:
      delete m_pTrayMenu;
      m_pTrayMenu = nullptr;
      ShowLastResults();
      return true;
    case IDM_SHOW_PANEL:
      delete m_pTrayMenu;
      m_pTrayMenu = nullptr;
      ShowControlPanel();
      return true;
    case IDM_EXIT:
      delete m_pTrayMenu;
      m_pTrayMenu = nullptr;
      Exit();
      return true;
    case IDM_HIDE_LOG:
      HideProgressWindow();
      break;
    case IDM_SWEEP_NOW:
      // The menu was built before a sweep started: a second one waits.
      if (m_app.m_bSweeping) break;
      if (m_pPanel != nullptr) {
        m_pPanel->SweepAll();
      } else {
        const int general = g_GeneralSettings.m_nTargets;
        // The window first, then the worker: a category's first lines must
        // find the window they are written to.
        if (m_app.m_pWork != nullptr && AnyWholeSweepCategory(general) && (general & GENERAL_SHOW_PROGRESS) &&
            !(general & GENERAL_RUN_BACKGROUND))
          ShowProgressWindow();
        ProgramSweepAccount().SetTrigger(SweepTrigger::kManual);
        if (RequestWholeSweep()) {
          m_app.m_bSweeping = true;
          StartTrayAnimation();
          ShowSweepBusy();
        }
      }
      break;
    case IDM_CANCEL_SWEEP:
      // Only ever cancels, with the panel open or not: the panel's own
      // button would start a whole sweep when the panel did not start the
      // running one (a sweep of chosen entries, a browser's own).
      if (SweepWorker* worker = m_app.m_pWork) {
        // A preview is no sweep to account for.
        if (!m_app.m_bPreviewing && (m_app.m_bSweeping || worker->IsAnyRunning())) {
          // The categories may not have begun yet: the sweep begins here.
          ProgramSweepAccount().Begin();
          ProgramSweepAccount().NoteStopped("cancelled from the tray menu");
        }
        worker->Lock();
        worker->RequestCancel(SWEEP_ALL);
        worker->Unlock();
      }
      break;
    case IDM_SHOW_LOG:
      PlacePanelForLog();
      ShowProgressWindow();
      break;
    case IDM_ABOUT:
      ShowAbout(m_hWnd);
      break;
    case IDM_ONLINE_HELP:
      OpenHelpPage();
      break;
    default:
      break;
  }
  return CWnd::OnCommand(id, code, control);
}

bool CMainWnd::RequestWholeSweep() {
  SweepWorker* worker = m_app.m_pWork;
  if (worker == nullptr) return false;
  const int general = g_GeneralSettings.m_nTargets;
  bool any = false;
  worker->Lock();
  for (const auto& c : kWholeSweep) {
    if ((general & c.generalBit) == 0) continue;
    worker->RequestSweep(c.workerBit);  // wakes the supervisor
    any = true;
  }
  worker->Unlock();
  return any;
}

void CMainWnd::RearmSweepTimer() {
  if ((g_GeneralSettings.m_nSweepAt & SWEEP_AT_INTERVAL) && g_GeneralSettings.m_nTimerSeconds > 0)
    SetSweepTimer(g_GeneralSettings.m_nTimerSeconds);
}

void CMainWnd::OnTimer(UINT_PTR id) {
  if (m_nAnimTimer != kNoTimer && id == m_nAnimTimer) {
    m_app.m_trayIcon.NextTrayFrame();
    return;
  }
  OnSweepTimer();
}

void CMainWnd::OnSweepTimer() {
  CancelSweepTimer();  // the timer fires once per arming
  if (m_app.m_bSweeping) {
    // A sweep still runs: try again a full interval later.
    RearmSweepTimer();
    return;
  }
  LogStamped("\nStart Sweeping by Timer.", 0);
  SweepWorker* worker = m_app.m_pWork;
  const bool anyRunning = worker != nullptr && worker->IsAnyRunning();
  ProgramSweepAccount().SetTrigger(SweepTrigger::kSchedule);
  const bool requested = (m_pPanel != nullptr) ? m_pPanel->StartTimedSweep() : RequestWholeSweep();
  if (!requested) ProgramSweepAccount().SetTrigger(SweepTrigger::kManual);
  if (requested) {
    m_app.m_bSweeping = true;
    if (!anyRunning) ResetProgress();
    StartTrayAnimation();
    ShowSweepBusy();
  } else {
    RearmSweepTimer();  // nothing started, so no sweep's end will re-arm it
  }
}

void CMainWnd::OnSweepFinished(int category, int state) {
  if (state != SWEEP_ENDED) return;
  const CategoryGroup g = GroupOf(category);
  if (g.group == nullptr) return;
  SweepWorker* worker = m_app.m_pWork;

  // A preview swept nothing, and a sweep of chosen entries or of closed
  // browsers is only a part of the category: the last sweep's time stays
  // what it was.
  if (worker == nullptr || (!worker->WasPreview(category) && worker->SelectionOf(category) == nullptr &&
                            worker->BrowsersOf(category) == 0)) {
    g.group->MarkSwept();
    g.group->SaveToRegistry(g.path);
  }
  if (m_pPanel != nullptr) m_pPanel->CategoryEnded(category);
  if (worker != nullptr && worker->WasCancelled(category)) m_bSweepCancelled = true;
  // A sweep the table does not take in (not a preview, not its own Sweep
  // Selected) may have removed what it lists as still to go. Asked of the
  // category's own request: its message may come after the selected
  // sweep's end was handled.
  if (m_pResults != nullptr && worker != nullptr && !worker->WasPreview(category) &&
      worker->SelectionOf(category) == nullptr)
    m_pResults->NoteOtherSweep();

  const bool anyRunning = worker != nullptr && worker->IsAnyRunning();
  bool previewEnded = false;
  if (m_app.m_bSweeping && !anyRunning) {
    // Left set, the cancel bit would stop the next whole sweep at its first step.
    if (worker != nullptr) worker->ClearCancel(SWEEP_ALL);
    if (m_app.m_bPreviewing) {
      // The timer was left armed by the preview: re-arming it would push the
      // next timed sweep further away.
      m_app.m_bPreviewing = false;
      previewEnded = true;
      LogPreviewTotals();
      if (m_pPanel != nullptr) m_pPanel->PreviewEnded();
      ShowPreviewTable();
    } else if (m_bSweepingSelected) {
      // Not a whole sweep: no General time, and the timer runs on as it was.
      ShowSelectedSweep();
      if (m_pPanel != nullptr) m_pPanel->PreviewEnded();
    } else {
      g_GeneralSettings.MarkSwept();
      if (m_pPanel != nullptr) m_pPanel->WholeSweepEnded();
      g_GeneralSettings.SaveToRegistry(kGeneralSettingsPath);
      RearmSweepTimer();
    }
    m_app.m_bSweeping = false;
  }
  if (!anyRunning) {
    // A cancel is said whoever started the sweep (the tray, the schedule).
    if (m_bSweepCancelled)
      SetTitle(previewEnded ? "Preview Cancelled" : kCancelledCaption);
    else if ((m_pPanel != nullptr || m_pResults != nullptr) && !previewEnded)
      SetTitle("Sweeping Completed");
    m_bSweepCancelled = false;
    StopTrayAnimation();
    // Every category of the sweep has ended: the event log hears of it.
    ReportSweepEnded();
    ShowSweepBusy();
  }
  if (category == SWEEP_CATEGORY_INTERNET || !anyRunning) StartPendingBrowserSweep();
}

void CMainWnd::OnBrowserClosed(int browserBit) {
  if ((g_GeneralSettings.m_nSweepAt & SWEEP_AT_BROWSER_CLOSE) == 0) return;
  m_nPendingBrowsers |= browserBit;
  StartPendingBrowserSweep();
}

void CMainWnd::StartPendingBrowserSweep() {
  SweepWorker* worker = m_app.m_pWork;
  if (m_nPendingBrowsers == 0 || worker == nullptr || m_app.m_bFinalSweepDone) return;
  // A preview or a sweep of chosen entries keeps every record for its table:
  // a browser's own sweep beside it would mix into that table, so it waits
  // for their end.
  if (m_app.m_bPreviewing || m_bSweepingSelected) return;
  const bool anyRunning = worker->IsAnyRunning();
  const int browsers = m_nPendingBrowsers;
  ProgramSweepAccount().SetTrigger(SweepTrigger::kBrowserCloses);
  if (!worker->RequestBrowserSweep(browsers)) {
    ProgramSweepAccount().SetTrigger(SweepTrigger::kManual);
    return;  // asked again when Internet ends
  }
  m_nPendingBrowsers = 0;
  size_t count = 0;
  const BrowserInfo* all = Browsers(&count);
  for (size_t i = 0; i < count; ++i)
    if (browsers & BrowserBit(&all[i]))
      LogStamped((std::string("\nStart Sweeping ") + all[i].name + " after it closed.").c_str(), 0);
  if (!anyRunning) ResetProgress();
  StartTrayAnimation();
  ShowSweepBusy();
}

// --- the end -------------------------------------------------------------------

bool CMainWnd::FinalSweepDue() const {
  // A running sweep does the final sweep's work; a running preview or sweep
  // of chosen entries does not, and is cancelled and waited for like any
  // category.
  const bool sweeping = m_app.m_bSweeping && !m_app.m_bPreviewing && !m_bSweepingSelected;
  return !m_app.m_bFinalSweepDone && !sweeping && (g_GeneralSettings.m_nSweepAt & SWEEP_AT_EXIT) != 0;
}

bool CMainWnd::HoldWorkerIdle(bool dropPending) {
  SweepWorker* worker = m_app.m_pWork;
  if (worker == nullptr) return false;
  // A category started from a page may still run, or be about to start. It
  // is cancelled and waited for; then the worker's lock stays held for the
  // whole final sweep, so the worker starts nothing meanwhile. The categories
  // never wait for this thread (their log lines are queued, their notices
  // posted), so the wait cannot deadlock; the lock is recursive, so the
  // category procedures run here can still read the cancel word.
  constexpr int kCategories = SWEEP_WINDOWS | SWEEP_APPLICATIONS | SWEEP_INTERNET;
  worker->RequestCancel(kCategories);
  for (;;) {
    worker->Lock();
    if (!worker->IsAnyRunning()) break;
    worker->Unlock();
    ::Sleep(20);
  }
  // At exit a request that had not started yet is dropped with the cancel:
  // once the final sweep has run, nothing may start behind it.
  if (dropPending) worker->DropRequests(kCategories);
  worker->ClearCancel(kCategories);
  return true;
}

void CMainWnd::FinalSweep(bool atExit) {
  m_app.m_bFinalSweepDone = true;
  const bool held = HoldWorkerIdle(/*dropPending=*/atExit);
  // A sweep the wait cut short ends here; its notice comes too late to tell.
  SweepAccount& account = ProgramSweepAccount();
  if (account.IsOpen()) {
    account.NoteStopped(atExit ? "Morvane was exiting" : "the session was ending");
    ReportSweepEnded();
  }
  account.SetTrigger(atExit ? SweepTrigger::kExit : SweepTrigger::kLogoff);
  account.Begin();
  // A known folder moved since the last sweep is protected where it is now.
  RefreshProtectedPlaces();
  const int general = g_GeneralSettings.m_nTargets;
  for (const FinalSweepStep& step : kFinalSweep) {
    if ((general & step.generalBit) == 0) continue;
    LogLine(step.before, 0);
    step.procedure(m_app.m_pWork);
    LogLine(atExit ? step.afterAtExit : step.afterAtLogoff, 0);
  }
  ReportSweepEnded();
  if (held) m_app.m_pWork->Unlock();
}

void CMainWnd::Exit() {
  CancelSweepTimer();
  LogStamped("Start exiting Processes", 0);
  if (FinalSweepDue()) {
    LogStamped("Start Cleaning Processes", 0);
    FinalSweep(/*atExit=*/true);
    LogStamped("End cleaning Processes", 0);
  }
  LogStamped("End exiting Processes", 0);
  DestroyResultsWindow();
  DestroyProgressWindow();
  if (m_pPanel != nullptr) m_pPanel->EndModal(1);
  DestroyWindow();
}

LRESULT CMainWnd::OnQueryEndSession(WPARAM w, LPARAM l) {
  CancelSweepTimer();
  if (g_pProgressDlg == nullptr) OpenProgressWindow(SW_SHOW);
  else g_pProgressDlg->Show();
  LogStamped("Start logoff/shutdown Processes", 0);
  if (FinalSweepDue()) FinalSweep(/*atExit=*/false);
  LogStamped("End logoff/shutdown Processes", 0);
  return ::DefWindowProcA(m_hWnd, WM_QUERYENDSESSION, w, l);
}

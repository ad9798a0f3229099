// CMainWnd: the hidden window behind the resident program. It receives the
// tray icon's mouse messages, the worker's notices that a category has ended,
// the session's logoff/shutdown query and a second instance's request to show
// the control panel; it runs the repeating sweep timer and the tray icon's
// blinking, starts whole sweeps and runs the final sweep at exit.
#pragma once
#include <windows.h>

#include "ui/outcome_collector.h"
#include "ui/panel_host.h"
#include "ui/preview_results_dlg.h"
#include "winlib/window.h"

class CMainApp;
class CTrayMenu;
class PanelLink;

// The main window's messages; their values are fixed because a second
// instance and the worker send them.
constexpr UINT WM_SHOW_PANEL = WM_USER + 11;     // 1035: wParam 100, lParam 0
constexpr UINT WM_SHOW_PROGRESS = WM_USER + 12;  // 1036: from the panel's "Log" buttons
// WM_SWEEP_FINISHED (1034) is the worker's (engine/sweep_worker.h);
// WM_TRAY_NOTIFY (1124) the tray icon's (shell/tray_icon.h).

class CMainWnd : public CWnd, public PanelHost, public PreviewResultsHost {
 public:
  // The window's class name, also what a second instance looks for.
  static const char kClassName[];
  static constexpr UINT_PTR kNoTimer = static_cast<UINT_PTR>(-1);
  static constexpr UINT_PTR kSweepTimerId = 1;
  static constexpr UINT_PTR kAnimTimerId = 2;
  static constexpr UINT kAnimIntervalMs = 250;

  explicit CMainWnd(CMainApp& app);
  // Destroys the progress window with the main window.
  ~CMainWnd() override;

  // Registers the "Morvane" class (double clicks, the program icon).
  static bool RegisterClass(HICON icon);
  // The hidden 20 x 20 window at (0, 0), never shown, with menu as its menu
  // (may be null).
  bool Create(HMENU menu);
  // Cancels the sweep timer first.
  bool DestroyWindow() override;

  // --- PanelHost --------------------------------------------------------
  HWND MainWindow() const override { return m_hWnd; }
  SweepWorker* Worker() override;
  bool IsSweeping() const override;
  void SetSweeping(bool on) override;
  bool IsPreviewing() const override;
  void SetPreviewing(bool on) override;
  // The application's flag, or any category of the worker running (a
  // browser's own sweep leaves the flag alone).
  bool AnySweepRuns() override;
  // Tells the open windows that a sweep started or ended: their "Preview"
  // and "Sweep Selected" follow at once (their timers catch the rest).
  void ShowSweepBusy();
  void SetSweepTimer(int seconds) override;
  void CancelSweepTimer() override;
  void StartTrayAnimation() override;
  void PlacePanelForLog() override;
  void ShowProgressWindow() override;
  void ShowAbout(HWND owner) override;
  void BeginPreviewRecords() override;

  // --- PreviewResultsHost (shell/main_wnd_results.cpp) -----------------
  // Sweeps the chosen entries once, through the worker like any sweep, with
  // the progress window and its lines; the stored choices stay as they are.
  bool SweepSelected(const EntrySelection& selection) override;
  // Shows the last preview table again, with its ticks; false when there is none.
  bool ShowLastResults();
  // The preview table; null until a preview from the Settings page ended.
  CPreviewResultsDlg* Results() { return m_pResults; }
  bool IsSweepingSelected() const override { return m_bSweepingSelected; }

  void StopTrayAnimation();
  // Opens the control panel, or brings the open one to the front.
  void ShowControlPanel();
  // Creates the progress window, shown (SW_SHOW) or hidden (any other
  // value), and writes the start line. False when it cannot be created.
  bool OpenProgressWindow(int show);
  // The right click's popup menu; one at a time.
  void ShowTrayMenu();
  // "Sweep Now" with the panel closed: requests the categories of General
  // "Targets"; false when none is enabled.
  bool RequestWholeSweep();
  // The "Exit" command: the final sweep when due, then the window goes.
  void Exit();
  // A browser's last process has ended (WM_BROWSER_CLOSED): with "Browser
  // closes" on, its entries are swept on the Internet line, now or as soon as
  // the Internet category is free.
  void OnBrowserClosed(int browserBit);
  // Browsers whose sweep waits for the Internet category to end.
  int m_nPendingBrowsers = 0;

  // Where the open panel goes so that the log can take the right half of the
  // desktop: x = W/2 - S when W >= 2S, else the top left corner.
  static POINT PanelPositionForLog(SIZE desktop, SIZE panel);

  UINT_PTR m_nSweepTimer = kNoTimer;
  UINT_PTR m_nAnimTimer = kNoTimer;
  // The open control panel; null while it is closed.
  PanelLink* m_pPanel = nullptr;
  // The tray popup menu while it is shown.
  CTrayMenu* m_pTrayMenu = nullptr;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM w, LPARAM l) override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnTimer(UINT_PTR id) override;
  // The desktop's size; a seam for tests of the panel's placement.
  virtual SIZE DesktopSize() const;

 private:
  // The main window's reply to a sweep category's end (lParam SWEEP_ENDED).
  void OnSweepFinished(int category, int state);
  void StartPendingBrowserSweep();
  void OnTrayNotify(UINT mouseMessage);
  LRESULT OnQueryEndSession(WPARAM w, LPARAM l);
  void OnSweepTimer();
  // Runs the enabled categories on this thread, once per process. atExit
  // picks the closing line of the Applications category.
  void FinalSweep(bool atExit);
  bool FinalSweepDue() const;
  // Waits until no category runs on the worker and keeps its lock, so that
  // no category runs on a worker thread and here at the same time. False
  // when there is no worker (nothing to hold).
  bool HoldWorkerIdle(bool dropPending);
  // Re-arms the sweep timer when sweeping at an interval is chosen.
  void RearmSweepTimer();
  void HideProgressWindow();
  bool IsProgressVisible() const;
  // The preview (or the sweep of the chosen entries) has ended: the table
  // takes its records.
  void ShowPreviewTable();
  void ShowSelectedSweep();
  void DestroyResultsWindow();

  CMainApp& m_app;
  UINT m_nTaskbarCreated = 0;
  OutcomeCollector m_collector;
  CPreviewResultsDlg* m_pResults = nullptr;
  bool m_bSweepingSelected = false;
  // A category of the sweep now ending stopped on a cancel.
  bool m_bSweepCancelled = false;
};

// The resident main window, while one exists (the progress window asks it
// for the open panel).
extern CMainWnd* g_pMainWnd;

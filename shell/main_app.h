// CMainApp: brings Morvane up and takes it down. Start-up reads the command
// line, finds the Windows version, loads the settings groups and starts the
// sweep worker; then it either sweeps once and ends ("/once") or stays
// resident.
#pragma once
#include <windows.h>

#include <string>

#include "shell/main_command_line.h"
#include "shell/tray_icon.h"

class CMainWnd;
class ConsoleReport;
class SweepWorker;

class BrowserWatch;
class CMainApp {
 public:
  // What start-up decided.
  enum class StartMode {
    kNotStarted,
    kDeclined,  // asked to run as an OLE server, which Morvane is not
    kFailed,    // the rich edit control or the main window is missing
    kAlreadyRunning,  // told the running instance to show its panel
    kOneShot,   // swept once; the process ends
    kResident,  // stays in the notification area
    kListedRules,  // printed the rule entries ("/rules"); the process ends
  };

  // Exit code of a start that could not bring the program up (no rich edit
  // control, no main window).
  static constexpr int kExitStartFailed = 3;

  CMainApp() = default;
  ~CMainApp();
  CMainApp(const CMainApp&) = delete;
  CMainApp& operator=(const CMainApp&) = delete;

  // Start-up from the full command line (program name first). True: stay
  // resident and run the message loop; false: end now with ExitCode().
  bool InitInstance(const char* commandLine);
  // The resident program's message loop, until "Exit" destroys the main
  // window. Returns the loop's exit code.
  int Run();
  // Stops the worker (running categories finish first), then takes down the
  // main window, the tray icon and the icons, and returns the process's exit
  // code. Safe to call more than once.
  int ExitInstance();

  int ExitCode() const { return m_nExitCode; }

  CMainCommandLineInfo m_cmdInfo;
  StartMode m_startMode = StartMode::kNotStarted;
  SweepWorker* m_pWork = nullptr;
  bool m_bSweeping = false;
  bool m_bPreviewing = false;  // the whole sweep running is a preview
  bool m_bFinalSweepDone = false;
  CMainWnd* m_pMainWnd = nullptr;
  // Resident mode: which browsers run, to sweep one when it closes.
  BrowserWatch* m_pBrowserWatch = nullptr;
  HMENU m_hMenu = nullptr;  // the hidden window's empty menu
  CTrayIcon m_trayIcon;
  // True while Run's loop runs: only then does the main window's end post
  // the quit message (a test that drives a main window must not get one).
  bool m_bInMessageLoop = false;
  // The main window ended before the loop started (Exit chosen while the
  // startup window showed): start-up stops there and Run returns at once.
  bool m_bEndedBeforeLoop = false;
  // The beep of a second instance; tests listen to it here.
  BOOL(WINAPI* m_pMessageBeep)(UINT type) = &::MessageBeep;

 private:
  // Sweeps the categories enabled in General "Targets" on this thread, in the
  // order Applications, Windows, Internet; with "/report", writes the log to
  // standard output.
  void RunOneShot();
  // A "/once" that does not sweep: exit code 2 and, with "/report", a line
  // (or, with "/report:json", a totals object) that says why.
  void ReportDeclinedOnce(const char* reason);
  // "/rules": prints every rule entry loaded to standard output.
  void ListRules();
  // The rich edit control that the progress window's log needs.
  static bool InitRichEdit();
  // A window of the class "Morvane" already exists: beeps, asks it to show its
  // control panel and returns true.
  bool NotifyRunningInstance();
  // Resident mode: main window, tray icon, startup window, progress window,
  // start-up sweep and sweep timer (shell/main_app_resident.cpp).
  bool StartResidentMode();
  // The startup window in its start-up form; stores the check box when it
  // changed.
  void ShowStartupWindow();
  // Takes down what StartResidentMode set up (after the worker has ended).
  void ExitResidentMode();

  // "/report" in resident mode: the log goes to standard output while no
  // progress window takes it (the stress run reads it).
  ConsoleReport* m_pReport = nullptr;

  int m_nExitCode = 0;
};

// CMainApp: brings Morvane up and takes it down. Start-up reads the command
// line, finds the Windows version, loads the settings groups and starts the
// sweep worker; then it either sweeps once and ends ("/once") or stays
// resident.
#pragma once
#include <string>

#include "shell/main_command_line.h"

class SweepWorker;

class CMainApp {
 public:
  // What start-up decided.
  enum class StartMode {
    kNotStarted,
    kDeclined,  // asked to run as an OLE server, which Morvane is not
    kOneShot,   // swept once; the process ends
    kResident,  // stays in the notification area
  };

  CMainApp() = default;
  ~CMainApp();
  CMainApp(const CMainApp&) = delete;
  CMainApp& operator=(const CMainApp&) = delete;

  // Start-up from the full command line (program name first). True: stay
  // resident and run the message loop; false: end now with ExitCode().
  bool InitInstance(const char* commandLine);
  // Stops the worker (running categories finish first) and returns the
  // process's exit code. Safe to call more than once.
  int ExitInstance();

  int ExitCode() const { return m_nExitCode; }

  CMainCommandLineInfo m_cmdInfo;
  StartMode m_startMode = StartMode::kNotStarted;
  SweepWorker* m_pWork = nullptr;
  bool m_bSweeping = false;
  bool m_bFinalSweepDone = false;

 private:
  // Sweeps the categories enabled in General "Targets" on this thread, in the
  // order Applications, Windows, Internet; with "/report", writes the log to
  // standard output.
  void RunOneShot();
  // Resident mode: tray icon, startup window, progress window, start-up sweep
  // and sweep timer. They come with the main window; until then the program
  // ends here.
  bool StartResidentMode();

  int m_nExitCode = 0;
};

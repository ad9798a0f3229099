#include "ui/panel_actions.h"

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "ui/panel_host.h"
#include "winlib/property_sheet.h"
#include "winlib/time_format.h"

WorkerHold::WorkerHold(SweepWorker* worker) : m_pWorker(worker) {
  if (m_pWorker != nullptr) m_pWorker->Lock();
}

WorkerHold::~WorkerHold() {
  if (m_pWorker != nullptr) m_pWorker->Unlock();
}

void PrepareManualSweep(PanelHost* host, CPropertySheet* sheet, const char* startLine) {
  if ((g_GeneralSettings.m_nTargets & GENERAL_SHOW_PROGRESS) != 0 && host->MainWindow() != nullptr) {
    host->PlacePanelForLog();
    host->ShowProgressWindow();
  }
  SweepWorker* worker = host->Worker();
  if (worker != nullptr && !worker->IsAnyRunning()) ResetProgress();
  if (startLine != nullptr) LogStamped(startLine, 0);
  if (sheet != nullptr && sheet->GetSafeHwnd() != nullptr) sheet->PressButton(PSBTN_APPLYNOW);
}

bool RunsInBackground() { return (g_GeneralSettings.m_nTargets & GENERAL_RUN_BACKGROUND) != 0; }

std::string FormatLastSweep(int when) {
  // Seconds since 1970 to the FILETIME count of 100 ns since 1601.
  ULONGLONG ticks = static_cast<ULONGLONG>(static_cast<unsigned>(when)) * 10000000ULL + 116444736000000000ULL;
  FILETIME utc = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  FILETIME local = {};
  SYSTEMTIME st = {};
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) return std::string();
  return FormatTime("Last Sweeping Time: %H:%M - %b %d %Y", st);
}

void PostShowProgress(PanelHost* host) {
  HWND main = host->MainWindow();
  if (main != nullptr) ::PostMessageA(main, kShowProgressMessage, 0, 0);
}

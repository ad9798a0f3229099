// The main window's side of the preview table: it keeps the records of a
// preview started from the Settings page, shows the table when the preview
// ends, and runs "Sweep Selected" through the worker like any other sweep.
#include <memory>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "shell/event_report.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "ui/control_panel.h"
#include "ui/panel_actions.h"

void CMainWnd::BeginPreviewRecords() { m_collector.Attach(); }

void CMainWnd::ShowPreviewTable() {
  if (!m_collector.IsAttached()) return;  // a preview from elsewhere: no table
  m_collector.Detach();
  if (m_pResults == nullptr) m_pResults = new CPreviewResultsDlg(this);
  m_pResults->ShowPreview(m_collector.TakeRecords(), m_collector.TakeOpened(), m_bSweepCancelled);
  m_pResults->EnableSweep(true);
  m_pResults->Open(m_hWnd);
}

void CMainWnd::ShowSelectedSweep() {
  m_bSweepingSelected = false;
  m_collector.Detach();
  if (m_pResults == nullptr) return;
  std::vector<OutcomeRecord> records = m_collector.TakeRecords();
  m_pResults->ShowSwept(records, m_bSweepCancelled, m_collector.TakeOpened());
  m_pResults->EnableSweep(true);
}

void CMainWnd::DestroyResultsWindow() {
  m_collector.Detach();
  if (m_pResults == nullptr) return;
  if (m_pResults->m_hWnd != nullptr) m_pResults->DestroyWindow();
  delete m_pResults;
  m_pResults = nullptr;
}

bool CMainWnd::ShowLastResults() {
  if (m_pResults == nullptr) return false;
  return m_pResults->Open(m_hWnd);
}

bool CMainWnd::SweepSelected(const EntrySelection& selection) {
  SweepWorker* worker = m_app.m_pWork;
  const int bits = selection.CategoryBits();
  if (worker == nullptr || bits == 0 || m_app.m_bSweeping || worker->IsAnyRunning()) return false;
  ShowProgressWindow();
  ResetProgress();
  // The categories the selection leaves out never start: their lines say so
  // rather than wait for ever.
  const struct {
    int bit, status;
  } lines[] = {{SWEEP_WINDOWS, IDC_STATUS_WINDOWS},
               {SWEEP_INTERNET, IDC_STATUS_INTERNET},
               {SWEEP_APPLICATIONS, IDC_STATUS_APPLICATIONS}};
  for (const auto& line : lines)
    if ((bits & line.bit) == 0) SetStatusLine(line.status, kNotPartText);
  LogStamped("\nStart sweeping the entries selected in the preview.", 0);
  WorkerHold hold(worker);
  // Attached under the worker's lock, before any category can start.
  m_collector.Attach();
  ProgramSweepAccount().SetTrigger(SweepTrigger::kSelected);
  worker->RequestSelected(bits, std::make_shared<const EntrySelection>(selection));
  m_app.m_bSweeping = true;
  m_bSweepingSelected = true;
  if (m_pResults != nullptr) m_pResults->EnableSweep(false);
  if (CLustraProp* panel = CLustraProp::Open()) panel->m_settingsPage.SelectedSweepStarted();
  StartTrayAnimation();
  ShowSweepBusy();
  return true;
}

#include "shell/main_app.h"

#include <windows.h>

#include "engine/outcome_ledger.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "rules/rule_set.h"
#include "settings/settings_groups.h"
#include "shell/console_report.h"
#include "shell/rules_report.h"
#include "winlib/os_kind.h"
#include "winlib/trace.h"

namespace {

// Exit codes of the process.
constexpr int kExitOk = 0;
constexpr int kExitNotRemoved = 1;  // a one-shot sweep left items it could neither remove nor schedule
constexpr int kExitDeclined = 2;

// The categories a sweep on this thread runs, in order, with the lines that
// frame each in the log.
struct DirectSweep {
  int targetBit;
  unsigned (*procedure)(SweepWorker*);
  const char* before;
  const char* after;
};

const DirectSweep kDirectSweeps[] = {
    {GENERAL_SWEEP_APPLICATIONS, &SweepApplications, "Start cleaning history on applications.\n",
     "End cleaning history on applications.\n"},
    {GENERAL_SWEEP_WINDOWS, &SweepWindows, "Start cleaning history on Windows.\n",
     "End cleaning history on Windows.\n"},
    {GENERAL_SWEEP_INTERNET, &SweepInternet, "Start cleaning history on internet brower.\n",
     "End cleaning history on internet brower.\n"},
};

// Once per process: a second start-up in the same process (tests) keeps them.
void LoadProgramRules() {
  RuleSet& rules = ProgramRules();
  if (rules.Entries().empty() && rules.Files().empty()) rules.LoadStandard();
}

}  // namespace

CMainApp::~CMainApp() { ExitInstance(); }

bool CMainApp::InitInstance(const char* commandLine) {
  ParseCommandLine(commandLine, m_cmdInfo);
  if (m_cmdInfo.m_bRunEmbedded || m_cmdInfo.m_bRunAutomated) {
    m_startMode = StartMode::kDeclined;
    m_nExitCode = kExitDeclined;
    return false;
  }
  // A listing changes nothing and needs no window: it runs beside a resident instance too.
  if (m_cmdInfo.HasOption("rules")) {
    m_startMode = StartMode::kListedRules;
    m_nExitCode = kExitOk;
    ListRules();
    return false;
  }
  if (!InitRichEdit()) {
    Trace("Cannot Initialize Application in AfxInitRichEdit.\n");
    m_startMode = StartMode::kFailed;
    m_nExitCode = kExitStartFailed;
    return false;
  }
  // Before one-shot mode: "/once" while the resident program runs must not
  // sweep a second time.
  if (NotifyRunningInstance()) {
    m_startMode = StartMode::kAlreadyRunning;
    m_nExitCode = kExitOk;
    return false;
  }

  DetermineOsKind();

  g_GeneralSettings.LoadFromRegistry(kGeneralSettingsPath);
  g_ApplicationSettings.LoadFromRegistry(kApplicationSettingsPath);
  g_WindowsSettings.LoadFromRegistry(kWindowsSettingsPath);
  g_InternetSettings.LoadFromRegistry(kInternetSettingsPath);

  // Rule entries sweep after each category's own targets, resident or once.
  LoadProgramRules();
  SetCategoryExtraSweep(&SweepRuleEntries);

  m_pWork = new SweepWorker;
  m_pWork->Start();

  if (m_cmdInfo.HasOption("once")) {
    m_startMode = StartMode::kOneShot;
    m_nExitCode = kExitOk;
    RunOneShot();
    return false;
  }
  m_startMode = StartMode::kResident;
  return StartResidentMode();
}

void CMainApp::RunOneShot() {
  // Silent unless asked: no window exists, so without a report the log goes nowhere.
  ProgressSink* previous = CurrentProgressSink();
  HANDLE out = m_cmdInfo.HasOption("report") ? ConsoleReport::FindStandardOutput() : nullptr;
  ConsoleReport report(out);
  if (report.CanWrite()) AttachProgressSink(&report);

  // A preview sweeps as usual; the primitives change nothing.
  const bool preview = m_cmdInfo.HasOption("preview");
  if (m_pWork != nullptr) m_pWork->SetPreview(preview);
  report.SetPreview(preview);

  ResetOutcomes();
  const int targets = g_GeneralSettings.m_nTargets;
  for (const DirectSweep& sweep : kDirectSweeps) {
    if ((targets & sweep.targetBit) == 0) continue;
    LogLine(sweep.before, 0);
    sweep.procedure(m_pWork);
    LogLine(sweep.after, 0);
  }

  const int notRemoved = NotRemovedCount();
  if (notRemoved > 0) m_nExitCode = kExitNotRemoved;
  if (report.CanWrite()) {
    AttachProgressSink(previous);
    report.WriteTotals();
    // A preview attempts no removal, so it has nothing left behind to count.
    if (!preview) report.WriteNotRemoved(notRemoved);
  }
}

void CMainApp::ListRules() {
  // The files as they are now: a set read earlier in this process (the
  // built-in rules keep it from ever being empty) may be out of date.
  RuleSet rules;
  rules.LoadStandard();
  ConsoleReport report(ConsoleReport::FindStandardOutput());
  if (!report.CanWrite()) return;
  for (const std::string& line : RuleReportLines(rules)) report.AppendLog(line.c_str());
}

int CMainApp::ExitInstance() {
  if (m_pWork != nullptr) {
    // Quit asks the supervisor to end (once: a second request while running
    // categories finish would be served twice), waits for it, and deletes the
    // worker.
    m_pWork->Quit();
    m_pWork = nullptr;
  }
  ExitResidentMode();
  // After every sweep of this start-up has ended (the one at exit too).
  SetCategoryExtraSweep(nullptr);
  return m_nExitCode;
}

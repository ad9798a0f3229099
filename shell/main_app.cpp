#include "shell/browser_sweep.h"
#include "shell/main_app.h"

#include <windows.h>

#include "engine/outcome_ledger.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "rules/rule_set.h"
#include "settings/settings_groups.h"
#include "settings/event_setting.h"
#include "shell/console_report.h"
#include "shell/event_report.h"
#include "shell/json_report.h"
#include "shell/rules_report.h"
#include "winlib/os_kind.h"
#include "winlib/trace.h"

namespace {

// Exit codes of the process.
constexpr int kExitOk = 0;
constexpr int kExitNotRemoved = 1;  // a one-shot sweep left items it could neither remove nor schedule
constexpr int kExitDeclined = 2;

const char kDeclinedAnotherRuns[] = "another Morvane runs in this session";

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

// Once per process: a second start-up in the same process (tests) keeps
// them. What the reader refused goes to the event log when first read,
// unless this start is a preview: a preview writes no events.
void LoadProgramRules(bool writeEvents) {
  RuleSet& rules = ProgramRules();
  if (!rules.Entries().empty() || !rules.Files().empty()) return;
  rules.LoadStandard();
  if (writeEvents) WriteEvents(RuleEvents(rules), EventLogLevelNow());
}

// The totals of a sweep whose log goes nowhere: "/report:json" writes its
// own lines, yet its totals must be the ones the text report would print.
class TotalsOnly : public ProgressSink {
 public:
  void AppendLog(const char*) override {}
  void SetItemText(int, const char*) override {}
  bool HasItem(int) const override { return false; }
  void SetBarRange(int, int, int) override {}
  void SetBarPos(int, unsigned) override {}
  void SetCaption(const char*) override {}
};

bool WantsJson(const CMainCommandLineInfo& info) {
  return info.HasOption("report") && ::lstrcmpiA(info.Option("report").c_str(), "json") == 0;
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
    WriteEvents({StoppedEvent("Morvane could not start.", "the rich edit control (riched20.dll) could not be loaded")},
                EventLogLevelNow());
    return false;
  }
  // Before one-shot mode: "/once" while the resident program runs must not
  // sweep a second time.
  if (NotifyRunningInstance()) {
    m_startMode = StartMode::kAlreadyRunning;
    m_nExitCode = kExitOk;
    // A "/once" that did not sweep must not look like one that did: a
    // scheduled script reads the exit code and the report.
    if (m_cmdInfo.HasOption("once")) ReportDeclinedOnce(kDeclinedAnotherRuns);
    return false;
  }

  DetermineOsKind();

  g_GeneralSettings.LoadFromRegistry(kGeneralSettingsPath);
  g_ApplicationSettings.LoadFromRegistry(kApplicationSettingsPath);
  g_WindowsSettings.LoadFromRegistry(kWindowsSettingsPath);
  g_InternetSettings.LoadFromRegistry(kInternetSettingsPath);

  // Rule entries sweep after each category's own targets, resident or once.
  LoadProgramRules(!m_cmdInfo.HasOption("preview"));
  SetCategoryExtraSweep(&SweepRuleEntries);
  SetBrowserSweep(&SweepClosedBrowsers);

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
  const ULONGLONG started = ::GetTickCount64();
  // Silent unless asked: no window exists, so without a report the log goes nowhere.
  ProgressSink* previous = CurrentProgressSink();
  HANDLE out = m_cmdInfo.HasOption("report") ? ConsoleReport::FindStandardOutput() : nullptr;
  ConsoleReport report(out);
  // "/report:json": the lines are JSON objects, one per item as it is met;
  // the log's text stays out of them, but its totals are still kept.
  const bool json = WantsJson(m_cmdInfo);
  TotalsOnly totals;
  JsonReport jsonReport(report);
  if (json) {
    AttachProgressSink(&totals);
    if (report.CanWrite()) {
      for (const std::string& line : JsonRuleLines(ProgramRules())) jsonReport.WriteLine(line);
      jsonReport.Attach();
    }
  } else if (report.CanWrite()) {
    AttachProgressSink(&report);
  }

  // A preview sweeps as usual; the primitives change nothing.
  const bool preview = m_cmdInfo.HasOption("preview");
  if (m_pWork != nullptr) m_pWork->SetPreview(preview);
  report.SetPreview(preview);

  SweepAccount& account = ProgramSweepAccount();
  account.Attach();
  account.SetTrigger(SweepTrigger::kOnce);
  account.Begin();

  ResetOutcomes();
  // The protected places as they are now, as every sweep the worker starts
  // takes them: a set taken earlier in this process judges folders by
  // identities that may since have gone, or been given to other folders.
  RefreshProtectedPlaces();
  const int targets = g_GeneralSettings.m_nTargets;
  for (const DirectSweep& sweep : kDirectSweeps) {
    if ((targets & sweep.targetBit) == 0) continue;
    LogLine(sweep.before, 0);
    sweep.procedure(m_pWork);
    LogLine(sweep.after, 0);
  }

  jsonReport.Detach();
  SweepSummary summary = account.End();
  account.Detach();
  summary.preview = summary.preview || preview;
  WriteEvents(SweepEvents(summary), EventLogLevelNow());

  const int notRemoved = NotRemovedCount();
  // A preview removes nothing, so it leaves nothing behind either: what it
  // could not have removed is in its lines, not in its exit code.
  if (notRemoved > 0 && !preview) m_nExitCode = kExitNotRemoved;
  if (json) {
    AttachProgressSink(previous);
    JsonTotals end;
    {
      TimedLockGuard hold(totals.m_lock, TimedLockGuard::kPatient);
      end.items = totals.m_nTotalItems;
      end.kb = totals.m_fTotalKB;
    }
    // A preview's items that would stay count here as a sweep's left items
    // would, so the lines and the totals tell one story; its exit code stays 0.
    end.notRemoved = notRemoved;
    end.exitCode = m_nExitCode;
    end.preview = preview;
    end.seconds = static_cast<double>(::GetTickCount64() - started) / 1000.0;
    if (report.CanWrite()) jsonReport.WriteLine(JsonTotalsLine(end));
  } else if (report.CanWrite()) {
    AttachProgressSink(previous);
    report.WriteTotals();
    // A preview attempts no removal, so it has nothing left behind to count.
    if (!preview) report.WriteNotRemoved(notRemoved);
  }
}

void CMainApp::ReportDeclinedOnce(const char* reason) {
  m_nExitCode = kExitDeclined;
  if (!m_cmdInfo.HasOption("report")) return;
  ConsoleReport report(ConsoleReport::FindStandardOutput());
  if (!report.CanWrite()) return;
  if (WantsJson(m_cmdInfo)) {
    JsonTotals end;
    end.exitCode = m_nExitCode;
    end.preview = m_cmdInfo.HasOption("preview");
    end.declined = reason;
    report.AppendLog(JsonTotalsLine(end).c_str());
  } else {
    report.AppendLog((std::string("Declined: nothing was swept, since ") + reason + ".").c_str());
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
  SetBrowserSweep(nullptr);
  return m_nExitCode;
}

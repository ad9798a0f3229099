// What Morvane tells the Windows event log (Application log, source
// "Morvane"), so that administrators of many machines can collect it:
//   1000 information  a sweep ended: trigger, categories, items, KB, duration
//   1001 warning      items not removed: the count, the first 20 with reasons
//   1002 warning      rule files, entries or keys refused when read
//   1003 warning      a browser database refused or held: browser and file
//   1004 error        the program could not start, or a sweep stopped
// The texts live in the message table (res/morvane_events.mc); the program
// passes only insertion strings. Visited sites are never written: a left
// file below a browser's or mail program's data folder (a profile, "User
// Data", "storage", "IndexedDB", a cache, ...) is named by the path down to
// the first such folder (a profile folder with it) and its entry; a left
// file of a browser's or the web's entry with no such folder above it, and
// an item that is not a path or registry key (a cache address, rows of a
// database), only by its entry. Other paths and registry keys are written
// whole. Each line of a list is at most 260 characters (shortened in the
// middle), and "%%" before a digit is written "% %", which the event viewer
// would otherwise replace by another message.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/outcome_ledger.h"

class RuleSet;

enum EventId : DWORD {
  kEventSweepEnded = 1000,
  kEventNotRemoved = 1001,
  kEventRulesRefused = 1002,
  kEventDatabaseLeft = 1003,
  kEventStopped = 1004,
};

// How many items or refusals an event names; the rest it counts.
constexpr size_t kEventListLength = 20;

// What started a sweep, as events name it.
enum class SweepTrigger {
  kManual,         // "Sweep Now", a page's sweep button
  kSchedule,       // the repeating timer
  kExit,           // "Exit" with sweeping at exit on
  kLogoff,         // the session ends
  kStartup,        // sweeping at start-up
  kBrowserCloses,  // a browser's last window closed
  kOnce,           // "/once"
  kSelected,       // "Sweep Selected" in the preview table
};
const char* SweepTriggerName(SweepTrigger trigger);

struct EventText {
  WORD type = EVENTLOG_INFORMATION_TYPE;
  DWORD id = kEventSweepEnded;
  std::vector<std::wstring> strings;
};

// Where events go: ReportEventW under the source "Morvane". Tests swap in a
// recorder and must restore it. True when the event was written.
using EventWriter = bool (*)(const EventText& event);
extern EventWriter g_eventWriter;
bool WriteEventToLog(const EventText& event);

// Writes the events the level allows (settings/event_setting.h): 1000 only
// at EVENT_LOG_ALL, the others from EVENT_LOG_PROBLEMS.
void WriteEvents(const std::vector<EventText>& events, int level);

// How an item left behind is named in 1001 (see the header comment).
std::wstring EventItemText(const OutcomeRecord& record);

// What one sweep came to, as the account below gathers it.
struct SweepSummary {
  SweepTrigger trigger = SweepTrigger::kManual;
  bool preview = false;
  int categories = 0;  // bits: 1 << SweepCategory
  int items = 0;       // numbered items
  double kb = 0.0;     // removed and scheduled
  int notRemoved = 0;
  std::vector<OutcomeRecord> left;       // the first kEventListLength not removed
  std::vector<OutcomeRecord> databases;  // databases refused or held
  double seconds = 0.0;
  std::string stopped;  // why the sweep stopped before its end; empty when it ran through
};

// The events of a sweep that ended: 1000, then 1001 when items stayed, then
// one 1003 per database, then 1004 when it stopped before its end. A preview
// writes none (it leaves nothing).
std::vector<EventText> SweepEvents(const SweepSummary& summary);
// 1002 for what the rule reader refused in files and in the entries a
// sweep would run; none when nothing was refused.
std::vector<EventText> RuleEvents(const RuleSet& rules);
// 1004: what stopped and why.
EventText StoppedEvent(const std::string& what, const std::string& reason);

// Gathers what a sweep does from the outcome ledger, from its first entry
// to the end the shell announces. Attach once per process; the categories
// of one sweep may run on several threads at once.
class SweepAccount : public OutcomeSink {
 public:
  SweepAccount() = default;
  ~SweepAccount() override { Detach(); }
  SweepAccount(const SweepAccount&) = delete;
  SweepAccount& operator=(const SweepAccount&) = delete;

  void Attach() { AttachOutcomeSink(this); }
  void Detach() { DetachOutcomeSink(this); }

  // The trigger of the next sweep to begin (the one running keeps its own).
  void SetTrigger(SweepTrigger trigger);
  // Begins a sweep now when none is open.
  void Begin();
  // The open sweep stops before its end (cancelled, cut short at exit);
  // nothing when none is open.
  void NoteStopped(const std::string& reason);
  bool IsOpen();
  // Closes the open sweep and returns it; a sweep that never began (nothing
  // ran) is returned empty with the pending trigger.
  SweepSummary End();

  void Record(const OutcomeRecord& record) override;
  void EntryOpened(int category, const std::string& entry, bool preview) override;

 private:
  void BeginLocked();

  std::mutex m_lock;
  bool m_bOpen = false;
  SweepTrigger m_pending = SweepTrigger::kManual;
  ULONGLONG m_start = 0;
  SweepSummary m_summary;
};

// The account of the running program (resident or once).
SweepAccount& ProgramSweepAccount();
// Ends the open sweep and writes its events at the level in force; nothing
// when no sweep began since the last end.
void ReportSweepEnded();

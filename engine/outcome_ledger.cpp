#include "engine/outcome_ledger.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/preview.h"
#include "engine/sweep_log.h"

namespace {
std::atomic<int> g_notRemoved{0};
thread_local int t_category = -1;
// Thread-locals here and elsewhere in the engine are plain values and
// pointers, never objects with destructors: with emulated thread storage the
// runtime frees a thread's storage before it runs those destructors, so they
// would free what was already freed. Under Wine that fault is swallowed at
// thread exit with the runtime's key lock still held, and the process then
// hangs in exit(). The scope that sets a pointer owns what it points to.
thread_local const std::string* t_entry = nullptr;

// Sinks are few and attached rarely; a record holds the lock while it is
// handed out, so Detach waits for calls inside the sink.
std::mutex g_sinkLock;
std::vector<OutcomeSink*> g_sinks;
}  // namespace

bool OutcomeNotRemoved(Outcome outcome) {
  return outcome != Outcome::kRemoved && outcome != Outcome::kScheduled && outcome != Outcome::kGuarded &&
         outcome != Outcome::kHoldsLeftItem;
}

void AttachOutcomeSink(OutcomeSink* sink) {
  std::lock_guard<std::mutex> hold(g_sinkLock);
  if (sink != nullptr && std::find(g_sinks.begin(), g_sinks.end(), sink) == g_sinks.end()) g_sinks.push_back(sink);
}

void DetachOutcomeSink(OutcomeSink* sink) {
  std::lock_guard<std::mutex> hold(g_sinkLock);
  g_sinks.erase(std::remove(g_sinks.begin(), g_sinks.end(), sink), g_sinks.end());
}

namespace {
// Hands a record to every sink, named by this thread's scope.
void Dispatch(OutcomeRecord record) {
  std::lock_guard<std::mutex> hold(g_sinkLock);
  if (g_sinks.empty()) return;
  record.category = t_category;
  if (t_entry != nullptr) record.entry = *t_entry;
  record.preview = PreviewActive();
  for (OutcomeSink* sink : g_sinks) sink->Record(record);
}
}  // namespace

namespace {
thread_local long t_leftRecords = 0;
}  // namespace

long LeftRecordsOnThisThread() { return t_leftRecords; }

void RecordOutcome(Outcome outcome, const std::string& item, double kb, const std::string& reason) {
  if (OutcomeNotRemoved(outcome)) g_notRemoved.fetch_add(1, std::memory_order_relaxed);
  if (outcome != Outcome::kRemoved && outcome != Outcome::kScheduled) ++t_leftRecords;
  OutcomeRecord record;
  record.item = item;
  record.kb = kb;
  record.outcome = outcome;
  record.reason = reason;
  Dispatch(std::move(record));
}

void NoteNumberedLine(const std::string& item, double kb, Outcome outcome) {
  OutcomeRecord record;
  record.numbered = true;
  record.item = item;
  record.kb = kb;
  record.outcome = outcome;
  Dispatch(std::move(record));
}

namespace {
const char* DefaultReason(Outcome outcome) {
  switch (outcome) {
    case Outcome::kHeld:
      return "another program holds it";
    case Outcome::kRefused:
      return "refused";
    case Outcome::kNotScheduled:
      return "it could be neither removed now nor scheduled for removal at restart";
    case Outcome::kGuarded:
      return "a protected place";
    case Outcome::kHoldsLeftItem:
      return "it still holds an item that was not removed";
    default:
      return "the system refused it";
  }
}
}  // namespace

void RecordLeft(Outcome outcome, const std::string& item, const std::string& reason) {
  const std::string why = reason.empty() ? std::string(DefaultReason(outcome)) : reason;
  RecordOutcome(outcome, item, 0.0, why);
  if (outcome == Outcome::kGuarded || !OutcomeNotRemoved(outcome)) return;
  LogFormat(0, "   Not removed: %s: %s.\n", item.c_str(), why.c_str());
}

Outcome OutcomeOfError(unsigned long error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? Outcome::kHeld : Outcome::kFailed;
}

std::string ErrorReason(unsigned long error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return DefaultReason(Outcome::kHeld);
  return "the system refused it (error " + std::to_string(error) + ")";
}

int NotRemovedCount() { return g_notRemoved.load(std::memory_order_relaxed); }
void ResetOutcomes() { g_notRemoved.store(0, std::memory_order_relaxed); }

EntryScope::EntryScope(int category, const std::string& entry)
    : m_nPreviousCategory(t_category), m_strEntry(entry), m_pPreviousEntry(t_entry) {
  t_category = category;
  t_entry = &m_strEntry;
  std::lock_guard<std::mutex> hold(g_sinkLock);
  if (g_sinks.empty()) return;
  const bool preview = PreviewActive();
  for (OutcomeSink* sink : g_sinks) sink->EntryOpened(category, entry, preview);
}

EntryScope::~EntryScope() {
  t_category = m_nPreviousCategory;
  t_entry = m_pPreviousEntry;
}

// The outcome ledger: what became of every item a sweep set out to remove.
// Removal primitives, database cleaners and the rule cleaner record each
// outcome here after the call, with what really happened; the one-shot
// report's "Not removed" line and the exit code are read from here, and a
// sink (the preview table) may receive every record as it is made.
#pragma once
#include <string>

enum class Outcome : int {
  kRemoved,       // gone (in a preview: would go)
  kScheduled,     // removal at the next restart is scheduled
  kGuarded,       // left on purpose: a protected place the removal guard turned away
  kRefused,       // left: not what the cleaner knows how to clean (damaged or unknown data, text that does not convert)
  kHeld,          // left: another program holds it
  kFailed,        // the system refused or the call failed
  kNotScheduled,  // could be neither removed now nor scheduled for removal at restart
  // left: a folder that still holds an item left behind. That item is
  // counted on its own; the folder is listed but not counted again.
  kHoldsLeftItem,
};

// Removed and scheduled count as done, guarded as by design, and a folder
// that holds a left item through that item; every other outcome counts as
// not removed.
bool OutcomeNotRemoved(Outcome outcome);

struct OutcomeRecord {
  int category = -1;   // the SweepCategory of the EntryScope in force, -1 when none
  std::string entry;   // the target or rule entry in force, "" when none
  std::string item;    // a path, a registry key or key and value, a database and what left it
  double kb = 0.0;     // size in KB; 0 for registry items
  Outcome outcome = Outcome::kRemoved;
  std::string reason;  // why it was left; empty for removed and scheduled
  bool preview = false;
  // A numbered line of the log ("Item N, ..."): the sweep's count of items
  // is its numbered lines, which a table must add up to. Such a record names
  // the item the line numbers in full (item, kb, outcome removed or
  // scheduled). An item is a numbered record or a record of an item that
  // stays; a removed record that is not numbered is part of a numbered item
  // (the values of a deleted key) and is not counted apart.
  bool numbered = false;
};

// Receives every record, on the thread that makes it (any thread, several at
// once). Detach returns only when no call is inside the sink any more.
class OutcomeSink {
 public:
  virtual ~OutcomeSink() = default;
  virtual void Record(const OutcomeRecord& record) = 0;
  // An EntryScope opened (on that thread): the entry runs, whether or not
  // it goes on to record anything. preview: as PreviewActive() there.
  virtual void EntryOpened(int category, const std::string& entry, bool preview) {}
};
void AttachOutcomeSink(OutcomeSink* sink);
void DetachOutcomeSink(OutcomeSink* sink);

// Records one outcome under this thread's EntryScope and PreviewActive().
void RecordOutcome(Outcome outcome, const std::string& item, double kb, const std::string& reason = std::string());

// Records an item that stays (any outcome but removed and scheduled) and
// writes the line that says so, after the call that left it:
// "   Not removed: <item>: <reason>.\n" (status 0). A guarded item is
// recorded without a line: the guard names its refusals itself. An empty
// reason takes the outcome's own wording.
void RecordLeft(Outcome outcome, const std::string& item, const std::string& reason = std::string());

// The outcome of a file call that failed with a system error: held by
// another program (a sharing or lock violation) or failed.
Outcome OutcomeOfError(unsigned long error);
// "the system refused it (error 5)" and the like, for a failed call.
std::string ErrorReason(unsigned long error);

// Tells the sinks that the log numbered an item under this thread's
// EntryScope (NumberItem and LogItem with a counter call it), with the item's
// full name and size; counts nothing here.
void NoteNumberedLine(const std::string& item, double kb, Outcome outcome = Outcome::kRemoved);

// Records of items that stay (any outcome but removed and scheduled) made
// on this thread so far: a walk compares it before and after a folder's
// contents to tell a folder kept by what it holds from one that only holds
// items it never set out to remove.
long LeftRecordsOnThisThread();

// Items recorded as not removed since the last reset.
int NotRemovedCount();
void ResetOutcomes();

// Names the category and entry of the records this thread makes while it
// lives; restores the previous ones when it ends. Target cleaners and the rule
// cleaner open one per target or rule entry.
class EntryScope {
 public:
  EntryScope(int category, const std::string& entry);
  ~EntryScope();
  EntryScope(const EntryScope&) = delete;
  EntryScope& operator=(const EntryScope&) = delete;

 private:
  int m_nPreviousCategory;
  std::string m_strEntry;
  const std::string* m_pPreviousEntry;
};

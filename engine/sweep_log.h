// The sweep log: the free functions through which everything a sweep reports
// reaches the progress window. They reach it through a process-wide pointer
// and do nothing while no window is attached, so cleaners never check for one.
#pragma once
#include <cstddef>
#include <string>

#include "engine/outcome_ledger.h"

#include "winlib/format_line.h"
#include "winlib/timed_lock.h"

// Control IDs of the progress window that the log addresses.
enum ProgressControlId : int {
  IDC_PROGRESS_WINDOWS = 1058,
  IDC_PROGRESS_INTERNET = 1059,
  IDC_PROGRESS_APPLICATIONS = 1060,
  IDC_SWEEP_LOG = 1061,
  IDC_STATUS_WINDOWS = 1064,
  IDC_STATUS_INTERNET = 1065,
  IDC_STATUS_APPLICATIONS = 1066,
  IDC_TOTALS = 1083,
};

// What a category procedure owns and passes to every cleaner as two pointers.
struct SweepTally {
  int count = 0;     // items removed
  float kb = 0.0f;   // kilobytes restored
};

// The receiving end of the sweep log: the progress window, or a recorder in
// tests. Every method may be called from any thread, several at once.
// Implementations must never wait for the GUI thread (no SendMessage from a
// worker): at exit the GUI thread detaches the sink while workers still log,
// and a worker that waits for it would deadlock the exit.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void AppendLog(const char* text) = 0;
  virtual void SetItemText(int id, const char* text) = 0;
  virtual bool HasItem(int id) const = 0;
  virtual void SetBarRange(int id, int low, int high) = 0;
  virtual void SetBarPos(int id, unsigned pos) = 0;
  virtual void SetCaption(const char* text) = 0;

  // Totals of the current sweep, guarded by m_lock.
  TimedLock m_lock;
  int m_nTotalItems = 0;
  float m_fTotalKB = 0.0f;
};

// Attaches the window that receives the log (null: none).
void AttachProgressSink(ProgressSink* sink);
// Detaches the current sink. Returns only when no log call is inside it any
// more; from then on no call reaches it. Call before destroying the sink.
void DetachProgressSink();
ProgressSink* CurrentProgressSink();

// Appends text to the log unchanged; with a statusId, also shows it there.
void LogLine(const char* text, int statusId);
// Appends text followed by the time stamp " @ %H:%M - %b %d %Y\n".
void LogStamped(const char* text, int statusId);
// Formats a line of any length (printf rules), then LogLine.
void LogFormat(int statusId, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The counting rule for one removed item: with a counter, increments it and
// logs indent + "Item %d, " + message with statusId; without, logs
// indent + message with status 0. The message is printf-formatted. The
// ledger's sinks learn the item by the line's own text; LogItemOf names it.
void LogItem(int* count, int statusId, const char* indent, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// As LogItem, naming the item in full (a path, a key and value with its
// hive) and its size in KB for the ledger's sinks.
void LogItemOf(int* count, int statusId, const char* indent, const std::string& item, double kb,
               const char* format, ...) __attribute__((format(printf, 6, 7)));

// The counting rule alone, for a line written otherwise: with a counter,
// increments it and tells the ledger's sinks of the numbered item (its full
// name and size); returns the new number, or 0 without a counter.
int NumberItem(int* count, const std::string& item, double kb = 0.0, Outcome outcome = Outcome::kRemoved);

// Sets a progress bar; values above 100 show 100.
void SetProgress(int barId, unsigned percent);
void SetTitle(const char* text);
void AddTotals(int count, float kb);
// Shows "Total: %d item(s) swept, %.3f KB restored." in the totals line; in
// a preview (on this thread) the preview totals line instead.
void ShowTotals();
// "Total: %d item(s) swept, %.3f KB restored." or, for a preview,
// "Preview: %d item(s), %.3f KB would be swept.", without a line break.
void FormatTotalsLine(char* line, size_t size, int items, float kb, bool preview);
// The end of a preview: the preview totals line in the totals line and as
// the log's last line.
void LogPreviewTotals();
// Status lines and totals line to "Waiting to start sweeping", bars to 0 of
// 0..100, caption "Sweeping Progress", totals to 0.
void ResetProgress();

// The items of the current sweep that could not be removed and were not
// scheduled for removal at restart either (locked, refused, links left).
// The removal primitives note each one; the one-shot report prints the sum.
// These read and write the outcome ledger (engine/outcome_ledger.h), which
// is where new code records what became of an item.
void NoteRemovalFailure();
int RemovalFailures();
void ResetRemovalFailures();

// Sets a status line's text without a line in the log.
void SetStatusLine(int statusId, const char* text);

extern const char kWaitingText[];     // "Waiting to start sweeping"
extern const char kNotPartText[];     // "Not part of this sweep"
extern const char kProgressCaption[];  // "Sweeping Progress"
extern const char kPreviewCaption[];   // "Preview"
extern const char kCancelledCaption[];  // "Sweeping Cancelled"
extern const char kCancelledLine[];     // "Sweeping cancelled." (stamped)

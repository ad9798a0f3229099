#include "engine/sweep_log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "winlib/time_format.h"

const char kWaitingText[] = "Waiting to start sweeping";
const char kNotPartText[] = "Not part of this sweep";
const char kProgressCaption[] = "Sweeping Progress";
const char kPreviewCaption[] = "Preview";
const char kCancelledCaption[] = "Sweeping Cancelled";
const char kCancelledLine[] = "Sweeping cancelled.";

namespace {
// Each log call takes a reference to the sink for the length of the call.
// Detaching clears the pointer first, so no new call can reach the old sink,
// then waits until the calls in flight have left it. Sinks never block on the
// GUI thread, so that wait is short. (A reader-writer lock would do the same,
// but under a steady stream of readers its writer may never get in.)
struct SinkSlot {
  SinkSlot() {
    ::InitializeCriticalSection(&cs);
    idle = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  }
  CRITICAL_SECTION cs;
  HANDLE idle;  // signalled when the last call a detach waits for has left
  ProgressSink* sink = nullptr;
  long active = 0;
  bool waiting = false;  // a detach waits for `idle`
};

SinkSlot& Slot() {
  static SinkSlot* slot = new SinkSlot;  // never destroyed: workers may log during exit
  return *slot;
}

class SinkAccess {
 public:
  SinkAccess() {
    SinkSlot& s = Slot();
    ::EnterCriticalSection(&s.cs);
    m_sink = s.sink;
    if (m_sink != nullptr) ++s.active;
    ::LeaveCriticalSection(&s.cs);
  }
  ~SinkAccess() {
    if (m_sink == nullptr) return;
    SinkSlot& s = Slot();
    ::EnterCriticalSection(&s.cs);
    // Event calls cost a round trip to the wineserver: signal only a waiter.
    if (--s.active == 0 && s.waiting) {
      s.waiting = false;
      ::SetEvent(s.idle);
    }
    ::LeaveCriticalSection(&s.cs);
  }
  SinkAccess(const SinkAccess&) = delete;
  SinkAccess& operator=(const SinkAccess&) = delete;
  ProgressSink* operator->() const { return m_sink; }
  explicit operator bool() const { return m_sink != nullptr; }
  ProgressSink* Get() const { return m_sink; }

 private:
  ProgressSink* m_sink;
};

const int kStatusIds[] = {IDC_STATUS_WINDOWS, IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS, IDC_TOTALS};
const int kBarIds[] = {IDC_PROGRESS_WINDOWS, IDC_PROGRESS_INTERNET, IDC_PROGRESS_APPLICATIONS};
}  // namespace

void AttachProgressSink(ProgressSink* sink) {
  SinkSlot& s = Slot();
  ::EnterCriticalSection(&s.cs);
  s.sink = sink;
  const bool busy = s.active > 0;
  if (busy) {
    s.waiting = true;
    ::ResetEvent(s.idle);
  }
  ::LeaveCriticalSection(&s.cs);
  // Calls that still hold the previous sink finish before this returns.
  if (busy) ::WaitForSingleObject(s.idle, INFINITE);
}

void DetachProgressSink() { AttachProgressSink(nullptr); }

ProgressSink* CurrentProgressSink() {
  SinkAccess sink;
  return sink.Get();
}

void LogLine(const char* text, int statusId) {
  SinkAccess sink;
  if (!sink) return;
  sink->AppendLog(text);
  if (statusId != 0) sink->SetItemText(statusId, text);
}

void LogStamped(const char* text, int statusId) {
  {
    SinkAccess sink;
    if (!sink) return;  // skip the formatting when nobody listens
  }
  std::string line = text;
  line += FormatLocalTime(kStampFormat);
  LogLine(line.c_str(), statusId);
}

namespace {
// Formats a line of any length: a path of 200 CJK characters takes 600 bytes
// in UTF-8, and the line must still name it in full.
std::string VFormatAny(const char* format, va_list args) {
  char small[512];
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  std::string text;
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    text.assign(small, static_cast<size_t>(n));
  } else if (n >= 0) {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(&text[0], text.size(), format, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return text;
}
}  // namespace

void LogFormat(int statusId, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string line = VFormatAny(format, args);
  va_end(args);
  LogLine(line.c_str(), statusId);
}

int NumberItem(int* count, const std::string& item, double kb, Outcome outcome) {
  if (count == nullptr) return 0;
  ++*count;
  NoteNumberedLine(item, kb, outcome);
  return *count;
}

namespace {
// The name of an item a line numbers without naming it apart: the line's
// message, without its closing full stop and line break.
std::string NameOfLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

void LogNumbered(int* count, int statusId, const char* indent, const std::string* item, double kb,
                 const std::string& message) {
  std::string line = indent;
  if (count != nullptr)
    line += "Item " + std::to_string(NumberItem(count, item != nullptr ? *item : NameOfLine(message), kb)) + ", ";
  line += message;
  LogLine(line.c_str(), count != nullptr ? statusId : 0);
}
}  // namespace

void LogItem(int* count, int statusId, const char* indent, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = VFormatAny(format, args);
  va_end(args);
  LogNumbered(count, statusId, indent, nullptr, 0.0, message);
}

void LogItemOf(int* count, int statusId, const char* indent, const std::string& item, double kb,
               const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = VFormatAny(format, args);
  va_end(args);
  LogNumbered(count, statusId, indent, &item, kb, message);
}

void SetStatusLine(int statusId, const char* text) {
  SinkAccess sink;
  if (sink && statusId != 0) sink->SetItemText(statusId, text);
}

void SetProgress(int barId, unsigned percent) {
  SinkAccess sink;
  if (sink) sink->SetBarPos(barId, percent > 100 ? 100 : percent);
}

void SetTitle(const char* text) {
  SinkAccess sink;
  if (sink) sink->SetCaption(text);
}

void AddTotals(int count, float kb) {
  SinkAccess sink;
  if (!sink) return;
  TimedLockGuard hold(sink->m_lock, TimedLockGuard::kPatient);
  sink->m_nTotalItems += count;
  sink->m_fTotalKB += kb;
}

void ShowTotals() {
  SinkAccess sink;
  if (!sink || !sink->HasItem(IDC_TOTALS)) return;
  // The text is set under the lock too: two categories ending together must
  // not leave the older sum on screen.
  TimedLockGuard hold(sink->m_lock, TimedLockGuard::kPatient);
  char line[128];
  FormatTotalsLine(line, sizeof line, sink->m_nTotalItems, sink->m_fTotalKB, PreviewActive());
  sink->SetItemText(IDC_TOTALS, line);
}

void FormatTotalsLine(char* line, size_t size, int items, float kb, bool preview) {
  FormatLine(line, size,
             preview ? "Preview: %d item(s), %.3f KB would be swept." : "Total: %d item(s) swept, %.3f KB restored.",
             items, static_cast<double>(kb));
}

void LogPreviewTotals() {
  SinkAccess sink;
  if (!sink) return;
  char line[128];
  {
    TimedLockGuard hold(sink->m_lock, TimedLockGuard::kPatient);
    FormatTotalsLine(line, sizeof line, sink->m_nTotalItems, sink->m_fTotalKB, true);
  }
  if (sink->HasItem(IDC_TOTALS)) sink->SetItemText(IDC_TOTALS, line);
  std::string text = line;
  text += '\n';
  sink->AppendLog(text.c_str());
}

void ResetProgress() {
  SinkAccess sink;
  if (!sink) return;
  for (int id : kStatusIds) sink->SetItemText(id, kWaitingText);
  for (int id : kBarIds) {
    sink->SetBarRange(id, 0, 100);
    sink->SetBarPos(id, 0);
  }
  sink->SetCaption(kProgressCaption);
  TimedLockGuard hold(sink->m_lock, TimedLockGuard::kPatient);
  sink->m_nTotalItems = 0;
  sink->m_fTotalKB = 0.0f;
}

void NoteRemovalFailure() { RecordOutcome(Outcome::kFailed, std::string(), 0.0); }
int RemovalFailures() { return NotRemovedCount(); }
void ResetRemovalFailures() { ResetOutcomes(); }

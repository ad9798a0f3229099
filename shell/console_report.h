// The report of "/once /report": a progress sink that writes every log line
// to standard output, and at the end the totals line. Used only in one-shot
// mode, where no window exists.
#pragma once
#include <windows.h>

#include "engine/sweep_log.h"

class ConsoleReport : public ProgressSink {
 public:
  // Writes to `out` (not owned). A null or invalid handle writes nothing.
  explicit ConsoleReport(HANDLE out);
  ~ConsoleReport() override;
  ConsoleReport(const ConsoleReport&) = delete;
  ConsoleReport& operator=(const ConsoleReport&) = delete;

  // Standard output as the program was given it; when it has none (a GUI
  // program started from a console), the console of the parent process.
  // Null when there is neither.
  static HANDLE FindStandardOutput();

  bool CanWrite() const { return m_hOut != nullptr && m_hOut != INVALID_HANDLE_VALUE; }

  // Each text becomes one line: a line break is added when it lacks one.
  void AppendLog(const char* text) override;
  // Status lines repeat what the log already shows; bars and caption have no
  // place in a text report.
  void SetItemText(int, const char*) override {}
  bool HasItem(int) const override { return false; }
  void SetBarRange(int, int, int) override {}
  void SetBarPos(int, unsigned) override {}
  void SetCaption(const char*) override {}

  // "Total: %d item(s) swept, %.3f KB restored." from the totals; after a
  // preview "Preview: %d item(s), %.3f KB would be swept.", since nothing was.
  void WriteTotals();
  void SetPreview(bool on) { m_bPreview = on; }
  // "Not removed: %d item(s) could not be removed or scheduled for restart."
  void WriteNotRemoved(int items);

 private:
  void Write(const char* text, size_t length);

  HANDLE m_hOut;
  bool m_bConsole;
  bool m_bPreview = false;
  CRITICAL_SECTION m_cs;
};

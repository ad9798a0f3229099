// What the control panel's pages share: the worker's lock held for a scope,
// the steps before a sweep started by hand, the "Last Sweeping Time" text,
// the "Log" buttons and the exchange of check boxes with page fields.
#pragma once
#include <windows.h>

#include <string>

#include "settings/page_fields.h"
#include "winlib/window.h"

class CPropertySheet;
class PanelHost;
class SweepWorker;

// The main window's WM_SHOW_PROGRESS, posted by the "Log" buttons.
constexpr UINT kShowProgressMessage = WM_USER + 12;

// Holds the worker's lock for a scope (the lock waits as long as it takes).
class WorkerHold {
 public:
  explicit WorkerHold(SweepWorker* worker);
  ~WorkerHold();
  WorkerHold(const WorkerHold&) = delete;
  WorkerHold& operator=(const WorkerHold&) = delete;

 private:
  SweepWorker* m_pWorker;
};

// Before a sweep started from the panel: the log window beside the panel when
// the progress is always shown, a fresh progress display when nothing runs,
// the start line (none: null), and Apply pressed so that every page has
// stored its settings before a category reads them.
void PrepareManualSweep(PanelHost* host, CPropertySheet* sheet, const char* startLine);

// True when a sweep started from the panel should close it.
bool RunsInBackground();

// "Last Sweeping Time: %H:%M - %b %d %Y" of a stored time (seconds since 1970, UTC) in local time.
std::string FormatLastSweep(int when);

// The "Log" buttons: asks the main window to show the progress window.
void PostShowProgress(PanelHost* host);

// Check boxes to fields (save) or fields to check boxes.
template <class Fields>
void ExchangeChecks(CWnd& page, CheckBindings<Fields> checks, Fields& fields, bool save) {
  for (const auto& c : checks) {
    if (save)
      fields.*c.field = page.GetCheck(c.controlId) == BST_CHECKED ? 1 : 0;
    else
      page.SetCheck(c.controlId, fields.*c.field == 1 ? BST_CHECKED : BST_UNCHECKED);
  }
}

template <class Fields>
bool IsBoundCheck(CheckBindings<Fields> checks, int id) {
  for (const auto& c : checks)
    if (c.controlId == id) return true;
  return false;
}

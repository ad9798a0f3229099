// PanelLink: what the main window asks of the control panel while it is open.
// The sheet lives in ui/ and knows nothing of the shell; the main window
// reaches it through this small interface, so its bookkeeping can be driven
// in tests with a stand-in panel.
#pragma once
#include <windows.h>

class PanelLink {
 public:
  virtual ~PanelLink() = default;

  // The sheet's window.
  virtual HWND Window() const = 0;
  // The Settings page's "Sweep Now" button, which reads "Cancel Sweep" while
  // a sweep it started runs.
  virtual void SweepAll() = 0;
  // The sweep timer fired while the panel is open; true when a category was
  // requested.
  virtual bool StartTimedSweep() = 0;
  // A category has ended: its page is not running any more, its sweep button
  // gets its caption back and its "Last Sweeping Time" label is refreshed
  // (the main window has stamped and saved the group already).
  virtual void CategoryEnded(int category) = 0;
  // The last category of a whole sweep has ended: the Settings page's button
  // reads "Sweep Now" again and its label is refreshed.
  virtual void WholeSweepEnded() = 0;
  // The last category of a preview has ended: "Sweep Now" and "Preview" are
  // offered again.
  virtual void PreviewEnded() = 0;
  // Ends the sheet's modal loop with result.
  virtual void EndModal(int result) = 0;
};

// PanelHost: what the control panel asks of the resident program around it:
// the worker, the "whole sweep running" flag, the sweep timer, the tray
// animation and the progress window. The main window implements it, so the
// panel never includes a shell header; tests plug in a fake.
#pragma once
#include <windows.h>

class SweepWorker;

class PanelHost {
 public:
  virtual ~PanelHost() = default;

  // The hidden main window (the panel posts WM_SHOW_PROGRESS to it); null
  // when it does not exist.
  virtual HWND MainWindow() const = 0;
  virtual SweepWorker* Worker() = 0;

  // The application's flag: a sweep of all enabled categories is running.
  virtual bool IsSweeping() const = 0;
  virtual void SetSweeping(bool on) = 0;
  // The whole sweep running is a preview (IsSweeping is set with it).
  virtual bool IsPreviewing() const = 0;
  virtual void SetPreviewing(bool on) = 0;
  // Any sweep or preview runs, whoever started it (the schedule, the tray, a
  // browser that closed, the preview table): "Preview" waits meanwhile.
  virtual bool AnySweepRuns() { return IsSweeping(); }
  // A sweep of entries chosen in the preview table runs (IsSweeping is set
  // with it): the panel starts nothing meanwhile, and no button of the panel
  // may turn into a whole sweep.
  virtual bool IsSweepingSelected() const { return false; }

  // seconds > 0; arming an armed timer restarts the interval.
  virtual void SetSweepTimer(int seconds) = 0;
  virtual void CancelSweepTimer() = 0;
  virtual void StartTrayAnimation() = 0;

  // Moves the open panel so that the log window can take the right half of
  // the screen (or to the top left corner when the screen is too narrow).
  virtual void PlacePanelForLog() = 0;
  // Shows the progress window, creating it shown when it does not exist.
  virtual void ShowProgressWindow() = 0;
  // The startup window in its About form, modal over owner.
  virtual void ShowAbout(HWND owner) = 0;
  // A preview from the Settings page was requested (the worker's lock is
  // held, so no category has started): its records are kept from now on,
  // for the table shown when it ends.
  virtual void BeginPreviewRecords() {}
};

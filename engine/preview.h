// Preview: a sweep that logs and counts exactly as a real one and changes
// nothing on disk or in the registry. The switch belongs to the sweep, not to
// the process: a category procedure turns it on for its own thread while it
// runs (PreviewScope, from the worker's setting), and every primitive that
// changes the machine asks PreviewActive() before it does.
#pragma once

// True while the sweep running on this thread is a preview.
bool PreviewActive();

// Sets the switch for this thread and restores the previous state when it
// goes out of scope, so a test or an early return cannot leave it on.
class PreviewScope {
 public:
  explicit PreviewScope(bool on);
  ~PreviewScope();
  PreviewScope(const PreviewScope&) = delete;
  PreviewScope& operator=(const PreviewScope&) = delete;

 private:
  bool m_bPrevious;
};

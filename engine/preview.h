// Preview: a sweep that logs and counts exactly as a real one and changes
// nothing on disk or in the registry. The switch belongs to the sweep, not to
// the process: a category procedure turns it on for its own thread while it
// runs (PreviewScope, from the worker's setting), and every primitive that
// changes the machine asks PreviewActive() before it does.
#pragma once
#include <windows.h>

#include <string>

// True while the sweep running on this thread is a preview.
bool PreviewActive();

// Sets the switch for this thread and restores the previous state when it
// goes out of scope, so a test or an early return cannot leave it on. A
// preview that starts or ends forgets what its steps noted as taken.
class PreviewScope {
 public:
  explicit PreviewScope(bool on);
  ~PreviewScope();
  PreviewScope(const PreviewScope&) = delete;
  PreviewScope& operator=(const PreviewScope&) = delete;

 private:
  bool m_bPrevious;
};

// A real sweep removes some files along with another item (a cache entry
// takes its local file), so a later step never meets them. In a preview the
// earlier step notes the file here (by identity, whatever name reaches it)
// and the file removal counts it no second time. Nothing is noted outside a
// preview.
void NoteTakenInPreview(const std::string& path);
// Whether the file behind an open handle was noted by this thread's preview.
bool TakenInPreview(HANDLE file);

// Removal of a single named file that must go now or, failing that, at the
// next restart, whatever the Deep Sweep option says. Used by cleaners that
// pick files by name rather than by walking a folder with a DirWalker.
#pragma once
#include <string>

enum class RestartRemoval {
  kRemovedNow,     // the file is gone
  kAtRestart,      // it could not be removed now; the system took it for removal at restart
  kNotScheduled,   // it could be neither removed now nor scheduled (a standard user may not schedule)
  kRefused,        // the guard refused the path, or it is a link: nothing was removed
};

// Deletes the file without shredding; when that fails, hands it to the
// system for removal at the next restart. A link under the file's name is
// left as it is (kRefused): what it leads to is not ours. Every outcome is
// recorded in the outcome ledger after the call (the file and its size when
// it went or was scheduled; a line naming it when it stays), so callers log
// and count kRemovedNow and kAtRestart only. In a preview every check runs
// and nothing changes: a file that cannot be opened for deletion reports
// kAtRestart.
RestartRemoval RemoveNowOrAtRestart(const std::string& path);

// Asks the system to remove path at the next restart (the wide long form:
// the path may pass MAX_PATH). True in a preview. False when the system
// turns it down, which it always does for a standard user.
bool ScheduleRemovalAtRestart(const std::string& path);

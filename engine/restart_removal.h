// Removal of a single named file that must go now or, failing that, at the
// next restart, whatever the Deep Sweep option says. Used by cleaners that
// pick files by name rather than by walking a folder with a DirWalker.
#pragma once
#include <string>

enum class RestartRemoval {
  kRemovedNow,     // the file is gone
  kAtRestart,      // it could not be removed now; removal at restart was asked for
  kRefused,        // the removal guard refused the path: nothing was tried
};

// Deletes the file without shredding; when that fails, hands it to the
// system for removal at the next restart (the result says kAtRestart even
// when the system turns that down: the trace says so). In a preview nothing
// changes and the result is what a real run would most likely give: a file
// that cannot be opened for deletion reports kAtRestart.
RestartRemoval RemoveNowOrAtRestart(const std::string& path);

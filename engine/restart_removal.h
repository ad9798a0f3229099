// Removal of a single named file that must go now or, failing that, at the
// next restart, whatever the Deep Sweep option says. Used by cleaners that
// pick files by name rather than by walking a folder with a DirWalker.
#pragma once
#include <string>

enum class RestartRemoval {
  kRemovedNow,     // the file is gone
  kAtRestart,      // it could not be removed now; removal at restart was asked for
  kRefused,        // the guard refused the path, or it is a link: nothing was removed
};

// Deletes the file without shredding; when that fails, hands it to the
// system for removal at the next restart (the result says kAtRestart even
// when the system turns that down: the trace says so). A link under the
// file's name is left as it is (kRefused): what it leads to is not ours. In a
// preview every check runs and nothing changes: a file that cannot be opened
// for deletion reports kAtRestart.
RestartRemoval RemoveNowOrAtRestart(const std::string& path);

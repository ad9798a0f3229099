// What the built-in rules say besides their numbered lines: a running browser
// holds its files open, so a line asks to close it for a full sweep; and the
// system's temporary folder is for an administrator only, so anyone else gets
// one line instead of a failure per file. One BuiltinNotes lives for one
// category's run of rule entries.
#pragma once
#include <string>
#include <vector>

struct RuleEntry;

class BuiltinNotes {
 public:
  // Running processes are listed once, when a browser's entry first asks.
  BuiltinNotes() = default;

  // Before an enabled, applying entry runs: writes the entry's notes (each at
  // most once per run). False when the entry must not run at all.
  bool BeforeEntry(const RuleEntry& entry, int statusId);

  // For tests: the executable names (lower case) taken as running, instead of
  // the process list.
  void SetRunningForTest(const std::vector<std::string>& exeNames);

  // Whether this process may sweep the system's temporary folder; tests may
  // replace it.
  static bool (*s_isAdministrator)();

 private:
  bool Running(const char* exeName);

  bool m_bListed = false;
  std::vector<std::string> m_running;  // lower case
  std::vector<std::string> m_said;     // browsers already named
};

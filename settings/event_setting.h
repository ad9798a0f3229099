// Whether Morvane writes to the Windows event log, and how much: the
// "EventLog" number of General Settings (per user, then the machine), which
// the machine policy of the same name overrides.
#pragma once

extern const char kEventLogValueName[];  // "EventLog"

enum EventLogLevel : int {
  EVENT_LOG_OFF = 0,       // nothing
  EVENT_LOG_PROBLEMS = 1,  // what needs someone's attention: items left, refusals, a failed start
  EVENT_LOG_ALL = 2,       // the above, and an information event at the end of every sweep
};
// Problems only: an administrator hears of what needs acting on, and a
// machine that sweeps every hour does not fill its log with routine notes.
constexpr int kDefaultEventLogLevel = EVENT_LOG_PROBLEMS;

// The level in force now: the policy, else the user's setting, else the
// machine's, else the default. A setting out of range counts as absent; a
// policy value of the wrong type or out of range fixes the default.
int EventLogLevelNow();
// Whether a policy sets the level (the user's choice then has no effect).
bool EventLogLevelFixedByPolicy();

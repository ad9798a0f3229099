// Lists stored as numbered subkeys (CusDir.0, CusDir.1, ... and Cookie.0, ...):
// the rewrite that survives an interruption, and the name helpers both the
// load and the rewrite use.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

class RegKey;

// Tests play a process that dies half-way through a rewrite: when set, this
// is called once the new entries are written, and returning false ends the
// rewrite there, before any stale entry is removed.
extern bool (*g_pfnListRewriteCheckpoint)();

// Tests play a value write that fails: when set, it is asked before each
// value of a list entry is written ("Dir", "Flt", "SubInc", or the removal
// of "Dir" as "-Dir"), and returning false makes that write fail.
extern bool (*g_pfnListValueWrite)(const char* value);
// True unless the test hook above turns the write of value down.
bool ListValueWriteAllowed(const char* value);

// ASCII letters compared without regard to case (registry names are).
bool EqualsNoCase(const std::string& a, const char* b);
bool StartsWithNoCase(const std::string& name, const char* prefix);

// The N of a name "<stem>.<N>" (stem compared without regard to case, N plain
// decimal without leading zeros); -1 for any other name.
int EntryNumber(const std::string& name, const char* stem);

// Rewrites the list below `parent` as exactly the subkeys <stem>.0 to
// <stem>.<count-1>: first creates or opens each and lets `write` fill it,
// then removes every other subkey whose name begins with the stem. When a
// subkey cannot be created or written, nothing is removed, so the stored list
// stays complete (old entries past the new end remain); the result is then
// false. Also false when a stale entry could not be removed.
bool RewriteNumberedSubkeys(RegKey& parent, const char* stem, size_t count,
                            const std::function<bool(RegKey& entry, size_t n)>& write);

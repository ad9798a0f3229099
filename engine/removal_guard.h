// The removal guard: the one place that decides whether a search pattern or a
// file path may be acted on at all. Folder references come from registry
// values and environment strings that anyone can change; a reference that
// resolves to nothing, to something relative, to a drive root or to one of
// the system's or the user's own root folders is never swept.
#pragma once
#include <string>

// Null when removals may run in the folder part of patternOrPath (everything
// before its last '\' or '/'), otherwise why not. The folder itself must not
// be a protected one; its subfolders are fine.
const char* RemovalRefusal(const std::string& patternOrPath);

// RemovalRefusal == null; a refusal is written to the diagnostic trace.
bool RemovalAllowed(const std::string& patternOrPath);

// The folder part of patternOrPath in the form the guard compares: made
// absolute, "." and ".." resolved, short names made long, no trailing
// separator (except after a drive letter). Empty when it is not absolute.
std::string CanonicalFolderOf(const std::string& patternOrPath);

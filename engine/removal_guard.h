// The removal guard: the one place that decides whether a search pattern or a
// file path may be acted on at all. Folder references come from registry
// values and environment strings that anyone can change; a reference that
// resolves to nothing, to something relative, to a drive root or to one of
// the system's or the user's own root folders is never swept. A folder is
// judged by what it reaches (its identity), not only by how it is spelled:
// links, shares and second drive letters lead to the same folders.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// What a folder is, whatever name reached it.
struct FolderIdentity {
  DWORD volume = 0;
  uint64_t index = 0;
  bool operator==(const FolderIdentity& o) const { return volume == o.volume && index == o.index; }
};
// The identity of the file or folder an open handle reaches. False on failure.
bool IdentityOf(HANDLE h, FolderIdentity* out);

// Null when removals may run in the folder part of patternOrPath (everything
// before its last '\' or '/'), otherwise why not. The folder itself must not
// be a protected one; its subfolders are fine. Any text holding a NUL is
// refused; so is a folder that exists but cannot be opened to be judged.
const char* RemovalRefusal(const std::string& patternOrPath);

// RemovalRefusal == null; a refusal is written to the diagnostic trace.
bool RemovalAllowed(const std::string& patternOrPath);

// The folder part of patternOrPath in the form the guard compares: made
// absolute, "." and ".." resolved, short names made long, no trailing
// separator (except after a drive letter). Empty when it is not absolute.
std::string CanonicalFolderOf(const std::string& patternOrPath);

// The text half of RemovalRefusal alone: NUL, relative, root, protected text.
const char* TextRefusal(const std::string& patternOrPath);
// The identity half, on a folder already open: null when the folder behind
// the handle is neither a protected folder nor a drive root.
const char* FolderHandleRefusal(HANDLE folder);
// The same for an identity already read.
const char* IdentityRefusal(const FolderIdentity& id);

// For tests: judges the folder at path (by identity) as protected too, until
// ClearExtraProtectedFolders. Set while no sweep runs.
bool ProtectFolderForTests(const std::string& path);
void ClearExtraProtectedFolders();

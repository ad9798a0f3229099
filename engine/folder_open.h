// Open and check: the one way a folder that is about to be swept is opened.
// The part of the path the system gave (a known folder, a variable's value)
// is opened as the system resolves it; every segment past it is opened
// relative to its parent's handle, without following a link, and checked to
// be its parent's own plain folder. So whatever is judged on the handle
// that comes back is what the removal acts on: a segment swapped for a
// junction between a check and the removal leads nowhere.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/removal_guard.h"  // FolderIdentity

enum class FolderOpen {
  kOpen,     // the handle is the folder
  kMissing,  // a segment does not exist: nothing to sweep
  kLink,     // a segment past the trusted part is a link, or leads out of its parent
  kFailed,   // a segment cannot be opened (access, sharing): not judged, not swept
};

// Opens the canonical folder ("C:\a\b", no trailing separator).
// trustedLength: how much of folder the system gave (links in it are
// followed); at least the drive ("C:\"). access: what the caller needs on
// the last segment (listing, DELETE). On kOpen, *out owns a handle.
// opened (optional): the identities of the folders the handle was reached
// through, itself first, then each parent up to the volume's root. They can
// differ from what the handle's own name tells: under Wine a drive letter
// may lead to a folder inside another, and names what is below it by the
// letter. kFailed when they cannot be read.
FolderOpen OpenFolderChecked(const std::string& folder, size_t trustedLength, ACCESS_MASK access, HANDLE* out,
                             std::vector<FolderIdentity>* opened = nullptr);

// True when the handle reaches exactly `name` inside the folder whose
// system name is folderObjectName, not something a link leads to.
bool ReachesOwnEntry(HANDLE h, const std::wstring& folderObjectName, const std::wstring& name);

// True when the folder h, opened as `name` relative to parent (whose system
// name is parentObjectName), is the parent's own plain folder: it reaches
// exactly that entry, or (under Wine, where a drive letter that leads to it
// names it) the parent lists it under that name as a folder that is no link,
// with h's file id. info: what GetFileInformationByHandle gave for h.
bool IsOwnFolderEntry(HANDLE parent, const std::wstring& parentObjectName, HANDLE h, const std::wstring& name,
                      const BY_HANDLE_FILE_INFORMATION& info);

// The trusted length callers use when they know no better: everything but
// the last segment (the folder's parent as the system names it).
size_t ParentLength(const std::string& folder);

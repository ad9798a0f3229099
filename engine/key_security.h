// Access lists of registry keys: the current user's SID and its text form,
// saving a key's DACL, building a DACL that gives the user and the system
// full access, and writing a DACL to a key (and to every key below it).
// Writing asks the preview switch; reading never changes anything.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A heap block that owns a SID, an ACL or a self-relative descriptor.
using SecurityBlock = std::vector<BYTE>;

// The SID of the process token's user, copied into sid. False (sid empty) on
// any failure.
bool GetCurrentUserSid(SecurityBlock& sid);

// "S-1-<authority>-<sub-authority>...": the authority is the last byte of
// the identifier authority, each sub-authority an unsigned decimal.
std::string FormatSidString(PSID sid);

// Reads the DACL of root\path (opened with READ_CONTROL) as a self-relative
// descriptor into saved. True with the descriptor; true with saved empty
// when the key reports a descriptor of zero size; false (saved empty) when
// the key cannot be opened or read.
bool SaveKeyDacl(HKEY root, const std::string& path, SecurityBlock& saved);

// Builds the DACL that allows KEY_ALL_ACCESS, inherited by subkeys, to the
// user and to LocalSystem, in that order, sized exactly; installs it in the
// absolute descriptor sd as a present, not defaulted DACL. acl must outlive
// every use of sd. False when a step fails.
bool BuildOpenKeyDescriptor(PSID userSid, SECURITY_DESCRIPTOR* sd, SecurityBlock& acl);

// Writes the DACL of sd to root\path (opened with WRITE_DAC). When recursive
// and the write succeeded, does the same to every subkey below, each key
// before its subkeys; a subkey that fails is skipped. False when the key
// itself cannot be opened or written, or the path is empty. In a preview
// nothing is written and the result tells only whether the key exists.
bool ApplyKeyDacl(HKEY root, const std::string& path, PSECURITY_DESCRIPTOR sd, bool recursive);

// Registry keys the user may read but not change (as a machine key is for a
// standard user): the system then refuses every deletion in them.
#pragma once
#include <windows.h>

#include <string>

// Gives Everyone read access only. False when the list cannot be set.
inline bool MakeKeyReadOnly(HKEY root, const std::string& path) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  BYTE aclBytes[128];
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  SECURITY_DESCRIPTOR sd;
  if (!::CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize) ||
      !::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) || !::AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, sid) ||
      !::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) || !::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE))
    return false;
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS) return false;
  const bool ok = ::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  ::RegCloseKey(h);
  return ok;
}

// Gives Everyone no access to the key but to its access list: the key is
// there, and opening it for reading or deleting is refused.
inline bool MakeKeySealed(HKEY root, const std::string& path) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  BYTE aclBytes[128];
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  SECURITY_DESCRIPTOR sd;
  if (!::CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize) ||
      !::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) ||
      !::AddAccessAllowedAce(acl, ACL_REVISION, READ_CONTROL | WRITE_DAC, sid) ||
      !::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) || !::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE))
    return false;
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS) return false;
  const bool ok = ::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  ::RegCloseKey(h);
  return ok;
}

// Opens the key to everyone again (a test's scratch keys must be removable).
inline void MakeKeyWritable(HKEY root, const std::string& path) {
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS) return;
  SECURITY_DESCRIPTOR open;
  ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  ::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &open);
  ::RegCloseKey(h);
}

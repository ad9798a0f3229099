// Registry key access lists: reading, building and writing DACLs.
#include "engine/key_security.h"

#include <cstdio>

#include "engine/preview.h"
#include "winlib/trace.h"
#include "winlib/unique_handle.h"

namespace {

// Bytes an ACCESS_ALLOWED_ACE takes for a SID: the fixed 8 bytes of header
// and mask plus the SID (the struct's SidStart DWORD is where the SID begins).
DWORD AllowedAceSize(PSID sid) { return 8 + ::GetLengthSid(sid); }

bool ApplyRecursively(HKEY root, const std::string& path, PSECURITY_DESCRIPTOR sd) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return true;
  ScopedHKey key(raw);
  DWORD subKeys = 0;
  if (::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return true;
  for (DWORD i = 0; i < subKeys; ++i) {
    char name[261];
    const LONG status = ::RegEnumKeyA(key.Get(), i, name, sizeof name);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    ApplyKeyDacl(key.Get(), name, sd, true);
  }
  return true;
}

}  // namespace

bool GetCurrentUserSid(SecurityBlock& sid) {
  sid.clear();
  HANDLE rawToken = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
    Trace("OpenProcessToken failed: %lu\n", ::GetLastError());
    return false;
  }
  ScopedHandle token(rawToken);
  DWORD size = 0;
  if (::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    Trace("GetTokenInformation gave no size: %lu\n", ::GetLastError());
    return false;
  }
  SecurityBlock info(size);
  if (!::GetTokenInformation(token.Get(), TokenUser, info.data(), size, &size)) {
    Trace("GetTokenInformation failed: %lu\n", ::GetLastError());
    return false;
  }
  PSID user = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
  if (user == nullptr || !::IsValidSid(user)) return false;
  SecurityBlock copy(::GetLengthSid(user));
  if (!::CopySid(static_cast<DWORD>(copy.size()), copy.data(), user)) return false;
  sid.swap(copy);
  return true;
}

std::string FormatSidString(PSID sid) {
  if (sid == nullptr || !::IsValidSid(sid)) return std::string();
  char text[256];
  const PSID_IDENTIFIER_AUTHORITY authority = ::GetSidIdentifierAuthority(sid);
  int n = std::snprintf(text, sizeof text, "S-1-%lu", static_cast<unsigned long>(authority->Value[5]));
  const DWORD subCount = *::GetSidSubAuthorityCount(sid);
  for (DWORD i = 0; i < subCount && n > 0 && static_cast<size_t>(n) < sizeof text; ++i)
    n += std::snprintf(text + n, sizeof text - n, "-%lu", static_cast<unsigned long>(*::GetSidSubAuthority(sid, i)));
  return text;
}

bool SaveKeyDacl(HKEY root, const std::string& path, SecurityBlock& saved) {
  saved.clear();
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &raw) != ERROR_SUCCESS) return false;
  ScopedHKey key(raw);
  DWORD size = 0;
  LONG status = ::RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  if (status == ERROR_SUCCESS && size == 0) return true;
  if (status != ERROR_INSUFFICIENT_BUFFER) {
    Trace("Cannot read the access list of %s: %ld\n", path.c_str(), static_cast<long>(status));
    return false;
  }
  SecurityBlock block(size);
  status = ::RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, block.data(), &size);
  if (status != ERROR_SUCCESS) {
    Trace("Cannot read the access list of %s: %ld\n", path.c_str(), static_cast<long>(status));
    return false;
  }
  saved.swap(block);
  return true;
}

bool BuildOpenKeyDescriptor(PSID userSid, SECURITY_DESCRIPTOR* sd, SecurityBlock& acl) {
  acl.clear();
  if (userSid == nullptr || !::IsValidSid(userSid)) return false;
  // LocalSystem, S-1-5-18, built in place: nothing to free.
  union {
    SID sid;
    BYTE bytes[SECURITY_MAX_SID_SIZE];
  } system = {};
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (!::InitializeSid(&system.sid, &nt, 1)) return false;
  *::GetSidSubAuthority(&system.sid, 0) = SECURITY_LOCAL_SYSTEM_RID;

  const DWORD size = sizeof(ACL) + AllowedAceSize(userSid) + AllowedAceSize(&system.sid);
  SecurityBlock block(size);
  PACL list = reinterpret_cast<PACL>(block.data());
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  if (!::InitializeAcl(list, size, ACL_REVISION) ||
      !::AddAccessAllowedAceEx(list, ACL_REVISION, inherit, KEY_ALL_ACCESS, userSid) ||
      !::AddAccessAllowedAceEx(list, ACL_REVISION, inherit, KEY_ALL_ACCESS, &system.sid)) {
    Trace("Cannot build the access list: %lu\n", ::GetLastError());
    return false;
  }
  if (!::InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(sd, TRUE, list, FALSE)) {
    Trace("Cannot build the descriptor: %lu\n", ::GetLastError());
    return false;
  }
  acl.swap(block);  // the vector's storage moves with it: sd still points at it
  return true;
}

bool ApplyKeyDacl(HKEY root, const std::string& path, PSECURITY_DESCRIPTOR sd, bool recursive) {
  if (path.empty()) return false;
  if (PreviewActive()) {
    HKEY probe = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &probe) != ERROR_SUCCESS) return false;
    ::RegCloseKey(probe);
    return true;
  }
  HKEY raw = nullptr;
  LONG status = ::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &raw);
  if (status != ERROR_SUCCESS) return false;
  {
    ScopedHKey key(raw);
    status = ::RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd);
  }
  if (status != ERROR_SUCCESS) {
    Trace("Cannot write the access list of %s: %ld\n", path.c_str(), static_cast<long>(status));
    return false;
  }
  if (recursive) ApplyRecursively(root, path, sd);
  return true;
}

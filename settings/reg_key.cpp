#include "settings/reg_key.h"


#include <vector>

#include "winlib/reg_tree.h"

const char kProductKeyPath[] = "SOFTWARE\\Calderix\\Morvane";

namespace {
// Every open and create asks for full access.
constexpr REGSAM kAccess = KEY_ALL_ACCESS;

// Subkey names have at most 255 characters; 257 leaves room for the terminator
// when the snapshot says nothing.
constexpr DWORD kDefaultNameBuffer = 257;
// Value names get at least this many characters (with the terminator), so that
// a short name added after the snapshot still fits.
constexpr DWORD kMinValueNameBuffer = 19;

// The program's own keys hold only what it wrote. A registry link there, on
// the way or as the key itself, would turn its bookkeeping (values dropped as
// stale, values written) on another program's key: they are opened without
// following one, and a link makes the key as good as absent.
bool IsOwnKeyPath(HKEY root, const std::string& path) {
  if (root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return false;
  const size_t n = sizeof kProductKeyPath - 1;
  return path.size() >= n && _strnicmp(path.c_str(), kProductKeyPath, n) == 0 && (path.size() == n || path[n] == '\\');
}

LONG OpenPath(HKEY root, const std::string& path, REGSAM access, HKEY* out) {
  *out = nullptr;
  if (!IsOwnKeyPath(root, path)) return ::RegOpenKeyExA(root, path.c_str(), 0, access, out);
  LONG rc = OpenKeyNoLink(root, path, access, out);
  if (rc == ERROR_SUCCESS && IsRegistryLink(*out)) {
    ::RegCloseKey(*out);
    *out = nullptr;
    rc = kLinkOnTheWay;
  }
  return rc;
}

// Opens root\path, or creates it when it is not there. A key of the program's
// own is created only when no link stands on its way (the open says where it
// stopped) and checked again once made.
LONG OpenOrCreate(HKEY root, const std::string& path, HKEY* out) {
  LONG rc = OpenPath(root, path, kAccess, out);
  if (rc != ERROR_FILE_NOT_FOUND) return rc;
  HKEY made = nullptr;
  rc = ::RegCreateKeyExA(root, path.c_str(), 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                         &made, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (!IsOwnKeyPath(root, path)) {
    *out = made;
    return ERROR_SUCCESS;
  }
  ::RegCloseKey(made);
  return OpenPath(root, path, kAccess, out);
}
}  // namespace

void EnsureProductKeys() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY key = nullptr;
    if (OpenOrCreate(root, kProductKeyPath, &key) == ERROR_SUCCESS) ::RegCloseKey(key);
  }
}

RegKey::RegKey(const std::string& path, HKEY root) : m_strPath(path), m_hRoot(root) {
  LONG rc = OpenPath(root, path, kAccess, &m_hKey);
  // A key the user may only read (a machine key for a standard user, a key
  // behind an access list) is opened for reading: what it holds can still
  // be read, and a change asked of it fails where the caller sees it,
  // instead of the key looking absent.
  if (rc == ERROR_ACCESS_DENIED) rc = OpenPath(root, path, KEY_READ, &m_hKey);
  if (rc != ERROR_SUCCESS) {
    m_hKey = nullptr;
    return;
  }
  QueryInfo();
}

RegKey::RegKey(HKEY handle) : m_hRoot(handle), m_hKey(handle) { QueryInfo(); }

RegKey::~RegKey() { Close(); }

void RegKey::Close() {
  if (m_hKey != nullptr) ::RegCloseKey(m_hKey);
  m_hKey = nullptr;
}

void RegKey::QueryInfo() {
  m_nSubKeys = m_cchMaxSubKey = m_cchMaxClass = 0;
  m_nValues = m_cchMaxValueName = m_cbMaxValueData = m_cbSecurityDescriptor = 0;
  m_ftLastWrite = FILETIME{};
  m_cchClass = MAX_PATH;
  if (m_hKey == nullptr) return;
  // On failure the counts stay 0 and the cursors fall back to their defaults.
  ::RegQueryInfoKeyA(m_hKey, m_szClass, &m_cchClass, nullptr, &m_nSubKeys, &m_cchMaxSubKey, &m_cchMaxClass,
                     &m_nValues, &m_cchMaxValueName, &m_cbMaxValueData, &m_cbSecurityDescriptor, &m_ftLastWrite);
}

bool RegKey::Create() {
  // A wrapped handle is its own root: it is the key already, and closing it
  // would leave nothing to open the path under.
  if (m_hKey != nullptr && m_hKey == m_hRoot) {
    QueryInfo();
    return true;
  }
  Close();
  if (OpenPath(m_hRoot, m_strPath, kAccess, &m_hKey) != ERROR_SUCCESS) {
    EnsureProductKeys();
    if (OpenOrCreate(m_hRoot, m_strPath, &m_hKey) != ERROR_SUCCESS) {
      m_hKey = nullptr;
      return false;
    }
  }
  QueryInfo();
  return true;
}

bool RegKey::QueryValue(const char* name, void* data, DWORD* size) {
  if (m_hKey == nullptr) return false;
  return ::RegQueryValueExA(m_hKey, name, nullptr, nullptr, static_cast<BYTE*>(data), size) == ERROR_SUCCESS;
}

bool RegKey::SetValue(const char* name, DWORD type, const void* data, DWORD size) {
  if (m_hKey == nullptr) return false;
  return ::RegSetValueExA(m_hKey, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool RegKey::DeleteValue(const char* name) {
  if (m_hKey == nullptr) return false;
  return ::RegDeleteValueA(m_hKey, name) == ERROR_SUCCESS;
}

bool RegKey::DeleteSubKey(const char* name) {
  if (m_hKey == nullptr || name == nullptr || *name == '\0') return false;
  // Walked here, never by a call that walks the tree itself and follows a
  // link planted among the entries to the key it names.
  HKEY sub = nullptr;
  if (OpenKeyNoLink(m_hKey, name, KEY_READ | DELETE, &sub) != ERROR_SUCCESS) return false;
  KeyTreeRemoval walk;
  const bool gone = walk.Remove(sub, name);
  ::RegCloseKey(sub);
  return gone;
}

HKEY RegKey::OpenSubKey(const char* path) {
  if (m_hKey == nullptr) return nullptr;
  HKEY sub = nullptr;
  if (::RegOpenKeyExA(m_hKey, path, 0, kAccess, &sub) != ERROR_SUCCESS) return nullptr;
  return sub;
}

void RegKey::NameBelow(const RegKey& parent, const std::string& path) {
  m_hHive = parent.Hive();
  m_strParentPath = parent.FullPath();
  m_strPath = path;
}

bool RegKey::EnumKey(std::string& name) {
  if (m_hKey == nullptr) return false;
  const DWORD length = m_cchMaxSubKey != 0 ? m_cchMaxSubKey + 1 : kDefaultNameBuffer;
  std::vector<char> buffer(length, '\0');
  const DWORD index = static_cast<DWORD>(m_nSubKeyIndex++);
  if (::RegEnumKeyA(m_hKey, index, buffer.data(), length) != ERROR_SUCCESS) return false;
  buffer[length - 1] = '\0';
  name = buffer.data();
  return true;
}

bool RegKey::EnumValue(std::string& name, void* data, DWORD* size, DWORD* type) {
  if (m_hKey == nullptr) return false;
  DWORD length = kDefaultNameBuffer;
  if (m_cchMaxValueName != 0)
    length = (m_cchMaxValueName > kMinValueNameBuffer - 1 ? m_cchMaxValueName : kMinValueNameBuffer - 1) + 1;
  std::vector<char> buffer(length, '\0');
  const DWORD index = static_cast<DWORD>(m_nValueIndex++);
  DWORD cch = length;
  if (::RegEnumValueA(m_hKey, index, buffer.data(), &cch, nullptr, type, static_cast<BYTE*>(data), size) !=
      ERROR_SUCCESS)
    return false;
  buffer[length - 1] = '\0';
  name = buffer.data();
  return true;
}

// Registry helpers for the cleaning tests: seeding values and subkeys below
// the sandboxed HKEY_CURRENT_USER with the raw API (so the code under test is
// checked against the registry itself) and snapshots of a whole key tree.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "engine/nt_calls.h"

namespace regseed {

inline void Put(const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), (DWORD)bytes.size());
  ::RegCloseKey(key);
}
// A REG_SZ with its terminator.
inline void Sz(const std::string& path, const char* name, const std::string& text) {
  Put(path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}
inline void MakeKey(const std::string& path) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ::RegCloseKey(key);
}

struct Value {
  DWORD type;
  std::string bytes;
  bool operator==(const Value& o) const { return type == o.type && bytes == o.bytes; }
};

inline bool Has(const std::string& path, const char* name, Value* out = nullptr) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool found = ::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  if (found && out != nullptr) {
    out->type = type;
    out->bytes.assign(size, '\0');
    ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&out->bytes[0]), &size);
    out->bytes.resize(size);
  }
  ::RegCloseKey(key);
  return found;
}

inline bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

// "sub\key|name" -> value for every value below path; "sub\key|" marks a key.
inline void SnapshotInto(const std::string& path, const std::string& rel, std::map<std::string, Value>& out) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  out[rel + "|"] = Value{0, std::string()};
  char name[16384];
  static BYTE data[65536];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name, size = sizeof data, type = 0;
    if (::RegEnumValueA(key, i, name, &cch, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    out[rel + "|" + name] = Value{type, std::string(reinterpret_cast<char*>(data), size)};
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(name);
  }
  ::RegCloseKey(key);
  for (const auto& s : subkeys) SnapshotInto(path + "\\" + s, rel.empty() ? s : rel + "\\" + s, out);
}
inline std::map<std::string, Value> Snapshot(const std::string& path) {
  std::map<std::string, Value> out;
  SnapshotInto(path, "", out);
  return out;
}

// The registry's own name of root\path ("\REGISTRY\USER\<sid>\..."), empty
// when it does not open.
inline std::wstring KeyNameOf(HKEY root, const std::string& path) {
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::wstring();
  const std::wstring name = nt::KeyName(h);
  ::RegCloseKey(h);
  return name;
}

// A registry link root\path (REG_OPTION_CREATE_LINK) that leads to the key
// the registry names target. A link key outlives the sandbox's cleanup
// (deleting it needs the link opened as such), so every test names its
// links afresh (UniqueLinkName) and drops what it left with DropLink.
inline bool MakeLink(HKEY root, const std::string& path, const std::wstring& target) {
  HKEY link = nullptr;
  if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                        nullptr, &link, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                                   static_cast<DWORD>(target.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
  ::RegCloseKey(link);
  return ok;
}
inline std::string UniqueLinkName(const char* stem) {
  static int n = 0;
  return std::string(stem) + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount()) + "-" +
         std::to_string(++n);
}
// Removes the link root\path itself, if it is still there.
inline void DropLink(HKEY root, const std::string& path) {
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  static const auto del =
      reinterpret_cast<NtDeleteKeyFn>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
  HKEY h = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | DELETE, &h) != ERROR_SUCCESS) return;
  if (del != nullptr) del(h);
  ::RegCloseKey(h);
}

}  // namespace regseed

// Registry helpers for the cleaning tests: seeding values and subkeys below
// the sandboxed HKEY_CURRENT_USER with the raw API (so the code under test is
// checked against the registry itself) and snapshots of a whole key tree.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

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

}  // namespace regseed

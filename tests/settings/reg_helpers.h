// Direct registry reads and writes for the settings tests, bypassing RegKey so
// that the code under test is checked against the registry itself.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace regtest {

struct Raw {
  bool found = false;
  DWORD type = 0;
  std::string bytes;
};

inline Raw Read(HKEY root, const std::string& path, const char* name) {
  Raw raw;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return raw;
  DWORD size = 0;
  if (::RegQueryValueExA(key, name, nullptr, &raw.type, nullptr, &size) == ERROR_SUCCESS) {
    raw.bytes.resize(size);
    raw.found = ::RegQueryValueExA(key, name, nullptr, &raw.type,
                                   reinterpret_cast<BYTE*>(raw.bytes.empty() ? nullptr : &raw.bytes[0]),
                                   &size) == ERROR_SUCCESS;
    raw.bytes.resize(size);
  }
  ::RegCloseKey(key);
  return raw;
}

// A stored text without its terminator (Wine stores one even when the writer
// gave the text's length only).
inline std::string Text(HKEY root, const std::string& path, const char* name) {
  std::string bytes = Read(root, path, name).bytes;
  if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  return bytes;
}

// A 4-byte REG_BINARY number as stored; -1 when absent or not 4 bytes long.
inline long long Number(HKEY root, const std::string& path, const char* name) {
  Raw raw = Read(root, path, name);
  if (!raw.found || raw.type != REG_BINARY || raw.bytes.size() != 4) return -1;
  unsigned v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<unsigned>(static_cast<unsigned char>(raw.bytes[i])) << (8 * i);
  return static_cast<int>(v);
}

inline bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

inline void Put(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(key);
}

inline void PutText(HKEY root, const std::string& path, const char* name, const std::string& text) {
  Put(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline void PutNumber(HKEY root, const std::string& path, const char* name, int value) {
  Put(root, path, name, REG_BINARY, &value, 4);
}

inline void MakeKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (key) ::RegCloseKey(key);
}

// Subkey names in the registry's order.
inline std::vector<std::string> SubKeys(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[260];
  for (DWORD i = 0; ::RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.emplace_back(name);
  ::RegCloseKey(key);
  return names;
}

// Value names in the registry's order.
inline std::vector<std::string> Values(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[260];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    if (::RegEnumValueA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name);
  }
  ::RegCloseKey(key);
  return names;
}

}  // namespace regtest

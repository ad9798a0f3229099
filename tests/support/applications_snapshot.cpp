// Before/after listings of folders and both registry hives.
#include "applications_snapshot.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string Hash(const void* data, size_t size) {
  // FNV-1a: enough to tell a rewritten file or value from an untouched one.
  unsigned long long h = 1469598103934665603ull;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
  char text[40];
  std::snprintf(text, sizeof text, "%zu:%016llx", size, h);
  return text;
}

std::string FileHash(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "unreadable";
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got != 0) bytes.append(buffer, got);
  ::CloseHandle(h);
  return Hash(bytes.data(), bytes.size());
}

}  // namespace

ApplicationsSnapshot::ApplicationsSnapshot(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) ListFolder(folder);
  ListKey(HKEY_CURRENT_USER, "HKCU", "");
  ListKey(HKEY_LOCAL_MACHINE, "HKLM", "");
}

void ApplicationsSnapshot::ListFolder(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      m_entries["dir:" + path] = link ? "link" : "";
      if (!link) ListFolder(path);
    } else {
      m_entries["file:" + path] = FileHash(path);
    }
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
}

void ApplicationsSnapshot::ListKey(void* root, const std::string& rootName, const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(static_cast<HKEY>(root), path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return;
  const std::string shown = rootName + (path.empty() ? "" : "\\" + path);
  m_entries["key:" + shown] = "";
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name, type = 0, dataSize = 0;
    if (::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
    std::string data(dataSize, '\0');
    nameSize = sizeof name;
    ::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &dataSize);
    data.resize(dataSize);
    m_entries["value:" + shown + "|" + name] = std::to_string(type) + ":" + Hash(data.data(), data.size());
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name, nameSize);
  }
  ::RegCloseKey(key);
  for (const std::string& sub : subkeys) ListKey(root, rootName, path.empty() ? sub : path + "\\" + sub);
}

ApplicationsSnapshot::Diff ApplicationsSnapshot::Compare(const ApplicationsSnapshot& later) const {
  Diff diff;
  for (const auto& [entry, description] : m_entries) {
    auto it = later.m_entries.find(entry);
    if (it == later.m_entries.end())
      diff.removed.push_back(entry);
    else if (it->second != description)
      diff.changed.push_back(entry);
  }
  for (const auto& [entry, description] : later.m_entries)
    if (m_entries.count(entry) == 0) diff.added.push_back(entry);
  return diff;
}

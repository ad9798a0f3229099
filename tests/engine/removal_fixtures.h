// Shared pieces of the removal tests: option switches, folder snapshots,
// a record of overwrite writes, and the machine's list of removals pending
// at restart (which the tests must leave as they found it).
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "engine/file_removal.h"
#include "settings/settings_groups.h"

// Sets the General options for one test and restores them afterwards.
class RemovalOptions {
 public:
  RemovalOptions(bool deepSweep, bool shredder) : m_saved(g_GeneralSettings.m_nTargets) {
    int t = m_saved & ~(GENERAL_DEEP_SWEEP | GENERAL_SHREDDER);
    if (deepSweep) t |= GENERAL_DEEP_SWEEP;
    if (shredder) t |= GENERAL_SHREDDER;
    g_GeneralSettings.m_nTargets = t;
  }
  ~RemovalOptions() { g_GeneralSettings.m_nTargets = m_saved; }

 private:
  int m_saved;
};

// Relative path -> content of every file and folder below root (folders map
// to "<dir>"), links listed but never entered.
inline void SnapshotInto(const std::string& root, const std::string& rel, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((root + (rel.empty() ? "" : "\\" + rel) + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string r = rel.empty() ? name : rel + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      out[r] = "<link>";
    } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[r] = "<dir>";
      SnapshotInto(root, r, out);
    } else {
      out[r] = ReadFileBytes(root + "\\" + r);
    }
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
}
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  SnapshotInto(root, "", out);
  return out;
}

// Records every overwrite write while it lives.
struct WriteRecord {
  std::string name;
  unsigned char fill;
  uint32_t bytes;
};
class OverwriteRecorder {
 public:
  OverwriteRecorder() {
    SetOverwriteObserver([this](const std::string& name, unsigned char fill, uint32_t bytes) {
      writes.push_back({name, fill, bytes});
      if (onWrite) onWrite(name);
    });
  }
  ~OverwriteRecorder() { SetOverwriteObserver(nullptr); }
  std::vector<WriteRecord> writes;
  std::function<void(const std::string&)> onWrite;
};

// The PendingFileRenameOperations value of the real machine key (read with
// no registry override in force), restored when this goes away.
class PendingRenames {
 public:
  PendingRenames() : m_had(Read(m_saved)) {}
  ~PendingRenames() {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (m_had)
      ::RegSetValueExA(key, kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(m_saved.data()),
                       (DWORD)m_saved.size());
    else
      ::RegDeleteValueA(key, kValue);
    ::RegCloseKey(key);
  }
  // True when a pending removal names path (the value holds "\??\" + path).
  bool Names(const std::string& path) const {
    std::string now;
    if (!Read(now)) return false;
    const std::string wanted = "\\??\\" + path;
    for (size_t at = 0; at < now.size();) {
      size_t end = now.find('\0', at);
      if (end == std::string::npos) end = now.size();
      if (lstrcmpiA(now.substr(at, end - at).c_str(), wanted.c_str()) == 0) return true;
      at = end + 1;
    }
    return false;
  }

 private:
  static constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const char* kValue = "PendingFileRenameOperations";
  static bool Read(std::string& out) {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    bool ok = ::RegQueryValueExA(key, kValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
      out.assign(size, '\0');
      ok = ::RegQueryValueExA(key, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&out[0]), &size) ==
           ERROR_SUCCESS;
      out.resize(size);
    }
    ::RegCloseKey(key);
    return ok;
  }
  std::string m_saved;
  bool m_had;
};

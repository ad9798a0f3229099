// FileFind: a folder search over FindFirstFileA/FindNextFileA that reads one
// entry ahead. FindNextFile makes the entry read ahead current and returns
// whether there is yet another one, so the entry made current by the call
// that returns false is still valid and must be processed too.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "winlib/unique_handle.h"

class FileFind {
 public:
  FileFind() = default;
  FileFind(const FileFind&) = delete;
  FileFind& operator=(const FileFind&) = delete;

  // Starts a search on pattern (folder + mask). False when nothing matches
  // or the folder cannot be read; no entry is current yet either way.
  bool FindFile(const std::string& pattern);
  // Makes the next entry current. Returns false when that entry was the last
  // one (it is current all the same) or when there was none left.
  bool FindNextFile();
  void Close();

  // Tests of the current entry.
  bool IsDots() const;
  bool IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
  // A junction or symbolic link (a folder link under Wine).
  bool IsReparsePoint() const { return MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT); }
  bool MatchesMask(DWORD mask) const { return m_hasCurrent && (m_current.dwFileAttributes & mask) != 0; }
  DWORD GetAttributes() const { return m_current.dwFileAttributes; }
  uint64_t GetLength() const;
  std::string GetFileName() const { return m_hasCurrent ? m_current.cFileName : std::string(); }
  // Folder part of the pattern + "\" + name.
  std::string GetFilePath() const;
  // The folder part of the pattern, without a trailing separator.
  const std::string& GetRoot() const { return m_root; }

 private:
  ScopedFind m_find;
  std::string m_root;
  WIN32_FIND_DATAA m_next{};     // read ahead
  WIN32_FIND_DATAA m_current{};  // what the tests look at
  bool m_hasNext = false;
  bool m_hasCurrent = false;
};

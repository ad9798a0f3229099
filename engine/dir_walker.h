// DirWalker: one folder search and the removal loops that run over it
// (RemoveTree, RemoveFiles, RemoveFilesExcept) plus CollectFiles, which lists
// without removing. Every file and folder a sweep removes from a folder is
// removed here, logged by the counting rule and added to the caller's tally.
// The removal guard judges every pattern when the walker is built: a walker
// on a refused pattern finds nothing.
#pragma once
#include <cstdint>
#include <string>

#include "settings/settings_groups.h"
#include "winlib/file_find.h"

class DirWalker {
 public:
  // pattern: a folder followed by "\*.*" or by a file mask. rebootFallback:
  // files that cannot be removed now are scheduled for removal at restart.
  DirWalker(const std::string& pattern, bool rebootFallback);
  ~DirWalker() = default;
  DirWalker(const DirWalker&) = delete;
  DirWalker& operator=(const DirWalker&) = delete;

  bool HasMore() const { return m_hasMore; }
  // Makes the next entry current and returns HasMore(). The entry made
  // current by the call that returns false is valid too.
  bool Next();
  void Close();

  // The current entry.
  bool IsDots() const { return m_search.IsDots(); }
  bool IsDirectory() const { return m_search.IsDirectory(); }
  bool IsReparsePoint() const { return m_search.IsReparsePoint(); }
  bool MatchesMask(DWORD mask) const { return m_search.MatchesMask(mask); }
  std::string GetFileName() const { return m_search.GetFileName(); }
  std::string GetFilePath() const { return m_search.GetFilePath(); }

  // Removes every file matched and every folder matched with all it holds,
  // depth first; the folder that holds the pattern stays. Links are removed
  // as links and never entered. guardShellFiles 1 keeps "desktop.ini" files
  // and wipes a locked index.dat in place.
  void RemoveTree(int guardShellFiles, int statusId, int* count, float* kb);
  // Removes the plain files matched; folders are left alone.
  void RemoveFiles(int statusId, int* count, float* kb);
  // Removes the plain files matched except those named exactly "index.dat"
  // and those whose path is the path half of an entry of keepList. Never
  // schedules anything for restart.
  void RemoveFilesExcept(const StringPairList& keepList, int statusId, int* count, float* kb);
  // Empties list, then appends ("", full path) for every plain file matched
  // that is not named exactly "index.dat" and is not a friendly cookie.
  void CollectFiles(StringPairList& list);

 private:
  enum class Loop { kTree, kFiles, kExcept };
  void HandleFile(Loop loop, int guardShellFiles, int statusId, int* count, float* kb);

  FileFind m_search;
  bool m_refused = false;  // the guard turned the pattern down
  bool m_hasMore = false;
  bool m_rebootFallback;
};

// True when path equals the path half of a friendly cookie (the Internet
// group's list, read in place: only the GUI thread changes it, and only the
// GUI thread asks).
bool IsFriendlyCookie(const std::string& path);
// True when path equals the path half of an entry of list (exact match).
bool ListHasPath(const StringPairList& list, const std::string& path);

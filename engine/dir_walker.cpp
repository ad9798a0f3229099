#include "engine/dir_walker.h"

#include <windows.h>

#include <cctype>

#include "engine/file_removal.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "winlib/file_status.h"
#include "winlib/trace.h"

namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), (int)a.size(), b, -1) == CSTR_EQUAL;
}

std::string Lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "(After Rebooting)" lines are shown in the status line even without a counter.
void LogScheduled(int* count, int statusId, const std::string& path, float sizeKB) {
  if (count != nullptr) {
    ++*count;
    LogFormat(statusId, "   Item %d, Remove File %s, size %.3f(KB) (After Rebooting).\n", *count, path.c_str(),
              static_cast<double>(sizeKB));
  } else {
    LogFormat(statusId, "   Remove File %s, size %.3f(KB) (After Rebooting).\n", path.c_str(),
              static_cast<double>(sizeKB));
  }
}

}  // namespace

DirWalker::DirWalker(const std::string& pattern, bool rebootFallback) : m_rebootFallback(rebootFallback) {
  m_refused = !RemovalAllowed(pattern);
  if (!m_refused) m_hasMore = m_search.FindFile(pattern);
}

bool DirWalker::Next() {
  if (m_hasMore) m_hasMore = m_search.FindNextFile();
  return m_hasMore;
}

void DirWalker::Close() {
  m_search.Close();
  m_hasMore = false;
}

void DirWalker::HandleFile(Loop loop, int guardShellFiles, int statusId, int* count, float* kb) {
  const std::string path = m_search.GetFilePath();
  float sizeKB = 0.0f;
  FileStatus status;
  if (GetFileStatus(path, status)) {
    if (status.m_attribute & FILE_ATTRIBUTE_READONLY) {
      if (!SetFileAttributesTo(path, status.m_attribute & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
        Trace("Cannot Set File (%s) Status\n", path.c_str());
    }
    sizeKB = BytesToKB(status.m_size);
  }
  try {
    RemoveFileInGuardedFolder(path);
    LogItem(count, statusId, "   ", "Remove file: %s, size %.3f(KB).\n", path.c_str(), static_cast<double>(sizeKB));
    if (kb != nullptr) *kb += sizeKB;
  } catch (const FileException& e) {
    Trace(loop == Loop::kFiles ? "   Cannot remove file now: %s.\n" : "   Cannot remove system file now: %s.\n",
          path.c_str());
    // The file may be under its shred name by now: act on the name it has.
    const std::string& now = e.m_strFileName;
    if (loop == Loop::kTree && guardShellFiles == 1 && Lowered(now).find("index.dat") != std::string::npos)
      WipeIndexFile(now);
    if (!m_rebootFallback || loop == Loop::kExcept) return;
    if (::MoveFileExA(now.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
      LogScheduled(count, statusId, path, sizeKB);
      if (kb != nullptr) *kb += sizeKB;
    } else {
      Trace("   Even Cannot remove File %s (After Rebooting).\n", now.c_str());
    }
  }
}

void DirWalker::RemoveTree(int guardShellFiles, int statusId, int* count, float* kb) {
  while (HasMore()) {
    Next();
    if (m_search.IsDots()) continue;
    const std::string path = m_search.GetFilePath();
    if (m_search.IsDirectory() && m_search.IsReparsePoint()) {
      // A junction or folder link: what it points to is not part of this
      // tree. Remove the link itself, never what is behind it.
      if (RemoveLink(path))
        LogItem(count, statusId, "   ", "Remove directory: %s, size %.3f(KB).\n", path.c_str(), 0.0);
      else
        Trace("   Cannot remove link %s.\n", path.c_str());
      continue;
    }
    if (m_search.IsDirectory()) {
      float subtotal = 0.0f;
      {
        DirWalker sub(path + "\\*.*", m_rebootFallback);
        if (sub.m_refused) continue;  // a protected folder inside the tree stays whole
        sub.RemoveTree(guardShellFiles, statusId, count, &subtotal);
      }
      // Logged and counted before the removal is tried: a folder that stays
      // because it kept a shell file or a locked file still had its content swept.
      if (count != nullptr) {
        LogItem(count, statusId, "   ", "Remove directory: %s, size %.3f(KB).\n", path.c_str(),
                static_cast<double>(subtotal));
      } else {
        LogItem(nullptr, statusId, "   ", "Remove file: %s, size %.3f(KB).\n", path.c_str(),
                static_cast<double>(subtotal));
      }
      ::RemoveDirectoryA(path.c_str());
      if (kb != nullptr) *kb += subtotal;
      continue;
    }
    if (guardShellFiles == 1 && EqualsIgnoringCase(m_search.GetFileName(), "desktop.ini")) continue;
    HandleFile(Loop::kTree, guardShellFiles, statusId, count, kb);
  }
}

void DirWalker::RemoveFiles(int statusId, int* count, float* kb) {
  while (HasMore()) {
    Next();
    if (m_search.IsDots() || m_search.IsDirectory()) continue;
    HandleFile(Loop::kFiles, 0, statusId, count, kb);
  }
}

void DirWalker::RemoveFilesExcept(const StringPairList& keepList, int statusId, int* count, float* kb) {
  while (HasMore()) {
    Next();
    if (m_search.IsDots() || m_search.IsDirectory()) continue;
    if (m_search.GetFileName() == "index.dat") continue;
    if (ListHasPath(keepList, m_search.GetFilePath())) continue;
    HandleFile(Loop::kExcept, 0, statusId, count, kb);
  }
}

void DirWalker::CollectFiles(StringPairList& list) {
  list.clear();
  while (HasMore()) {
    Next();
    if (m_search.IsDots() || m_search.IsDirectory()) continue;
    if (m_search.GetFileName() == "index.dat") continue;
    const std::string path = m_search.GetFilePath();
    if (IsFriendlyCookie(path)) continue;
    list.emplace_back(std::string(), path);
  }
}

bool ListHasPath(const StringPairList& list, const std::string& path) {
  for (const auto& entry : list)
    if (entry.second == path) return true;
  return false;
}

bool IsFriendlyCookie(const std::string& path) { return ListHasPath(g_InternetSettings.m_friendlyCookies, path); }

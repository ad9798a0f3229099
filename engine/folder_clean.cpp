// Folder cleaners: a folder named by a registry value or an environment
// string becomes a search pattern for a DirWalker loop. The folder text comes
// from data anyone can change, so it is read into bounded buffers, refused
// when it holds a NUL, and judged by the removal guard before any walker runs.
#include "engine/folder_clean.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <exception>
#include <string>

#include "engine/dir_walker.h"
#include "engine/file_removal.h"
#include "engine/path_text.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "settings/reg_key.h"
#include "winlib/trace.h"

namespace {

constexpr DWORD kValueSize = 1024;
constexpr DWORD kExpandSize = 1024;
const char kAllFiles[] = "\\*.*";

// Reads key\valueName as text. The data is not trusted to be terminated:
// trailing NULs are dropped, and a NUL inside the text (which would make the
// folder look shorter than it is) refuses the value.
bool ReadFolderValue(RegKey& key, const char* valueName, std::string& out) {
  char data[kValueSize + 1] = {};
  DWORD size = kValueSize;
  if (!key.QueryValue(valueName, data, &size)) return false;
  if (size > kValueSize) size = kValueSize;
  while (size > 0 && data[size - 1] == '\0') --size;
  if (std::memchr(data, '\0', size) != nullptr) {
    Trace("Folder value %s holds a NUL.\n", valueName != nullptr ? valueName : "");
    return false;
  }
  out.assign(data, size);
  return true;
}

// The expansion must leave room for its terminator in 1024 characters.
bool Expand(const std::string& text, std::string& out) {
  char buffer[kExpandSize];
  const DWORD n = ::ExpandEnvironmentStringsA(text.c_str(), buffer, kExpandSize);
  if (n == 0 || n >= kExpandSize) {
    Trace("Path buffer is not enough.\n");
    return false;
  }
  buffer[kExpandSize - 1] = '\0';
  out = buffer;
  return true;
}

// "X:\..." or "\\server\...": anything else (empty, relative, rooted on the
// current drive) depends on where the process happens to stand.
bool IsFullPath(const std::string& folder) {
  const size_t n = folder.size();
  if (n >= 3 && ((folder[0] | 0x20) >= 'a' && (folder[0] | 0x20) <= 'z') && folder[1] == ':' && folder[2] == '\\')
    return true;
  return n >= 3 && folder[0] == '\\' && folder[1] == '\\' && folder[2] != '\\';
}

bool FullPathOrSay(const std::string& folder) {
  if (IsFullPath(folder)) return true;
  Trace("   Refused to sweep %s: not a full path.\n", folder.c_str());
  return false;
}

void DropTrailingBackslash(std::string& folder) {
  if (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
}

// What a walk on pattern may do; the guard's trace line says why not.
// A refusal that could not judge the folder leaves what the walk was set
// out to sweep: counted as not removed.
bool Allowed(const std::string& pattern) {
  const char* why = RemovalRefusal(pattern);
  if (why == nullptr) return true;
  LogRefusal(pattern, why);
  if (RefusedOutcome(why) == Outcome::kRefused) RecordLeft(Outcome::kRefused, FolderOf(pattern), why);
  Trace("Folder not cleaned: %s.\n", pattern.c_str());
  return false;
}

// Runs one walker loop; a failure inside ends the operation, never the sweep.
template <typename Loop>
void Walk(const std::string& pattern, bool rebootFallback, Loop loop) {
  if (!Allowed(pattern)) return;
  try {
    DirWalker walker(pattern, rebootFallback);
    loop(walker);
  } catch (const std::exception& e) {
    Trace("Cleaning %s ended: %s\n", pattern.c_str(), e.what());
  }
}

enum class ValueOp { kFiles, kTree, kSubTree, kQuiet };

void CleanByValue(ValueOp which, RegKey& key, const char* valueName, const char* pattern, int statusId,
                  int* count, float* kb, std::string* doneFolder, const char* subfolder) {
  std::string raw;
  if (!ReadFolderValue(key, valueName, raw)) {
    Trace("Cannot get value from registry\n");
    return;
  }
  if (which == ValueOp::kFiles)
    LogFormat(0, "  Clean up directory: %s.\n", raw.c_str());
  else if (which != ValueOp::kQuiet)
    LogFormat(0, "  Clean up directory %s in registry %s\\%s\n", raw.c_str(), key.m_strPath.c_str(),
              valueName != nullptr ? valueName : "");

  std::string folder;
  if (!Expand(raw, folder) || !FullPathOrSay(folder)) return;
  // The quiet cleaner's default pattern starts with its own backslash; a
  // folder ending in one gives a doubled separator, which the system accepts.
  if (which != ValueOp::kQuiet) DropTrailingBackslash(folder);

  std::string search = folder;
  if (which == ValueOp::kSubTree) search += std::string("\\Temp\\") + (subfolder != nullptr ? subfolder : "");
  if (pattern != nullptr)
    search += pattern;
  else
    search += which == ValueOp::kQuiet ? "\\Microsoft\\Office\\Recent\\*.*" : kAllFiles;

  if (doneFolder != nullptr) {
    if (*doneFolder == search) return;
    if (which == ValueOp::kSubTree) *doneFolder = search;
  }

  const bool deep = DeepSweepOn();
  switch (which) {
    case ValueOp::kFiles:
      Walk(search, deep, [&](DirWalker& w) { w.RemoveFiles(statusId, count, kb); });
      break;
    case ValueOp::kTree:
    case ValueOp::kSubTree:
      Walk(search, deep, [&](DirWalker& w) { w.RemoveTree(1, statusId, count, kb); });
      break;
    case ValueOp::kQuiet:
      Walk(search, deep, [&](DirWalker& w) { w.RemoveTree(0, 0, nullptr, nullptr); });
      break;
  }
}

void CleanEnv(int guardShellFiles, const char* folder, const char* pattern, int statusId, int* count, float* kb) {
  if (folder == nullptr) return;
  LogFormat(0, "  Clean up directory: %s.\n", folder);
  std::string search;
  if (!Expand(folder, search) || !FullPathOrSay(search)) return;
  if (pattern != nullptr) {
    search += "\\";
    search += pattern;
  } else {
    search += kAllFiles;
  }
  Walk(search, DeepSweepOn(), [&](DirWalker& w) { w.RemoveTree(guardShellFiles, statusId, count, kb); });
}

// Cookie folders are only listed: nothing is removed through this walk.
void CollectFrom(const std::string& folder, StringPairList& list) {
  try {
    DirWalker walker(folder + kAllFiles, false);
    walker.CollectFiles(list);
  } catch (const std::exception& e) {
    Trace("Listing %s ended: %s\n", folder.c_str(), e.what());
  }
}

}  // namespace

void CleanDirByValue(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId, int* count,
                     float* kb, std::string* doneFolder, const char* subfolder) {
  CleanByValue(ValueOp::kFiles, key, valueName, pattern, statusId, count, kb, doneFolder, subfolder);
}

void CleanDirTreeByValue(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId,
                         int* count, float* kb, std::string* doneFolder, const char* subfolder) {
  CleanByValue(ValueOp::kTree, key, valueName, pattern, statusId, count, kb, doneFolder, subfolder);
}

void CleanSubDirByValue(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId,
                        int* count, float* kb, std::string* doneFolder, const char* subfolder) {
  CleanByValue(ValueOp::kSubTree, key, valueName, pattern, statusId, count, kb, doneFolder, subfolder);
}

void CleanDirQuiet(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId, int* count,
                   float* kb, std::string* doneFolder, const char* subfolder) {
  // Neither the done folder nor the tally: this cleaner reports nothing.
  CleanByValue(ValueOp::kQuiet, key, valueName, pattern, 0, nullptr, nullptr, nullptr, nullptr);
}

void CleanEnvDir(int kind, const char* folder, const char* pattern, int statusId, int* count, float* kb) {
  CleanEnv(0, folder, pattern, statusId, count, kb);
}

void CleanEnvDirGuarded(int kind, const char* folder, const char* pattern, int statusId, int* count, float* kb) {
  CleanEnv(1, folder, pattern, statusId, count, kb);
}

void CleanCookieDirExcept(const StringPairList& keepList, RegKey& key, const char* valueName, int statusId,
                          int* count, float* kb, std::string* doneFolder) {
  std::string raw;
  if (!ReadFolderValue(key, valueName, raw)) {
    Trace("Cannot get value from registry.\n");
    return;
  }
  std::string search;
  if (!Expand(raw, search) || !FullPathOrSay(search)) return;
  search += kAllFiles;
  if (doneFolder != nullptr && *doneFolder == search) return;
  // Cookies that cannot go now simply stay: none is kept for the restart.
  Walk(search, false, [&](DirWalker& w) { w.RemoveFilesExcept(keepList, statusId, count, kb); });
}

void CollectCurrentCookies(StringPairList& list) {
  char shellFolder[MAX_PATH + 1] = {};
  if (::SHGetSpecialFolderPathA(nullptr, shellFolder, CSIDL_COOKIES, FALSE)) {
    shellFolder[MAX_PATH] = '\0';
    CollectFrom(shellFolder, list);
    return;
  }
  RegKey base("Software\\Microsoft\\Windows\\CurrentVersion", HKEY_CURRENT_USER);
  if (!base.IsOpen()) return;
  // The list is filled afresh by each walk; the second place adds to what
  // the first found only when it names another folder.
  StringPairList found;
  std::string first;
  bool haveFirst = false;
  for (const char* place : {"Explorer\\User Shell Folders", "Explorer\\Shell Folders"}) {
    RegKey key(base.OpenSubKey(place));
    std::string raw, folder;
    if (!key.IsOpen() || !ReadFolderValue(key, "Cookies", raw) || !Expand(raw, folder)) continue;
    if (haveFirst && folder == first) continue;
    if (!haveFirst) {
      first = folder;
      haveFirst = true;
    }
    StringPairList part;
    CollectFrom(folder, part);
    found.insert(found.end(), part.begin(), part.end());
  }
  list = std::move(found);
}

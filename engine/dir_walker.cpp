#include "engine/dir_walker.h"

#include <cctype>

#include "engine/file_removal.h"
#include "engine/folder_open.h"
#include "engine/path_text.h"
#include "engine/nt_calls.h"
#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/restart_removal.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "winlib/ansi_text.h"
#include "winlib/trace.h"

namespace {

// One batch of a listing: large, so that a folder of thousands of files is
// read in a few calls.
const size_t kListingBuffer = 64 * 1024;
const ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DirWalker::StepHook& Hook() {
  static DirWalker::StepHook hook;
  return hook;
}

// The name with every character that has no exact ANSI form as '\x01'.
std::string ProbeName(const std::wstring& name) {
  std::string probe, one;
  for (wchar_t c : name) probe += WideToAnsiExact(std::wstring(1, c), &one) ? one : std::string(1, '\x01');
  return probe;
}

// "(After Rebooting)" lines are shown in the status line even without a counter.
void LogScheduled(int* count, int statusId, const std::string& path, float sizeKB) {
  if (count != nullptr) {
    LogFormat(statusId, "   Item %d, Remove File %s, size %.3f(KB) (After Rebooting).\n",
              NumberItem(count, path, sizeKB, Outcome::kScheduled), path.c_str(),
              static_cast<double>(sizeKB));
  } else {
    LogFormat(statusId, "   Remove File %s, size %.3f(KB) (After Rebooting).\n", path.c_str(),
              static_cast<double>(sizeKB));
  }
}

// A folder line without a counter uses the file wording.
void LogFolderLine(int* count, int statusId, const std::string& path, float sizeKB) {
  // The line shows what the folder held; the item itself carries no size,
  // its files were counted one by one.
  LogItemOf(count, statusId, "   ", path, 0.0,
            count != nullptr ? "Remove directory: %s, size %.3f(KB).\n" : "Remove file: %s, size %.3f(KB).\n",
          path.c_str(), static_cast<double>(sizeKB));
}

// Whether the folder held still has a name somewhere: one its path no longer
// opens was then moved away (it, or a folder above it), not removed. Wine
// tells neither apart (one link, never pending), so there one removed by
// another program reads as moved: left, the side that claims nothing.
bool StillNamed(HANDLE folder) {
  FILE_STANDARD_INFO standard;
  return ::GetFileInformationByHandleEx(folder, FileStandardInfo, &standard, sizeof standard) &&
         standard.NumberOfLinks > 0 && !standard.DeletePending;
}

}  // namespace

void DirWalker::SetStepHook(StepHook hook) { Hook() = std::move(hook); }

DirWalker::DirWalker(const std::string& pattern, bool rebootFallback, GuardScope scope, size_t trustedLength)
    : m_rebootFallback(rebootFallback) {
  OpenTop(pattern, scope, trustedLength);
  if (!m_refused && m_folder.Get() != nullptr) m_hasMore = FetchNext();
}

DirWalker::DirWalker(HANDLE folder, std::wstring objectName, std::string root, bool rebootFallback)
    : m_folder(folder), m_objectName(std::move(objectName)), m_root(std::move(root)),
      m_rebootFallback(rebootFallback) {
  m_hasMore = FetchNext();
}

void DirWalker::OpenTop(const std::string& pattern, GuardScope scope, size_t trustedLength) {
  if (const char* why = TextRefusal(pattern)) {
    LogRefusal(pattern, why);
    RecordLeft(Outcome::kGuarded, pattern, why);
    m_refused = true;
    return;
  }
  m_root = FolderOf(pattern);
  m_mask = nt::Widen(LeafOf(pattern));
  // The folder itself, never through a link past the part the system gave;
  // judged on the very handle the walk lists and removes through.
  const std::string folder = CanonicalFolderOf(pattern);
  HANDLE h = nullptr;
  std::vector<FolderIdentity> opened;
  switch (OpenFolderChecked(folder, trustedLength == std::string::npos ? ParentLength(folder) : trustedLength,
                            FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &h, &opened)) {
    case FolderOpen::kOpen:
      break;
    case FolderOpen::kMissing:
      return;
    case FolderOpen::kLink:
      LogRefusal(pattern, "a folder on its way is a link");
      // The walk was set out to sweep there: what stays is not removed.
      RecordOutcome(Outcome::kRefused, pattern, 0.0, "a folder on its way is a link");
      m_refused = true;
      return;
    case FolderOpen::kFailed: {
      const DWORD e = ::GetLastError();
      Trace("   Cannot open %s to judge it (error %lu).\n", pattern.c_str(), (unsigned long)e);
      LogRefusal(pattern, "it cannot be opened to be judged");
      // Nothing in it was swept: that is a failure, not the guard's design.
      RecordOutcome(Outcome::kFailed, pattern, 0.0, ErrorReason(e));
      m_refused = true;
      return;
    }
  }
  m_folder.Attach(h);
  if (const char* why = FolderHandleRefusal(h, scope, opened)) {
    LogRefusal(pattern, why);
    RecordLeft(RefusedOutcome(why), pattern, why);
    m_refused = true;
    m_folder.Close();
    return;
  }
  m_objectName = nt::ObjectName(h);
}

bool DirWalker::FetchNext() {
  for (;;) {
    if (!m_batchLeft) {
      if (m_listed || m_folder.Get() == nullptr) break;
      if (m_buffer.empty()) m_buffer.resize(kListingBuffer);
      const bool first = !m_queried;
      m_queried = true;
      if (nt::QueryDirectory(m_folder.Get(), m_buffer.data(), static_cast<ULONG>(m_buffer.size()), first) !=
          nt::kSuccess) {
        m_listed = true;
        std::vector<char>().swap(m_buffer);  // a deep walk keeps one buffer per level alive
        break;
      }
      m_offset = 0;
      m_batchLeft = true;
    }
    nt::DirEntry e;
    const ULONG step = nt::DecodeEntry(m_buffer.data() + m_offset, e);
    if (step == 0)
      m_batchLeft = false;
    else
      m_offset += step;
    if (!MatchesFileMask(e.name, m_mask)) continue;
    m_next.wname = std::move(e.name);
    m_next.exact = WideToAnsiExact(m_next.wname, &m_next.name);
    if (!m_next.exact) m_next.name = AnsiShownName(m_next.wname);
    m_next.attributes = e.attributes;
    m_next.size = e.size;
    m_hasNext = true;
    return true;
  }
  m_hasNext = false;
  return false;
}

bool DirWalker::Next() {
  if (!m_hasMore) return false;
  m_current = m_next;
  m_hasCurrent = true;
  m_hasMore = FetchNext();
  return m_hasMore;
}

void DirWalker::Close() {
  m_folder.Close();
  std::vector<char>().swap(m_buffer);
  m_listed = true;
  m_batchLeft = false;
  m_hasMore = false;
  m_hasNext = false;
  m_hasCurrent = false;
}

bool DirWalker::RefusedName() {
  if (m_current.exact) return false;
  RecordLeft(Outcome::kRefused, GetFilePath(), "its name does not fit the system's code page");
  return true;
}

bool DirWalker::IsDots() const {
  if (!m_hasCurrent || !IsDirectory()) return false;
  const std::wstring& n = m_current.wname;
  return n == L"." || n == L"..";
}

bool DirWalker::HandleFile(Loop loop, int guardShellFiles, int statusId, int* count, float* kb) {
  const std::string path = GetFilePath();
  const float sizeKB = BytesToKB(m_current.size);
  if (Hook()) Hook()(path);
  // A link is never overwritten: its data, if any, is not the file's.
  const bool shred = ShredderOn() && path.find("index.dat") == std::string::npos &&
                     !(m_current.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  std::string now;
  const RemovalResult r =
      RemoveFileAt({m_folder.Get(), m_objectName, m_root}, m_current.wname, m_current.attributes, shred, &now);
  const DWORD error = ::GetLastError();
  switch (r) {
    case RemovalResult::kRemoved:
      LogItemOf(count, statusId, "   ", path, sizeKB, "Remove file: %s, size %.3f(KB).\n", path.c_str(),
                static_cast<double>(sizeKB));
      RecordOutcome(Outcome::kRemoved, path, sizeKB);
      if (kb != nullptr) *kb += sizeKB;
      return true;
    case RemovalResult::kRemovedNotOverwritten:
      // Never reported as shredded: the user asked for an overwrite that did not happen.
      LogItemOf(count, statusId, "   ", path, sizeKB, "Remove file: %s, size %.3f(KB), removed without overwriting.\n",
              path.c_str(), static_cast<double>(sizeKB));
      RecordOutcome(Outcome::kRemoved, path, sizeKB);
      if (kb != nullptr) *kb += sizeKB;
      return true;
    case RemovalResult::kLeftLink:
      RecordLeft(Outcome::kRefused, path, "it leads out of the folder being swept");
      return false;
    case RemovalResult::kKept:
      return false;  // a rule keeps it: never set out to go, so not recorded
    case RemovalResult::kUnjudged:
      RecordLeft(Outcome::kRefused, path, kUnjudgedKept);
      return false;
    case RemovalResult::kStayed:
      // Never scheduled by its old name: that name no longer leads to it.
      RecordLeft(Outcome::kFailed, path, kStayedReason);
      return false;
    case RemovalResult::kMovedAway:
      RecordLeft(Outcome::kFailed, path, kMovedReason);
      return false;
    case RemovalResult::kTakenBefore:
      // Gone by then with the item that takes it (its cache entry), and
      // counted there: its folder may go as in the sweep.
      return true;
    case RemovalResult::kFailed:
      break;
  }
  Trace(loop == Loop::kFiles ? "   Cannot remove file now: %s.\n" : "   Cannot remove system file now: %s.\n",
        path.c_str());
  // The file may be under its shred name by now: act on the name it has.
  if (loop == Loop::kTree && guardShellFiles == 1 && LowerAscii(now).find("index.dat") != std::string::npos)
    WipeIndexFile(now);
  if (!m_rebootFallback || loop == Loop::kExcept) {
    RecordLeft(OutcomeOfError(error), path, ErrorReason(error));
    return false;
  }
  if (ScheduleRemovalAtRestart(now)) {
    LogScheduled(count, statusId, path, sizeKB);
    RecordOutcome(Outcome::kScheduled, path, sizeKB);
    if (kb != nullptr) *kb += sizeKB;
  } else {
    Trace("   Even Cannot remove File %s (After Rebooting).\n", now.c_str());
    RecordLeft(Outcome::kNotScheduled, path);
  }
  return false;
}

bool DirWalker::HandleLink(int statusId, int* count) {
  // A junction or folder link: what it points to is not part of this tree.
  // Remove the link itself, never what is behind it.
  const std::string path = GetFilePath();
  if (RemoveLinkAt({m_folder.Get(), m_objectName, m_root}, m_current.wname)) {
    LogFolderLine(count, statusId, path, 0.0f);
    RecordOutcome(Outcome::kRemoved, path, 0.0);
    return true;
  }
  Trace("   Cannot remove link %s.\n", path.c_str());
  RecordLeft(Outcome::kRefused, path, "a link that cannot be removed without reaching what it leads to");
  return false;
}

std::unique_ptr<DirWalker> DirWalker::EnterCurrentFolder() {
  const std::string path = GetFilePath();
  if (Hook()) Hook()(path);
  HANDLE raw = nt::OpenRelative(m_folder.Get(), m_current.wname, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | DELETE,
                                kShareAll, FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, nullptr);
  if (raw == nullptr) {
    // Nothing inside can be reached: say nothing was swept here.
    const DWORD error = ::GetLastError();
    Trace("   Cannot open folder %s (error %lu).\n", path.c_str(), (unsigned long)error);
    RecordLeft(OutcomeOfError(error), path, ErrorReason(error));
    return nullptr;
  }
  ScopedHandle folder(raw);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(raw, &info) || !IsOwnFolderEntry(m_folder.Get(), m_objectName, raw, m_current.wname, info)) {
    // Became a link (or was swapped for one) after the listing: never entered.
    Trace("   Left %s: it leads out of the folder being swept.\n", path.c_str());
    RecordLeft(Outcome::kRefused, path, "it leads out of the folder being swept");
    return nullptr;
  }
  if (const char* why = IdentityRefusal(IdentityOf(info))) {  // a protected folder inside the tree stays whole
    Trace("   Left %s: %s.\n", path.c_str(), why);
    RecordLeft(RefusedOutcome(why), path, why);
    return nullptr;
  }
  std::wstring objectName = nt::ObjectName(raw);
  return std::unique_ptr<DirWalker>(new DirWalker(folder.Detach(), std::move(objectName), path, m_rebootFallback));
}

bool DirWalker::HandleFolder(int guardShellFiles, int statusId, int* count, float* kb) {
  std::unique_ptr<DirWalker> sub = EnterCurrentFolder();
  if (!sub) return false;
  float subtotal = 0.0f;
  const bool emptied = sub->RemoveTree(guardShellFiles, statusId, count, &subtotal);
  // What was swept inside counts whether or not the folder goes.
  if (kb != nullptr) *kb += subtotal;
  // A folder that keeps a shell file or a file left behind stays; what it
  // kept is counted already, the folder is named as left without a count of
  // its own (a preview may have listed it as going).
  if (!emptied) {
    // A walk cut short by a cancel left nothing behind: what it did not reach
    // was never met.
    if (!SweepCancelRequested()) RecordLeft(Outcome::kHoldsLeftItem, sub->m_root);
    return false;
  }
  const Standing standing{m_folder.Get(), m_current.wname, [&] { sub->m_folder.Close(); }};
  return RemoveFolderAndLog(sub->m_folder.Get(), sub->m_root, subtotal, statusId, count,
                            &standing);
}

bool DirWalker::RemoveFolderAndLog(HANDLE folder, const std::string& path, float subtotal,
                                   int statusId, int* count, const Standing* standing, bool judge) {
  // A folder a rule keeps, or one below a kept PATH, stays with what it holds.
  if (const char* why = judge ? KeptFolderRefusal(folder) : nullptr) {
    if (!IsKeptByRule(why)) RecordLeft(Outcome::kRefused, path, kUnjudgedKept);
    return false;
  }
  uint64_t marked = 0;
  const bool check =
      standing != nullptr && !PreviewActive() && RunningUnderWine() && nt::FileIdOf(folder, &marked);
  const std::wstring removedBy = check ? nt::ObjectName(folder) : std::wstring();
  RemovalHookForTests(path);
  // Emptying and judging it took time enough for it, or a folder above it, to
  // be moved away: its removal would then take nothing, or, through a link
  // left on the way, take it where it went.
  if (check && !StillReachedAsOpened(removedBy, path, marked, FILE_DIRECTORY_FILE)) {
    Trace("   Folder %s was moved away before its removal.\n", path.c_str());
    RecordLeft(Outcome::kFailed, path, kMovedReason);
    return false;
  }
  if (!RemoveOpenFolder(folder)) {
    const DWORD error = ::GetLastError();
    RecordLeft(OutcomeOfError(error), path, ErrorReason(error));
    return false;
  }
  if (check) {
    standing->letGo();
    if (standing->parent != nullptr ? FolderStillThere(standing->parent, standing->name, marked)
                                    : ReachedByOwnName(removedBy, marked, FILE_DIRECTORY_FILE, true, standing->above)) {
      Trace("   Folder %s is still there after its removal.\n", path.c_str());
      RecordLeft(Outcome::kFailed, path, kStayedReason);
      return false;
    }
  }
  LogFolderLine(count, statusId, path, subtotal);
  // Its files were recorded one by one: the folder carries no size of its own.
  RecordOutcome(Outcome::kRemoved, path, 0.0);
  return true;
}

bool DirWalker::RemoveTree(int guardShellFiles, int statusId, int* count, float* kb) {
  bool emptied = true;
  while (HasMore()) {
    // A cancelled sweep stops at the next entry; the folder then stays.
    if (SweepCancelRequested()) return false;
    Next();
    if (IsDots()) continue;
    if (RefusedName()) {
      emptied = false;
      continue;
    }
    if (IsReparsePoint()) {
      if (IsDirectory()) {
        if (!HandleLink(statusId, count)) emptied = false;
      } else if (!HandleFile(Loop::kTree, guardShellFiles, statusId, count, kb)) {  // opened as a link: removes the link
        emptied = false;
      }
      continue;
    }
    if (IsDirectory()) {
      if (!HandleFolder(guardShellFiles, statusId, count, kb)) emptied = false;
      continue;
    }
    if (guardShellFiles == 1 && SameNoCase(m_current.name, "desktop.ini")) {
      emptied = false;
      continue;
    }
    if (!HandleFile(Loop::kTree, guardShellFiles, statusId, count, kb)) emptied = false;
  }
  return emptied;
}

void DirWalker::RemoveFiles(int statusId, int* count, float* kb) {
  while (HasMore() && !SweepCancelRequested()) {
    Next();
    if (IsDots() || IsDirectory() || RefusedName()) continue;
    HandleFile(Loop::kFiles, 0, statusId, count, kb);
  }
}

void DirWalker::RemoveFilesExcept(const StringPairList& keepList, int statusId, int* count, float* kb) {
  while (HasMore() && !SweepCancelRequested()) {
    Next();
    if (IsDots() || IsDirectory() || RefusedName()) continue;
    if (m_current.name == "index.dat") continue;
    if (ListHasPath(keepList, GetFilePath())) continue;
    HandleFile(Loop::kExcept, 0, statusId, count, kb);
  }
}

void DirWalker::CollectFiles(StringPairList& list) {
  list.clear();
  while (HasMore()) {
    Next();
    if (IsDots() || IsDirectory()) continue;
    if (m_current.name == "index.dat") continue;
    const std::string path = GetFilePath();
    if (IsFriendlyCookie(path)) continue;
    list.emplace_back(std::string(), path);
  }
}

bool DirWalker::RemoveChosen(const FileChooser& choose, bool recurse, bool removeEmptied, int statusId, int* count,
                             float* kb) {
  if (m_refused || m_folder.Get() == nullptr) return false;
  m_leftBeforeWalk = LeftRecordsOnThisThread();
  bool empty = true;
  while (HasMore()) {
    if (SweepCancelRequested()) return false;
    Next();
    if (IsDots()) continue;
    if (!m_current.exact) {
      // Asked with its unfit characters as a control character that no
      // pattern names: only a wildcard can choose it, and then it is refused.
      if (IsDirectory() ? recurse : choose(m_root, ProbeName(m_current.wname))) RefusedName();
      empty = false;
      continue;
    }
    if (IsDirectory()) {
      // A folder link is neither entered nor removed: what it leads to is
      // not part of this folder, and the link keeps its folder from being empty.
      std::unique_ptr<DirWalker> sub = (recurse && !IsReparsePoint()) ? EnterCurrentFolder() : nullptr;
      if (!sub) {
        // A folder set out to be removed whole keeps a link: the link, and so
        // its folders, stay, and the count says so.
        if (recurse && removeEmptied && IsReparsePoint())
          RecordLeft(Outcome::kRefused, GetFilePath(), "a link that cannot be removed without reaching what it leads to");
        empty = false;
        continue;
      }
      float subtotal = 0.0f;
      const long leftBefore = LeftRecordsOnThisThread();
      const bool subEmpty = sub->RemoveChosen(choose, recurse, removeEmptied, statusId, count, &subtotal);
      if (kb != nullptr) *kb += subtotal;
      // A folder set out to go that stays for an item left inside it is
      // named as left; one that holds only what was not chosen is not.
      if (removeEmptied && !subEmpty && LeftRecordsOnThisThread() != leftBefore)
        RecordLeft(Outcome::kHoldsLeftItem, sub->m_root);
      const Standing standing{m_folder.Get(), m_current.wname, [&] { sub->m_folder.Close(); }};
      if (!removeEmptied || !subEmpty ||
          !RemoveFolderAndLog(sub->m_folder.Get(), sub->m_root, subtotal, statusId, count,
                              &standing))
        empty = false;
      continue;
    }
    if (!choose(m_root, m_current.name) || !HandleFile(Loop::kFiles, 0, statusId, count, kb)) empty = false;
  }
  return empty;
}

bool DirWalker::RemoveOwnFolder(int statusId, int* count) {
  if (m_refused || m_folder.Get() == nullptr) return false;
  RemovalHookForTests(m_root);
  std::wstring w = nt::LongPathForm(m_root);
  if (w.empty()) return false;
  if (w.back() != L'\\') w += L'\\';
  const auto open = [&](ACCESS_MASK access) {
    ScopedHandle h(::CreateFileW(w.c_str(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const DWORD error = ::GetLastError();
    if (h.IsValid()) return h;
    // Gone already is not a folder left behind; moved away (it, or a folder
    // above it), it is; anything else is too.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      RecordLeft(OutcomeOfError(error), m_root, "it cannot be opened to be removed: " + ErrorReason(error));
    else if (StillNamed(m_folder.Get()))
      RecordLeft(Outcome::kFailed, m_root, kMovedReason);
    return ScopedHandle();
  };
  const auto notSwept = [&] {
    Trace("   Left %s: it is not the folder that was swept.\n", m_root.c_str());
    RecordLeft(Outcome::kRefused, m_root, "it is not the folder that was swept");
    return false;
  };
  // Judged on a handle that asks no deleting: another program's hold that
  // shares reading and deleting alone leaves the sharing probe only deleting
  // to ask with.
  ScopedHandle look = open(0);
  if (!look.IsValid()) return false;
  BY_HANDLE_FILE_INFORMATION info;
  FolderIdentity mine, listed;
  if (!::GetFileInformationByHandle(look.Get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !IdentityOf(look.Get(), &mine) || !IdentityOf(m_folder.Get(), &listed) || !(mine == listed))
    return notSwept();
  if (const char* why = FolderRemovalRefusal(look.Get())) {
    Trace("   Refused to remove %s: %s.\n", m_root.c_str(), why);
    RecordLeft(RefusedOutcome(why), m_root, why);
    return false;
  }
  if (const char* why = KeptFolderRefusal(look.Get())) {
    if (!IsKeptByRule(why)) RecordLeft(Outcome::kRefused, m_root, kUnjudgedKept);
    return false;
  }
  // Delete access only now, on what the same path opens: the same folder,
  // reached as the judged one was (under Wine an open goes through a link
  // left at the name, and the removal would then take the link's target).
  ScopedHandle del = open(DELETE);
  if (!del.IsValid()) return false;
  const auto nameOf = [](HANDLE h) {
    std::wstring n = nt::ObjectName(h);
    while (!n.empty() && n.back() == L'\\') n.pop_back();
    return n;
  };
  // Both reached where the walk found it: a link left at its name after it
  // moved leads to it, and the removal would take it where it went.
  std::wstring walked = m_objectName;
  while (!walked.empty() && walked.back() == L'\\') walked.pop_back();
  const std::wstring name = nameOf(look.Get());
  FolderIdentity judged;
  if (name.empty() || !SameNoCase(name, walked) || !SameNoCase(nameOf(del.Get()), name) ||
      !IdentityOf(del.Get(), &judged) || !(judged == mine))
    return notSwept();
  // Where it stands, when its system name is its parent's and its own;
  // otherwise it is looked for after its removal by its own name alone.
  const size_t cut = name.find_last_of(L'\\');
  const std::wstring leaf = cut == std::wstring::npos ? std::wstring() : name.substr(cut + 1);
  std::wstring up = nt::LongPathForm(FolderOf(m_root));
  if (!up.empty() && up.back() != L'\\') up += L'\\';
  ScopedHandle parent(up.empty() ? INVALID_HANDLE_VALUE
                                 : ::CreateFileW(up.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                                 kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::wstring parentName = parent.IsValid() ? nt::ObjectName(parent.Get()) : std::wstring();
  const bool placed = !leaf.empty() && !parentName.empty() && ReachesOwnEntry(del.Get(), parentName, leaf);
  // Not placed (a drive letter leads to it, and names it), the folder its
  // path leads through may still be known to list it.
  DWORD attributes = 0;
  uint64_t ownId = 0, listedId = 0;
  const bool above = !placed && parent.IsValid() && nt::FileIdOf(del.Get(), &ownId) &&
                     nt::ListedEntry(parent.Get(), nt::Widen(LeafOf(m_root)), &attributes, &listedId) &&
                     listedId == ownId;
  const Standing standing{placed ? parent.Get() : nullptr, leaf,
                          [&] {
                            del.Close();
                            look.Close();
                            m_folder.Close();
                          },
                          above ? parent.Get() : nullptr};
  return RemoveFolderAndLog(del.Get(), m_root, 0.0f, statusId, count, &standing, false);
}

bool DirWalker::SettleOwnFolder(bool emptied, int statusId, int* count) {
  if (emptied) return RemoveOwnFolder(statusId, count);
  if (!m_refused && m_folder.Get() != nullptr && LeftRecordsOnThisThread() != m_leftBeforeWalk)
    RecordLeft(Outcome::kHoldsLeftItem, m_root);
  return false;
}

bool ListHasPath(const StringPairList& list, const std::string& path) {
  for (const auto& entry : list)
    if (entry.second == path) return true;
  return false;
}

bool IsFriendlyCookie(const std::string& path) { return ListHasPath(g_InternetSettings.m_friendlyCookies, path); }

// DirWalker: one folder search and the removal loops that run over it
// (RemoveTree, RemoveFiles, RemoveFilesExcept) plus CollectFiles, which lists
// without removing. Every file and folder a sweep removes from a folder is
// removed here, logged by the counting rule after the call and added to the
// caller's tally; every outcome (removed, scheduled, left and why) is
// recorded in the outcome ledger.
// The removal guard judges every pattern when the walker is built: a walker
// on a refused pattern finds nothing, and the refusal is named once in the
// sweep log ("  Skipped <folder>: <why>."). A pattern read from a reference
// (registry value, environment string, rule file) is never swept inside the
// user's data folders; only a folder the user typed opts out (kTyped).
//
// The walker works on folder handles: the folder named by the pattern is
// opened once and judged by its identity, listed in large batches, and every
// entry is opened by its name relative to its folder's handle without
// following a link, so that no link swapped in between two steps redirects a
// removal, and depth is not limited by MAX_PATH. Full paths are built only
// for the log and for restart scheduling.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/mask_match.h"  // MatchesFileMask, for callers that match as the walker does
#include "engine/removal_guard.h"
#include "settings/settings_groups.h"
#include "winlib/file_find.h"  // callers written against the older search still include it through here
#include "winlib/unique_handle.h"

class DirWalker {
 public:
  // pattern: a folder followed by "\*.*" or by a file mask. rebootFallback:
  // files that cannot be removed now are scheduled for removal at restart.
  // scope: kTyped only for a folder the user typed (a custom location).
  // trustedLength: how much of the pattern's folder the system itself gave
  // (a known folder, a rule variable's value); past it, no segment is
  // passed through a link (OpenFolderChecked). npos: all but the last segment.
  DirWalker(const std::string& pattern, bool rebootFallback, GuardScope scope = GuardScope::kReference,
            size_t trustedLength = std::string::npos);
  ~DirWalker() = default;
  DirWalker(const DirWalker&) = delete;
  DirWalker& operator=(const DirWalker&) = delete;

  bool HasMore() const { return m_hasMore; }
  // Makes the next entry current and returns HasMore(). The entry made
  // current by the call that returns false is valid too.
  bool Next();
  void Close();

  // The current entry.
  bool IsDots() const;
  bool IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
  bool IsReparsePoint() const { return MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT); }
  bool MatchesMask(DWORD mask) const { return m_hasCurrent && (m_current.attributes & mask) != 0; }
  std::string GetFileName() const { return m_hasCurrent ? m_current.name : std::string(); }
  std::string GetFilePath() const { return m_hasCurrent ? m_root + "\\" + m_current.name : std::string(); }

  // Removes every file matched and every folder matched with all it holds,
  // depth first; the folder that holds the pattern stays. Links are removed
  // as links and never entered. guardShellFiles 1 keeps "desktop.ini" files
  // and wipes a locked index.dat in place. A folder is logged and counted
  // only once it is gone; one that keeps something stays, unlogged (what it
  // kept is accounted for on its own). True when everything matched went
  // (files scheduled for restart do not count as gone).
  bool RemoveTree(int guardShellFiles, int statusId, int* count, float* kb);
  // Removes the plain files matched; folders are left alone.
  void RemoveFiles(int statusId, int* count, float* kb);
  // Removes the plain files matched except those named exactly "index.dat"
  // and those whose path is the path half of an entry of keepList. Never
  // schedules anything for restart.
  void RemoveFilesExcept(const StringPairList& keepList, int statusId, int* count, float* kb);
  // Empties list, then appends ("", full path) for every plain file matched
  // that is not named exactly "index.dat" and is not a friendly cookie.
  void CollectFiles(StringPairList& list);

  // The walk of rule-driven sweeps. Removes, as RemoveFiles does, every plain
  // file of the folder for which choose(folder, name) holds (folder as the
  // log names it). recurse: also in every folder below, entered as RemoveTree
  // enters them (never a link, never a protected folder). removeEmptied: each
  // folder below that holds nothing afterwards is removed and logged as a
  // folder. True when the folder holds nothing any more (in preview: would
  // hold nothing); folder links, unchosen files and files left or scheduled
  // for restart keep it from being empty.
  using FileChooser = std::function<bool(const std::string& folder, const std::string& name)>;
  bool RemoveChosen(const FileChooser& choose, bool recurse, bool removeEmptied, int statusId, int* count,
                    float* kb);
  // Removes the folder the walker was built on when it is empty, is that
  // same folder (not a link, not swapped since) and is not a protected
  // folder; logs it as a folder. False when it stays.
  bool RemoveOwnFolder(int statusId, int* count);
  // After RemoveChosen: removes the walker's own folder when that walk
  // emptied it (RemoveOwnFolder); one that stays for an item the walk left
  // inside is named as left, as the folders below it are.
  bool SettleOwnFolder(bool emptied, int statusId, int* count);

  // For tests: called with an entry's full path after the listing and before
  // the entry is opened (a test swaps a folder for a link there). Set it
  // while no sweep runs; an empty function removes it.
  using StepHook = std::function<void(const std::string& path)>;
  static void SetStepHook(StepHook hook);

 private:
  struct Entry {
    std::wstring wname;
    std::string name;   // in the ANSI code page; when !exact, only shown (see AnsiShownName)
    bool exact = true;  // the name converts to the ANSI code page exactly
    DWORD attributes = 0;
    uint64_t size = 0;
  };
  enum class Loop { kTree, kFiles, kExcept };

  // A sub-walker on a folder its parent has opened and checked.
  DirWalker(HANDLE folder, std::wstring objectName, std::string root, bool rebootFallback);
  void OpenTop(const std::string& pattern, GuardScope scope, size_t trustedLength);
  bool FetchNext();  // reads ahead to the next entry the mask matches
  // True (recorded as refused, with its line) when the current entry's name
  // does not fit the ANSI code page: such a name is never acted on, since
  // every narrow call and every line would name another one.
  bool RefusedName();
  // True when the file is gone now (not left, not merely scheduled).
  bool HandleFile(Loop loop, int guardShellFiles, int statusId, int* count, float* kb);
  // The current entry, a folder, opened for a walk inside it; null when it
  // must not be entered (a link, swapped, protected, or not openable).
  std::unique_ptr<DirWalker> EnterCurrentFolder();
  // Both true when the entry is gone.
  bool HandleFolder(int guardShellFiles, int statusId, int* count, float* kb);
  bool HandleLink(int statusId, int* count);
  // Where a folder to be removed stands, for the look Wine needs: it removes
  // a folder by the name it was opened under, once the last handle closes,
  // and says nothing when that fails. name in parent is the folder's own entry;
  // letGo closes every handle of ours on it.
  struct Standing {
    HANDLE parent;  // null: looked for by its own name alone
    const std::wstring& name;
    std::function<void()> letGo;
    HANDLE above = nullptr;  // with no parent: the folder above, where known (it lists the folder)
  };
  // Removes an emptied folder through its handle, then logs, counts and
  // records it; a refusal is recorded as not removed. standing: where it
  // stands, looked at before and after its removal under Wine. judge: false
  // when the caller has judged it against the rules' exclusions already.
  bool RemoveFolderAndLog(HANDLE folder, const std::string& path, float subtotal, int statusId, int* count,
                          const Standing* standing, bool judge = true);

  ScopedHandle m_folder;      // the folder listed, opened without following a final link
  std::wstring m_objectName;  // the system's name of it, to check every entry opened in it
  std::string m_root;         // the folder as the log names it
  std::wstring m_mask;        // empty: every entry
  std::vector<char> m_buffer;  // one batch of the listing
  size_t m_offset = 0;         // next entry in the batch
  bool m_batchLeft = false;    // entries left in the batch
  bool m_listed = false;       // the listing has ended
  bool m_queried = false;      // the first batch was asked for
  Entry m_current, m_next;
  bool m_hasCurrent = false;
  bool m_hasNext = false;
  bool m_refused = false;  // the guard turned the pattern down
  long m_leftBeforeWalk = 0;  // LeftRecordsOnThisThread() when RemoveChosen began
  bool m_hasMore = false;
  bool m_rebootFallback;
};

// True when path equals the path half of a friendly cookie (the Internet
// group's list, read in place: only the GUI thread changes it, and only the
// GUI thread asks).
bool IsFriendlyCookie(const std::string& path);
// True when path equals the path half of an entry of list (exact match).
bool ListHasPath(const StringPairList& list, const std::string& path);

// The removal guard: the one place that decides whether a search pattern or a
// file path may be acted on at all.
//
// How to use it: do nothing. Every removal primitive and walker (DirWalker and
// its loops, RemoveFile, OverwriteFile, WipeIndexFile, RemoveNowOrAtRestart,
// the folder cleaners) judges its folder here before it touches anything, with
// GuardScope::kReference, and a refused folder is named in the sweep log by
// LogRefusal ("  Skipped <folder>: it is inside Documents.") exactly once per
// refused pattern or path; nothing is counted and the sweep goes on. So a new
// caller that builds a DirWalker or calls RemoveFile on a path it read from a
// registry value, an environment string or a rule file gets the full guard and
// its log line for free. The one opt-out is GuardScope::kTyped, for folders the
// user typed (custom locations): those may lie inside the user's data folders,
// never at the root of one. RemovalRefusal answers without logging (for a
// dialog that explains a refusal); RemovalAllowed judges and logs.
//
// What is refused:
// - text with a NUL, no folder, a relative folder (trace only: malformed);
// - a drive root, and these folders as a whole, whatever name reaches them:
//   Windows, system and program files folders, the Users folder and every
//   profile, ProgramData, roaming and local AppData, LocalLow, Start Menu,
//   Startup, SendTo, Templates, Fonts, and every user data folder below;
// - the temporary folders as a whole (RemoveOwnFolder, a tree): they are
//   emptied, never removed; and, for anyone, typed or not, any folder inside
//   the stores of keys and credentials below roaming and local AppData
//   (Microsoft\Protect, Credentials, Crypto, SystemCertificates, Vault);
// - for references (not typed), any folder inside a user data folder:
//   Documents, Desktop, Pictures, Music, Videos, Downloads, Favorites,
//   Contacts, Links, Saved Games, Searches, OneDrive and the public twins.
//   "Inside" is judged by identity: from the folder the opened handle
//   reaches, each parent up to the drive root is compared with the data
//   folders. When a data folder holds the profile itself (Documents moved to
//   the profile or a drive root), the system's own folders below it (AppData,
//   local AppData, Temp, Internet cache, Cookies, History, Recent) and what
//   they hold stay sweepable.
// The folders are taken from the system afresh at each sweep (known folders
// and the shell; the environment only for OneDrive and the profile).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/folder_identity.h"
#include "engine/outcome_ledger.h"

// What a rule entry keeps (its ExcludeKey FILE and PATH lines): the files
// whose names match masks, in an existing folder or (below) anywhere under
// it. It is the second source, beside the protected places, of what the
// guard keeps, and it is judged the same way: the folder by what its name
// opens (volume and file index), so a short name, a long name, a drive
// letter that maps to a folder, "\\?\", case and trailing dots all give one
// answer; a file name by its long form.
struct KeptFiles {
  std::string folder;              // as the rule's expansion reached it
  std::vector<std::string> masks;  // file name masks ('*', '?')
  bool below = false;              // PATH: every folder below it too
};
// While it lives, file removals on this thread (RemoveFileAt, and so every
// walker loop, RemoveFile and RemoveFileInGuardedFolder) keep what kept
// names, and folders that are kept places or lie below a kept PATH are
// never removed. Scopes nest: the inner one adds to the outer one. A kept
// folder that exists but cannot be opened makes every removal on the
// thread refused while the scope lives (what it keeps cannot be judged).
class KeptFilesScope {
 public:
  explicit KeptFilesScope(const std::vector<KeptFiles>& kept);
  ~KeptFilesScope();
  KeptFilesScope(const KeptFilesScope&) = delete;
  KeptFilesScope& operator=(const KeptFilesScope&) = delete;
  struct Place;

 private:
  std::vector<Place>* m_places;
  const KeptFilesScope* m_outer;
  bool m_unjudged = false;
  friend const char* KeptFileRefusal(HANDLE, const std::wstring&);
  friend const char* KeptFolderRefusal(HANDLE);
};
// Null when no scope on this thread keeps the file `name` of the folder
// behind the handle; otherwise why ("the rule keeps it").
const char* KeptFileRefusal(HANDLE folder, const std::wstring& name);
// Null when the folder behind the handle may be removed as far as the
// scopes go: it is no kept place and lies below no kept PATH.
const char* KeptFolderRefusal(HANDLE folder);
// True when the refusal of the two above says the rule keeps it; false when
// it says what the rule keeps cannot be judged (then it is left, and counted
// as not removed).
bool IsKeptByRule(const char* refusal);

// Who chose the folder: a reference the user did not type (a shell-folder
// value, an environment string, another program's value, a rule file), or a
// custom location the user typed.
enum class GuardScope { kReference, kTyped };

// Null when removals may run in the folder part of patternOrPath (everything
// before its last '\' or '/'), otherwise why not, as a clause for the log
// ("it is inside Documents"). Any text holding a NUL is refused; so is a
// folder that exists but cannot be opened to be judged. A folder that does
// not exist holds nothing to remove and is not refused. Logs nothing.
const char* RemovalRefusal(const std::string& patternOrPath, GuardScope scope = GuardScope::kReference);
// What a refusal leaves: a place kept on purpose (Outcome::kGuarded), or,
// when the refusal says a judgement could not be made (what holds a folder
// cannot be read, a folder the system shows in a second place, a list of
// mounts that cannot be judged), something set out to go that stays, and is
// counted as not removed (Outcome::kRefused).
Outcome RefusedOutcome(const char* why);

// RemovalRefusal == null; a refusal is reported through LogRefusal.
bool RemovalAllowed(const std::string& patternOrPath, GuardScope scope = GuardScope::kReference);

// Reports one refusal: a folder refusal as the sweep-log line
// "  Skipped <folder>: <why>.\n" (folder: the folder part of patternOrPath
// as given), malformed text to the diagnostic trace only.
void LogRefusal(const std::string& patternOrPath, const char* why);
// True when why is one of the malformed-text refusals (NUL, no folder, relative).
bool IsMalformedRefusal(const char* why);

// The folder part of patternOrPath in the form the guard compares: made
// absolute, "." and ".." resolved, short names made long, no trailing
// separator (except after a drive letter). Empty when it is not absolute.
std::string CanonicalFolderOf(const std::string& patternOrPath);

// The text half of RemovalRefusal alone: NUL, relative, root, protected text.
const char* TextRefusal(const std::string& patternOrPath);
// The identity half, on a folder already open: null when the folder behind
// the handle is neither protected as a whole nor (kReference) inside a user
// data folder.
const char* FolderHandleRefusal(HANDLE folder, GuardScope scope = GuardScope::kReference);
// The same, judged also on the folders it was reached through (itself first:
// OpenFolderChecked's `opened`), which may be more than its name shows.
const char* FolderHandleRefusal(HANDLE folder, GuardScope scope, const std::vector<FolderIdentity>& opened);
// A folder met inside a tree being swept: null unless it is protected as a
// whole (a drive root, a system or profile folder, a data folder's root).
const char* IdentityRefusal(const FolderIdentity& id);
// Under Wine: whether the open file is mounted onto another file (a bind
// mount), so that its data belongs to another place; true also when the
// system's mounts cannot be judged. Never overwritten then. False on Windows.
bool IsFileMountedElsewhere(HANDLE file);
// Under Wine: whether a folder of the chain (a folder and its parents) is
// shown in a second place, as the system's mounts stand now: its parents as
// read then tell only one of the places that hold it. True also when the
// mounts cannot be judged. False on Windows.
bool ChainMountedTwice(const std::vector<FolderIdentity>& chain);

// Registry: keys that hold the machine's configuration (HKLM\SYSTEM and the
// other system hives), sign-in (Winlogon), policy (every "Policies" key), the
// start-up keys (Run and its kin), the shell-folder keys, Morvane's own, and
// the class roots (Classes, CLSID and the like: one class below them may
// go, never the root). Null when root\path may be removed as a whole
// (wholeKey) or have one of its values removed; otherwise why ("it is a
// policy key"). A whole key that holds a protected key is refused too. Any
// spelling of a hive (HKCR, HKU\<sid>, HKCC) and either registry view
// (Wow6432Node) is judged as the key it names, and a key that opens is also
// judged by the name the registry itself gives it.
const char* RegistryRefusal(HKEY root, const std::string& path, bool wholeKey);
// The same judgement on text alone, for a path whose segments may hold
// wildcards: a wildcard segment is taken to reach any fixed name it matches.
const char* RegistryPatternRefusal(HKEY root, const std::string& pattern, bool wholeKey);
// The sweep-log line of a refused registry change: "  Skipped <shown>: <why>.".
void LogRegistryRefusal(const std::string& shown, const char* why);

// The folder the handle reaches may be removed itself: FolderHandleRefusal,
// and it is not a temporary folder (those are emptied, never removed).
const char* FolderRemovalRefusal(HANDLE folder, GuardScope scope = GuardScope::kReference);

// How a rule means to use a folder named by a pattern whose segments may
// hold wildcards: remove files directly in it, also in every folder below
// it, or also remove the folder itself once empty.
enum class FolderUse { kFilesIn, kTree, kRemoveSelf };
// Judged on text, before anything exists to be opened: null unless the
// pattern (canonical, '\'-separated) may name a protected folder, a folder
// inside a store of keys and credentials, or (kTree, kRemoveSelf) a folder
// that holds such a store. A temporary folder is not refused here: it is
// emptied, and kept when it is to be removed (FolderRemovalRefusal). The
// sweep judges again, by identity, whatever the pattern reaches.
const char* FolderPatternRefusal(const std::string& canonicalPattern, FolderUse use);
// A drive root or the Windows folder: a file named exactly (no wildcard)
// may be removed from it alone, though the folder is never swept.
// Judged on text, for the reader's early word; NamedFileFolderRefusal judges.
bool NamedFilesMayGoIn(const std::string& canonicalFolder);
// The judgement of a folder a file named exactly is to be removed from,
// by identity: null when the folder is no protected place and lies in no
// user data folder, or when it is a volume's root or the Windows folder
// and nothing else that is protected. A drive letter that maps to a folder
// is that folder: "E:\" mapped to Documents is Documents, not a drive root.
const char* NamedFileFolderRefusal(HANDLE folder);

// For tests: judges the folder at path (by identity) as protected as a whole
// too, or (ProtectDataFolderForTests) as a user data folder named name, until
// ClearExtraProtectedFolders. Set while no sweep runs.
bool ProtectFolderForTests(const std::string& path);
bool ProtectDataFolderForTests(const std::string& path, const std::string& name);
void ClearExtraProtectedFolders();
// Takes the protected folders afresh from the system at the next judgement:
// called as each sweep starts, so that a resident program follows a known
// folder moved after it started. Judgements already running keep the set
// they began with. noteLetters: also notes where each drive letter leads
// (NoteLetterPlaces), as a sweep begins with nothing else running.
void RefreshProtectedPlaces(bool noteLetters = true);
// For tests: takes the protected folders afresh from the system at the next
// judgement (after a test changed where the shell says they are).
void ReloadProtectedFoldersForTests();

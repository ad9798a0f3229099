#include "engine/removal_guard.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "engine/letter_places.h"
#include "engine/mask_match.h"
#include "engine/nt_calls.h"
#include "engine/path_text.h"
#include "engine/protected_places.h"
#include "engine/sweep_log.h"
#include "engine/wildcard_path.h"
#include "winlib/trace.h"

namespace {

std::string FolderPart(const std::string& s) { return FolderOf(s); }

bool IsDriveAbsolute(const std::string& f) {
  return f.size() >= 3 && ((f[0] >= 'A' && f[0] <= 'Z') || (f[0] >= 'a' && f[0] <= 'z')) && f[1] == ':' &&
         (f[2] == '\\' || f[2] == '/');
}

bool IsUnc(const std::string& f) {
  return f.size() > 2 && (f[0] == '\\' || f[0] == '/') && (f[1] == '\\' || f[1] == '/') && f[2] != '\\' &&
         f[2] != '/' && f[2] != '?' && f[2] != '.';
}

// Drops the "\\?\" and "\\?\UNC\" prefixes: what stays is judged like any path.
std::string WithoutLongPrefix(const std::string& f) {
  if (f.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + f.substr(8);
  if (f.compare(0, 4, "\\\\?\\") == 0) return f.substr(4);
  return f;
}

std::string Canonical(std::string folder) {
  folder = WithoutLongPrefix(folder);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';  // "C:" from the pattern "C:\*.*"
  if (!IsDriveAbsolute(folder) && !IsUnc(folder)) return std::string();
  folder += '\\';  // so that "C:\x\.." resolves to a folder, not a file name
  char full[MAX_PATH * 4];
  DWORD n = ::GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return std::string();
  std::string out(full, n);
  char longer[MAX_PATH * 4];
  n = ::GetLongPathNameA(out.c_str(), longer, sizeof longer);
  if (n > 0 && n < sizeof longer) out.assign(longer, n);
  while (out.size() > 3 && (out.back() == '\\' || out.back() == '/')) out.pop_back();
  return out;
}

std::wstring Folded(const std::string& s) { return FoldCase(s); }

bool IsRoot(const std::string& canonical) {
  if (IsDriveAbsolute(canonical)) return canonical.size() <= 3;
  // "\\server\share" and above.
  size_t parts = 0;
  for (size_t i = 2; i < canonical.size(); ++i)
    if (canonical[i] == '\\' || canonical[i] == '/') ++parts;
  return parts < 2;
}

using guard::Kind;
using guard::Named;
using guard::CollectNamedTexts;
using guard::CollectSystemOwnTexts;

}  // namespace

namespace {

// Reasons live as long as the process: a judgement may be read after the
// folders were taken afresh.
const char* Intern(const std::string& text) {
  static std::mutex lock;
  static std::set<std::string> texts;
  std::lock_guard<std::mutex> hold(lock);
  return texts.insert(text).first->c_str();
}

struct Guarded {
  std::wstring folded;  // canonical text, upper-cased; empty for a test's folder
  std::string text;     // canonical text as the system gave it
  std::vector<std::wstring> segments;  // of text, folded, for matching patterns
  FolderIdentity id;
  bool hasId = false;
  Kind kind = Kind::kWhole;
  const char* itIs = nullptr;    // "it is Documents"
  const char* inside = nullptr;  // "it is inside Documents"
  bool holdsProfile = false;     // the profile lies in it (or is it)
  bool namedFilesMayGo = false;  // the Windows folder: a file named exactly may go from it
  bool driveRoot = false;        // a volume's root, reached by a drive letter
  bool mounted = false;          // from the system's list of mounts
};

struct GuardFolders {
  std::vector<Guarded> entries;
  std::vector<FolderIdentity> systemOwn;
  std::vector<FolderIdentity> mountedFiles;  // files mounted onto other files
  std::string mountList;       // the list of mounts the mounted entries come from
  bool mountsUnknown = false;  // a mount in it could not be judged
};

Guarded MakeGuarded(Kind kind, const std::string& name) {
  Guarded g;
  g.kind = kind;
  g.itIs = Intern("it is " + name);
  g.inside = Intern("it is inside " + name);
  return g;
}

// A folder shown in a second place (Wine: a bind mount) is kept whole
// wherever it is met, and nothing below it is swept: neither of its names
// tells all that holds it.
void TakeMounts(GuardFolders& f, std::string list) {
  f.entries.erase(std::remove_if(f.entries.begin(), f.entries.end(), [](const Guarded& g) { return g.mounted; }),
                  f.entries.end());
  std::vector<FolderIdentity> twice;
  f.mountsUnknown = !FoldersMountedTwice(list, &twice, &f.mountedFiles);
  for (const FolderIdentity& id : twice) {
    Guarded g = MakeGuarded(Kind::kSealed, "a folder mounted in a second place");
    g.id = id;
    g.hasId = true;
    g.mounted = true;
    f.entries.push_back(std::move(g));
  }
  f.mountList = std::move(list);
}

std::vector<Guarded>& ExtraFolders() {
  static std::vector<Guarded> extra;
  return extra;
}

// Taken once: the guarded folders by text and by identity, and every drive
// root. A second drive letter, a share or a link that reaches one of them is
// caught by what it reaches, whatever its spelling.
std::shared_ptr<const GuardFolders> Collect() {
  auto out = std::make_shared<GuardFolders>();
  DWORD oldMode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  for (const Named& n : CollectNamedTexts()) {
    const std::string c = Canonical(n.text);
    if (c.empty()) continue;
    Guarded g = MakeGuarded(n.kind, n.name);
    g.folded = Folded(c);
    g.text = c;
    for (const auto& seg : SplitPath(c)) g.segments.push_back(FoldCase(seg));
    g.hasId = IdentityOfFolder(c, &g.id);
    g.namedFilesMayGo = std::string(n.name) == "the Windows folder";
    out->entries.push_back(std::move(g));
  }
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
    const UINT type = ::GetDriveTypeA(root.c_str());
    if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM || type == DRIVE_NO_ROOT_DIR) continue;
    // A letter that leads to a folder names that folder, judged as itself.
    if (LetterMapsToFolder(static_cast<wchar_t>(L'A' + i))) continue;
    Guarded g = MakeGuarded(Kind::kWhole, "a drive root");
    g.driveRoot = true;
    g.hasId = IdentityOfFolder(root, &g.id);
    if (g.hasId) out->entries.push_back(std::move(g));
  }
  TakeMounts(*out, ReadMountList());
  for (const auto& t : CollectSystemOwnTexts()) {
    FolderIdentity id;
    if (IdentityOfFolder(Canonical(t), &id)) out->systemOwn.push_back(id);
  }
  for (const Guarded& g : ExtraFolders()) out->entries.push_back(g);
  // A data folder that holds the profile (Documents moved to the profile or
  // to a drive root) holds the system's own folders too.
  char profile[MAX_PATH * 2];
  if (::SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE)) {
    HANDLE h = OpenToJudge(Canonical(profile));
    std::vector<FolderIdentity> chain;
    if (h != INVALID_HANDLE_VALUE) {
      AncestorIdentities(h, chain);
      ::CloseHandle(h);
    }
    for (Guarded& g : out->entries)
      for (const auto& id : chain)
        if (g.hasId && g.kind == Kind::kData && g.id == id) g.holdsProfile = true;
  }
  ::SetThreadErrorMode(oldMode, nullptr);
  return out;
}

std::mutex& FoldersLock() {
  static std::mutex lock;
  return lock;
}
std::shared_ptr<const GuardFolders>& FoldersSlot() {
  static std::shared_ptr<const GuardFolders> folders;
  return folders;
}

// fresh: a judgement of what a name or handle reaches, made after it was
// opened. The list of mounts is read again for it, so that a mount made
// since the places were taken is seen (one made after the open does not
// change what the handle reaches).
std::shared_ptr<const GuardFolders> Folders(bool fresh = false) {
  std::string mounts;
  if (fresh && RunningUnderWine()) mounts = ReadMountList();
  std::lock_guard<std::mutex> hold(FoldersLock());
  if (!FoldersSlot()) {
    FoldersSlot() = Collect();
  } else if (fresh && RunningUnderWine() && mounts != FoldersSlot()->mountList) {
    auto changed = std::make_shared<GuardFolders>(*FoldersSlot());
    TakeMounts(*changed, std::move(mounts));
    FoldersSlot() = changed;
  }
  return FoldersSlot();
}

// keepSelfToo: a temporary folder counts too (it is to be removed, or
// entered from above), not only swept in.
const char* WholeRefusal(const GuardFolders& f, const FolderIdentity& id, bool keepSelfToo = false) {
  for (const auto& g : f.entries)
    if (g.hasId && g.id == id && (keepSelfToo || g.kind != Kind::kKeepSelf)) return g.itIs;
  return nullptr;
}

// A parent in the chain that nothing below may be swept in: a sealed store
// for anyone, a data folder for references.
const char* ParentRefusal(const GuardFolders& f, const FolderIdentity& id, GuardScope scope, bool belowSystemOwn) {
  for (const auto& g : f.entries) {
    if (!g.hasId || !(g.id == id)) continue;
    if (g.kind == Kind::kSealed) return g.inside;
    if (g.kind != Kind::kData || scope != GuardScope::kReference) continue;
    if (g.holdsProfile && belowSystemOwn) continue;
    return g.inside;
  }
  return nullptr;
}

bool IsSystemOwn(const GuardFolders& f, const FolderIdentity& id) {
  for (const auto& s : f.systemOwn)
    if (s == id) return true;
  return false;
}

// The walk up from the folder: its own identity against every guarded
// folder, each parent's against the data folders.
const char kMountsUnknown[] = "a folder mounted on this system cannot be judged";

const char* AncestryRefusal(const GuardFolders& f, const std::vector<FolderIdentity>& chain, GuardScope scope) {
  if (f.mountsUnknown) return kMountsUnknown;
  bool belowSystemOwn = false;
  for (size_t i = 0; i < chain.size(); ++i) {
    if (i == 0) {
      if (const char* why = WholeRefusal(f, chain[0])) return why;
    } else if (const char* why = ParentRefusal(f, chain[i], scope, belowSystemOwn)) {
      return why;
    }
    if (IsSystemOwn(f, chain[i])) belowSystemOwn = true;
  }
  return nullptr;
}

const char kMalformedNul[] = "it holds a NUL character";
const char kMalformedNoFolder[] = "it names no folder";
const char kMalformedRelative[] = "it is not a full path";

}  // namespace

std::string CanonicalFolderOf(const std::string& patternOrPath) { return Canonical(FolderPart(patternOrPath)); }

const char* FolderHandleRefusal(HANDLE folder, GuardScope scope) {
  const auto folders = Folders(true);
  std::vector<FolderIdentity> chain;
  if (!AncestorIdentities(folder, chain)) return "the folders that hold it cannot be judged";
  return AncestryRefusal(*folders, chain, scope);
}

const char* FolderHandleRefusal(HANDLE folder, GuardScope scope, const std::vector<FolderIdentity>& opened) {
  if (const char* why = FolderHandleRefusal(folder, scope)) return why;
  if (opened.empty()) return "the folders that hold it cannot be judged";
  return AncestryRefusal(*Folders(), opened, scope);
}

namespace {
const char* WholeOrMountsRefusal(const GuardFolders& f, const FolderIdentity& id) {
  return f.mountsUnknown ? kMountsUnknown : WholeRefusal(f, id, true);
}
}  // namespace

const char* IdentityRefusal(const FolderIdentity& id) { return WholeOrMountsRefusal(*Folders(true), id); }

const char* FolderRemovalRefusal(HANDLE folder, GuardScope scope) {
  if (const char* why = FolderHandleRefusal(folder, scope)) return why;
  FolderIdentity id;
  if (!IdentityOf(folder, &id)) return "its identity cannot be read";
  // The mounts were read afresh by the judgement just made.
  return WholeOrMountsRefusal(*Folders(), id);
}

bool IsFileMountedElsewhere(HANDLE file) {
  if (!RunningUnderWine()) return false;
  const auto folders = Folders(true);
  FolderIdentity id;
  if (folders->mountsUnknown || !IdentityOf(file, &id)) return true;
  return std::find(folders->mountedFiles.begin(), folders->mountedFiles.end(), id) != folders->mountedFiles.end();
}

bool ChainMountedTwice(const std::vector<FolderIdentity>& chain) {
  if (!RunningUnderWine()) return false;
  const auto folders = Folders(true);
  if (folders->mountsUnknown) return true;
  for (const auto& g : folders->entries)
    if (g.mounted && std::find(chain.begin(), chain.end(), g.id) != chain.end()) return true;
  return false;
}

namespace {
bool AddExtra(const std::string& path, Kind kind, const std::string& name) {
  Guarded g = MakeGuarded(kind, name);
  if (!IdentityOfFolder(path, &g.id)) return false;
  g.hasId = true;
  std::lock_guard<std::mutex> hold(FoldersLock());
  ExtraFolders().push_back(g);
  FoldersSlot() = nullptr;  // taken afresh with the extra folder
  return true;
}
}  // namespace

bool ProtectFolderForTests(const std::string& path) { return AddExtra(path, Kind::kWhole, "a protected folder"); }

bool ProtectDataFolderForTests(const std::string& path, const std::string& name) {
  return AddExtra(path, Kind::kData, name);
}

void ClearExtraProtectedFolders() {
  std::lock_guard<std::mutex> hold(FoldersLock());
  ExtraFolders().clear();
  FoldersSlot() = nullptr;
}

void RefreshProtectedPlaces(bool noteLetters) {
  // Under Wine a sweep starts with the drive letters as they stand, and
  // Wine's names following them.
  FollowDriveLetters();
  if (noteLetters) NoteLetterPlaces();
  std::lock_guard<std::mutex> hold(FoldersLock());
  FoldersSlot() = nullptr;
}

void ReloadProtectedFoldersForTests() { RefreshProtectedPlaces(); }

const char* TextRefusal(const std::string& patternOrPath) {
  if (patternOrPath.find('\0') != std::string::npos) return kMalformedNul;
  const std::string folder = FolderPart(patternOrPath);
  if (folder.empty()) return kMalformedNoFolder;
  const std::string canonical = Canonical(folder);
  if (canonical.empty()) return kMalformedRelative;
  if (IsRoot(canonical)) return "it is a drive root";
  const std::wstring folded = Folded(canonical);
  const auto folders = Folders();
  for (const auto& g : folders->entries)
    if (!g.folded.empty() && g.folded == folded && g.kind != Kind::kKeepSelf) return g.itIs;
  return nullptr;
}

const char* FolderPatternRefusal(const std::string& pattern, FolderUse use) {
  std::vector<std::wstring> want;
  for (const auto& seg : SplitPath(pattern)) want.push_back(FoldCase(seg));
  if (want.size() <= 1) return "it is a drive root";
  const auto folders = Folders();
  for (const auto& g : folders->entries) {
    if (g.segments.empty()) continue;
    const std::vector<std::wstring>& have = g.segments;
    const size_t n = std::min(want.size(), have.size());
    bool fits = true;
    for (size_t i = 0; i < n && fits; ++i)
      fits = FoldedMaskMatches(have[i], want[i]);
    if (!fits) continue;
    // A temporary folder is judged when it is to be removed, by identity:
    // its content may go.
    if (g.kind == Kind::kKeepSelf) continue;
    if (want.size() == have.size()) {
      return g.itIs;
    } else if (want.size() > have.size()) {
      if (g.kind == Kind::kSealed) return g.inside;
    } else if (g.kind == Kind::kSealed && use != FolderUse::kFilesIn) {
      return Intern(std::string("it holds ") + (g.itIs + 6));  // "it holds a store of keys ..."
    }
  }
  return nullptr;
}

bool NamedFilesMayGoIn(const std::string& canonicalFolder) {
  const std::vector<std::string> segs = SplitPath(canonicalFolder);
  if (segs.size() <= 1) return true;  // a drive root
  const auto folders = Folders();
  for (const auto& g : folders->entries)
    if (g.namedFilesMayGo && SameNoCase(g.text, canonicalFolder)) return true;
  return false;
}

const char* NamedFileFolderRefusal(HANDLE folder) {
  const auto folders = Folders(true);
  if (folders->mountsUnknown) return kMountsUnknown;
  std::vector<FolderIdentity> chain;
  size_t named = 0;
  if (!AncestorIdentities(folder, chain, &named)) return "the folders that hold it cannot be judged";
  // A drive letter that maps to a folder is judged as that folder: only
  // what is a drive root and nothing else protected gives up a named file.
  for (const auto& g : folders->entries)
    if (g.hasId && g.id == chain[0] && g.kind != Kind::kKeepSelf && !g.namedFilesMayGo && !(g.driveRoot && named == 1))
      return g.itIs;
  bool belowSystemOwn = IsSystemOwn(*folders, chain[0]);
  for (size_t i = 1; i < chain.size(); ++i) {
    if (const char* why = ParentRefusal(*folders, chain[i], GuardScope::kReference, belowSystemOwn)) return why;
    if (IsSystemOwn(*folders, chain[i])) belowSystemOwn = true;
  }
  return nullptr;
}

bool IsMalformedRefusal(const char* why) {
  return why == kMalformedNul || why == kMalformedNoFolder || why == kMalformedRelative;
}

const char* RemovalRefusal(const std::string& patternOrPath, GuardScope scope) {
  if (const char* why = TextRefusal(patternOrPath)) return why;
  HANDLE h = OpenToJudge(Canonical(FolderPart(patternOrPath)));
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    // A folder that is not there holds nothing to remove; any other failure
    // leaves the folder unjudged, and an unjudged folder is not swept.
    return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? nullptr : "it cannot be opened to be judged";
  }
  const char* why = FolderHandleRefusal(h, scope);
  ::CloseHandle(h);
  return why;
}

void LogRefusal(const std::string& patternOrPath, const char* why) {
  Trace("   Refused to sweep %s: %s.\n", patternOrPath.c_str(), why);
  if (IsMalformedRefusal(why)) return;
  std::string folder = FolderPart(patternOrPath);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  LogFormat(0, "  Skipped %s: %s.\n", folder.c_str(), why);
}

Outcome RefusedOutcome(const char* why) {
  if (why == nullptr) return Outcome::kGuarded;
  const std::string w(why);
  for (const char* unjudged : {"cannot be judged", "cannot be read", "cannot be opened to be judged",
                               "mounted in a second place"})
    if (w.find(unjudged) != std::string::npos) return Outcome::kRefused;
  return Outcome::kGuarded;
}

bool RemovalAllowed(const std::string& patternOrPath, GuardScope scope) {
  const char* why = RemovalRefusal(patternOrPath, scope);
  if (why == nullptr) return true;
  LogRefusal(patternOrPath, why);
  // What could not be judged stays, and is counted so (a protected place is
  // kept on purpose, and silently).
  if (RefusedOutcome(why) == Outcome::kRefused) {
    const bool pattern = LeafOf(patternOrPath).find_first_of("*?") != std::string::npos;
    RecordLeft(Outcome::kRefused, pattern ? FolderOf(patternOrPath) : patternOrPath, why);
  }
  return false;
}

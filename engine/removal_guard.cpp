#include "engine/removal_guard.h"

#include <windows.h>
// The known-folder ids are defined here, not taken from a library.
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "engine/mask_match.h"
#include "engine/nt_calls.h"
#include "engine/path_text.h"
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

// What a guarded folder is: never swept as a whole (system and profile
// roots); a user data folder, which nothing reached through a reference may
// sweep below either; a temporary folder, emptied but never removed; or a
// store of keys and credentials, never swept at all, whoever asks.
enum class Kind { kWhole, kData, kKeepSelf, kSealed };

struct Named {
  std::string text;
  Kind kind;
  const char* name;
};

// Every guarded folder, as the system names it. The same folder may come
// more than once, under several names; each one is judged.
std::vector<Named> CollectNamedTexts() {
  std::vector<Named> raw;
  char buf[MAX_PATH * 2];
  const auto add = [&](const std::string& text, Kind kind, const char* name) {
    if (!text.empty()) raw.push_back({text, kind, name});
  };
  if (UINT n = ::GetWindowsDirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH)
    add(std::string(buf, n), Kind::kWhole, "the Windows folder");
  if (UINT n = ::GetSystemDirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH)
    add(std::string(buf, n), Kind::kWhole, "a system folder");
  if (UINT n = ::GetSystemWow64DirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH)
    add(std::string(buf, n), Kind::kWhole, "a system folder");
  struct Csidl {
    int id;
    Kind kind;
    const char* name;
  };
  static const Csidl csidls[] = {
      {CSIDL_WINDOWS, Kind::kWhole, "the Windows folder"},
      {CSIDL_SYSTEM, Kind::kWhole, "a system folder"},
      {CSIDL_SYSTEMX86, Kind::kWhole, "a system folder"},
      {CSIDL_PROGRAM_FILES, Kind::kWhole, "a program files folder"},
      {CSIDL_PROGRAM_FILESX86, Kind::kWhole, "a program files folder"},
      {CSIDL_PROGRAM_FILES_COMMON, Kind::kWhole, "a program files folder"},
      {CSIDL_PROGRAM_FILES_COMMONX86, Kind::kWhole, "a program files folder"},
      {CSIDL_PROFILE, Kind::kWhole, "a user profile"},
      {CSIDL_COMMON_APPDATA, Kind::kWhole, "ProgramData"},
      {CSIDL_APPDATA, Kind::kWhole, "the roaming AppData folder"},
      {CSIDL_LOCAL_APPDATA, Kind::kWhole, "the local AppData folder"},
      {CSIDL_STARTMENU, Kind::kWhole, "the Start Menu"},
      {CSIDL_COMMON_STARTMENU, Kind::kWhole, "the Start Menu"},
      {CSIDL_STARTUP, Kind::kWhole, "the Startup folder"},
      {CSIDL_COMMON_STARTUP, Kind::kWhole, "the Startup folder"},
      {CSIDL_SENDTO, Kind::kWhole, "the SendTo folder"},
      {CSIDL_TEMPLATES, Kind::kWhole, "the Templates folder"},
      {CSIDL_COMMON_TEMPLATES, Kind::kWhole, "the Templates folder"},
      {CSIDL_FONTS, Kind::kWhole, "the Fonts folder"},
      {CSIDL_PERSONAL, Kind::kData, "Documents"},
      {CSIDL_DESKTOPDIRECTORY, Kind::kData, "Desktop"},
      {CSIDL_MYPICTURES, Kind::kData, "Pictures"},
      {CSIDL_MYMUSIC, Kind::kData, "Music"},
      {CSIDL_MYVIDEO, Kind::kData, "Videos"},
      {CSIDL_FAVORITES, Kind::kData, "Favorites"},
      {CSIDL_COMMON_DOCUMENTS, Kind::kData, "the public Documents"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, Kind::kData, "the public Desktop"},
      {CSIDL_COMMON_PICTURES, Kind::kData, "the public Pictures"},
      {CSIDL_COMMON_MUSIC, Kind::kData, "the public Music"},
      {CSIDL_COMMON_VIDEO, Kind::kData, "the public Videos"},
      {CSIDL_COMMON_FAVORITES, Kind::kData, "the public Favorites"},
  };
  for (const Csidl& c : csidls)
    if (::SHGetSpecialFolderPathA(nullptr, buf, c.id, FALSE)) add(buf, c.kind, c.name);
  // Known folders that have no CSIDL; never created here.
  struct Known {
    const KNOWNFOLDERID* id;
    Kind kind;
    const char* name;
  };
  static const Known known[] = {
      {&FOLDERID_Documents, Kind::kData, "Documents"},
      {&FOLDERID_Desktop, Kind::kData, "Desktop"},
      {&FOLDERID_Pictures, Kind::kData, "Pictures"},
      {&FOLDERID_Music, Kind::kData, "Music"},
      {&FOLDERID_Videos, Kind::kData, "Videos"},
      {&FOLDERID_Downloads, Kind::kData, "Downloads"},
      {&FOLDERID_Favorites, Kind::kData, "Favorites"},
      {&FOLDERID_Contacts, Kind::kData, "Contacts"},
      {&FOLDERID_Links, Kind::kData, "Links"},
      {&FOLDERID_SavedGames, Kind::kData, "Saved Games"},
      {&FOLDERID_SavedSearches, Kind::kData, "Searches"},
      {&FOLDERID_PublicDocuments, Kind::kData, "the public Documents"},
      {&FOLDERID_PublicDesktop, Kind::kData, "the public Desktop"},
      {&FOLDERID_PublicPictures, Kind::kData, "the public Pictures"},
      {&FOLDERID_PublicMusic, Kind::kData, "the public Music"},
      {&FOLDERID_PublicVideos, Kind::kData, "the public Videos"},
      {&FOLDERID_PublicDownloads, Kind::kData, "the public Downloads"},
      {&FOLDERID_LocalAppDataLow, Kind::kWhole, "the LocalLow folder"},
      {&FOLDERID_UserProfiles, Kind::kWhole, "the Users folder"},
  };
  for (const Known& k : known) {
    PWSTR path = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(*k.id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path != nullptr)
      add(nt::Narrow(path), k.kind, k.name);
    ::CoTaskMemFree(path);
  }
  // The environment as well: the shell may answer from a registry that
  // differs from what the expanded references were built from. OneDrive is
  // known only from the environment.
  struct Env {
    const char* text;
    Kind kind;
    const char* name;
  };
  static const Env vars[] = {
      {"%SystemRoot%", Kind::kWhole, "the Windows folder"},
      {"%windir%", Kind::kWhole, "the Windows folder"},
      {"%ProgramFiles%", Kind::kWhole, "a program files folder"},
      {"%ProgramFiles(x86)%", Kind::kWhole, "a program files folder"},
      {"%ProgramW6432%", Kind::kWhole, "a program files folder"},
      {"%CommonProgramFiles%", Kind::kWhole, "a program files folder"},
      {"%CommonProgramFiles(x86)%", Kind::kWhole, "a program files folder"},
      {"%CommonProgramW6432%", Kind::kWhole, "a program files folder"},
      {"%USERPROFILE%", Kind::kWhole, "a user profile"},
      {"%PUBLIC%", Kind::kWhole, "a user profile"},
      {"%ALLUSERSPROFILE%", Kind::kWhole, "ProgramData"},
      {"%ProgramData%", Kind::kWhole, "ProgramData"},
      {"%USERPROFILE%\\Desktop", Kind::kData, "Desktop"},
      {"%USERPROFILE%\\Documents", Kind::kData, "Documents"},
      {"%USERPROFILE%\\My Documents", Kind::kData, "Documents"},
      {"%OneDrive%", Kind::kData, "OneDrive"},
      {"%OneDriveConsumer%", Kind::kData, "OneDrive"},
      {"%OneDriveCommercial%", Kind::kData, "OneDrive"},
  };
  for (const Env& v : vars) {
    DWORD n = ::ExpandEnvironmentStringsA(v.text, buf, sizeof buf);
    if (n > 1 && n <= sizeof buf && buf[0] != '%') add(buf, v.kind, v.name);
  }
  // The temporary folders: emptied by sweeps, never removed themselves.
  if (DWORD n = ::GetTempPathA(MAX_PATH, buf); n > 0 && n < MAX_PATH) add(std::string(buf, n), Kind::kKeepSelf,
                                                                          "the temporary folder");
  for (const char* text : {"%TEMP%", "%TMP%", "%SystemRoot%\\Temp"}) {
    DWORD n = ::ExpandEnvironmentStringsA(text, buf, sizeof buf);
    if (n > 1 && n <= sizeof buf && buf[0] != '%') add(buf, Kind::kKeepSelf, "the temporary folder");
  }
  if (::SHGetSpecialFolderPathA(nullptr, buf, CSIDL_LOCAL_APPDATA, FALSE))
    add(std::string(buf) + "\\Temp", Kind::kKeepSelf, "the temporary folder");
  // The keys, certificates and saved credentials of the user, below both
  // AppData folders: losing them loses the user's encrypted data.
  for (int base : {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA}) {
    if (!::SHGetSpecialFolderPathA(nullptr, buf, base, FALSE)) continue;
    for (const char* store : {"Protect", "Credentials", "Crypto", "SystemCertificates", "Vault"})
      add(std::string(buf) + "\\Microsoft\\" + store, Kind::kSealed, "a store of keys and credentials");
  }
  // Every profile, not only the current one: the profiles folder (C:\Users)
  // holds the current user's, Default, Public and every other user's.
  if (::ExpandEnvironmentStringsA("%USERPROFILE%", buf, sizeof buf) > 1 && buf[0] != '%') {
    const std::string profiles = FolderPart(Canonical(buf));
    if (!profiles.empty()) {
      add(profiles, Kind::kWhole, "the Users folder");
      WIN32_FIND_DATAA fd;
      HANDLE h = ::FindFirstFileA((profiles + "\\*").c_str(), &fd);
      if (h != INVALID_HANDLE_VALUE) {
        do {
          const std::string name = fd.cFileName;
          if (name == "." || name == ".." || !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
          add(profiles + "\\" + name, Kind::kWhole, "a user profile");
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
      }
    }
  }
  return raw;
}

// The system's own folders that may lie inside a data folder moved to the
// profile or a drive root; below them, such a data folder does not protect.
std::vector<std::string> CollectSystemOwnTexts() {
  std::vector<std::string> raw;
  char buf[MAX_PATH * 2];
  for (int id : {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_INTERNET_CACHE, CSIDL_COOKIES, CSIDL_HISTORY, CSIDL_RECENT})
    if (::SHGetSpecialFolderPathA(nullptr, buf, id, FALSE)) raw.emplace_back(buf);
  if (DWORD n = ::GetTempPathA(MAX_PATH, buf); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  return raw;
}

// Opens a folder to learn what it is, following every link on the way: the
// identity of what the path reaches is what counts.
HANDLE OpenToJudge(const std::string& folder) {
  std::wstring w = nt::LongPathForm(folder);
  if (!w.empty() && w.back() != L'\\') w += L'\\';
  return ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE OpenToJudgeW(std::wstring w) {
  if (!w.empty() && w.back() != L'\\') w += L'\\';
  return ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IdentityOfFolder(const std::string& folder, FolderIdentity* out) {
  HANDLE h = OpenToJudge(folder);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = IdentityOf(h, out);
  ::CloseHandle(h);
  return ok;
}

// Length of the root of a final path ("\\?\C:\", "\\?\UNC\server\share\",
// "\\?\Volume{...}\"), 0 when it has none.
size_t RootLength(const std::wstring& p) {
  if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    const size_t server = p.find(L'\\', 8);
    if (server == std::wstring::npos) return 0;
    const size_t share = p.find(L'\\', server + 1);
    return share == std::wstring::npos ? p.size() : share + 1;
  }
  if (p.compare(0, 4, L"\\\\?\\") != 0) return 0;
  const size_t first = p.find(L'\\', 4);
  return first == std::wstring::npos ? p.size() : first + 1;
}

}  // namespace

// A place that cannot be judged is not swept.
bool AncestorIdentities(HANDLE h, std::vector<FolderIdentity>& out) {
  out.clear();
  FolderIdentity self;
  if (!IdentityOf(h, &self)) return false;
  out.push_back(self);
  wchar_t small[MAX_PATH * 2];
  DWORD n = ::GetFinalPathNameByHandleW(h, small, MAX_PATH * 2, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  std::wstring path;
  if (n > 0 && n < MAX_PATH * 2) {
    path.assign(small, n);
  } else if (n >= MAX_PATH * 2 && n < 32768 * 2) {
    path.assign(n + 1, L'\0');
    n = ::GetFinalPathNameByHandleW(h, &path[0], n + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= path.size()) return false;
    path.resize(n);
  } else {
    return false;
  }
  const size_t root = RootLength(path);
  if (root == 0) return false;
  for (int depth = 0; path.size() > root && depth < 512; ++depth) {
    while (path.size() > root && path.back() == L'\\') path.pop_back();
    const size_t cut = path.find_last_of(L'\\');
    path.resize(cut == std::wstring::npos || cut < root ? root : cut);
    HANDLE parent = OpenToJudgeW(path);
    if (parent == INVALID_HANDLE_VALUE) return false;
    FolderIdentity id;
    const bool ok = IdentityOf(parent, &id);
    ::CloseHandle(parent);
    if (!ok) return false;
    out.push_back(id);
  }
  return true;
}

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
  bool driveRoot = false;        // what a drive letter reaches (a volume's root, or a folder it maps to)
};

struct GuardFolders {
  std::vector<Guarded> entries;
  std::vector<FolderIdentity> systemOwn;
};

Guarded MakeGuarded(Kind kind, const std::string& name) {
  Guarded g;
  g.kind = kind;
  g.itIs = Intern("it is " + name);
  g.inside = Intern("it is inside " + name);
  return g;
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
    Guarded g = MakeGuarded(Kind::kWhole, "a drive root");
    g.driveRoot = true;
    g.hasId = IdentityOfFolder(root, &g.id);
    if (g.hasId) out->entries.push_back(std::move(g));
  }
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

std::shared_ptr<const GuardFolders> Folders() {
  std::lock_guard<std::mutex> hold(FoldersLock());
  if (!FoldersSlot()) FoldersSlot() = Collect();
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
const char* AncestryRefusal(const GuardFolders& f, const std::vector<FolderIdentity>& chain, GuardScope scope) {
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

bool IdentityOf(HANDLE h, FolderIdentity* out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return false;
  out->volume = info.dwVolumeSerialNumber;
  out->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

const char* FolderHandleRefusal(HANDLE folder, GuardScope scope) {
  const auto folders = Folders();
  std::vector<FolderIdentity> chain;
  if (!AncestorIdentities(folder, chain)) return "the folders that hold it cannot be judged";
  return AncestryRefusal(*folders, chain, scope);
}

const char* IdentityRefusal(const FolderIdentity& id) { return WholeRefusal(*Folders(), id, true); }

const char* FolderRemovalRefusal(HANDLE folder, GuardScope scope) {
  if (const char* why = FolderHandleRefusal(folder, scope)) return why;
  FolderIdentity id;
  if (!IdentityOf(folder, &id)) return "its identity cannot be read";
  return WholeRefusal(*Folders(), id, true);
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

void RefreshProtectedPlaces() {
  std::lock_guard<std::mutex> hold(FoldersLock());
  FoldersSlot() = nullptr;
}

void ReloadProtectedFoldersForTests() {
  std::lock_guard<std::mutex> hold(FoldersLock());
  FoldersSlot() = nullptr;
}

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
  const auto folders = Folders();
  std::vector<FolderIdentity> chain;
  if (!AncestorIdentities(folder, chain)) return "the folders that hold it cannot be judged";
  // A drive letter that maps to a folder is judged as that folder: only
  // what is a drive root and nothing else protected gives up a named file.
  for (const auto& g : folders->entries)
    if (g.hasId && g.id == chain[0] && g.kind != Kind::kKeepSelf && !g.namedFilesMayGo && !(g.driveRoot && chain.size() == 1))
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

bool RemovalAllowed(const std::string& patternOrPath, GuardScope scope) {
  const char* why = RemovalRefusal(patternOrPath, scope);
  if (why == nullptr) return true;
  LogRefusal(patternOrPath, why);
  return false;
}

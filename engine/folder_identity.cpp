#include "engine/folder_identity.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "engine/nt_calls.h"
#include "engine/path_text.h"

HANDLE OpenToJudge(const std::string& folder) {
  std::wstring w = nt::LongPathForm(folder);
  if (!w.empty() && w.back() != L'\\') w += L'\\';
  return ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

namespace {

HANDLE OpenToJudgeW(std::wstring w) {
  if (!w.empty() && w.back() != L'\\') w += L'\\';
  return ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool IdentityOfFolder(const std::string& folder, FolderIdentity* out) {
  HANDLE h = OpenToJudge(folder);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = IdentityOf(h, out);
  ::CloseHandle(h);
  return ok;
}

namespace {

using UnixNameFn = char*(CDECL*)(const wchar_t*);
// Wine's own call for the Unix name of a path; null on Windows.
UnixNameFn UnixName() {
  static const UnixNameFn call = reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  return call;
}

}  // namespace

bool RunningUnderWine() { return UnixName() != nullptr; }

FolderIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FolderIdentity id;
  // Wine makes a volume's serial from the drive letter that names the file
  // at that moment (C: gives 43000000): a letter made or removed that leads
  // to a folder changes the serial of everything below it. There the file's
  // number alone tells what it is.
  id.volume = RunningUnderWine() ? 0 : info.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return id;
}

bool IdentityOf(HANDLE h, FolderIdentity* out) {
  // Under Wine the number is asked by itself: the whole record also asks
  // for the volume's serial, a round trip through Wine's mount manager that
  // costs more than all the rest (and the serial is not used there).
  if (RunningUnderWine()) {
    uint64_t index = 0;
    if (!nt::FileIdOf(h, &index)) return false;
    *out = FolderIdentity{};
    out->index = index;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return false;
  *out = IdentityOf(info);
  return true;
}

namespace {

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

// Whether the final path is a root ("\\?\D:\", "\\?\unix\"), and the path
// one folder up from one that is not.
bool IsRootName(const std::wstring& p) { return RootLength(p) >= p.size(); }
std::wstring ParentName(std::wstring p) {
  const size_t root = RootLength(p);
  while (p.size() > root && p.back() == L'\\') p.pop_back();
  const size_t cut = p.find_last_of(L'\\');
  p.resize(cut == std::wstring::npos || cut < root ? root : cut);
  return p;
}

bool FinalPathOf(HANDLE h, std::wstring* path) {
  wchar_t small[MAX_PATH * 2];
  DWORD n = ::GetFinalPathNameByHandleW(h, small, MAX_PATH * 2, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n > 0 && n < MAX_PATH * 2) {
    path->assign(small, n);
    return true;
  }
  if (n < MAX_PATH * 2 || n >= 32768 * 2) return false;
  path->assign(n + 1, L'\0');
  n = ::GetFinalPathNameByHandleW(h, &(*path)[0], n + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= path->size()) return false;
  path->resize(n);
  return true;
}

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// The letter of the drive the Windows folder is on; 0 when unknown.
wchar_t SystemLetter() {
  wchar_t windows[MAX_PATH];
  const UINT w = ::GetWindowsDirectoryW(windows, MAX_PATH);
  return w < 3 || w >= MAX_PATH || windows[1] != L':' ? 0 : Upper(windows[0]);
}

// Wine's "\\?\unix" name of the letter's root ("\\?\unix/home/u/.wine/
// dosdevices/e:/"), and the Unix path it holds. Forward slashes: Wine
// refuses ".." between backslashes, but hands the Unix part as it stands to
// the system, which resolves ".." after links.
// A Unix name as Wine's calls take it; false when it is not UTF-8.
bool WideFromUtf8(const std::string& text, std::wstring* out) {
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  if (n <= 0) return false;
  out->assign(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &(*out)[0], n);
  return true;
}

bool UnixNameOf(const wchar_t* path, std::wstring* unix) {
  char* given = UnixName()(path);
  if (given == nullptr) return false;
  std::string text(given);
  ::HeapFree(::GetProcessHeap(), 0, given);
  return !text.empty() && text[0] == '/' && WideFromUtf8(text, unix);
}

bool LetterUnixName(wchar_t letter, std::wstring* base, std::wstring* unix) {
  const wchar_t root[] = {letter, L':', L'\\', 0};
  if (!UnixNameOf(root, unix)) return false;
  *base = L"\\\\?\\unix" + *unix;
  if (base->back() != L'/') *base += L'/';
  return true;
}

// One step up from a folder reached by a Unix name: its parent, and how the
// parent holds it. kNo also at the top of the file system, where ".." is
// the folder itself (*top).
//
// agree: belowName is the folder's final path as Wine gives it now, and the
// parent must be named alike. Wine names a folder from its path by the drive
// letters as it last read them, and reads them again only when the clock's
// second has turned: within one second a letter cannot lend a folder of one
// file system the name of another's. So the parent's name must be the
// folder's name less its last part; above a root (a letter's folder, named
// "X:\"), the parent must hold an entry that opens as the folder of that
// name. *misnamed when the parent's name disagrees: a letter moved since Wine
// read it.
//
// held: the folder below, open. A folder above renamed meanwhile (or two
// trees swapped, each holding a file system numbered like the other's)
// leaves every name agreeing and every number alike, while the name leads
// to another file system: the parent's entry must then be the very folder
// held (nt::SameObject). The parent stays open in *out for the next step.
struct StepUp {
  FolderIdentity id;
  std::wstring name;  // the parent's final path
  nt::Holds holds = nt::Holds::kNo;
  bool top = false;
  bool misnamed = false;
  std::shared_ptr<void> open;  // the parent
};
bool StepAbove(const std::wstring& up, const FolderIdentity& below, const std::wstring& belowName, StepUp* out,
               bool agree = false, HANDLE held = nullptr, const std::wstring& hint = std::wstring()) {
  HANDLE parent = ::CreateFileW(up.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (parent == INVALID_HANDLE_VALUE) return false;
  out->open.reset(parent, [](void* h) { ::CloseHandle(h); });
  const bool ok = IdentityOf(parent, &out->id) && FinalPathOf(parent, &out->name);
  out->top = ok && out->id == below && (belowName.empty() || SameNoCase(out->name, belowName)) &&
             (held == nullptr || nt::SameObject(parent, held) == nt::Sameness::kSame);
  // A mount point's ".." is the folder that holds it; a link's is the
  // folder that holds what it leads to.
  const auto mountedHere = [&](const std::wstring& name) {
    HANDLE back = OpenToJudgeW(up + name + L"/../");
    if (back == INVALID_HANDLE_VALUE) return false;
    FolderIdentity id;
    const bool same = IdentityOf(back, &id) && id == out->id;
    ::CloseHandle(back);
    return same;
  };
  std::function<bool(HANDLE)> namedBelow;
  if (ok && !out->top && agree && !belowName.empty()) {
    if (!IsRootName(belowName)) {
      out->misnamed = !SameNoCase(out->name, ParentName(belowName));
    } else {
      namedBelow = [&](HANDLE entry) {
        std::wstring name;
        return FinalPathOf(entry, &name) && SameNoCase(name, belowName);
      };
    }
  }
  std::function<bool(HANDLE)> confirm = namedBelow;
  if (held != nullptr)
    confirm = [&](HANDLE entry) {
      return (!namedBelow || namedBelow(entry)) && nt::SameObject(entry, held) == nt::Sameness::kSame;
    };
  if (!ok || out->top || out->misnamed) return ok;
  // The name the folder below was last known by, asked first: a listing
  // may be long.
  DWORD attributes = 0;
  uint64_t listedId = 0;
  if (held != nullptr && !hint.empty() && nt::ListedEntry(parent, hint, &attributes, &listedId, true) &&
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && listedId == below.index) {
    HANDLE entry = nt::OpenRelative(parent, hint, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_DIRECTORY_FILE,
                                    nullptr, true);
    FolderIdentity id;
    const bool holds = entry != nullptr && IdentityOf(entry, &id) && id == below && confirm(entry);
    if (entry != nullptr) ::CloseHandle(entry);
    if (holds) {
      out->holds = nt::Holds::kListed;
      return true;
    }
  }
  out->holds = nt::HoldsFolder(parent, below.index, mountedHere, confirm);
  return ok;
}

// The last part of a final path ("s" of "\\?\D:\x\s").
std::wstring LeafName(const std::wstring& p) {
  if (IsRootName(p)) return std::wstring();
  const size_t cut = p.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : p.substr(cut + 1);
}

// Under Wine a drive letter may lead to any folder (a link in its
// "dosdevices" folder), and Wine then names everything below that folder by
// the letter: its final path ends at "X:\" with the folders above unseen.
// Wine's own "\\?\unix" names reach them: the letter's Unix name with
// "../" added. Adds the identities above the letter's root, up to the system
// drive's root or the top of the file system; kUnread when one cannot be
// read, or when the letter no longer leads to the folder judged. Each is found
// afresh: a folder keeps its identity when it moves, its parents do not. The
// system drive is a volume, not a folder, though Wine keeps it in a folder
// (which may lie in the user's home, and so in Documents): nothing above it
// is added, unless pastSystemDrive (what a rule's exclusion keeps is kept by
// identity, wherever the folder that holds the system drive lies). Nothing
// to add on Windows, where a letter's final path is already its volume's.
//
// Where a letter moved since Wine last read it (the letter's folder is no
// longer the one Wine names by it), kStale: the judgement must wait until
// Wine reads its letters again.
//
// root: the letter's folder as reached from below, open, or null; each
// parent must then hold the very folder below it (see StepAbove).
enum class Ancestry { kRead, kUnread, kLetterMoved, kStale };

Ancestry AddFoldersAboveLetter(wchar_t letter, bool pastSystemDrive, std::vector<FolderIdentity>& out,
                               HANDLE root = nullptr) {
  if (UnixName() == nullptr) return Ancestry::kRead;
  const wchar_t system = SystemLetter();
  if (system == 0) return Ancestry::kUnread;
  if (Upper(letter) == system && !pastSystemDrive) return Ancestry::kRead;
  const std::wstring systemRoot = std::wstring(L"\\\\?\\") + system + L":\\";
  const std::wstring letterRoot = {L'\\', L'\\', L'?', L'\\', Upper(letter), L':', L'\\'};
  std::wstring base, unix;
  if (!LetterUnixName(letter, &base, &unix)) return Ancestry::kUnread;
  const FolderIdentity judged = out.back();
  // The letter is read afresh by each name below: it must still lead to the
  // folder judged, before the walk up and after it, and Wine must name that
  // folder by the letter.
  const auto stillLeadsThere = [&]() {
    HANDLE again = OpenToJudgeW(base);
    if (again == INVALID_HANDLE_VALUE) return Ancestry::kUnread;
    FolderIdentity id;
    std::wstring name;
    const bool same = IdentityOf(again, &id) && id == judged &&
                      (root == nullptr || nt::SameObject(again, root) == nt::Sameness::kSame);
    const bool named = FinalPathOf(again, &name) && SameNoCase(name, letterRoot);
    ::CloseHandle(again);
    return !same ? Ancestry::kUnread : named ? Ancestry::kRead : Ancestry::kStale;
  };
  const Ancestry before = stillLeadsThere();
  if (before != Ancestry::kRead) return before;
  // Wine leaves its own prefix folder (the one that holds "dosdevices") out
  // of every listing: it is taken as listed in its parent.
  FolderIdentity prefix;
  const size_t dos = unix.rfind(L"/dosdevices/");
  HANDLE prefixFolder = dos == std::wstring::npos ? INVALID_HANDLE_VALUE
                                                  : OpenToJudgeW(L"\\\\?\\unix" + unix.substr(0, dos + 1));
  const bool hasPrefix = prefixFolder != INVALID_HANDLE_VALUE && IdentityOf(prefixFolder, &prefix);
  if (prefixFolder != INVALID_HANDLE_VALUE) ::CloseHandle(prefixFolder);
  // The prefix folder's own name, by which its parent holds it.
  const std::wstring prefixPath = dos == std::wstring::npos ? std::wstring() : unix.substr(0, dos);
  const std::wstring prefixName = prefixPath.substr(prefixPath.rfind(L'/') + 1);
  std::wstring up = base, lastName = letterRoot;
  FolderIdentity last = judged;
  std::shared_ptr<void> lastOpen;
  HANDLE lastHeld = root;
  for (int depth = 0; depth < 512; ++depth) {
    up += L"../";
    // Each parent must hold the folder found below it, by number and by
    // name: a letter re-pointed between two steps gives a parent that does
    // not.
    StepUp step;
    if (!StepAbove(up, last, lastName, &step, true, lastHeld)) return Ancestry::kUnread;
    if (step.misnamed) return Ancestry::kStale;
    if (step.top) return stillLeadsThere();
    if (step.holds == nt::Holds::kNo) {
      if (!(hasPrefix && last == prefix)) return IsRootName(lastName) ? Ancestry::kStale : Ancestry::kUnread;
      // Unlisted, the prefix folder is held by its name.
      if (lastHeld != nullptr) {
        HANDLE entry = prefixName.empty() ? nullptr
                                          : nt::OpenRelative(step.open.get(), prefixName, FILE_READ_ATTRIBUTES,
                                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                             FILE_DIRECTORY_FILE, nullptr, true);
        const bool same = entry != nullptr && nt::SameObject(entry, lastHeld) == nt::Sameness::kSame;
        if (entry != nullptr) ::CloseHandle(entry);
        if (!same) return Ancestry::kUnread;
      }
    }
    out.push_back(step.id);
    if (!pastSystemDrive && SameNoCase(step.name, systemRoot)) return stillLeadsThere();
    last = step.id;
    lastName = step.name;
    lastOpen = step.open;
    if (root != nullptr) lastHeld = lastOpen.get();
  }
  return Ancestry::kUnread;
}

// Wine reads its drive letters again only once the clock's second has
// turned since it last read them, and until then names a folder by the
// letter that led to it then. Under a letter re-pointed in between, such a
// name leads elsewhere: to another file system that may number its folders
// alike, so that neither the number nor the name tells the two apart. The
// letters are therefore watched: what each leads to (its folder and the
// folders above it, by identity) is read at each judgement under it, and
// when that has changed since it was last read, the judgement waits until
// Wine has read its letters again, and reads its names afresh.
struct LetterWatch {
  std::mutex lock;
  std::map<wchar_t, std::vector<FolderIdentity>> seen;
  uint64_t generation = 1;
};
LetterWatch& Watch() {
  static LetterWatch* watch = new LetterWatch;  // never destroyed: judged from any thread until the end
  return *watch;
}

// What the letter leads to now: its folder and each folder above it, up to
// the top of the file system (where ".." is the folder itself, met three
// times in a row so that a mount root numbered like its parent does not end
// it). Empty when the letter leads nowhere; a folder that cannot be read
// ends it with an identity no folder has.
std::vector<FolderIdentity> LetterLeadsNow(wchar_t letter) {
  std::vector<FolderIdentity> chain;
  std::wstring base, unix;
  if (!LetterUnixName(letter, &base, &unix)) return chain;
  std::wstring up = base;
  int repeats = 0;
  for (int depth = 0; depth < 512; ++depth, up += L"../") {
    FolderIdentity id;
    HANDLE h = OpenToJudgeW(up);
    const bool ok = h != INVALID_HANDLE_VALUE && IdentityOf(h, &id);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    if (!ok) {
      chain.push_back(FolderIdentity{~0u, ~0ull});
      break;
    }
    repeats = !chain.empty() && chain.back() == id ? repeats + 1 : 0;
    chain.push_back(id);
    if (repeats == 2) break;
  }
  return chain;
}

uint64_t ClockTicks() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}
uint64_t ClockSecond() { return ClockTicks() / 10000000; }

// The clock's second, once it is some 30 ms old: Wine reads the time for its
// letters from a coarser clock that may turn a few ms later, and one second
// of names must not straddle two readings of its letters.
uint64_t SettledSecond() {
  const uint64_t intoSecond = (ClockTicks() % 10000000) / 10000;  // ms
  if (intoSecond < 30) ::Sleep(static_cast<DWORD>(30 - intoSecond));
  return ClockSecond();
}

// Records what the letter leads to; true when that differs from what was
// last recorded (or nothing was).
bool LetterChanged(wchar_t letter, const std::vector<FolderIdentity>& now) {
  LetterWatch& w = Watch();
  std::lock_guard<std::mutex> hold(w.lock);
  auto at = w.seen.find(letter);
  if (at != w.seen.end() && at->second == now) return false;
  w.seen[letter] = now;
  ++w.generation;
  return true;
}

// Until Wine reads its letters again: the next second, and a little.
void WaitForWineToReadItsLetters() {
  const uint64_t second = ClockSecond();
  while (ClockSecond() == second) ::Sleep(10);
  ::Sleep(20);
}

bool IsLetterPath(const std::wstring& p) {
  return p.size() >= 7 && p.compare(0, 4, L"\\\\?\\") == 0 && p[5] == L':' && p[6] == L'\\' &&
         ((p[4] >= L'A' && p[4] <= L'Z') || (p[4] >= L'a' && p[4] <= L'z'));
}

bool IsLetterRoot(const std::wstring& p) { return p.size() == 7 && IsLetterPath(p); }

}  // namespace

bool LetterMapsToFolder(wchar_t letter) {
  const wchar_t device[] = {letter, L':', 0};
  if (UnixName() == nullptr) {
    // subst and its kin: the letter is a link to a path ("\??\C:\Stuff").
    wchar_t target[1024];
    const DWORD n = ::QueryDosDeviceW(device, target, 1024);
    return n >= 4 && std::wstring(target, 4) == L"\\?" L"?\\";
  }
  // Under Wine every letter leads to a folder: the system drive is a volume,
  // and so is what lies at the top of a file system or is mounted.
  if (Upper(letter) == SystemLetter()) return false;
  std::wstring base, unix;
  const wchar_t root[] = {letter, L':', L'\\', 0};
  FolderIdentity self;
  if (!LetterUnixName(letter, &base, &unix) || !IdentityOfFolder(nt::Narrow(root), &self)) return false;
  StepUp step;
  return StepAbove(base + L"../", self, std::wstring(), &step) && !step.top && step.holds == nt::Holds::kListed;
}

wchar_t SystemDriveLetter() { return SystemLetter(); }

bool LetterFolderFromAbove(wchar_t letter, std::wstring* above, FolderIdentity* id) {
  above->clear();
  const wchar_t root[] = {letter, L':', L'\\', 0};
  HANDLE raw = OpenToJudgeW(root);
  if (raw == INVALID_HANDLE_VALUE) return false;
  const std::shared_ptr<void> self(raw, [](void* h) { ::CloseHandle(h); });
  if (!IdentityOf(raw, id)) return false;
  if (UnixName() == nullptr || Upper(letter) == SystemLetter()) return true;
  std::wstring base, unix, parentName;
  StepUp step;
  if (!LetterUnixName(letter, &base, &unix) || !StepAbove(base + L"../", *id, std::wstring(), &step)) return false;
  if (step.top) return true;
  // A mount point is listed as a link is, under another number: the one of
  // those that is the letter's folder.
  const bool mounted = step.holds == nt::Holds::kMounted;
  std::vector<std::wstring> names, linked;
  if (step.holds == nt::Holds::kNo || !nt::NamesListedAs(step.open.get(), id->index, &names, &linked) ||
      !FinalPathOf(step.open.get(), &parentName) || parentName.compare(0, 4, L"\\\\?\\") != 0)
    return false;
  if (mounted) names.swap(linked);
  std::wstring found;
  for (const auto& name : names) {
    HANDLE entry = nt::OpenRelative(step.open.get(), name, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_DIRECTORY_FILE, nullptr,
                                    true);
    if (entry == nullptr) continue;
    const bool same = nt::SameObject(entry, raw) == nt::Sameness::kSame;
    ::CloseHandle(entry);
    if (!same) continue;
    // A link beside a mount point reaches its root as well, and is listed
    // alike: either name is looked at as a mount point (another file
    // system, named where it stands), so the first serves.
    if (!found.empty() && !mounted) return false;
    if (found.empty()) found = name;
  }
  if (found.empty()) return false;
  *above = L"\\??\\" + parentName.substr(4);
  if (above->back() != L'\\') *above += L'\\';
  *above += found;
  return true;
}

namespace {

// A field of the system's mount list, its blanks and backslashes written
// as octal escapes ("\\040").
std::string UnescapeMountField(const std::string& field) {
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 4 <= field.size() && octal(field[i + 1]) && octal(field[i + 2]) && octal(field[i + 3])) {
      out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool LiesIn(const std::string& root, const std::string& outer) {
  return root == outer || outer == "/" || (root.size() > outer.size() && root.compare(0, outer.size(), outer) == 0 &&
                                           root[outer.size()] == '/');
}

}  // namespace

std::string ReadMountList() {
  std::string text;
  if (UnixName() == nullptr) return text;
  // A list that cannot be read, or is cut short, ends without a line's end:
  // it cannot be judged.
  HANDLE f = ::CreateFileW(L"\\\\?\\unix/proc/self/mountinfo", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "unreadable";
  char buffer[16384];
  DWORD got = 0;
  bool ended = false;
  while (text.size() < (64u << 20)) {
    if (!::ReadFile(f, buffer, sizeof buffer, &got, nullptr)) break;
    if (got == 0) {
      ended = true;
      break;
    }
    text.append(buffer, got);
  }
  ::CloseHandle(f);
  if (!ended) text += " (cut short)";
  return text;
}

namespace {

// The folder a mount point names, or when that cannot be opened (a name
// that is not UTF-8, a folder that cannot be read), the nearest folder
// above it that can: what cannot be named is kept with what holds it.
// *isFile: the mount point is a file (mounted onto another file), which
// cannot be removed while mounted and needs no folder kept.
// A Unix name Wine can open as it stands: UTF-8, and no backslash (which
// Wine reads as a separator, so that another folder would answer).
bool OpensAsNamed(const std::string& point, std::wstring* w) {
  return point.find('\\') == std::string::npos && WideFromUtf8(point, w);
}

bool MountedFolderOrAbove(std::string point, FolderIdentity* out, bool* isFile) {
  *isFile = false;
  std::wstring named;
  if (OpensAsNamed(point, &named)) {
    const std::wstring unix = L"\\\\?\\unix" + named;
    const DWORD attributes = ::GetFileAttributesW(unix.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      HANDLE h = ::CreateFileW(unix.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
      *isFile = h != INVALID_HANDLE_VALUE && IdentityOf(h, out);
      if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
      if (*isFile) return true;
    }
  }
  while (!point.empty() && point[0] == '/') {
    std::wstring w;
    if (OpensAsNamed(point, &w)) {
      HANDLE h = OpenToJudgeW(L"\\\\?\\unix" + w + (w.back() == L'/' ? L"" : L"/"));
      if (h != INVALID_HANDLE_VALUE) {
        const bool ok = IdentityOf(h, out);
        ::CloseHandle(h);
        if (ok) return true;
      }
    }
    if (point == "/") return false;
    const size_t slash = point.find_last_of('/');
    point.resize(slash == 0 ? 1 : slash);
  }
  return false;
}

}  // namespace

bool FoldersMountedTwice(const std::string& text, std::vector<FolderIdentity>* out,
                         std::vector<FolderIdentity>* files) {
  out->clear();
  if (files != nullptr) files->clear();
  if (!text.empty() && text.back() != '\n') return false;
  // Each line: id, parent id, device, root within the device, mount point, ...
  struct Mount {
    std::string device, root, point;
  };
  std::vector<Mount> mounts;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    for (size_t p = at; p < end && fields.size() < 5;) {
      const size_t blank = std::min(text.find(' ', p), end);
      fields.push_back(text.substr(p, blank - p));
      p = blank + 1;
    }
    at = end + 1;
    if (fields.size() == 5)
      mounts.push_back({fields[2], UnescapeMountField(fields[3]), UnescapeMountField(fields[4])});
  }
  // A mount whose folder lies in (or is) what another mount of the same
  // device shows is a second place of that folder.
  bool all = true;
  std::vector<FolderIdentity> ignored;
  for (size_t i = 0; i < mounts.size(); ++i) {
    bool twice = false;
    for (size_t j = 0; j < mounts.size() && !twice; ++j)
      twice = j != i && mounts[j].device == mounts[i].device && mounts[j].point != mounts[i].point &&
              LiesIn(mounts[i].root, mounts[j].root);
    if (!twice) continue;
    FolderIdentity id;
    bool isFile = false;
    if (!MountedFolderOrAbove(mounts[i].point, &id, &isFile))
      all = false;
    else
      (isFile ? (files != nullptr ? files : &ignored) : out)->push_back(id);
  }
  return all;
}

namespace {

// Whether Wine has read the letter since it last moved: Wine knows a
// letter's folder by its file system and number, and names that folder by
// the letter only once it has read where the letter leads now.
bool WineHasReadLetter(wchar_t letter) {
  std::wstring base, unix;
  if (!LetterUnixName(letter, &base, &unix)) return false;
  HANDLE h = OpenToJudgeW(base);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::wstring name;
  const bool named = FinalPathOf(h, &name);
  ::CloseHandle(h);
  const wchar_t root[] = {L'\\', L'\\', L'?', L'\\', letter, L':', L'\\', 0};
  return named && SameNoCase(name, root);
}

}  // namespace

bool FollowDriveLetter(wchar_t letter) {
  if (UnixName() == nullptr) return false;
  letter = Upper(letter);
  if (letter == SystemLetter() || !LetterChanged(letter, LetterLeadsNow(letter))) return false;
  if (!WineHasReadLetter(letter)) WaitForWineToReadItsLetters();
  return true;
}

void FollowDriveLetters() {
  if (UnixName() == nullptr) return;
  bool unread = false;
  const wchar_t system = SystemLetter();
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter)
    if (letter != system && LetterChanged(letter, LetterLeadsNow(letter)) && !WineHasReadLetter(letter)) unread = true;
  if (unread) WaitForWineToReadItsLetters();
}

uint64_t DriveLetterGeneration() {
  LetterWatch& w = Watch();
  std::lock_guard<std::mutex> hold(w.lock);
  return w.generation;
}

namespace {

// Under Wine each parent is read by its Unix name and must hold the very
// folder below it (see StepAbove), starting from self; mayBeStale: the
// names must also agree, all within one second.
Ancestry AncestorsByName(std::wstring path, size_t root, HANDLE self, bool mayBeStale,
                         std::vector<FolderIdentity>& out, size_t* named, bool pastSystemDrive) {
  std::wstring below = path;
  const bool tied = UnixName() != nullptr && self != nullptr;
  std::shared_ptr<void> heldOpen;
  HANDLE held = self;
  for (int depth = 0; path.size() > root && depth < 512; ++depth) {
    path = ParentName(path);
    FolderIdentity id;
    if (!tied) {
      HANDLE parent = OpenToJudgeW(path);
      if (parent == INVALID_HANDLE_VALUE) return Ancestry::kUnread;
      const bool ok = IdentityOf(parent, &id);
      ::CloseHandle(parent);
      if (!ok) return Ancestry::kUnread;
    } else {
      std::wstring unix;
      if (!UnixNameOf((path.back() == L'\\' ? path : path + L"\\").c_str(), &unix) || unix.empty()) return Ancestry::kUnread;
      if (unix.back() != L'/') unix += L'/';
      StepUp step;
      if (!StepAbove(L"\\\\?\\unix" + unix, out.back(), mayBeStale ? below : std::wstring(), &step, mayBeStale,
                     held, LeafName(below)) ||
          step.top)
        return Ancestry::kUnread;
      if (step.misnamed) return Ancestry::kStale;
      if (step.holds == nt::Holds::kNo) return Ancestry::kUnread;
      id = step.id;
      below = step.name;
      heldOpen = step.open;
      held = heldOpen.get();
    }
    out.push_back(id);
  }
  if (named != nullptr) *named = out.size();
  return IsLetterRoot(path) ? AddFoldersAboveLetter(path[4], pastSystemDrive, out, tied ? held : nullptr)
                            : Ancestry::kRead;
}


Ancestry AncestorsOnce(HANDLE h, std::vector<FolderIdentity>& out, size_t* named, bool pastSystemDrive) {
  out.clear();
  FolderIdentity self;
  if (!IdentityOf(h, &self)) return Ancestry::kUnread;
  out.push_back(self);
  const uint64_t second = UnixName() != nullptr ? SettledSecond() : 0;
  std::wstring path;
  if (!FinalPathOf(h, &path)) return Ancestry::kUnread;
  const size_t root = RootLength(path);
  if (root == 0) return Ancestry::kUnread;
  // Under Wine a name below a letter other than the system drive's may be
  // out of date: Wine names a folder by what the letter led to when the
  // clock's second last turned, while the name, opened again, follows the
  // letter now. Each parent read by the name must be named as the folder
  // below it says, and all within the second the folder's own name was
  // given in (see StepAbove): then no letter moved meanwhile lends the
  // folder the parents of another file system that numbers its folders
  // alike. Once the parents are read (or failed to be), the letter must
  // still lead where it led when last read.
  const bool mayBeStale = UnixName() != nullptr && IsLetterPath(path) && Upper(path[4]) != SystemLetter();
  const Ancestry read = AncestorsByName(path, root, h, mayBeStale, out, named, pastSystemDrive);
  if (!mayBeStale) return read;
  if (FollowDriveLetter(path[4])) return Ancestry::kLetterMoved;
  if (read == Ancestry::kRead && ClockSecond() != second) return Ancestry::kLetterMoved;
  return read;
}

thread_local bool t_unsettled = false;

}  // namespace

// A place that cannot be judged is not swept.
bool AncestorIdentities(HANDLE h, std::vector<FolderIdentity>& out, size_t* named, bool pastSystemDrive) {
  // A letter that moved while it was read: Wine has read its letters again
  // since, and the name is read afresh (a letter moved again and again
  // cannot be judged).
  for (int attempt = 0; attempt < 3; ++attempt) {
    const Ancestry read = AncestorsOnce(h, out, named, pastSystemDrive);
    if (read == Ancestry::kStale) WaitForWineToReadItsLetters();
    else if (read != Ancestry::kLetterMoved) return t_unsettled = false, read == Ancestry::kRead;
  }
  t_unsettled = true;
  return false;
}

bool LastAncestryUnsettled() { return t_unsettled; }

uint64_t NamingSecond() { return SettledSecond(); }

#include "engine/folder_identity.h"

#include <map>
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

FolderIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FolderIdentity id;
  id.volume = info.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return id;
}

bool IdentityOf(HANDLE h, FolderIdentity* out) {
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

// What lies above each letter's root, kept until the protected places are
// taken afresh (each sweep): a walk asks about every folder it meets. Kept
// only for the letter's root it was found for.
struct AboveLetters {
  std::mutex lock;
  std::map<std::pair<wchar_t, bool>, std::pair<FolderIdentity, std::vector<FolderIdentity>>> above;
};
AboveLetters& LettersSeen() {
  static AboveLetters* seen = new AboveLetters;  // never destroyed: sweeps may outlive static destruction
  return *seen;
}
void ForgetLetters() {
  AboveLetters& seen = LettersSeen();
  std::lock_guard<std::mutex> hold(seen.lock);
  seen.above.clear();
}

bool FindFoldersAboveLetter(wchar_t letter, bool pastSystemDrive, std::vector<FolderIdentity>& out);

// Under Wine a drive letter may lead to any folder (a link in its
// "dosdevices" folder), and Wine then names everything below that folder by
// the letter: its final path ends at "X:\" with the folders above unseen.
// Wine's own "\\?\unix" names reach them: the letter's Unix name with
// "../" added, resolved by the system after the link. Adds the identities
// above the letter's root, up to the system drive's root or the top of the
// file system; false when one cannot be read, or when the letter no longer
// leads to the folder judged. The system drive is a volume, not a folder,
// though Wine keeps it in a folder (which may lie in the user's home, and so
// in Documents): nothing above it is added, unless pastSystemDrive (what a
// rule's exclusion keeps is kept by identity, wherever the folder that holds
// the system drive lies). Nothing to add on Windows, where
// a letter's final path is already its volume's.
bool AddFoldersAboveLetter(wchar_t letter, bool pastSystemDrive, std::vector<FolderIdentity>& out) {
  AboveLetters& seen = LettersSeen();
  const FolderIdentity root = out.back();
  {
    std::lock_guard<std::mutex> hold(seen.lock);
    const auto it = seen.above.find({letter, pastSystemDrive});
    if (it != seen.above.end() && it->second.first == root) {
      out.insert(out.end(), it->second.second.begin(), it->second.second.end());
      return true;
    }
  }
  std::vector<FolderIdentity> above{root};
  if (!FindFoldersAboveLetter(letter, pastSystemDrive, above)) return false;
  above.erase(above.begin());
  out.insert(out.end(), above.begin(), above.end());
  std::lock_guard<std::mutex> hold(seen.lock);
  seen.above[{letter, pastSystemDrive}] = {root, std::move(above)};
  return true;
}

bool FindFoldersAboveLetter(wchar_t letter, bool pastSystemDrive, std::vector<FolderIdentity>& out) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  static const UnixName unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return true;
  wchar_t windows[MAX_PATH];
  const UINT w = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (w < 3 || w >= MAX_PATH || windows[1] != L':') return false;
  const auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
  const wchar_t system = upper(windows[0]);
  if (upper(letter) == system && !pastSystemDrive) return true;
  const std::wstring systemRoot = std::wstring(L"\\\\?\\") + system + L":\\";
  const wchar_t root[] = {letter, L':', L'\\', 0};
  char* given = unixName(root);
  if (given == nullptr) return false;
  std::string text(given);
  ::HeapFree(::GetProcessHeap(), 0, given);
  if (text.empty() || text[0] != '/') return false;
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  if (n <= 0) return false;
  std::wstring unix(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &unix[0], n);
  // Forward slashes: Wine refuses ".." between backslashes, but hands the
  // Unix part as it stands to the system, which resolves ".." after links.
  std::wstring base = L"\\\\?\\unix" + unix;
  if (base.back() != L'/') base += L'/';
  const FolderIdentity judged = out.back();
  // The letter is read afresh by each name below: it must still lead to the
  // folder judged, before the walk up and after it.
  const auto stillLeadsThere = [&]() {
    HANDLE again = OpenToJudgeW(base);
    if (again == INVALID_HANDLE_VALUE) return false;
    FolderIdentity id;
    const bool same = IdentityOf(again, &id) && id == judged;
    ::CloseHandle(again);
    return same;
  };
  if (!stillLeadsThere()) return false;
  // Wine leaves its own prefix folder (the one that holds "dosdevices") out
  // of every listing: it is taken as listed in its parent.
  FolderIdentity prefix;
  const size_t dos = unix.rfind(L"/dosdevices/");
  HANDLE prefixFolder = dos == std::wstring::npos ? INVALID_HANDLE_VALUE
                                                  : OpenToJudgeW(L"\\\\?\\unix" + unix.substr(0, dos + 1));
  const bool hasPrefix = prefixFolder != INVALID_HANDLE_VALUE && IdentityOf(prefixFolder, &prefix);
  if (prefixFolder != INVALID_HANDLE_VALUE) ::CloseHandle(prefixFolder);
  std::wstring up = base, lastName;
  FolderIdentity last = judged;
  for (int depth = 0; depth < 512; ++depth) {
    up += L"../";
    // Each parent must hold the folder found below it: a letter re-pointed
    // between two steps gives a parent that does not.
    HANDLE parent = ::CreateFileW(up.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (parent == INVALID_HANDLE_VALUE) return false;
    FolderIdentity id;
    std::wstring name;
    const bool ok = IdentityOf(parent, &id) && FinalPathOf(parent, &name);
    const bool top = ok && id == last && SameNoCase(name, lastName);  // the top: its ".." is itself
    const bool holds = ok && !top && ((hasPrefix && last == prefix) || nt::ListsFileId(parent, last.index));
    ::CloseHandle(parent);
    if (!ok) return false;
    if (top) return stillLeadsThere();
    if (!holds) return false;
    out.push_back(id);
    if (!pastSystemDrive && SameNoCase(name, systemRoot)) return stillLeadsThere();
    last = id;
    lastName = name;
  }
  return false;
}

bool IsLetterRoot(const std::wstring& p) {
  return p.size() == 7 && p.compare(0, 4, L"\\\\?\\") == 0 && p[5] == L':' && p[6] == L'\\' &&
         ((p[4] >= L'A' && p[4] <= L'Z') || (p[4] >= L'a' && p[4] <= L'z'));
}

}  // namespace

void ForgetFoldersAboveLetters() { ForgetLetters(); }

// A place that cannot be judged is not swept.
bool AncestorIdentities(HANDLE h, std::vector<FolderIdentity>& out, size_t* named, bool pastSystemDrive) {
  out.clear();
  FolderIdentity self;
  if (!IdentityOf(h, &self)) return false;
  out.push_back(self);
  std::wstring path;
  if (!FinalPathOf(h, &path)) return false;
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
  if (named != nullptr) *named = out.size();
  if (IsLetterRoot(path)) return AddFoldersAboveLetter(path[4], pastSystemDrive, out);
  return true;
}

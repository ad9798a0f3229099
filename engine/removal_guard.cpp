#include "engine/removal_guard.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "engine/nt_calls.h"
#include "winlib/trace.h"

namespace {

std::string FolderPart(const std::string& s) {
  const size_t cut = s.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : s.substr(0, cut);
}

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

std::wstring Folded(const std::string& s) {
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.c_str(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.c_str(), (int)s.size(), &w[0], n);
  if (!w.empty()) ::CharUpperBuffW(&w[0], (DWORD)w.size());
  return w;
}

bool IsRoot(const std::string& canonical) {
  if (IsDriveAbsolute(canonical)) return canonical.size() <= 3;
  // "\\server\share" and above.
  size_t parts = 0;
  for (size_t i = 2; i < canonical.size(); ++i)
    if (canonical[i] == '\\' || canonical[i] == '/') ++parts;
  return parts < 2;
}

// Every folder of a profile: the profiles folder (C:\Users) holds the
// current user's, Default, Public and every other user's.
void AddEveryProfile(const std::string& profilesFolder, std::vector<std::string>& raw) {
  if (profilesFolder.empty()) return;
  raw.push_back(profilesFolder);
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((profilesFolder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == ".." || !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    raw.push_back(profilesFolder + "\\" + name);
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
}

std::vector<std::string> CollectProtectedTexts() {
  std::vector<std::string> raw;
  char buf[MAX_PATH * 2];
  if (UINT n = ::GetWindowsDirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  if (UINT n = ::GetSystemDirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  if (UINT n = ::GetSystemWow64DirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  const int csidls[] = {CSIDL_WINDOWS,
                        CSIDL_SYSTEM,
                        CSIDL_SYSTEMX86,
                        CSIDL_PROGRAM_FILES,
                        CSIDL_PROGRAM_FILESX86,
                        CSIDL_PROGRAM_FILES_COMMON,
                        CSIDL_PROGRAM_FILES_COMMONX86,
                        CSIDL_PROFILE,
                        CSIDL_DESKTOPDIRECTORY,
                        CSIDL_PERSONAL,
                        CSIDL_COMMON_DESKTOPDIRECTORY,
                        CSIDL_COMMON_DOCUMENTS,
                        CSIDL_COMMON_APPDATA};
  for (int id : csidls)
    if (::SHGetSpecialFolderPathA(nullptr, buf, id, FALSE)) raw.emplace_back(buf);
  // The environment as well: the shell may answer from a registry that
  // differs from what the expanded references were built from.
  const char* vars[] = {"%SystemRoot%", "%windir%", "%ProgramFiles%", "%ProgramFiles(x86)%", "%ProgramW6432%",
                        "%CommonProgramFiles%", "%CommonProgramFiles(x86)%", "%CommonProgramW6432%",
                        "%USERPROFILE%", "%PUBLIC%", "%ALLUSERSPROFILE%", "%ProgramData%",
                        "%USERPROFILE%\\Desktop", "%USERPROFILE%\\Documents", "%USERPROFILE%\\My Documents"};
  for (const char* v : vars) {
    DWORD n = ::ExpandEnvironmentStringsA(v, buf, sizeof buf);
    if (n > 1 && n <= sizeof buf && buf[0] != '%') raw.emplace_back(buf);
  }
  if (::ExpandEnvironmentStringsA("%USERPROFILE%", buf, sizeof buf) > 1 && buf[0] != '%')
    AddEveryProfile(FolderPart(Canonical(buf)), raw);
  return raw;
}

std::vector<std::wstring> CollectProtected() {
  std::vector<std::wstring> out;
  for (const auto& r : CollectProtectedTexts()) {
    std::string c = Canonical(r);
    if (!c.empty()) out.push_back(Folded(c));
  }
  return out;
}

const std::vector<std::wstring>& ProtectedFolders() {
  static const std::vector<std::wstring> folders = CollectProtected();
  return folders;
}

// Opens a folder to learn what it is, following every link on the way: the
// identity of what the path reaches is what counts.
HANDLE OpenToJudge(const std::string& folder) {
  std::wstring w = nt::LongPathForm(folder);
  if (!w.empty() && w.back() != L'\\') w += L'\\';
  return ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

struct Identities {
  std::vector<FolderIdentity> ids;
};

// Taken once: the protected folders and every drive root, by identity. A
// second drive letter, a share or a link that reaches one of them is caught
// by what it reaches, whatever its spelling.
Identities CollectIdentities() {
  Identities out;
  DWORD oldMode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  std::vector<std::string> folders = CollectProtectedTexts();
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
    const UINT type = ::GetDriveTypeA(root.c_str());
    if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM || type == DRIVE_NO_ROOT_DIR) continue;
    folders.push_back(root);
  }
  for (const auto& f : folders) {
    HANDLE h = OpenToJudge(f);
    if (h == INVALID_HANDLE_VALUE) continue;
    FolderIdentity id;
    if (IdentityOf(h, &id)) out.ids.push_back(id);
    ::CloseHandle(h);
  }
  ::SetThreadErrorMode(oldMode, nullptr);
  return out;
}

const Identities& ProtectedIdentities() {
  static const Identities ids = CollectIdentities();
  return ids;
}

std::vector<FolderIdentity>& ExtraIdentities() {
  static std::vector<FolderIdentity> extra;
  return extra;
}

}  // namespace

std::string CanonicalFolderOf(const std::string& patternOrPath) { return Canonical(FolderPart(patternOrPath)); }

bool IdentityOf(HANDLE h, FolderIdentity* out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return false;
  out->volume = info.dwVolumeSerialNumber;
  out->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

const char* FolderHandleRefusal(HANDLE folder) {
  FolderIdentity id;
  if (!IdentityOf(folder, &id)) return "its identity cannot be read";
  return IdentityRefusal(id);
}

const char* IdentityRefusal(const FolderIdentity& id) {
  for (const auto& p : ProtectedIdentities().ids)
    if (p == id) return "it reaches a protected folder or a drive root";
  for (const auto& p : ExtraIdentities())
    if (p == id) return "it reaches a protected folder";
  return nullptr;
}

bool ProtectFolderForTests(const std::string& path) {
  HANDLE h = OpenToJudge(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  FolderIdentity id;
  const bool ok = IdentityOf(h, &id);
  ::CloseHandle(h);
  if (ok) ExtraIdentities().push_back(id);
  return ok;
}

void ClearExtraProtectedFolders() { ExtraIdentities().clear(); }

const char* TextRefusal(const std::string& patternOrPath) {
  if (patternOrPath.find('\0') != std::string::npos) return "a NUL character in the text";
  const std::string folder = FolderPart(patternOrPath);
  if (folder.empty()) return "no folder";
  const std::string canonical = Canonical(folder);
  if (canonical.empty()) return "not an absolute folder";
  if (IsRoot(canonical)) return "a drive root";
  const std::wstring folded = Folded(canonical);
  for (const auto& p : ProtectedFolders())
    if (p == folded) return "a protected folder";
  return nullptr;
}

const char* RemovalRefusal(const std::string& patternOrPath) {
  if (const char* why = TextRefusal(patternOrPath)) return why;
  HANDLE h = OpenToJudge(Canonical(FolderPart(patternOrPath)));
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    // A folder that is not there holds nothing to remove; any other failure
    // leaves the folder unjudged, and an unjudged folder is not swept.
    return (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) ? nullptr : "it cannot be opened to be judged";
  }
  const char* why = FolderHandleRefusal(h);
  ::CloseHandle(h);
  return why;
}

bool RemovalAllowed(const std::string& patternOrPath) {
  const char* why = RemovalRefusal(patternOrPath);
  if (why == nullptr) return true;
  Trace("   Refused to sweep %s: %s.\n", patternOrPath.c_str(), why);
  return false;
}

#include "engine/removal_guard.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

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

std::vector<std::wstring> CollectProtected() {
  std::vector<std::string> raw;
  char buf[MAX_PATH * 2];
  if (UINT n = ::GetWindowsDirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  if (UINT n = ::GetSystemDirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  if (UINT n = ::GetSystemWow64DirectoryA(buf, MAX_PATH); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  const int csidls[] = {CSIDL_WINDOWS,         CSIDL_SYSTEM,         CSIDL_SYSTEMX86,
                        CSIDL_PROGRAM_FILES,   CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                        CSIDL_PROFILE,         CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                        CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS};
  for (int id : csidls)
    if (::SHGetSpecialFolderPathA(nullptr, buf, id, FALSE)) raw.emplace_back(buf);
  // The environment as well: the shell may answer from a registry that
  // differs from what the expanded references were built from.
  const char* vars[] = {"%SystemRoot%", "%windir%", "%ProgramFiles%", "%ProgramFiles(x86)%", "%ProgramW6432%",
                        "%CommonProgramFiles%", "%USERPROFILE%", "%PUBLIC%", "%ALLUSERSPROFILE%",
                        "%USERPROFILE%\\Desktop", "%USERPROFILE%\\Documents", "%USERPROFILE%\\My Documents"};
  for (const char* v : vars) {
    DWORD n = ::ExpandEnvironmentStringsA(v, buf, sizeof buf);
    if (n > 1 && n <= sizeof buf && buf[0] != '%') raw.emplace_back(buf);
  }
  // The folder that holds every profile (C:\Users) is no place to sweep either.
  if (::ExpandEnvironmentStringsA("%USERPROFILE%", buf, sizeof buf) > 1 && buf[0] != '%')
    raw.push_back(FolderPart(Canonical(buf)));

  std::vector<std::wstring> out;
  for (const auto& r : raw) {
    std::string c = Canonical(r);
    if (!c.empty()) out.push_back(Folded(c));
  }
  return out;
}

const std::vector<std::wstring>& ProtectedFolders() {
  static const std::vector<std::wstring> folders = CollectProtected();
  return folders;
}

}  // namespace

std::string CanonicalFolderOf(const std::string& patternOrPath) { return Canonical(FolderPart(patternOrPath)); }

const char* RemovalRefusal(const std::string& patternOrPath) {
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

bool RemovalAllowed(const std::string& patternOrPath) {
  const char* why = RemovalRefusal(patternOrPath);
  if (why == nullptr) return true;
  Trace("   Refused to sweep %s: %s.\n", patternOrPath.c_str(), why);
  return false;
}

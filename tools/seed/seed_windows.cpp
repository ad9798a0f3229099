// Traces of the Windows category: the Explorer and file-dialog history lists,
// the search, Run and network lists, Recent shortcuts, temporary files and
// folders, a recycled file, the last logon name, and files in a custom
// sweeping location. Next to each, things that must survive a sweep: a
// sibling value or key, a folder inside Recent, files the custom filter does
// not match, and a link inside the temporary folder to a folder outside it.
#include "tools/seed/seed_windows.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tools/seed/seed.h"
#include "winlib/trace.h"

namespace {

const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const char kSearchBar[] =
    "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}";
const char kNtWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kMorvaneWindows[] = "SOFTWARE\\Calderix\\Morvane\\Windows";
const char kMorvaneGeneral[] = "SOFTWARE\\Calderix\\Morvane\\General Settings";

class Seeder {
 public:
  bool ok = true;

  void Text(HKEY root, const std::string& path, const char* name, const std::string& data) {
    Set(root, path, name, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1));
  }
  // A text the way Morvane's settings store writes it: no terminating NUL.
  void StoredText(HKEY root, const std::string& path, const char* name, const std::string& data) {
    Set(root, path, name, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
  }
  void Binary(HKEY root, const std::string& path, const char* name, const std::string& data) {
    Set(root, path, name, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
  }
  void Dword(HKEY root, const std::string& path, const char* name, DWORD data) {
    Set(root, path, name, REG_DWORD, &data, sizeof data);
  }
  // An MRU list: values a, b, c ... and "MRUList" naming them newest first.
  void Mru(const std::string& path, const std::vector<std::string>& entries) {
    std::string order;
    for (size_t i = 0; i < entries.size(); ++i) {
      const char name[2] = {static_cast<char>('a' + i), '\0'};
      Text(HKEY_CURRENT_USER, path, name, entries[i]);
      order.insert(order.begin(), name[0]);
    }
    Text(HKEY_CURRENT_USER, path, "MRUList", order);
  }

  void Folder(const std::string& path) {
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) Fail("folder", path);
  }
  void File(const std::string& path, const std::string& bytes) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail("file", path);
    DWORD written = 0;
    if (!bytes.empty() && !::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
      Fail("file content", path);
    ::CloseHandle(h);
  }

  void Fail(const char* what, const std::string& where) {
    const unsigned long error = ::GetLastError();
    Trace("Seed: cannot plant %s %s (%lu).\n", what, where.c_str(), error);
    std::fprintf(stderr, "Seed: cannot plant %s %s (error %lu).\n", what, where.c_str(), error);
    ok = false;
  }

 private:
  void Set(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return Fail("key", path);
    if (::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
      Fail("value", path + "\\" + (name ? name : ""));
    ::RegCloseKey(key);
  }
};

// Some bytes that look like the start of a shell link.
std::string ShortcutBytes(const std::string& target) {
  std::string b("L\0\0\0\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 20);
  return b + std::string(56, '\0') + target + std::string(1, '\0');
}

std::string Filler(const char* text, size_t size) {
  std::string s;
  while (s.size() < size) s += text;
  s.resize(size);
  return s;
}

std::string EnvFolder(const char* name) {
  char buf[MAX_PATH];
  DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

using UnixName = char*(CDECL*)(LPCWSTR);

// The host's name of a path under Wine; empty elsewhere.
std::string HostName(const std::string& path) {
  static const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  wchar_t wide[MAX_PATH];
  if (unixName == nullptr || !::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH))
    return std::string();
  char* name = unixName(wide);
  std::string out = name ? name : "";
  if (name) ::HeapFree(::GetProcessHeap(), 0, name);
  return out;
}

// Runs a host tool under Wine (which starts host programs named by their
// "\\?\unix\" path) on quoted names and waits for it.
bool RunHostTool(const char* tool, const std::string& options, const std::vector<std::string>& names) {
  std::string command = std::string("\\\\?\\unix\\bin\\") + tool + " " + options;
  for (const auto& n : names) {
    if (n.empty() || n.find('"') != std::string::npos) return false;
    command += " \"" + n + "\"";
  }
  const std::string program = std::string("\\\\?\\unix\\bin\\") + tool;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  // Wine gives no handle for a host program, and fills the rest of pi from
  // its own stack: closing that could close one of ours (standard output).
  if (pi.hProcess != nullptr) {
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  }
  return true;
}

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The wait on a host process can end before the process has: give its
// result a moment to show.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    ::Sleep(10);
  }
  return false;
}

// A folder link. Where the system cannot make one (Wine makes no symbolic
// links), Wine runs the host's ln on the host names of both folders.
bool MakeFolderLink(const std::string& link, const std::string& target) {
  if (::CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) && IsLink(link)) return true;
  if (!RunHostTool("ln", "-s --", {HostName(target), HostName(link)})) return false;
  return Eventually([&] { return IsLink(link); });
}

void SeedRegistry(Seeder& s) {
  const std::string ex = kExplorer;
  s.Mru(ex + "\\ComDlg32\\LastVisitedMRU", {"notepad.exe C:\\Work", "mspaint.exe C:\\Pictures"});
  s.Mru(ex + "\\ComDlg32\\OpenSaveMRU", {"C:\\Work\\budget.xls", "C:\\Work\\letter.doc"});
  s.Mru(ex + "\\ComDlg32\\OpenSaveMRU\\txt", {"C:\\Work\\notes.txt"});
  s.Mru(ex + "\\ComDlg32\\OpenSaveMRU\\*", {"C:\\Work\\notes.txt", "C:\\Work\\letter.doc"});
  // A per-extension list: the ".txt" key and what is under it stay; only
  // keys named by a content type (with a "/") go.
  s.Mru(ex + "\\FileExts\\.txt\\OpenWithList", {"notepad.exe"});
  s.Text(HKEY_CURRENT_USER, ex + "\\FileExts\\text/plain", "Progid", "txtfile");
  s.Binary(HKEY_CURRENT_USER, ex + "\\RecentDocs", "0", std::string("n\0o\0t\0e\0s\0.\0t\0x\0t\0\0\0", 20));
  s.Binary(HKEY_CURRENT_USER, ex + "\\RecentDocs", "MRUListEx", std::string("\0\0\0\0\xff\xff\xff\xff", 8));
  s.Binary(HKEY_CURRENT_USER, ex + "\\RecentDocs\\.txt", "0", std::string("n\0o\0t\0e\0s\0\0\0", 12));
  s.Text(HKEY_CURRENT_USER, std::string(kSearchBar) + "\\ContainingTextMRU", "0", "salary");
  s.Text(HKEY_CURRENT_USER, std::string(kSearchBar) + "\\FilesNamedMRU", "0", "*.doc");
  s.Text(HKEY_CURRENT_USER, std::string(kSearchBar) + "\\FilesNamedMRU", "1", "passwords*");
  s.Mru(ex + "\\Doc Find Spec MRU", {"*.xls", "letter"});
  s.Mru(ex + "\\FindComputerMRU", {"ACCOUNTS-PC"});
  s.Mru(ex + "\\RunMRU", {"regedit\\1", "cmd\\1", "\\\\fileserver\\private\\1"});
  s.Mru(ex + "\\Map Network Drive MRU", {"\\\\fileserver\\private", "\\\\nas\\backup"});
  // Siblings that no Windows box names.
  s.Dword(HKEY_CURRENT_USER, ex + "\\Advanced", "HideFileExt", 0);
  s.Text(HKEY_CURRENT_USER, ex + "\\ComDlg32\\CIDSizeMRU", "Keep", "window sizes are no history");
  s.Text(HKEY_CURRENT_USER, kSearchBar, "BarSize", "kept");
  // The last logon name, kept by the machine.
  char user[256] = "demo";
  DWORD n = sizeof user;
  ::GetUserNameA(user, &n);
  s.Text(HKEY_LOCAL_MACHINE, kNtWinlogon, "DefaultUserName", user);
  s.Text(HKEY_LOCAL_MACHINE, kNtWinlogon, "DefaultDomainName", "MORVANE-DEMO");
  s.Text(HKEY_LOCAL_MACHINE, kNtWinlogon, "AltDefaultUserName", user);
  s.Text(HKEY_LOCAL_MACHINE, kNtWinlogon, "Shell", "explorer.exe");
}

void SeedRecent(Seeder& s, const std::string& recent) {
  s.Folder(recent);
  s.File(recent + "\\Quarterly report.doc.lnk", ShortcutBytes("C:\\Work\\Quarterly report.doc"));
  s.File(recent + "\\holiday.jpg.lnk", ShortcutBytes("C:\\Pictures\\holiday.jpg"));
  s.File(recent + "\\notes.txt.lnk", ShortcutBytes("C:\\Work\\notes.txt"));
  // Folders in Recent belong to the shell's jump lists, not to the shortcuts.
  s.Folder(recent + "\\CustomDestinations");
  s.File(recent + "\\CustomDestinations\\keep.customDestinations-ms", Filler("jump list ", 300));
}

void SeedTemp(Seeder& s, const std::string& temp, const std::string& outside) {
  s.Folder(temp);
  s.File(temp + "\\~DF3A1B.tmp", Filler("scratch ", 4096));
  s.File(temp + "\\setup.log", Filler("installer log line\r\n", 2500));
  s.Folder(temp + "\\msi4f2a");
  s.File(temp + "\\msi4f2a\\part1.cab", Filler("cabinet ", 10240));
  s.Folder(temp + "\\msi4f2a\\inner");
  s.File(temp + "\\msi4f2a\\inner\\unpacked.dll", Filler("MZ", 3000));
  s.Folder(outside);
  s.File(outside + "\\keep.txt", "a file reached only through a link in the temporary folder\r\n");
  const std::string link = temp + "\\shared-docs";
  if (::GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES && !MakeFolderLink(link, outside))
    s.Fail("folder link", link);
}

void SeedWork(Seeder& s, const std::string& work) {
  s.Folder(work);
  s.File(work + "\\a.tmp", Filler("temporary ", 1500));
  s.File(work + "\\build.tmp", Filler("object ", 700));
  s.File(work + "\\keep.txt", "not a temporary file\r\n");
  s.Folder(work + "\\sub");
  s.File(work + "\\sub\\b.tmp", Filler("nested ", 900));
  s.Folder(work + "\\cache.tmp");
  s.File(work + "\\cache.tmp\\inner.dat", Filler("cached ", 800));
}

void SeedRecycleBin(Seeder& s, const std::string& temp) {
  // Moved to the bin from a folder of its own, so the temporary folder's
  // sweep does not see it first.
  const std::string folder = temp + "\\to-recycle";
  s.Folder(folder);
  const std::string file = folder + "\\old draft.txt";
  s.File(file, Filler("a draft thrown away ", 2048));
  std::string from = file + std::string(2, '\0');
  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  if (::SHFileOperationA(&op) != 0 || op.fAnyOperationsAborted) s.Fail("recycled file", file);
  ::RemoveDirectoryA(folder.c_str());
}

// The settings a user who wants these traces gone would have chosen.
void SeedSettings(Seeder& s, const std::string& work) {
  s.Binary(HKEY_CURRENT_USER, kMorvaneWindows, "Targets", std::string("\x7F\0\0\0", 4));
  HKEY general = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kMorvaneGeneral, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &general) ==
      ERROR_SUCCESS) {
    DWORD targets = 0, size = sizeof targets;
    if (::RegQueryValueExA(general, "Targets", nullptr, nullptr, reinterpret_cast<BYTE*>(&targets), &size) ==
            ERROR_SUCCESS &&
        size == sizeof targets && (targets & 0x01) == 0) {
      targets |= 0x01;
      ::RegSetValueExA(general, "Targets", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&targets), sizeof targets);
    }
    ::RegCloseKey(general);
  }
  // Reuse the entry that already names the folder; else add one after the last.
  for (int i = 0;; ++i) {
    const std::string entry = std::string(kMorvaneWindows) + "\\CusDir." + std::to_string(i);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, entry.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      char dir[MAX_PATH] = {};
      DWORD size = sizeof dir - 1;
      const bool same = ::RegQueryValueExA(key, "Dir", nullptr, nullptr, reinterpret_cast<BYTE*>(dir), &size) ==
                            ERROR_SUCCESS &&
                        _stricmp(dir, work.c_str()) == 0;
      ::RegCloseKey(key);
      if (!same) continue;
    }
    // Texts without their terminating NUL, numbers as 4 bytes: the store's
    // layout. The folder last: an entry without one is never loaded, so a
    // half-written entry stays out of the list.
    s.StoredText(HKEY_CURRENT_USER, entry, "Flt", "*.tmp");
    s.Binary(HKEY_CURRENT_USER, entry, "SubInc", std::string(4, '\0'));
    s.StoredText(HKEY_CURRENT_USER, entry, "Dir", work);
    return;
  }
}

}  // namespace

bool SeedWindowsTracesAt(const WindowsSeedPlaces& places) {
  Seeder s;
  std::string recent = places.recent;
  if (recent.empty()) {
    char buf[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, buf, CSIDL_RECENT, TRUE)) s.Fail("Recent folder", "(shell)");
    recent = buf;
  }
  const std::string temp = places.temp.empty() ? EnvFolder("TEMP") : places.temp;
  const std::string work = places.work.empty() ? std::string("C:\\Work") : places.work;
  const std::string outside = places.outside.empty() ? std::string("C:\\Shared") : places.outside;

  SeedRegistry(s);
  if (!recent.empty()) SeedRecent(s, recent);
  if (!temp.empty()) SeedTemp(s, temp, outside);
  else s.Fail("temporary folder", "%TEMP%");
  SeedWork(s, work);
  if (places.recycleBin && !temp.empty()) SeedRecycleBin(s, temp);
  if (places.settings) SeedSettings(s, work);
  return s.ok;
}

bool RemoveFolderLink(const std::string& link) {
  if (!IsLink(link)) return false;
  // Under Wine, RemoveDirectoryA on a link can remove an empty target
  // instead; the host's rm without -r takes the link only.
  const std::string host = HostName(link);
  if (!host.empty())
    RunHostTool("rm", "-f --", {host});
  else
    ::RemoveDirectoryA(link.c_str());
  return Eventually([&] { return ::GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

bool SeedWindowsTraces() { return SeedWindowsTracesAt(WindowsSeedPlaces()); }

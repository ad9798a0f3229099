// Internet traces: URL cache entries of the three kinds, cookie, content and
// history folders, typed URLs, IntelliForms values, toolbar keys, stored form
// data, an AOL folder and two Firefox folders. Next to them, what a sweep must
// leave: a friendly cookie, "index.dat", unrelated profile files, sub-folders,
// sibling values and keys. Folders come from the shell-folder values; a value
// that is missing is written first, so a scratch hive gets a full set.
#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "settings/settings_groups.h"
#include "tools/seed/seed.h"
#include "winlib/trace.h"

namespace {

const char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kFormGuid[] = "e161255a-37c3-11d2-bcaa-00c04fd929db";
const char kProtectedStorage[] = "Software\\Microsoft\\Protected Storage System Provider\\";

class Planter {
 public:
  bool ok = true;

  void Fail(const std::string& what) {
    Trace("seed internet: cannot plant %s (%lu)\n", what.c_str(), ::GetLastError());
    ok = false;
  }

  void Folder(const std::string& path) {
    // Every missing level, from the top down.
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
      ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) Fail(path);
  }

  void File(const std::string& path, const std::string& bytes) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail(path);
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) Fail(path);
    ::CloseHandle(h);
  }

  // A file of n bytes in folder, the folder made first.
  void FileIn(const std::string& folder, const std::string& name, size_t n) {
    Folder(folder);
    File(folder + "\\" + name, std::string(n, 'm'));
  }

  HKEY Key(HKEY root, const std::string& path) {
    HKEY h = nullptr;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS) {
      Fail(path);
      return nullptr;
    }
    return h;
  }

  void Text(HKEY root, const std::string& path, const char* name, const std::string& value, DWORD type = REG_SZ) {
    HKEY h = Key(root, path);
    if (h == nullptr) return;
    if (::RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
      Fail(path + "\\" + (name != nullptr ? name : ""));
    ::RegCloseKey(h);
  }

  // The folder a shell-folder value names; written from the shell's own
  // answer when the value is missing.
  std::string ShellFolder(const char* value, int csidl) {
    char text[MAX_PATH] = {};
    DWORD size = sizeof text - 1;
    if (::RegGetValueA(HKEY_CURRENT_USER, kUserShellFolders, value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                       text, &size) == ERROR_SUCCESS &&
        text[0] != '\0') {
      char expanded[MAX_PATH];
      const DWORD n = ::ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
      if (n > 0 && n <= sizeof expanded) return expanded;
    }
    char folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, folder, csidl, TRUE)) {
      Fail(value);
      return std::string();
    }
    Text(HKEY_CURRENT_USER, kUserShellFolders, value, folder, REG_EXPAND_SZ);
    Text(HKEY_CURRENT_USER, kShellFolders, value, folder);
    return folder;
  }

  // Commits a cache entry; with a local file of n bytes unless n is 0.
  std::string CacheEntry(const std::string& url, DWORD type, const char* extension, size_t n) {
    char file[MAX_PATH] = {};
    FILETIME none = {};
    if (n > 0) {
      if (!::CreateUrlCacheEntryA(url.c_str(), 0, extension, file, 0)) {
        Fail("cache file of " + url);
        return std::string();
      }
      File(file, std::string(n, 'c'));
    }
    if (!::CommitUrlCacheEntryA(url.c_str(), n > 0 ? file : nullptr, none, none, type, nullptr, 0, nullptr, nullptr))
      Fail("cache entry " + url);
    return file;
  }
};

// The SID key admits only the system, as the provider's own keys do.
void RestrictToSystem(Planter& p, const std::string& path) {
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  BYTE aclBytes[64];
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  SECURITY_DESCRIPTOR sd;
  HKEY h = nullptr;
  if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size) ||
      !::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) ||
      !::AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, system) ||
      !::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
      ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS)
    return p.Fail("access list of " + path);
  if (::RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd) != ERROR_SUCCESS) p.Fail("access list of " + path);
  ::RegCloseKey(h);
}

std::string UserSidText() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
  BYTE buffer[256];
  DWORD size = 0;
  std::string text;
  if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    text = "S-1-" + std::to_string(::GetSidIdentifierAuthority(sid)->Value[5]);
    for (DWORD i = 0; i < *::GetSidSubAuthorityCount(sid); ++i) text += "-" + std::to_string(*::GetSidSubAuthority(sid, i));
  }
  ::CloseHandle(token);
  return text;
}

void SeedCacheAndCookies(Planter& p) {
  for (int i = 1; i <= 3; ++i)
    p.CacheEntry("http://news.example/page" + std::to_string(i) + ".htm", NORMAL_CACHE_ENTRY, "htm", 1024 * i);
  const std::string friendlyCached =
      p.CacheEntry("Cookie:tester@friend.example/", COOKIE_CACHE_ENTRY, "txt", 100);
  p.CacheEntry("Cookie:tester@ads.example/", COOKIE_CACHE_ENTRY, "txt", 120);
  p.CacheEntry("Visited: tester@http://news.example/page1.htm", URLHISTORY_CACHE_ENTRY, "", 64);
  p.CacheEntry("Visited: tester@http://ads.example/", URLHISTORY_CACHE_ENTRY, "", 0);

  const std::string cookies = p.ShellFolder("Cookies", CSIDL_COOKIES);
  if (cookies.empty()) return;
  const std::string friendly = cookies + "\\tester@friend.example[1].txt";
  p.FileIn(cookies, "tester@friend.example[1].txt", 90);
  p.FileIn(cookies, "tester@ads.example[2].txt", 200);
  p.FileIn(cookies, "tester@tracker.example[1].txt", 300);
  if (::GetFileAttributesA((cookies + "\\index.dat").c_str()) == INVALID_FILE_ATTRIBUTES)
    p.FileIn(cookies, "index.dat", 64);
  p.FileIn(cookies + "\\Low", "tester@low.example[1].txt", 50);  // sub-folders are not cookie files

  // The user keeps the friend's cookie: its file and its cache entry.
  StringPairList keep = {{"friend.example", friendly}};
  if (!friendlyCached.empty()) keep.push_back({"friend.example", friendlyCached});
  g_InternetSettings.SetFriendlyCookies(keep);
  if (HKEY settings = p.Key(HKEY_CURRENT_USER, kInternetSettingsPath)) ::RegCloseKey(settings);
  if (!g_InternetSettings.SaveFriendlyCookies()) p.Fail("friendly cookie list");
}

void SeedFolders(Planter& p) {
  const std::string content = p.ShellFolder("Cache", CSIDL_INTERNET_CACHE);
  if (!content.empty()) {
    p.FileIn(content + "\\MORVANE1", "logo[1].gif", 2048);
    p.FileIn(content + "\\MORVANE1", "index[1].htm", 1500);
    p.FileIn(content, "desktop.ini", 40);
  }
  const std::string history = p.ShellFolder("History", CSIDL_HISTORY);
  if (!history.empty()) p.FileIn(history + "\\History.IE5\\MSHist012026120720261208", "index.dat", 512);

  // The Temp copies below "Local Settings", and the Temp History folder.
  const std::string local = p.ShellFolder("Local Settings", CSIDL_LOCAL_APPDATA);
  if (!local.empty()) {
    p.FileIn(local + "\\Temp\\Temporary Internet Files\\MORVANE2", "banner[1].jpg", 700);
    p.FileIn(local + "\\Temp\\Cookies", "tester@friend.example[1].txt", 90);
    p.FileIn(local + "\\Temp\\Cookies", "tester@copy.example[1].txt", 80);
  }
  char profile[MAX_PATH];
  const DWORD n = ::ExpandEnvironmentStringsA("%USERPROFILE%\\Local Settings\\Temp\\History", profile, sizeof profile);
  if (n > 0 && n <= sizeof profile) {
    p.FileIn(std::string(profile) + "\\History.IE5", "index.dat", 256);
    p.FileIn(profile, "History.old", 128);
    p.FileIn(profile, "keep-me.txt", 10);
  }
}

void SeedRegistry(Planter& p) {
  const std::string typed = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
  p.Text(HKEY_CURRENT_USER, typed, "url1", "http://news.example/");
  p.Text(HKEY_CURRENT_USER, typed, "url2", "http://ads.example/");
  p.Text(HKEY_CURRENT_USER, typed, "url3", "http://mail.example/");
  p.Text(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main", "Start Page", "about:blank");

  const std::string forms = "Software\\Microsoft\\Internet Explorer\\IntelliForms";
  p.Text(HKEY_CURRENT_USER, forms, "AutoSuggest", "yes");
  p.Text(HKEY_CURRENT_USER, forms + "\\Storage1", "5A2D7C", "stored");
  p.Text(HKEY_CURRENT_USER, forms + "\\Storage1", "7F00AA", "stored too");

  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    p.Text(root, "SOFTWARE\\Microsoft\\MSN Toolbar", "SearchStrings", "cheap flights|weather");
    const std::string google = "SOFTWARE\\Google\\NavClient\\1.1\\History";
    p.Text(root, google, "1", "short");
    p.Text(root, google, "2", std::string(400, 'q'));
    p.Text(root, google, nullptr, "unnamed default");
    p.Text(root, google, "(Default)", "a value that only looks like the default");
    p.Text(root, "SOFTWARE\\Google\\NavClient\\1.1\\Options", "Layout", "compact");
  }

  // Stored form data, per user (behind the SID key) and per machine.
  char user[260];
  DWORD size = sizeof user;
  const std::string sid = UserSidText();
  if (!sid.empty()) {
    const std::string sidKey = kProtectedStorage + sid;
    p.Text(HKEY_CURRENT_USER, sidKey + "\\Data\\" + kFormGuid + "\\" + kFormGuid, "Item", "typed into a form");
    p.Text(HKEY_CURRENT_USER, sidKey + "\\Data\\other-type", "Item", "not form data");
    RestrictToSystem(p, sidKey);
  }
  if (::GetUserNameA(user, &size))
    p.Text(HKEY_LOCAL_MACHINE, std::string(kProtectedStorage) + user + "\\Data\\" + kFormGuid, "Item", "typed");
}

void SeedAol(Planter& p) {
  const std::string local = p.ShellFolder("Local Settings", CSIDL_LOCAL_APPDATA);
  if (local.empty()) return;
  const std::string aol = local + "\\America Online 9.0";
  p.Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\America Online\\America Online\\CurrentVersion", "DDPath", aol);
  const std::string organize = aol + "\\organize";
  p.FileIn(organize, "tester.ARL", 300);
  p.FileIn(organize, "tester.AUT", 200);
  p.FileIn(organize, "tester.pfc", 100);  // personal filing cabinet: stays
  p.FileIn(organize + "\\CACHE", "art1.bin", 400);
  p.FileIn(organize + "\\CACHE", "art2.bin", 500);
  p.FileIn(organize + "\\CACHE\\sub", "kept.bin", 60);
}

void SeedFirefox(Planter& p) {
  const std::string appData = p.ShellFolder("AppData", CSIDL_APPDATA);
  if (appData.empty()) return;
  const std::string release = appData + "\\Mozilla\\Firefox\\Profiles\\k3x9.default";
  const char* const mixedCase[] = {"History.dat", "formhistory.DAT", "Cookies.txt", "downloads.rdf",
                                   "CERT8.db",    "key3.db",         "localStore.rdf"};
  for (const char* name : mixedCase) p.FileIn(release, name, 1024);
  p.FileIn(release, "prefs.js", 300);
  p.FileIn(release, "bookmarks.html", 500);
  p.FileIn(release + "\\chrome", "cookies.txt", 20);  // not directly in the profile: stays
  p.FileIn(release + "\\Cache", "_CACHE_001_", 4096);
  p.FileIn(release + "\\Cache", "8A3F2B10d01", 2048);
  p.FileIn(release + "\\Cache\\0F", "inner", 100);  // below the cache: stays
  const std::string nightly = appData + "\\Mozilla\\Firefox Nightly\\profiles\\n1ght.dev";
  p.FileIn(nightly, "history.dat", 512);
  p.FileIn(nightly, "COOKIES.TXT", 256);
  p.FileIn(nightly, "sessionstore.js", 128);
  p.FileIn(appData + "\\Mozilla\\Extensions", "history.dat", 10);  // not a Firefox folder
}

// The boxes a user who wants these traces gone would have ticked (all but
// the Yahoo box, which removes nothing), and the Internet category in sweeps.
void SeedSettings(Planter& p) {
  const DWORD boxes = 0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x20 | 0x40 | 0x100 | 0x400;
  if (HKEY internet = p.Key(HKEY_CURRENT_USER, kInternetSettingsPath)) {
    if (::RegSetValueExA(internet, "Targets", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&boxes), sizeof boxes) !=
        ERROR_SUCCESS)
      p.Fail("Internet boxes");
    ::RegCloseKey(internet);
  }
  HKEY general = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kGeneralSettingsPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &general) !=
      ERROR_SUCCESS)
    return;  // no General key yet: its defaults sweep the Internet category
  DWORD targets = 0, size = sizeof targets;
  if (::RegQueryValueExA(general, "Targets", nullptr, nullptr, reinterpret_cast<BYTE*>(&targets), &size) ==
          ERROR_SUCCESS &&
      size == sizeof targets && (targets & GENERAL_SWEEP_INTERNET) == 0) {
    targets |= GENERAL_SWEEP_INTERNET;
    ::RegSetValueExA(general, "Targets", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&targets), sizeof targets);
  }
  ::RegCloseKey(general);
}

}  // namespace

bool SeedInternetTraces() {
  Planter p;
  SeedCacheAndCookies(p);
  SeedFolders(p);
  SeedRegistry(p);
  SeedAol(p);
  SeedFirefox(p);
  SeedSettings(p);
  return p.ok;
}

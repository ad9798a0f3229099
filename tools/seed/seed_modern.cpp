#include "tools/seed/seed_modern.h"
#include "tools/seed/seed_databases.h"

#include <windows.h>
#include <shlobj.h>

#include "winlib/trace.h"

namespace {

const char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const char kApplets[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets";
const char* const kChromium[] = {"Google\\Chrome\\User Data", "Microsoft\\Edge\\User Data"};
const char* const kProfiles[] = {"Default", "Profile 1"};
const char kFirefoxProfile[] = "Mozilla\\Firefox\\Profiles\\m0rv4ne.default-release";

class ModernPlanter {
 public:
  bool ok = true;

  void Folder(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
      ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) Fail(path);
  }

  // folder\name of n bytes, the folder made first; name may hold a subfolder.
  void File(const std::string& folder, const std::string& name, size_t n) {
    const std::string path = folder + "\\" + name;
    Folder(path.substr(0, path.rfind('\\')));
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail(path);
    const std::string bytes(n, 'm');
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) Fail(path);
    ::CloseHandle(h);
  }

  // folder\name as an empty database of the browser's own layout, so that the
  // database sweep finds a database it understands and nothing in it to remove.
  void Database(const std::string& folder, const std::string& name, bool (*create)(const std::string&, int),
                int version) {
    const std::string path = folder + "\\" + name;
    Folder(path.substr(0, path.rfind('\\')));
    if (!create(path, version)) Fail(path);
  }

  void Value(const std::string& key, const char* name, const std::string& text, DWORD type = REG_SZ) {
    HKEY h = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
      return Fail(key);
    const DWORD size = static_cast<DWORD>(type == REG_BINARY ? text.size() : text.size() + 1);
    if (::RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), size) != ERROR_SUCCESS)
      Fail(key + "\\" + name);
    ::RegCloseKey(h);
  }

 private:
  void Fail(const std::string& what) {
    Trace("seed modern: cannot plant %s (%lu)\n", what.c_str(), ::GetLastError());
    ok = false;
  }
};

void SeedChromium(ModernPlanter& p, const std::string& local) {
  for (const char* browser : kChromium) {
    const std::string userData = local + "\\" + browser;
    p.File(userData, "Local State", 300);  // the browser's own settings: stays
    p.File(userData, "segmentation_platform\\ukm_db", 4096);  // visited pages, for its predictions
    for (const char* profile : kProfiles) {
      const std::string dir = userData + "\\" + profile;
      for (const char* name : {"History", "History-journal", "Visited Links", "Top Sites", "Shortcuts",
                               "Network Action Predictor"})
        p.File(dir, name, 2048);
      p.File(dir, "JumpListIconsMostVisited\\a1b2c3d4.ico", 1150);
      p.File(dir, "JumpListIconsRecentClosed\\e5f6a7b8.ico", 1150);
      p.File(dir, "Cache\\Cache_Data\\data_0", 8192);
      p.File(dir, "Cache\\Cache_Data\\f_00001a", 4096);
      p.File(dir, "Cache\\No_Vary_Search\\journal.baj", 256);
      p.File(dir, "Code Cache\\js\\index", 512);
      p.File(dir, "Code Cache\\js\\3f9a01c2_0", 1024);
      p.File(dir, "GPUCache\\data_1", 1024);
      // Never swept by the built-in rules, whatever is ticked.
      for (const char* name : {"Bookmarks", "Preferences", "Login Data"}) p.File(dir, name, 700);
      for (const char* name : {"Cookies", "Network\\Cookies"})
        p.Database(dir, name, &CreateChromiumCookies, kSeedChromiumCookiesSchema);
      // Swept only when their entries are turned on.
      p.File(dir, "Web Data", 900);
      p.File(dir, "Sessions\\Session_13345", 600);
      p.File(dir, "Sessions_Encrypted\\Session_13346", 600);
      p.File(dir, "Sessions_Encrypted\\Tabs_13346", 400);
    }
  }
}

void SeedFirefox(ModernPlanter& p, const std::string& local, const std::string& roaming) {
  const std::string profile = roaming + "\\" + kFirefoxProfile;
  // History and bookmarks in one: stays (its history is cleaned inside it).
  p.Database(profile, "places.sqlite", &CreatePlacesDatabase, kSeedPlacesSchema);
  p.File(profile, "bookmarkbackups\\bookmarks-2026-12-01_42.jsonlz4", 800);
  p.Database(profile, "cookies.sqlite", &CreateFirefoxCookies, kSeedFirefoxCookiesSchema);
  p.File(profile, "prefs.js", 300);
  p.File(profile, "formhistory.sqlite", 1536);
  p.File(profile, "sessionstore.jsonlz4", 700);  // only with its entry on
  const std::string cache = local + "\\" + kFirefoxProfile;
  p.File(cache, "cache2\\entries\\0A1B2C3D4E5F", 3072);
  p.File(cache, "cache2\\index", 256);
  p.File(cache, "thumbnails\\7c1e.png", 2048);
  p.File(cache, "jumpListCache\\Zm9vYmFy.ico", 1150);
}

void SeedOffice(ModernPlanter& p) {
  for (const char* program : {"Word", "Excel", "PowerPoint"}) {
    const std::string base = std::string("Software\\Microsoft\\Office\\16.0\\") + program;
    p.Value(base + "\\File MRU", "Item 1", "[F00000000][T01DB4A1C2E3F4000][O00000000]*C:\\Work\\plan.docx");
    p.Value(base + "\\Place MRU", "Item 1", "[F00000000][T01DB4A1C2E3F4000][O00000000]*C:\\Work\\");
    p.Value(base + "\\User MRU\\ADAL_5C1E7A\\File MRU", "Item 1", "[F00000000][T01DB4A1C2E3F4000]*C:\\Work\\q4.xlsx");
    p.Value(base + "\\User MRU\\ADAL_5C1E7A\\Place MRU", "Item 1", "[F00000000][T01DB4A1C2E3F4000]*C:\\Work\\");
    p.Value(base + "\\Options", "AutoSave", "1");  // the program's settings: stay
  }
  p.Value("Software\\Microsoft\\Office\\16.0\\Common\\General", "ShownFirstRunOptin", "1");
}

void SeedWindows10(ModernPlanter& p) {
  const std::string explorer = kExplorer;
  p.Value(explorer + "\\TypedPaths", "url1", "C:\\Users\\Public\\Documents");
  p.Value(explorer + "\\TypedPaths", "url2", "\\\\server\\share");
  p.Value(explorer + "\\WordWheelQuery", "0", std::string("b\0u\0d\0g\0e\0t\0\0\0", 14), REG_BINARY);
  p.Value(explorer + "\\WordWheelQuery", "MRUListEx", std::string("\0\0\0\0\xff\xff\xff\xff", 8), REG_BINARY);
  p.Value(explorer + "\\ComDlg32\\OpenSavePidlMRU\\*", "0", std::string("\x14\0\x1f\x50", 4), REG_BINARY);
  p.Value(explorer + "\\ComDlg32\\OpenSavePidlMRU\\docx", "0", std::string("\x14\0\x1f\x50", 4), REG_BINARY);
  p.Value(explorer + "\\ComDlg32\\LastVisitedPidlMRU", "0", std::string("n\0o\0t\0e\0\0\0", 10), REG_BINARY);
  p.Value(explorer + "\\ComDlg32\\CIDSizeMRU", "0", std::string("n\0o\0t\0e\0\0\0", 10), REG_BINARY);  // stays
  p.Value(explorer + "\\Advanced", "HideFileExt", std::string("\0\0\0\0", 4), REG_BINARY);              // stays
  p.Value(std::string(kApplets) + "\\Paint\\Recent File List", "File1", "C:\\Work\\holiday.png");
  p.Value(std::string(kApplets) + "\\Paint\\View", "ShowGrid", "0");  // stays
  p.Value(std::string(kApplets) + "\\Wordpad\\Recent File List", "File1", "C:\\Work\\letter.rtf");
}

void SeedReaders(ModernPlanter& p) {
  const std::string acrobat = "Software\\Adobe\\Acrobat Reader\\DC\\AVGeneral";
  p.Value(acrobat + "\\cRecentFiles\\c1", "tDIText", "/C/Work/statement.pdf");
  p.Value(acrobat + "\\cRecentFolders\\c1", "tDIText", "/C/Work/");
  p.Value(acrobat, "bToolbarsLocked", "1");  // stays
  p.Value("Software\\Microsoft\\MediaPlayer\\Player\\RecentURLList", "URL0", "http://radio.example/stream");
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE)) return std::string();
  return path;
}

}  // namespace

bool SeedModernTracesIn(const std::string& localAppData, const std::string& appData) {
  ModernPlanter p;
  SeedChromium(p, localAppData);
  SeedFirefox(p, localAppData, appData);
  SeedOffice(p);
  SeedWindows10(p);
  SeedReaders(p);
  return p.ok;
}

bool SeedModernTraces() {
  const std::string local = ShellFolder(CSIDL_LOCAL_APPDATA);
  const std::string roaming = ShellFolder(CSIDL_APPDATA);
  if (local.empty() || roaming.empty()) return false;
  return SeedModernTracesIn(local, roaming);
}

const std::vector<std::string>& ModernKeptFiles() {
  static const std::vector<std::string> kept = [] {
    std::vector<std::string> files;
    for (const char* browser : kChromium) {
      files.push_back(std::string("L\\") + browser + "\\Local State");
      for (const char* profile : kProfiles)
        for (const char* name : {"Bookmarks", "Preferences", "Login Data", "Cookies", "Network\\Cookies"})
          files.push_back(std::string("L\\") + browser + "\\" + profile + "\\" + name);
    }
    const std::string firefox = std::string("R\\") + kFirefoxProfile + "\\";
    for (const char* name : {"places.sqlite", "bookmarkbackups\\bookmarks-2026-12-01_42.jsonlz4", "cookies.sqlite",
                             "prefs.js"})
      files.push_back(firefox + name);
    return files;
  }();
  return kept;
}

// Rule traces of the demo: a rule file of the user's own in
// %APPDATA%\Morvane\Rules with entries for modern traces (a browser's
// profile caches, an editor's recent lists and thumbnails, a program's logs),
// those entries switched on, and the traces themselves with what must
// survive beside them (the browser's index and preferences, the editor's
// theme, a log folder's settings, an entry for a program that is not here).
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "settings/rule_choices.h"
#include "tools/seed/seed.h"
#include "winlib/trace.h"

namespace {

const char kDemoRules[] =
    "; Morvane's demo rules: modern traces in the rule-file format.\r\n"
    "[Demo Browser Cache *]\r\n"
    "Section=Demo Web Browser\r\n"
    "DetectFile=%LocalAppData%\\DemoBrowser\\User Data\r\n"
    "FileKey1=%LocalAppData%\\DemoBrowser\\User Data\\*\\Cache|*|RECURSE\r\n"
    "FileKey2=%LocalAppData%\\DemoBrowser\\User Data\\*|Visited Links;History-journal\r\n"
    "ExcludeKey1=FILE|%LocalAppData%\\DemoBrowser\\User Data\\Default\\Cache\\|index\r\n"
    "\r\n"
    "[Demo Editor History *]\r\n"
    "LangSecRef=3024\r\n"
    "Detect=HKCU\\Software\\DemoVendor\\DemoEditor\r\n"
    "FileKey1=%LocalAppData%\\DemoVendor\\DemoEditor\\Thumbnails|*.tmp|REMOVESELF\r\n"
    "RegKey1=HKCU\\Software\\DemoVendor\\DemoEditor\\Recent File List\r\n"
    "RegKey2=HKCU\\Software\\DemoVendor\\DemoEditor\\Settings|LastFolder\r\n"
    "\r\n"
    "[Demo Program Logs *]\r\n"
    "LangSecRef=3025\r\n"
    "FileKey1=%LocalAppData%\\DemoVendor\\Logs|*.log\r\n"
    "\r\n"
    "[Demo Not Installed *]\r\n"
    "LangSecRef=3021\r\n"
    "Detect=HKCU\\Software\\DemoVendor\\NotInstalled\r\n"
    "FileKey1=%LocalAppData%\\DemoVendor\\NotInstalled|*\r\n";

std::string Special(int csidl) {
  char buf[MAX_PATH];
  return ::SHGetSpecialFolderPathA(nullptr, buf, csidl, TRUE) ? std::string(buf) : std::string();
}

bool Folders(const std::string& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') continue;
    if (!::CreateDirectoryA(path.substr(0, i).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return true;
}

bool File(const std::string& path, const std::string& text) {
  if (!Folders(path.substr(0, path.find_last_of('\\')))) return false;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
  ::CloseHandle(h);
  return ok;
}

bool String(const std::string& key, const char* name, const std::string& text) {
  HKEY h = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const bool ok = ::RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  ::RegCloseKey(h);
  return ok;
}

}  // namespace

bool SeedRuleTraces() {
  const std::string appData = Special(CSIDL_APPDATA), local = Special(CSIDL_LOCAL_APPDATA);
  if (appData.empty() || local.empty()) {
    Trace("Seeder: no AppData folders for the rule traces\n");
    return false;
  }
  bool ok = File(appData + "\\Morvane\\Rules\\demo.ini", kDemoRules);
  const std::string data = local + "\\DemoBrowser\\User Data";
  const std::vector<std::pair<std::string, std::string>> files = {
      {data + "\\Default\\Cache\\f_000001", "cached page"},
      {data + "\\Default\\Cache\\f_000002", "cached image"},
      {data + "\\Default\\Cache\\index", "cache index (kept)"},
      {data + "\\Default\\Cache\\data\\data_0", "cache block"},
      {data + "\\Default\\Visited Links", "visited"},
      {data + "\\Default\\History-journal", "journal"},
      {data + "\\Default\\Preferences", "preferences (kept)"},
      {data + "\\Default\\Bookmarks", "bookmarks (kept)"},
      {data + "\\Profile 1\\Cache\\f_000003", "cached script"},
      {local + "\\DemoVendor\\DemoEditor\\Thumbnails\\t1.tmp", "thumbnail"},
      {local + "\\DemoVendor\\DemoEditor\\Thumbnails\\large\\t2.tmp", "thumbnail"},
      {local + "\\DemoVendor\\Logs\\run.log", "log"},
      {local + "\\DemoVendor\\Logs\\keep.cfg", "settings (kept)"},
  };
  for (const auto& f : files) ok = File(f.first, f.second) && ok;
  const std::string editor = "Software\\DemoVendor\\DemoEditor";
  ok = String(editor + "\\Recent File List", "File1", "C:\\Work\\plan.txt") && ok;
  ok = String(editor + "\\Recent File List", "File2", "C:\\Work\\notes.txt") && ok;
  ok = String(editor + "\\Settings", "LastFolder", "C:\\Work") && ok;
  ok = String(editor + "\\Settings", "Theme", "dark (kept)") && ok;
  ok = StoreRuleChoices(
           {{"Demo Browser Cache *", true}, {"Demo Editor History *", true}, {"Demo Program Logs *", true}}) &&
       ok;
  if (!ok) Trace("Seeder: some rule traces could not be planted\n");
  return ok;
}

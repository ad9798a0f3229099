// Traces of the Applications category: the recent-file lists of Word, Excel,
// Access and PowerPoint 8.0 to 10.0 and their dialog lists, shortcuts in the
// Office Recent folder, Acrobat Reader's recent files, Media Player's list,
// RealPlayer's recent clips and RealOne's user data folder and cookie file.
// Next to each, something of the same application that must survive.
#include "tools/seed/seed_applications.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "settings/settings_groups.h"
#include "tools/seed/seed.h"
#include "winlib/trace.h"

namespace {

class Planter {
 public:
  bool ok = true;

  void String(HKEY root, const std::string& key, const char* name, const std::string& text) {
    Value(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  // A list of texts, each ended by a zero, and the whole by one more.
  void MultiString(HKEY root, const std::string& key, const char* name, const std::string& texts) {
    std::string data = texts + '\0' + '\0';
    for (char& c : data)
      if (c == '|') c = '\0';
    Value(root, key, name, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()));
  }
  void Dword(HKEY root, const std::string& key, const char* name, DWORD number) {
    Value(root, key, name, REG_DWORD, &number, sizeof number);
  }
  void Binary(HKEY root, const std::string& key, const char* name, const std::string& bytes) {
    Value(root, key, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
  }

  void Folder(const std::string& path) {
    // Parents first; a folder that already exists is fine.
    for (size_t i = 3; i <= path.size(); ++i) {
      if (i < path.size() && path[i] != '\\') continue;
      const std::string part = path.substr(0, i);
      if (!::CreateDirectoryA(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        Fail("cannot create folder " + part);
        return;
      }
    }
  }
  void File(const std::string& path, const std::string& text) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail("cannot create file " + path);
    DWORD written = 0;
    if (!::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size())
      Fail("cannot write file " + path);
    ::CloseHandle(h);
  }

 private:
  void Value(HKEY root, const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY h = nullptr;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
      return Fail("cannot create key " + key);
    if (::RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
      Fail("cannot set " + key + "\\" + (name != nullptr ? name : ""));
    ::RegCloseKey(h);
  }
  void Fail(const std::string& what) {
    ok = false;
    Trace("Seeder: %s\n", what.c_str());
  }
};

const char kOffice[] = "Software\\Microsoft\\Office\\";
const char* const kVersions[] = {"8.0", "9.0", "10.0"};

// An open/save dialog's list: "Value" holds the recent names, one more value
// goes with it, and the dialog's own key keeps a setting of its own.
void PlantDialog(Planter& p, const std::string& version, const char* app, const char* dialog,
                 const std::string& document) {
  const std::string dialogKey = kOffice + version + "\\Common\\Open Find\\Microsoft " + app + "\\Settings\\" + dialog;
  p.Dword(HKEY_CURRENT_USER, dialogKey, "View Style", 1);
  p.MultiString(HKEY_CURRENT_USER, dialogKey + "\\File Name MRU", "Value",
                "C:\\Work\\" + document + "|C:\\Work\\old " + document);
  p.String(HKEY_CURRENT_USER, dialogKey + "\\File Name MRU", "Last Folder", "C:\\Work");
}

void PlantOffice(Planter& p) {
  for (const std::string v : kVersions) {
    const std::string base = kOffice + v;
    p.Binary(HKEY_CURRENT_USER, base + "\\Word\\Data", "Settings", "MRU list: C:\\Work\\plan.doc");
    p.Binary(HKEY_CURRENT_USER, base + "\\Word\\Data", "SettingsRecent", "C:\\Work\\letter.doc");
    p.Binary(HKEY_CURRENT_USER, base + "\\Word\\Data", "settings-user", "toolbar layout");
    p.Binary(HKEY_CURRENT_USER, base + "\\Word\\Data", "Toolbars", "standard");
    for (const char* dialog : {"Create New Document", "Insert Subdocument", "Link to File", "Open", "Save As"})
      PlantDialog(p, v, "Word", dialog, "plan.doc");

    p.String(HKEY_CURRENT_USER, base + "\\Excel\\Recent Files", "File1", "C:\\Work\\budget.xls");
    p.String(HKEY_CURRENT_USER, base + "\\Excel\\Recent Files", "File2", "C:\\Work\\sales.xls");
    p.Dword(HKEY_CURRENT_USER, base + "\\Excel\\Recent Files", "Max Display", 4);
    for (const char* dialog : {"Open", "Save As"}) PlantDialog(p, v, "Excel", dialog, "budget.xls");

    p.String(HKEY_CURRENT_USER, base + "\\Access\\Settings", "MRU1", "C:\\Work\\stock.mdb");
    p.String(HKEY_CURRENT_USER, base + "\\Access\\Settings", "MRU2", "C:\\Work\\staff.mdb");
    p.Dword(HKEY_CURRENT_USER, base + "\\Access\\Settings", "MRUFlags1", 0);
    p.Dword(HKEY_CURRENT_USER, base + "\\Access\\Settings", "MRUFlags2", 0);
    p.String(HKEY_CURRENT_USER, base + "\\Access\\Settings", "Default Database Directory", "C:\\Work");
    for (const char* dialog : {"Convert Database Into", "File New Database", "Open"})
      PlantDialog(p, v, "Access", dialog, "stock.mdb");

    if (v != "10.0") {
      p.String(HKEY_CURRENT_USER, base + "\\PowerPoint\\Recent File List", "File1", "C:\\Work\\talk.ppt");
      p.String(HKEY_CURRENT_USER, base + "\\PowerPoint\\Recent File List", "File2", "C:\\Work\\pitch.ppt");
      p.Dword(HKEY_CURRENT_USER, base + "\\PowerPoint\\Recent File List", "Size", 4);
    }
    PlantDialog(p, v, "PowerPoint", "Save As", "talk.ppt");
  }
}

void PlantOfficeRecentFolder(Planter& p, const std::string& localAppData) {
  p.String(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Local AppData",
           localAppData);
  const std::string recent = localAppData + "\\Microsoft\\Office\\Recent";
  p.Folder(recent + "\\Archive");
  p.File(recent + "\\plan.doc.lnk", std::string(1536, 'L'));
  p.File(recent + "\\budget.xls.lnk", std::string(700, 'L'));
  // Office's own index of the folder and anything that is not a shortcut stay,
  // and so does the sub-folder with its shortcut.
  p.File(recent + "\\index.dat", std::string(300, 'I'));
  p.File(recent + "\\notes.txt", "keep me");
  p.File(recent + "\\Archive\\old.doc.lnk", std::string(200, 'L'));
}

void PlantReaderAndPlayers(Planter& p) {
  for (const char* v : {"4.0", "5.0"}) {
    const std::string general = std::string("Software\\Adobe\\Acrobat Reader\\") + v + "\\AVGeneral";
    p.Dword(HKEY_CURRENT_USER, general, "bToolbarsLocked", 1);
    for (const char* n : {"c1", "c2"}) {
      p.String(HKEY_CURRENT_USER, general + "\\cRecentFiles\\" + n, "tDIText", std::string("/C/Work/") + n + ".pdf");
      p.Binary(HKEY_CURRENT_USER, general + "\\cRecentFiles\\" + n + "\\sub", "aFS", "DOS");
    }
    // Not a numbered entry: an upper-case C and an unrelated key stay.
    p.String(HKEY_CURRENT_USER, general + "\\cRecentFiles\\C9", "tDIText", "/C/Work/kept.pdf");
    p.Dword(HKEY_CURRENT_USER, general + "\\cRecentFiles\\Max", "iMax", 5);
  }

  const std::string media = "Software\\Microsoft\\MediaPlayer\\Player";
  p.String(HKEY_CURRENT_USER, media + "\\RecentFileList", "File0", "C:\\Music\\song.mp3");
  p.String(HKEY_CURRENT_USER, media + "\\RecentFileList", "File1", "C:\\Video\\clip.avi");
  p.Dword(HKEY_CURRENT_USER, media + "\\RecentFileList", "Count", 2);
  p.Dword(HKEY_CURRENT_USER, media + "\\Settings", "Volume", 80);

  for (const char* v : {"5.0", "6.0", "7.0"}) {
    const std::string prefs =
        std::string("SOFTWARE\\classes\\Software\\RealNetworks\\RealPlayer\\") + v + "\\Preferences";
    p.String(HKEY_LOCAL_MACHINE, prefs + "\\MostRecentClips1", nullptr, "file://C:\\Music\\live.rm");
    p.String(HKEY_LOCAL_MACHINE, prefs + "\\MostRecentClips2", nullptr, "http://radio.example/stream.ram");
    p.String(HKEY_LOCAL_MACHINE, prefs + "\\Volume", nullptr, "70");
  }
  const std::string realOne = "SOFTWARE\\RealNetworks\\RealPlayer\\6.0\\Preferences";
  p.String(HKEY_CURRENT_USER, realOne + "\\MostRecentClips1", nullptr, "file://C:\\Music\\session.rm");
  p.String(HKEY_CURRENT_USER, realOne + "\\Volume", nullptr, "65");
}

void PlantRealOneFolder(Planter& p, const std::string& appData) {
  const std::string d = RealOneDataFolder(appData);
  p.Folder(d + "\\History\\2004");
  p.Folder(d + "\\Temp\\cache");
  p.Folder(d + "\\Skins");
  p.File(d + "\\urls.ini", "[urls]\nu1=http://radio.example/\n");
  p.File(d + "\\realplayer.ste", std::string(2048, 'S'));
  p.File(d + "\\History\\h1.rhf", std::string(900, 'H'));
  p.File(d + "\\History\\2004\\h0.rhf", std::string(100, 'H'));
  p.File(d + "\\History\\desktop.ini", "[.ShellClassInfo]\n");
  p.File(d + "\\Temp\\t1.tmp", std::string(1024, 'T'));
  p.File(d + "\\Temp\\cache\\t2.tmp", std::string(512, 'T'));
  p.File(d + "\\cookies.txt", "radio.example\tTRUE\t/\tFALSE\t0\tid\t42\n");
  // The player's own settings and skins stay, and so does a cookie backup.
  p.File(d + "\\prefs.ini", "[prefs]\nvolume=65\n");
  p.File(d + "\\cookies.bak", "old cookies\n");
  p.File(d + "\\Skins\\blue.rjs", std::string(300, 'K'));

  // RealOne writes its data folder with a trailing backslash.
  p.String(HKEY_CURRENT_USER, "SOFTWARE\\RealNetworks\\Preferences\\UserDataPath", nullptr, d + "\\");
  p.String(HKEY_CURRENT_USER, "SOFTWARE\\RealNetworks\\RealMediaSDK\\6.0\\Preferences\\CookiesPath", nullptr,
           d + "\\cookies.txt");
}

// A fresh prefix selects no Applications target, so the demo would sweep
// none of what was planted: select them all unless a choice was stored.
void SelectTargetsUnlessChosen(Planter& p) {
  HKEY h = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kApplicationSettingsPath, 0, KEY_READ, &h) == ERROR_SUCCESS) {
    const bool chosen = ::RegQueryValueExA(h, "Targets", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(h);
    if (chosen) return;
  }
  p.Binary(HKEY_CURRENT_USER, kApplicationSettingsPath, "Targets", std::string("\x7f\0\0\0", 4));
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE)) return std::string();
  return path;
}

}  // namespace

std::string RealOneDataFolder(const std::string& appData) { return appData + "\\Real\\RealOne Player"; }

bool SeedApplicationsTracesIn(const std::string& localAppData, const std::string& appData) {
  Planter p;
  PlantOffice(p);
  PlantOfficeRecentFolder(p, localAppData);
  PlantReaderAndPlayers(p);
  PlantRealOneFolder(p, appData);
  return p.ok;
}

bool SeedApplicationsTraces() {
  const std::string localAppData = ShellFolder(CSIDL_LOCAL_APPDATA);
  const std::string appData = ShellFolder(CSIDL_APPDATA);
  if (localAppData.empty() || appData.empty()) {
    Trace("cannot find the profile's application data folders\n");
    return false;
  }
  Planter p;
  SelectTargetsUnlessChosen(p);
  return SeedApplicationsTracesIn(localAppData, appData) && p.ok;
}

#include "engine/protected_places.h"

#include <windows.h>
// The known-folder ids are defined here, not taken from a library.
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "engine/nt_calls.h"
#include "engine/path_text.h"

namespace guard {

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
    char longer[MAX_PATH * 2];
    const DWORD n = ::GetLongPathNameA(buf, longer, sizeof longer);
    const std::string profiles = FolderOf(n > 0 && n < sizeof longer ? std::string(longer, n) : std::string(buf));
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

std::vector<std::string> CollectSystemOwnTexts() {
  std::vector<std::string> raw;
  char buf[MAX_PATH * 2];
  for (int id : {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_INTERNET_CACHE, CSIDL_COOKIES, CSIDL_HISTORY, CSIDL_RECENT})
    if (::SHGetSpecialFolderPathA(nullptr, buf, id, FALSE)) raw.emplace_back(buf);
  if (DWORD n = ::GetTempPathA(MAX_PATH, buf); n > 0 && n < MAX_PATH) raw.emplace_back(buf, n);
  return raw;
}

}  // namespace guard

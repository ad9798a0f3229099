// The four settings groups held in memory: General, Windows, Internet and
// Applications, with their defaults, bit meanings and locks. Loading and saving
// them to the registry lives in settings_store.cpp, the copies to and from the
// control panel pages in page_transfer.cpp.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "winlib/timed_lock.h"

class RegKey;
struct SettingsPageFields;
struct WindowsPageFields;
struct InternetPageFields;
struct ApplicationsPageFields;

// Where each group lives, below HKEY_CURRENT_USER (and HKEY_LOCAL_MACHINE).
extern const char kGeneralSettingsPath[];      // "SOFTWARE\Calderix\Morvane\General Settings"
extern const char kWindowsSettingsPath[];      // "...\Windows"
extern const char kInternetSettingsPath[];     // "...\Internet"
extern const char kApplicationSettingsPath[];  // "...\Applications"
// The auto-start entry: value "Morvane.exe" under the per-user Run key.
extern const char kRunKeyPath[];
extern const char kRunValueName[];

// Ordered (first text, full path) pairs; the friendly cookie list has this type.
using StringPair = std::pair<std::string, std::string>;
using StringPairList = std::vector<StringPair>;

// Bits of GeneralSettings::m_nTargets.
enum GeneralTargetBits : int {
  GENERAL_SWEEP_WINDOWS = 0x01,
  GENERAL_SWEEP_INTERNET = 0x02,
  GENERAL_SWEEP_APPLICATIONS = 0x04,
  GENERAL_AUTO_START = 0x08,
  GENERAL_SHOW_PROGRESS = 0x10,
  GENERAL_DEEP_SWEEP = 0x20,
  GENERAL_RUN_BACKGROUND = 0x40,
  GENERAL_SHREDDER = 0x80,
};

// Bits of GeneralSettings::m_nSweepAt.
enum SweepAtBits : int {
  SWEEP_AT_INTERVAL = 0x01,
  SWEEP_AT_EXIT = 0x02,
  SWEEP_AT_STARTUP = 0x04,
};

// One custom sweeping location of the Windows group.
struct CustomLocation {
  CustomLocation() = default;
  CustomLocation(std::string dir, std::string filter, int subInc, std::string keyName = std::string());

  // "%s: %s: %s" of folder, filter and "including subdirectories" when the
  // flag is set, else "%s: %s" of folder and filter.
  static std::string MakeDisplayText(const std::string& dir, const std::string& filter, int subInc);

  std::string m_strDir;      // "Dir"
  std::string m_strFilter;   // "Flt", may hold wildcards
  int m_nSubInc = 0;         // "SubInc": 1 = include subfolders
  std::string m_strDisplay;  // what the lists show
  std::string m_strKeyName;  // subkey name as read; full key path once written
};

class SettingsGroup {
 public:
  virtual ~SettingsGroup() = default;
  // Read the group's values from / write them to an open key. The caller holds
  // the group's lock. A value that is absent leaves its field unchanged; Load
  // appends to the group's list.
  virtual void Load(RegKey& key) = 0;
  virtual void Save(RegKey& key) = 0;

  // Start-up load of the group stored at `path`: from the per-user key (true);
  // else from the machine key, leaving the per-user key uncreated (false); else
  // writes the values held now (the defaults) under both roots (true). False
  // also when the lock could not be had.
  bool LoadFromRegistry(const char* path);
  // Opens or creates HKEY_CURRENT_USER\path and saves the group there. False
  // when the key cannot be opened or created, or the lock not had.
  bool SaveToRegistry(const char* path);

  // Stamps m_tLastSweep with the current time. False (and nothing changed)
  // when the group's lock could not be had within its 500 ms.
  bool MarkSwept();

  TimedLock m_lock;
  int m_nTargets = 0;
  int m_tLastSweep = 0;  // seconds since 1970-01-01 UTC, 4 bytes as stored

 protected:
  explicit SettingsGroup(int targets) : m_nTargets(targets) {}
};

class GeneralSettings : public SettingsGroup {
 public:
  GeneralSettings() : SettingsGroup(0x1F) {}
  void Load(RegKey& key) override;
  void Save(RegKey& key) override;

  // Fill the Settings page's fields / take them back and save the group.
  // False (nothing changed) when the lock could not be had; FromPage also
  // when the group could not be saved.
  bool ToPage(SettingsPageFields& page);
  bool FromPage(const SettingsPageFields& page);

  // Adds or removes the Run value after the auto-start box changed, with the
  // program's command line as its data. Tells the user when it cannot.
  // Returns the line the caller logs for a change made ("Setup running
  // registry", "Removed running registry"), null when nothing changed.
  const char* UpdateAutoStart(const char* commandLine);

  int m_nSweepAt = 0;
  int m_nTimerSeconds = 60;
  int m_bNotShowLogo = 0;
};

class WindowsSettings : public SettingsGroup {
 public:
  WindowsSettings() : SettingsGroup(0) {}
  void Load(RegKey& key) override;
  // Writes the location subkeys too, but only while m_bLocationsDirty is set;
  // the flag is cleared once the whole list has been written.
  void Save(RegKey& key) override;

  bool ToPage(WindowsPageFields& page);
  // Takes the page's list only when the page says it changed, then clears
  // the page's flag and marks the list for the save that follows.
  bool FromPage(WindowsPageFields& page);

  std::vector<CustomLocation> m_locations;
  int m_bLocationsDirty = 0;
};

class InternetSettings : public SettingsGroup {
 public:
  InternetSettings() : SettingsGroup(0x18) {}
  void Load(RegKey& key) override;
  void Save(RegKey& key) override;

  bool ToPage(InternetPageFields& page);
  bool FromPage(const InternetPageFields& page);

  // Rewrites the per-user Cookie subkeys from the friendly list. Runs on the
  // GUI thread, the list's only writer, so it reads the list without the
  // lock. False when the Internet key cannot be opened or a write failed.
  bool SaveFriendlyCookies();

  // Appends a copy of every friendly cookie, in order, to the caller's list.
  // False (list untouched) when the lock could not be had.
  bool GetFriendlyCookies(StringPairList& out);
  // Replaces the friendly list by a copy of the given one. False (nothing
  // changed) when the lock could not be had.
  bool SetFriendlyCookies(const StringPairList& list);

  int m_nBrowser = 0;
  StringPairList m_friendlyCookies;
};

class ApplicationSettings : public SettingsGroup {
 public:
  ApplicationSettings() : SettingsGroup(0) {}
  void Load(RegKey& key) override;
  void Save(RegKey& key) override;

  bool ToPage(ApplicationsPageFields& page);
  bool FromPage(const ApplicationsPageFields& page);
};

// The process-wide groups, constructed with their defaults before anything runs.
extern GeneralSettings g_GeneralSettings;
extern WindowsSettings g_WindowsSettings;
extern InternetSettings g_InternetSettings;
extern ApplicationSettings g_ApplicationSettings;

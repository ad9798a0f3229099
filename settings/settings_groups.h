// The four settings groups held in memory: General, Windows, Internet and
// Applications, with their defaults, bit meanings and locks. Loading and saving
// them to the registry lives in settings_store.cpp, the copies to and from the
// control panel pages in page_transfer.cpp.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "settings/policy.h"
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
  // Folder or filter as stored does not fit the ANSI code page: the texts
  // above only show it, and the location is never swept.
  bool m_bUnfitText = false;
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

  // Administrator's policies (settings/policy.h). LoadFromRegistry reads and
  // applies them after the stored values; from then on the fields hold what
  // the program goes by.
  void ApplyPolicies(const char* path);
  // Policy fixes `bit` of the stored number `name` (0: any bit of it).
  bool IsFixed(const char* name, unsigned bit = 0) const;
  bool AnyFixed() const { return !m_fixed.empty(); }
  // What a save writes for the number `name` held as `value`: the bits policy
  // fixes keep the value the user's own settings had. False when policy fixes
  // the whole number: it is then not written at all.
  bool ValueToStore(const char* name, int value, int* stored) const;

  // A number policy may fix: its value name, its field, and the bits that may
  // be fixed one by one (0: only as a whole).
  struct PolicedNumber {
    const char* name;
    int* field;
    unsigned bits;
  };
  virtual std::vector<PolicedNumber> PolicedNumbers();

  TimedLock m_lock;
  int m_nTargets = 0;
  int m_tLastSweep = 0;  // seconds since 1970-01-01 UTC, 4 bytes as stored

 protected:
  explicit SettingsGroup(int targets) : m_nTargets(targets) {}

 private:
  bool LoadStored(const char* path);
  // Puts the fixed bits back after a page or a toggle changed a field.
  void ReapplyPolicies();

  struct Fixed {
    std::string name;
    int* field;
    PolicyFix fix;
    int own;  // the value before policy: what the user's key keeps
  };
  std::vector<Fixed> m_fixed;
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

  std::vector<PolicedNumber> PolicedNumbers() override;
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

  std::vector<PolicedNumber> PolicedNumbers() override;
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

  // The friendly cookie hosts: sites whose cookies the database sweep keeps
  // in every browser (a host keeps its subdomains too). Same rules as the
  // friendly cookie files: Get appends, Set replaces, both under the lock;
  // Save rewrites the per-user Site subkeys from the GUI thread.
  bool GetFriendlyHosts(std::vector<std::string>& out);
  bool SetFriendlyHosts(const std::vector<std::string>& hosts);
  bool SaveFriendlyHosts();

  int m_nBrowser = 0;
  StringPairList m_friendlyCookies;
  std::vector<std::string> m_friendlyHosts;

  std::vector<PolicedNumber> PolicedNumbers() override;
};

class ApplicationSettings : public SettingsGroup {
 public:
  ApplicationSettings() : SettingsGroup(0) {}
  void Load(RegKey& key) override;
  void Save(RegKey& key) override;

  bool ToPage(ApplicationsPageFields& page);
  bool FromPage(const ApplicationsPageFields& page);

  std::vector<PolicedNumber> PolicedNumbers() override;
};

// Every value name an administrator's policy may set, with its policy key
// below HKEY_LOCAL_MACHINE; an empty name stands for any name (the Rules key,
// whose values are named by rule entries).
struct PolicyValueName {
  std::string key;
  std::string name;
};
std::vector<PolicyValueName> KnownPolicyValues();

// The process-wide groups, constructed with their defaults before anything runs.
extern GeneralSettings g_GeneralSettings;
extern WindowsSettings g_WindowsSettings;
extern InternetSettings g_InternetSettings;
extern ApplicationSettings g_ApplicationSettings;

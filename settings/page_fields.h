// The fields of the control panel pages as plain data: one int per check box
// (1 = checked), the last-sweep time, and the page's own extras. The pages hold
// these and bind them to their controls; the settings groups fill and read
// them (ToPage / FromPage), so the transfer does not depend on any window.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "settings/settings_groups.h"

// One check box of a page: its control ID, its field, and the bit it stands
// for in the group. The later pages bind their check boxes from these tables.
template <class Fields>
struct CheckBinding {
  int controlId;
  int Fields::*field;
  int bit;
};

template <class Fields>
struct CheckBindings {
  const CheckBinding<Fields>* items;
  size_t count;
  const CheckBinding<Fields>* begin() const { return items; }
  const CheckBinding<Fields>* end() const { return items + count; }
};

// The Settings page (General group).
struct SettingsPageFields {
  // "Targets"
  int m_bSweepWindows = 0;       // 1019
  int m_bSweepInternet = 0;      // 1020
  int m_bSweepApplications = 0;  // 1021
  int m_bAutoStart = 0;          // 1049
  int m_bShowProgress = 0;       // 1050
  int m_bDeepSweep = 0;          // 1094
  int m_bRunBackground = 0;      // 1101
  int m_bShredder = 0;           // 1102
  // "StTm"
  int m_bSweepEvery = 0;     // 1024
  int m_bSweepShutdown = 0;  // 1028
  int m_bSweepStartup = 0;   // 1030
  int m_bSweepBrowserClose = 0;  // 1203
  // "NotShowLogo", shown inverted
  int m_bShowStartupWindow = 0;  // 1084

  int m_nSeconds = 0;        // the interval being edited ("TmSn")
  std::string m_strHours;    // 1025, "%02d"
  std::string m_strMinutes;  // 1033, "%02d"
  int m_tLastSweep = 0;      // "LsRn"
};

// The "Sweep Windows" page.
struct WindowsPageFields {
  int m_bDocumentHistory = 0;  // 1007
  int m_bRecycleBin = 0;       // 1012
  int m_bLastLogonUser = 0;    // 1013
  int m_bTempFolder = 0;       // 1011
  int m_bFindHistory = 0;      // 1009
  int m_bRunHistory = 0;       // 1010
  int m_bNetworkHistory = 0;   // 1057
  int m_tLastSweep = 0;

  // The page's own copy of the custom locations; the locations dialog edits
  // it and sets the flag, which the next apply consumes.
  std::vector<CustomLocation> m_locations;
  int m_bLocationsChanged = 0;
};

// The "Sweep Internet" page.
struct InternetPageFields {
  int m_bCookies = 0;          // 1032
  int m_bContentFiles = 0;     // 1034
  int m_bHistory = 0;          // 1031
  int m_bPasswords = 0;        // 1037
  int m_bFormData = 0;         // 1039
  int m_bMsn = 0;              // 1041
  int m_bAol = 0;              // 1040
  int m_bGoogleBar = 0;        // 1042
  int m_bYahooBar = 0;         // 1044 (never shown, still exchanged)
  int m_bFirefox = 0;          // 1104
  int m_tLastSweep = 0;
};

// The "Sweep Applications" page.
struct ApplicationsPageFields {
  int m_bExcel = 0;        // 1003
  int m_bWord = 0;         // 1002
  int m_bPowerPoint = 0;   // 1004
  int m_bAccess = 0;       // 1006
  int m_bAcrobat = 0;      // 1008
  int m_bRealPlayer = 0;   // 1010
  int m_bMediaPlayer = 0;  // 1009
  int m_tLastSweep = 0;
};

// Check boxes and their bits, in the order of each page's table.
CheckBindings<SettingsPageFields> SettingsTargetChecks();   // "Targets" bits
CheckBindings<SettingsPageFields> SettingsSweepAtChecks();  // "StTm" bits
CheckBindings<WindowsPageFields> WindowsTargetChecks();
CheckBindings<InternetPageFields> InternetTargetChecks();
CheckBindings<ApplicationsPageFields> ApplicationsTargetChecks();

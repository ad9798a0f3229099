// Copies between the settings groups and the fields of their control panel
// pages. ToPage fills a page from its group; FromPage takes the page back and
// saves the group, all under the group's lock.
#include <cstdio>

#include "settings/page_fields.h"
#include "settings/settings_groups.h"

namespace {

template <class Fields, size_t N>
CheckBindings<Fields> Bind(const CheckBinding<Fields> (&table)[N]) {
  return CheckBindings<Fields>{table, N};
}

const CheckBinding<SettingsPageFields> kSettingsTargets[] = {
    {1019, &SettingsPageFields::m_bSweepWindows, GENERAL_SWEEP_WINDOWS},
    {1020, &SettingsPageFields::m_bSweepInternet, GENERAL_SWEEP_INTERNET},
    {1021, &SettingsPageFields::m_bSweepApplications, GENERAL_SWEEP_APPLICATIONS},
    {1049, &SettingsPageFields::m_bAutoStart, GENERAL_AUTO_START},
    {1050, &SettingsPageFields::m_bShowProgress, GENERAL_SHOW_PROGRESS},
    {1094, &SettingsPageFields::m_bDeepSweep, GENERAL_DEEP_SWEEP},
    {1101, &SettingsPageFields::m_bRunBackground, GENERAL_RUN_BACKGROUND},
    {1102, &SettingsPageFields::m_bShredder, GENERAL_SHREDDER},
};

const CheckBinding<SettingsPageFields> kSettingsSweepAt[] = {
    {1024, &SettingsPageFields::m_bSweepEvery, SWEEP_AT_INTERVAL},
    {1028, &SettingsPageFields::m_bSweepShutdown, SWEEP_AT_EXIT},
    {1030, &SettingsPageFields::m_bSweepStartup, SWEEP_AT_STARTUP},
    {1203, &SettingsPageFields::m_bSweepBrowserClose, SWEEP_AT_BROWSER_CLOSE},
};

const CheckBinding<WindowsPageFields> kWindowsTargets[] = {
    {1007, &WindowsPageFields::m_bDocumentHistory, 0x01}, {1012, &WindowsPageFields::m_bRecycleBin, 0x02},
    {1013, &WindowsPageFields::m_bLastLogonUser, 0x04},   {1011, &WindowsPageFields::m_bTempFolder, 0x08},
    {1009, &WindowsPageFields::m_bFindHistory, 0x10},     {1010, &WindowsPageFields::m_bRunHistory, 0x20},
    {1057, &WindowsPageFields::m_bNetworkHistory, 0x40},
};

// 0x80 has no box: its stored bit is left as it is.
const CheckBinding<InternetPageFields> kInternetTargets[] = {
    {1032, &InternetPageFields::m_bCookies, 0x01},     {1034, &InternetPageFields::m_bContentFiles, 0x02},
    {1031, &InternetPageFields::m_bHistory, 0x04},     {1037, &InternetPageFields::m_bPasswords, 0x08},
    {1039, &InternetPageFields::m_bFormData, 0x10},    {1041, &InternetPageFields::m_bMsn, 0x20},
    {1040, &InternetPageFields::m_bAol, 0x40},         {1042, &InternetPageFields::m_bGoogleBar, 0x100},
    {1044, &InternetPageFields::m_bYahooBar, 0x200},   {1104, &InternetPageFields::m_bFirefox, 0x400},
};

const CheckBinding<ApplicationsPageFields> kApplicationsTargets[] = {
    {1003, &ApplicationsPageFields::m_bExcel, 0x01},      {1002, &ApplicationsPageFields::m_bWord, 0x02},
    {1004, &ApplicationsPageFields::m_bPowerPoint, 0x04}, {1006, &ApplicationsPageFields::m_bAccess, 0x08},
    {1008, &ApplicationsPageFields::m_bAcrobat, 0x10},    {1010, &ApplicationsPageFields::m_bRealPlayer, 0x20},
    {1009, &ApplicationsPageFields::m_bMediaPlayer, 0x40},
};

template <class Fields>
void ChecksFromBits(CheckBindings<Fields> checks, int bits, Fields& page) {
  for (const auto& c : checks) page.*c.field = (bits & c.bit) != 0 ? 1 : 0;
}

// Only a box whose field is exactly 1 counts as checked.
template <class Fields>
int BitsFromChecks(CheckBindings<Fields> checks, int bits, const Fields& page) {
  for (const auto& c : checks) {
    if (page.*c.field == 1)
      bits |= c.bit;
    else
      bits &= ~c.bit;
  }
  return bits;
}

std::string TwoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

}  // namespace

CheckBindings<SettingsPageFields> SettingsTargetChecks() { return Bind(kSettingsTargets); }
CheckBindings<SettingsPageFields> SettingsSweepAtChecks() { return Bind(kSettingsSweepAt); }
CheckBindings<WindowsPageFields> WindowsTargetChecks() { return Bind(kWindowsTargets); }
CheckBindings<InternetPageFields> InternetTargetChecks() { return Bind(kInternetTargets); }
CheckBindings<ApplicationsPageFields> ApplicationsTargetChecks() { return Bind(kApplicationsTargets); }

bool GeneralSettings::ToPage(SettingsPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  ChecksFromBits(SettingsTargetChecks(), m_nTargets, page);
  ChecksFromBits(SettingsSweepAtChecks(), m_nSweepAt, page);
  page.m_bShowStartupWindow = m_bNotShowLogo != 1 ? 1 : 0;
  page.m_nSeconds = m_nTimerSeconds;
  // Hours wrap at a day: the hours box has two digits.
  page.m_strHours = TwoDigits((m_nTimerSeconds / 3600) % 24);
  page.m_strMinutes = TwoDigits((m_nTimerSeconds / 60) % 60);
  page.m_tLastSweep = m_tLastSweep;
  return true;
}

bool GeneralSettings::FromPage(const SettingsPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_nTargets = BitsFromChecks(SettingsTargetChecks(), m_nTargets, page);
  m_nSweepAt = BitsFromChecks(SettingsSweepAtChecks(), m_nSweepAt, page);
  m_nTimerSeconds = page.m_nSeconds;
  m_bNotShowLogo = page.m_bShowStartupWindow == 1 ? 0 : 1;
  m_tLastSweep = page.m_tLastSweep;
  return SaveToRegistry(kGeneralSettingsPath);
}

bool WindowsSettings::ToPage(WindowsPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  ChecksFromBits(WindowsTargetChecks(), m_nTargets, page);
  page.m_tLastSweep = m_tLastSweep;
  page.m_locations = m_locations;
  return true;
}

bool WindowsSettings::FromPage(WindowsPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_nTargets = BitsFromChecks(WindowsTargetChecks(), m_nTargets, page);
  m_tLastSweep = page.m_tLastSweep;
  if (page.m_bLocationsChanged == 1) {
    m_locations = page.m_locations;
    page.m_bLocationsChanged = 0;
    m_bLocationsDirty = 1;
  }
  return SaveToRegistry(kWindowsSettingsPath);
}

bool InternetSettings::ToPage(InternetPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  ChecksFromBits(InternetTargetChecks(), m_nTargets, page);
  page.m_tLastSweep = m_tLastSweep;
  return true;
}

bool InternetSettings::FromPage(const InternetPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_nTargets = BitsFromChecks(InternetTargetChecks(), m_nTargets, page);
  m_tLastSweep = page.m_tLastSweep;
  return SaveToRegistry(kInternetSettingsPath);
}

bool ApplicationSettings::ToPage(ApplicationsPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  ChecksFromBits(ApplicationsTargetChecks(), m_nTargets, page);
  page.m_tLastSweep = m_tLastSweep;
  return true;
}

bool ApplicationSettings::FromPage(const ApplicationsPageFields& page) {
  TimedLockGuard hold(m_lock);
  if (!hold.Owns()) return false;
  m_nTargets = BitsFromChecks(ApplicationsTargetChecks(), m_nTargets, page);
  m_tLastSweep = page.m_tLastSweep;
  return SaveToRegistry(kApplicationSettingsPath);
}

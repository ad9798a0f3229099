#include <gtest/gtest.h>

#include <set>
#include <string>

#include "reg_helpers.h"
#include "settings/page_fields.h"
#include "settings/settings_groups.h"
#include "support/test_env.h"

using regtest::Number;

namespace {
// Every bit a page's boxes cover, each box once, each control ID once.
template <class Fields>
int CoveredBits(CheckBindings<Fields> checks) {
  int bits = 0;
  std::set<int> ids;
  for (const auto& c : checks) {
    EXPECT_EQ(bits & c.bit, 0) << "bit " << c.bit << " bound twice";
    EXPECT_TRUE(ids.insert(c.controlId).second) << "control " << c.controlId << " bound twice";
    bits |= c.bit;
  }
  return bits;
}
}  // namespace

TEST(PageTransfer, EachPageCoversItsGroupsBits) {
  EXPECT_EQ(CoveredBits(SettingsTargetChecks()), 0xFF);
  EXPECT_EQ(CoveredBits(SettingsSweepAtChecks()), 0x0F);
  EXPECT_EQ(CoveredBits(WindowsTargetChecks()), 0x7F);
  EXPECT_EQ(CoveredBits(InternetTargetChecks()), 0x77F);  // 0x80 has no box
  EXPECT_EQ(CoveredBits(ApplicationsTargetChecks()), 0x7F);
}

TEST(PageTransfer, SettingsPageShowsTheGeneralGroup) {
  GeneralSettings general;
  general.m_nTargets = 0xA5;  // Windows, Applications, Deep Sweep, Shredder
  general.m_nSweepAt = SWEEP_AT_INTERVAL | SWEEP_AT_STARTUP;
  general.m_nTimerSeconds = 90000;
  general.m_bNotShowLogo = 1;
  general.m_tLastSweep = 777;
  SettingsPageFields page;
  page.m_bShredder = 7;  // whatever the page held before is replaced
  ASSERT_TRUE(general.ToPage(page));
  EXPECT_EQ(page.m_bSweepWindows, 1);
  EXPECT_EQ(page.m_bSweepInternet, 0);
  EXPECT_EQ(page.m_bSweepApplications, 1);
  EXPECT_EQ(page.m_bAutoStart, 0);
  EXPECT_EQ(page.m_bDeepSweep, 1);
  EXPECT_EQ(page.m_bShredder, 1);
  EXPECT_EQ(page.m_bSweepEvery, 1);
  EXPECT_EQ(page.m_bSweepShutdown, 0);
  EXPECT_EQ(page.m_bSweepStartup, 1);
  EXPECT_EQ(page.m_bShowStartupWindow, 0);
  EXPECT_EQ(page.m_nSeconds, 90000);
  EXPECT_EQ(page.m_strHours, "01");  // 25 hours: the hours wrap at a day
  EXPECT_EQ(page.m_strMinutes, "00");
  EXPECT_EQ(page.m_tLastSweep, 777);

  general.m_nTimerSeconds = 3725;
  general.m_bNotShowLogo = 2;  // only exactly 1 hides the startup window
  ASSERT_TRUE(general.ToPage(page));
  EXPECT_EQ(page.m_strHours, "01");
  EXPECT_EQ(page.m_strMinutes, "02");
  EXPECT_EQ(page.m_bShowStartupWindow, 1);
}

TEST(PageTransfer, SettingsPageAppliedIsStoredPerUser) {
  RegistrySandbox sandbox;
  GeneralSettings general;
  SettingsPageFields page;
  ASSERT_TRUE(general.ToPage(page));
  page.m_bSweepInternet = 0;
  page.m_bAutoStart = 2;  // an indeterminate box is not checked
  page.m_bShredder = 1;
  page.m_bSweepEvery = 0;
  page.m_bSweepShutdown = 1;
  page.m_bShowStartupWindow = 0;
  page.m_nSeconds = 5400;
  page.m_tLastSweep = 99;
  ASSERT_TRUE(general.FromPage(page));
  EXPECT_EQ(general.m_nTargets, (0x1F & ~(GENERAL_SWEEP_INTERNET | GENERAL_AUTO_START)) | GENERAL_SHREDDER);
  EXPECT_EQ(general.m_nSweepAt, SWEEP_AT_EXIT);
  EXPECT_EQ(general.m_nTimerSeconds, 5400);
  EXPECT_EQ(general.m_bNotShowLogo, 1);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kGeneralSettingsPath, "Targets"), general.m_nTargets);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kGeneralSettingsPath, "StTm"), SWEEP_AT_EXIT);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kGeneralSettingsPath, "TmSn"), 5400);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kGeneralSettingsPath, "NotShowLogo"), 1);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kGeneralSettingsPath, "LsRn"), 99);
  EXPECT_FALSE(regtest::KeyExists(HKEY_LOCAL_MACHINE, kGeneralSettingsPath));
}

TEST(PageTransfer, InternetBitWithoutABoxSurvivesARoundTrip) {
  RegistrySandbox sandbox;
  InternetSettings internet;
  internet.m_nTargets = 0x7FF;
  InternetPageFields page;
  ASSERT_TRUE(internet.ToPage(page));
  EXPECT_EQ(page.m_bYahooBar, 1);
  EXPECT_EQ(page.m_bFirefox, 1);
  page.m_bCookies = 0;
  page.m_bGoogleBar = 0;
  ASSERT_TRUE(internet.FromPage(page));
  EXPECT_EQ(internet.m_nTargets, 0x7FF & ~0x101);
  internet.m_nTargets = 0x80;
  ASSERT_TRUE(internet.ToPage(page));
  ASSERT_TRUE(internet.FromPage(page));
  EXPECT_EQ(internet.m_nTargets, 0x80);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kInternetSettingsPath, "Targets"), 0x80);

  ApplicationSettings apps;
  ApplicationsPageFields appPage;
  appPage.m_bWord = 1;
  appPage.m_bMediaPlayer = 1;
  ASSERT_TRUE(apps.FromPage(appPage));
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kApplicationSettingsPath, "Targets"), 0x42);
}

TEST(PageTransfer, WindowsPageTakesItsListOnlyWhenChanged) {
  RegistrySandbox sandbox;
  regtest::PutText(HKEY_CURRENT_USER, std::string(kWindowsSettingsPath) + "\\CusDir.0", "Dir", "C:\\Stored");
  WindowsSettings windows;
  windows.m_locations = {CustomLocation("C:\\Mine", "*.tmp", 1, "CusDir.0")};
  windows.m_nTargets = 0x09;
  WindowsPageFields page;
  ASSERT_TRUE(windows.ToPage(page));
  EXPECT_EQ(page.m_bDocumentHistory, 1);
  EXPECT_EQ(page.m_bTempFolder, 1);
  EXPECT_EQ(page.m_bRecycleBin, 0);
  ASSERT_EQ(page.m_locations.size(), 1u);
  EXPECT_EQ(page.m_locations[0].m_strDir, "C:\\Mine");

  // Applied without touching the list: numbers only.
  page.m_bRecycleBin = 1;
  page.m_locations.clear();
  ASSERT_TRUE(windows.FromPage(page));
  EXPECT_EQ(windows.m_nTargets, 0x0B);
  EXPECT_EQ(windows.m_locations.size(), 1u);
  EXPECT_EQ(windows.m_bLocationsDirty, 0);
  EXPECT_EQ(Number(HKEY_CURRENT_USER, kWindowsSettingsPath, "Targets"), 0x0B);
  EXPECT_EQ(regtest::Text(HKEY_CURRENT_USER, std::string(kWindowsSettingsPath) + "\\CusDir.0", "Dir"),
            "C:\\Stored");

  // Changed: the list is taken, the flag consumed, and the subkeys rewritten.
  page.m_locations = {CustomLocation("C:\\X", "*.x", 0), CustomLocation("C:\\Y", "*.y", 0)};
  page.m_bLocationsChanged = 1;
  ASSERT_TRUE(windows.FromPage(page));
  EXPECT_EQ(page.m_bLocationsChanged, 0);
  EXPECT_EQ(windows.m_bLocationsDirty, 0);  // written, so no longer pending
  ASSERT_EQ(windows.m_locations.size(), 2u);
  EXPECT_EQ(regtest::SubKeys(HKEY_CURRENT_USER, kWindowsSettingsPath),
            (std::vector<std::string>{"CusDir.0", "CusDir.1"}));
  EXPECT_EQ(regtest::Text(HKEY_CURRENT_USER, std::string(kWindowsSettingsPath) + "\\CusDir.1", "Dir"), "C:\\Y");
}

// "StTm" as older versions stored it (no 0x08) and as this one stores it:
// each loads as it was, shows "Browser closes" by its bit, and an apply
// that changes nothing writes the same number back; the box alone turns
// 0x08 on and off beside the schedule.
TEST(PageTransfer, SweepAtNumbersOldAndNewRoundTripAndTheBrowserBoxStandsAlone) {
  struct Case {
    int stored;
    int browserBox;
  };
  const Case cases[] = {{0x00, 0}, {0x01, 0}, {0x05, 0}, {0x02, 0}, {0x08, 1}, {0x0A, 1}, {0x0D, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    RegistrySandbox sandbox;
    regtest::PutNumber(HKEY_CURRENT_USER, kGeneralSettingsPath, "StTm", c.stored);
    GeneralSettings general;
    ASSERT_TRUE(general.LoadFromRegistry(kGeneralSettingsPath));
    EXPECT_EQ(general.m_nSweepAt, c.stored);
    SettingsPageFields page;
    ASSERT_TRUE(general.ToPage(page));
    EXPECT_EQ(page.m_bSweepBrowserClose, c.browserBox);
    ASSERT_TRUE(general.FromPage(page));
    EXPECT_EQ(Number(HKEY_CURRENT_USER, kGeneralSettingsPath, "StTm"), c.stored);
    page.m_bSweepBrowserClose = 1 - c.browserBox;
    ASSERT_TRUE(general.FromPage(page));
    EXPECT_EQ(general.m_nSweepAt, c.stored ^ SWEEP_AT_BROWSER_CLOSE);
  }
}

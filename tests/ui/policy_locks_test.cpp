// The control panel under an administrator's policies: the boxes policy fixes
// are greyed and show the policy's value, the Settings page says so, and the
// rest stays the user's.
#include <shlwapi.h>

#include "panel_fixture.h"
#include "settings/policy.h"

namespace {

// Policies written below the sandbox's machine key and applied to the
// process-wide groups; gone again, with their fixes, at the end.
class PolicyScope {
 public:
  void Set(const char* group, const char* name, DWORD value) {
    const std::string path = std::string(kPolicyRootPath) + "\\" + group;
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(key);
  }
  void Apply() {
    g_GeneralSettings.ApplyPolicies(kGeneralSettingsPath);
    g_WindowsSettings.ApplyPolicies(kWindowsSettingsPath);
  }
  ~PolicyScope() {
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kPolicyRootPath);
    Apply();
  }
};

class PolicyLocksTest : public PanelTest {
 protected:
  CLustraPage& Settings() { return m_panel->m_settingsPage; }
};

}  // namespace

TEST_F(PolicyLocksTest, FixedSettingsAreGreyedAndTheNoteIsShown) {
  PolicyScope policies;
  policies.Set("General Settings", "Targets.0x20", 1);  // Deep Sweep on
  policies.Set("General Settings", "TmSn", 7200);
  policies.Set("Windows", "Targets.0x02", 0);  // never the Recycle Bin
  g_WindowsSettings.m_nTargets = 0x03;
  policies.Apply();

  OpenPanel();
  CLustraPage& page = Settings();
  EXPECT_TRUE(page.IsItemVisible(IDC_SET_POLICY_NOTE));
  EXPECT_EQ(page.GetItemText(IDC_SET_POLICY_NOTE), "Some settings are managed by your administrator.");
  EXPECT_FALSE(page.IsItemEnabled(IDC_SET_DEEP_SWEEP));
  EXPECT_EQ(page.GetCheck(IDC_SET_DEEP_SWEEP), BST_CHECKED);
  EXPECT_EQ(page.GetItemText(IDC_SET_HOURS), "02");
  for (int id : {IDC_SET_HOURS, IDC_SET_HOURS_SPIN, IDC_SET_MINUTES, IDC_SET_MINUTES_SPIN})
    EXPECT_FALSE(page.IsItemEnabled(id)) << id;
  for (int id : {IDC_SET_SHREDDER, IDC_SET_WINDOWS, IDC_SET_AUTO_START, IDC_SET_EVERY, IDC_SET_SHUTDOWN})
    EXPECT_TRUE(page.IsItemEnabled(id)) << id;

  CSweepPage& windows = m_panel->m_winTmpPage;
  ShowPage(windows);
  EXPECT_FALSE(windows.IsItemEnabled(IDC_WIN_RECYCLE_BIN));
  EXPECT_EQ(windows.GetCheck(IDC_WIN_RECYCLE_BIN), BST_UNCHECKED);
  EXPECT_TRUE(windows.IsItemEnabled(IDC_WIN_DOCUMENTS));
  EXPECT_EQ(windows.GetCheck(IDC_WIN_DOCUMENTS), BST_CHECKED);

  // Apply keeps the program on the policy's values.
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(g_GeneralSettings.m_nTimerSeconds, 7200);
  EXPECT_TRUE(g_GeneralSettings.m_nTargets & GENERAL_DEEP_SWEEP);
  EXPECT_EQ(g_WindowsSettings.m_nTargets & 0x02, 0);
}

TEST_F(PolicyLocksTest, OneFixedScheduleBoxGreysAllThree) {
  PolicyScope policies;
  policies.Set("General Settings", "StTm.0x02", 1);
  policies.Apply();
  OpenPanel();
  for (int id : {IDC_SET_EVERY, IDC_SET_SHUTDOWN, IDC_SET_STARTUP, IDC_SET_HOURS, IDC_SET_MINUTES})
    EXPECT_FALSE(Settings().IsItemEnabled(id)) << id;
  EXPECT_EQ(Settings().GetCheck(IDC_SET_SHUTDOWN), BST_CHECKED);
}

TEST_F(PolicyLocksTest, WithoutPoliciesNothingIsGreyedAndThereIsNoNote) {
  OpenPanel();
  EXPECT_FALSE(Settings().IsItemVisible(IDC_SET_POLICY_NOTE));
  for (const auto& c : SettingsTargetChecks()) EXPECT_TRUE(Settings().IsItemEnabled(c.controlId)) << c.controlId;
  for (const auto& c : SettingsSweepAtChecks()) EXPECT_TRUE(Settings().IsItemEnabled(c.controlId)) << c.controlId;
}

// "Browser closes" is fixed by its own bit; the three exclusive schedule
// boxes are fixed together, and neither fixes the other. A whole "StTm"
// fixes all four.
TEST_F(PolicyLocksTest, BrowserCloseBoxIsFixedByItsOwnBitOnly) {
  struct Case {
    const char* value;
    DWORD data;
    bool browserFixed;
    bool scheduleFixed;
    int browserCheck;
  };
  const Case cases[] = {
      {"StTm.0x08", 1, true, false, BST_CHECKED},
      {"StTm.0x08", 0, true, false, BST_UNCHECKED},
      {"StTm.0x04", 1, false, true, BST_UNCHECKED},
      {"StTm", 0x0A, true, true, BST_CHECKED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value) + "=" + std::to_string(c.data));
    g_GeneralSettings.m_nSweepAt = 0;
    {
      PolicyScope policies;
      policies.Set("General Settings", c.value, c.data);
      policies.Apply();
      OpenPanel();
      EXPECT_EQ(Settings().IsItemEnabled(IDC_SET_BROWSER_CLOSE), !c.browserFixed);
      EXPECT_EQ(Settings().GetCheck(IDC_SET_BROWSER_CLOSE), c.browserCheck);
      for (int id : {IDC_SET_EVERY, IDC_SET_SHUTDOWN, IDC_SET_STARTUP})
        EXPECT_EQ(Settings().IsItemEnabled(id), !c.scheduleFixed) << id;
      m_panel.reset();
    }
  }
}

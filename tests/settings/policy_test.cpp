// The administrator's policies: precedence over the per-user and machine keys,
// bit by bit and whole, and saves that never take a policy value into the
// user's key. Also the rule entries' policies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reg_helpers.h"
#include "settings/page_fields.h"
#include "settings/policy.h"
#include "settings/rule_choices.h"
#include "settings/settings_groups.h"
#include "support/test_env.h"

using regtest::Number;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;
const std::string kPolicyGeneral = std::string(kPolicyRootPath) + "\\General Settings";
const std::string kPolicyInternet = std::string(kPolicyRootPath) + "\\Internet";
const std::string kPolicyRules = std::string(kPolicyRootPath) + "\\Rules";

void PutDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
  regtest::Put(root, path, name.c_str(), REG_DWORD, &value, sizeof value);
}

}  // namespace

TEST(Policy, PathsOfTheGroupsAndTheirBitValues) {
  EXPECT_EQ(PolicyPathFor(kGeneralSettingsPath), "SOFTWARE\\Policies\\Calderix\\Morvane\\General Settings");
  EXPECT_EQ(PolicyPathFor(kRulesSettingsPath), "SOFTWARE\\Policies\\Calderix\\Morvane\\Rules");
  EXPECT_EQ(PolicyPathFor("software\\calderix\\morvane\\Windows"), "SOFTWARE\\Policies\\Calderix\\Morvane\\Windows");
  EXPECT_EQ(PolicyPathFor("SOFTWARE\\Calderix\\MorvaneX\\Windows"), "");
  EXPECT_EQ(PolicyPathFor("SOFTWARE\\Other\\Windows"), "");
  EXPECT_EQ(PolicyBitValueName("Targets", 0x20), "Targets.0x20");
  EXPECT_EQ(PolicyBitValueName("StTm", 0x02), "StTm.0x02");
}

// Where the General "Targets" comes from, whichever keys hold a value.
TEST(Policy, APolicyValueWinsOverTheUserAndTheMachineKey) {
  struct Case {
    const char* what;
    int machine, user, policy;  // -1: no value there
    int expected;
  } cases[] = {
      {"machine key only", 0x05, -1, -1, 0x05},
      {"user key over machine key", 0x05, 0x06, -1, 0x06},
      {"policy over user key", -1, 0x06, 0x81, 0x81},
      {"policy over machine key", 0x05, -1, 0x81, 0x81},
      {"policy over both", 0x05, 0x06, 0x81, 0x81},
      {"policy of 0 is a value too", 0x05, 0x06, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegistrySandbox sandbox;
    if (c.machine >= 0) regtest::PutNumber(kMachine, kGeneralSettingsPath, "Targets", c.machine);
    if (c.user >= 0) regtest::PutNumber(kUser, kGeneralSettingsPath, "Targets", c.user);
    if (c.policy >= 0) PutDword(kMachine, kPolicyGeneral, "Targets", static_cast<DWORD>(c.policy));
    GeneralSettings general;
    general.LoadFromRegistry(kGeneralSettingsPath);
    EXPECT_EQ(general.m_nTargets, c.expected);
    EXPECT_EQ(general.IsFixed("Targets"), c.policy >= 0);
    // Reading never writes: the per-user key is made by the first save only.
    if (c.user < 0) {
      EXPECT_FALSE(regtest::KeyExists(kUser, kGeneralSettingsPath));
    }
  }
}

TEST(Policy, BitValuesFixOneOptionEachAndTextsCount) {
  RegistrySandbox sandbox;
  regtest::PutNumber(kUser, kGeneralSettingsPath, "Targets", 0x1F);
  regtest::PutNumber(kUser, kGeneralSettingsPath, "StTm", 0x01);
  PutDword(kMachine, kPolicyGeneral, "Targets.0x20", 1);            // Deep Sweep on
  PutDword(kMachine, kPolicyGeneral, "Targets.0x01", 0);            // no Windows category
  regtest::PutText(kMachine, kPolicyGeneral, "Targets.0x80", "1");  // Shredder, as a text
  regtest::PutText(kMachine, kPolicyGeneral, "StTm.0x02", "one");   // not a number: no policy
  PutDword(kMachine, kPolicyGeneral, "Targets.0x100", 1);           // no such option: ignored
  GeneralSettings general;
  general.LoadFromRegistry(kGeneralSettingsPath);
  EXPECT_EQ(general.m_nTargets, 0x1E | 0x20 | 0x80);
  EXPECT_EQ(general.m_nSweepAt, 0x01);
  EXPECT_TRUE(general.IsFixed("Targets", GENERAL_DEEP_SWEEP));
  EXPECT_TRUE(general.IsFixed("Targets", GENERAL_SWEEP_WINDOWS));
  EXPECT_TRUE(general.IsFixed("Targets", GENERAL_SHREDDER));
  EXPECT_FALSE(general.IsFixed("Targets", GENERAL_SWEEP_INTERNET));
  EXPECT_FALSE(general.IsFixed("StTm"));
  EXPECT_FALSE(general.IsFixed("Targets", 0x100));
}

// The Settings page applied while policy fixes Deep Sweep and the interval:
// the user's other choices are stored, the fixed ones stay as the user had
// them, and the program keeps going by the policy.
TEST(Policy, ApplyNeverWritesWhatPolicyFixes) {
  RegistrySandbox sandbox;
  regtest::PutNumber(kUser, kGeneralSettingsPath, "Targets", 0x1F);  // Deep Sweep off
  regtest::PutNumber(kUser, kGeneralSettingsPath, "TmSn", 600);
  PutDword(kMachine, kPolicyGeneral, "Targets.0x20", 1);
  PutDword(kMachine, kPolicyGeneral, "TmSn", 3600);
  GeneralSettings general;
  general.LoadFromRegistry(kGeneralSettingsPath);
  ASSERT_EQ(general.m_nTargets, 0x3F);
  ASSERT_EQ(general.m_nTimerSeconds, 3600);

  SettingsPageFields page;
  ASSERT_TRUE(general.ToPage(page));
  EXPECT_EQ(page.m_bDeepSweep, 1);  // the page shows what the program goes by
  page.m_bShredder = 1;             // a choice of the user's own
  page.m_bDeepSweep = 0;            // a disabled box cannot do this; the store must not follow it anyway
  page.m_nSeconds = 120;
  ASSERT_TRUE(general.FromPage(page));

  EXPECT_EQ(Number(kUser, kGeneralSettingsPath, "Targets"), 0x1F | 0x80);
  EXPECT_EQ(Number(kUser, kGeneralSettingsPath, "TmSn"), 600);
  EXPECT_EQ(general.m_nTargets, 0x3F | 0x80);
  EXPECT_EQ(general.m_nTimerSeconds, 3600);
  // Nothing was written below the policy key or the machine key either.
  EXPECT_EQ(regtest::Values(kMachine, kPolicyGeneral), (std::vector<std::string>{"Targets.0x20", "TmSn"}));
  EXPECT_FALSE(regtest::KeyExists(kMachine, kGeneralSettingsPath));
}

TEST(Policy, AWholeValueFixedIsNotWrittenAtAllAndFirstStartStoresDefaults) {
  RegistrySandbox sandbox;
  PutDword(kMachine, kPolicyInternet, "Targets", 0x401);
  InternetSettings internet;
  EXPECT_TRUE(internet.LoadFromRegistry(kInternetSettingsPath));  // first start
  EXPECT_EQ(internet.m_nTargets, 0x401);
  // The defaults went to both roots, not the policy's value.
  EXPECT_EQ(Number(kUser, kInternetSettingsPath, "Targets"), 24);
  EXPECT_EQ(Number(kMachine, kInternetSettingsPath, "Targets"), 24);

  regtest::PutNumber(kUser, kInternetSettingsPath, "Targets", 0x07);  // changed behind the program's back
  ASSERT_TRUE(internet.MarkSwept());
  ASSERT_TRUE(internet.SaveToRegistry(kInternetSettingsPath));
  EXPECT_EQ(Number(kUser, kInternetSettingsPath, "Targets"), 0x07);  // untouched
  EXPECT_NE(Number(kUser, kInternetSettingsPath, "LsRn"), 0);         // the rest is saved
}

TEST(Policy, AFieldChangedInMemoryGetsItsFixedBitsBackAtTheSave) {
  RegistrySandbox sandbox;
  PutDword(kMachine, std::string(kPolicyRootPath) + "\\Windows", "Targets.0x02", 0);  // never the Recycle Bin
  regtest::PutNumber(kUser, kWindowsSettingsPath, "Targets", 0x03);
  WindowsSettings windows;
  windows.LoadFromRegistry(kWindowsSettingsPath);
  EXPECT_EQ(windows.m_nTargets, 0x01);
  windows.m_nTargets = 0x7F;
  ASSERT_TRUE(windows.SaveToRegistry(kWindowsSettingsPath));
  EXPECT_EQ(windows.m_nTargets, 0x7D);
  EXPECT_EQ(Number(kUser, kWindowsSettingsPath, "Targets"), 0x7F);  // 0x02 as the user had it
}

TEST(Policy, HideThePanel) {
  struct Case {
    int value;  // -1: none
    int expected;
  } cases[] = {{-1, PANEL_SHOWN}, {0, PANEL_SHOWN}, {1, PANEL_HIDDEN}, {2, PANEL_NO_ICON}, {7, PANEL_SHOWN}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    RegistrySandbox sandbox;
    if (c.value >= 0) PutDword(kMachine, kPolicyGeneral, kHidePanelValueName, static_cast<DWORD>(c.value));
    EXPECT_EQ(PanelPolicyNow(), c.expected);
  }
}

// --- rule entries -------------------------------------------------------------

TEST(RulePolicy, APolicyForcesAnEntryAndItsStoredChoiceIsLeftAlone) {
  RegistrySandbox sandbox;
  PutDword(kUser, kRulesSettingsPath, "Chat", 0);
  PutDword(kUser, kRulesSettingsPath, "Paint", 0);
  PutDword(kMachine, kRulesSettingsPath, "Viewer", 1);
  regtest::PutText(kMachine, kPolicyRules, "Chat", "1");  // as a list policy writes it
  PutDword(kMachine, kPolicyRules, "Games", 0);

  EXPECT_TRUE(RuleChoiceOn("Chat", false));
  EXPECT_FALSE(RuleChoiceOn("Games", true));
  EXPECT_FALSE(RuleChoiceOn("Paint", true));   // user key
  EXPECT_TRUE(RuleChoiceOn("Viewer", false));  // machine key
  EXPECT_TRUE(RuleChoiceOn("Other", true));    // default
  EXPECT_TRUE(RuleChoiceFixed("Chat"));
  EXPECT_TRUE(RuleChoiceFixed("Games"));
  EXPECT_FALSE(RuleChoiceFixed("Paint"));

  EXPECT_TRUE(StoreRuleChoices({{"Chat", false}, {"Games", true}, {"Paint", true}}));
  EXPECT_EQ(regtest::Read(kUser, kRulesSettingsPath, "Chat").bytes, std::string("\0\0\0\0", 4));
  EXPECT_FALSE(regtest::Read(kUser, kRulesSettingsPath, "Games").found);
  EXPECT_EQ(regtest::Read(kUser, kRulesSettingsPath, "Paint").bytes, std::string("\1\0\0\0", 4));
  EXPECT_TRUE(RuleChoiceOn("Chat", false));  // still the policy's
}

// The "More Targets" page over a small rule set of the test's own: the rows
// under their category headings, entries for programs not found shown greyed
// on request, the filter, ticking with and without a warning, "All" and
// "None", and what Apply and Cancel leave in the Rules key.
#include "panel_fixture.h"
#include "rules/rule_set.h"
#include "settings/rule_choices.h"
#include "support/message_boxes.h"

namespace {

using Strings = std::vector<std::string>;

const char kRules[] =
    "[Alpha Cache *]\r\nLangSecRef=3021\r\nDetect=HKCU\\Software\\MorvaneTest\\Alpha\r\n"
    "FileKey1=%AppData%\\Alpha|*.tmp\r\n\r\n"
    "[Beta Logs *]\r\nLangSecRef=3024\r\nDetect=HKCU\\Software\\MorvaneTest\\Beta\r\n"
    "Warning=Beta forgets its window layout.\r\nFileKey1=%AppData%\\Beta|*.log\r\n\r\n"
    "[Gamma History *]\r\nLangSecRef=3022\r\nDetect=HKCU\\Software\\MorvaneTest\\Gamma\r\n"
    "FileKey1=%AppData%\\Gamma|*.dat\r\n\r\n"
    "[Delta Explorer *]\r\nLangSecRef=3025\r\nRegKey1=HKCU\\Software\\MorvaneTest\\Delta\\List\r\n";

class MoreTargetsTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    for (const char* key : {"Software\\MorvaneTest\\Alpha", "Software\\MorvaneTest\\Beta"}) {
      HKEY h = nullptr;
      ::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
      ::RegCloseKey(h);
    }
    m_rules.LoadText(kRules, "test.ini", false);
    BeforeOpen();
    OpenPanel();
    Page().SetRules(&m_rules);
    ShowPage(Page());
  }
  virtual void BeforeOpen() {}
  CMoreTargetsPage& Page() { return m_panel->m_moreTargetsPage; }
  HWND List() { return Page().List(); }
  int Rows() { return static_cast<int>(::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }
  std::string Cell(int row, int column) {
    char text[260] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(List(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
  }
  // The first column of every row, as the list shows it.
  Strings Names() {
    Strings names;
    for (int row = 0; row < Rows(); ++row) names.push_back(Cell(row, 0));
    return names;
  }
  int RowOf(const std::string& name) {
    for (int row = 0; row < Rows(); ++row)
      if (Cell(row, 0) == name) return row;
    return -1;
  }
  // The check box as the list draws it: 0 none, 1 empty, 2 ticked.
  int Box(const std::string& name) {
    const LRESULT state = ::SendMessageA(List(), LVM_GETITEMSTATE, RowOf(name), LVIS_STATEIMAGEMASK);
    return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
  }
  // The space bar on a row, as a user would tick it.
  void Space(const std::string& name) {
    const int row = RowOf(name);
    ASSERT_GE(row, 0) << name;
    LVITEMA item = {};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    ::SendMessageA(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    ::SendMessageA(List(), WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageA(List(), WM_KEYUP, VK_SPACE, 0);
  }
  void Click(int id) { ClickItem(Page(), id); }
  // The stored choice: 1, 0, or -1 when none is stored.
  int Stored(const char* name) {
    DWORD value = 0, size = sizeof value;
    if (::RegGetValueA(HKEY_CURRENT_USER, kRulesSettingsPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
      return -1;
    return static_cast<int>(value);
  }

  RuleSet m_rules;
  MessageBoxRecorder m_boxes;
};

TEST_F(MoreTargetsTest, EntriesThatApplyStandUnderTheirCategoryAndTheRestOnRequest) {
  EXPECT_EQ(Names(), (Strings{"Windows (1)", "Delta Explorer *", "Applications (2)", "Alpha Cache *", "Beta Logs *"}));
  EXPECT_EQ(Cell(4, 1), "Utilities");
  EXPECT_EQ(Cell(4, 2), "test.ini");
  EXPECT_EQ(Box("Applications (2)"), 0) << "a heading has no box";
  EXPECT_EQ(Box("Alpha Cache *"), 1) << "a community entry is off until turned on";
  EXPECT_EQ(Page().GetItemText(IDC_MORE_COUNTS), "4 entries loaded, 0 refused.");
  EXPECT_NE(Page().GetItemText(IDC_MORE_FOLDER).find("\\Morvane\\Rules"), std::string::npos);

  Click(IDC_MORE_SHOW_ALL);
  EXPECT_EQ(Names(), (Strings{"Windows (1)", "Delta Explorer *", "Internet (1)", "Gamma History *", "Applications (2)",
                              "Alpha Cache *", "Beta Logs *"}));
  Space("Gamma History *");
  EXPECT_EQ(Box("Gamma History *"), 1) << "an entry for a program not found cannot be ticked";
  Click(IDC_MORE_SHOW_ALL);
  EXPECT_EQ(Rows(), 5);
  EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(MoreTargetsTest, TheFilterNarrowsByNameGroupOrSourceAsTheUserTypes) {
  Page().SetFilterText("ALPHA");
  EXPECT_EQ(Names(), (Strings{"Applications (1)", "Alpha Cache *"}));
  Page().SetFilterText("utilities");
  EXPECT_EQ(Names(), (Strings{"Applications (1)", "Beta Logs *"}));
  Page().SetFilterText("test.ini");
  EXPECT_EQ(Rows(), 5);
  Page().SetFilterText("nothing like it");
  EXPECT_EQ(Rows(), 0);
  EXPECT_FALSE(Page().IsItemEnabled(IDC_MORE_ALL));
  Page().SetFilterText("");
  EXPECT_EQ(Rows(), 5);
  EXPECT_TRUE(Page().IsItemEnabled(IDC_MORE_ALL));
}

TEST_F(MoreTargetsTest, AWarningIsAskedBeforeItsEntryIsTurnedOn) {
  Space("Alpha Cache *");
  EXPECT_EQ(Box("Alpha Cache *"), 2);
  EXPECT_TRUE(m_boxes.Boxes().empty()) << "no warning, no question";

  m_boxes.SetAnswer(IDNO);
  Space("Beta Logs *");
  ASSERT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_NE(m_boxes.Boxes()[0].text.find("Beta forgets its window layout."), std::string::npos);
  EXPECT_EQ(m_boxes.Boxes()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(Box("Beta Logs *"), 1) << "No leaves it off";

  m_boxes.SetAnswer(IDYES);
  Space("Beta Logs *");
  EXPECT_EQ(Box("Beta Logs *"), 2);
  Space("Beta Logs *");  // turning it off asks nothing
  EXPECT_EQ(Box("Beta Logs *"), 1);
  EXPECT_EQ(m_boxes.Boxes().size(), 2u);
}

TEST_F(MoreTargetsTest, AllAsksOnceForTheWarnedEntriesAndNoneClearsWhatIsShown) {
  m_boxes.SetAnswer(IDNO);
  Click(IDC_MORE_ALL);
  EXPECT_EQ(m_boxes.Boxes().size(), 1u);
  EXPECT_EQ(Box("Alpha Cache *"), 2);
  EXPECT_EQ(Box("Delta Explorer *"), 2);
  EXPECT_EQ(Box("Beta Logs *"), 1);
  m_boxes.SetAnswer(IDYES);
  Click(IDC_MORE_ALL);
  EXPECT_EQ(Box("Beta Logs *"), 2);

  Page().SetFilterText("alpha");
  Click(IDC_MORE_NONE);  // only what is shown
  Page().SetFilterText("");
  EXPECT_EQ(Box("Alpha Cache *"), 1);
  EXPECT_EQ(Box("Delta Explorer *"), 2);
  EXPECT_EQ(m_boxes.Boxes().size(), 2u);
}

TEST_F(MoreTargetsTest, ApplyStoresWhatChangedAndCancelDropsIt) {
  ASSERT_TRUE(StoreRuleChoices({{"Delta Explorer *", true}}));
  EXPECT_EQ(Box("Delta Explorer *"), 2) << "a stored choice shows";
  Space("Alpha Cache *");
  Space("Delta Explorer *");
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(Stored("Alpha Cache *"), 1);
  EXPECT_EQ(Stored("Delta Explorer *"), 0);
  EXPECT_EQ(Stored("Beta Logs *"), -1) << "an untouched entry keeps its default";
  EXPECT_TRUE(Page().Model()->Changes().empty());

  Space("Alpha Cache *");
  m_panel->PressButton(PSBTN_CANCEL);
  EXPECT_EQ(Stored("Alpha Cache *"), 1);
  EXPECT_TRUE(Page().Model()->Changes().empty());
}

// An administrator forces "Alpha Cache *" on.
class MoreTargetsPolicyTest : public MoreTargetsTest {
 protected:
  void BeforeOpen() override {
    HKEY policy = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Calderix\\Morvane\\Rules", 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, &policy, nullptr),
              ERROR_SUCCESS);
    const DWORD on = 1;
    ::RegSetValueExA(policy, "Alpha Cache *", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
    ::RegCloseKey(policy);
  }
};

TEST_F(MoreTargetsPolicyTest, AnEntryFixedByPolicyShowsItsForcedTickAndCannotBeChanged) {
  EXPECT_EQ(Box("Alpha Cache *"), 2) << "the forced choice shows";
  Space("Alpha Cache *");
  Click(IDC_MORE_NONE);
  EXPECT_EQ(Box("Alpha Cache *"), 2) << "neither the box nor None changes a fixed entry";
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(Stored("Alpha Cache *"), -1) << "a policy value is never copied into the user's key";
}

}  // namespace

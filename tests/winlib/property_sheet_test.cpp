// The property sheet and its pages under Xvfb: which page hears which
// notification and what its answer does, the modified mark, the real modal
// loop ended by OK, Cancel and EndDialog, and the script that stands in for it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "winlib/property_sheet.h"
#include "winlib/window_probe.h"

namespace {

// The sheet's own Apply button.
constexpr int kApplyButton = 0x3021;

class RecordingPage : public CPropertyPage {
 public:
  RecordingPage(int templateId, const char* name, std::vector<std::string>* events)
      : CPropertyPage(templateId), m_name(name), m_events(events) {}
  bool m_bRefuseKill = false;
  bool m_bRefuseApply = false;

 protected:
  void Note(const char* what) { m_events->push_back(m_name + " " + what); }
  bool OnInitDialog() override {
    Note("init");
    return CPropertyPage::OnInitDialog();
  }
  bool OnSetActive() override {
    Note("active");
    return true;
  }
  bool OnKillActive() override {
    Note("kill");
    return !m_bRefuseKill;
  }
  bool OnApply() override {
    Note("apply");
    return m_bRefuseApply ? false : CPropertyPage::OnApply();
  }
  void OnCancel() override { Note("reset"); }

 private:
  std::string m_name;
  std::vector<std::string>* m_events;
};

class PropertySheetTest : public ::testing::Test {
 protected:
  PropertySheetTest()
      : m_first(IDD_APPLICATIONS_PAGE, "first", &m_events),
        m_second(IDD_INTERNET_PAGE, "second", &m_events),
        m_sheet("Test Sheet", nullptr) {
    m_sheet.AddPage(&m_first);
    m_sheet.AddPage(&m_second);
  }
  bool ApplyEnabled() { return ::IsWindowEnabled(::GetDlgItem(m_sheet, kApplyButton)) != FALSE; }

  std::vector<std::string> m_events;
  RecordingPage m_first, m_second;
  CPropertySheet m_sheet;
};

using Events = std::vector<std::string>;

TEST_F(PropertySheetTest, NotificationsReachOnlyThePagesThatWereCreated) {
  ASSERT_TRUE(m_sheet.Create(false));
  EXPECT_EQ(m_events, (Events{"first init", "first active"}));
  EXPECT_EQ(m_second.GetSafeHwnd(), nullptr);

  m_events.clear();
  m_sheet.PressButton(PSBTN_APPLYNOW);
  ASSERT_GE(m_events.size(), 2u);
  EXPECT_EQ(Events(m_events.begin(), m_events.begin() + 2), (Events{"first kill", "first apply"}));
  for (const auto& e : m_events) EXPECT_EQ(e.rfind("second", 0), std::string::npos) << e;

  m_events.clear();
  ASSERT_TRUE(m_sheet.SetActivePage(1));
  EXPECT_EQ(m_sheet.GetActiveIndex(), 1);
  EXPECT_EQ(m_events, (Events{"first kill", "second init", "second active"}));

  m_events.clear();
  m_sheet.PressButton(PSBTN_CANCEL);
  EXPECT_EQ(m_events, (Events{"first reset", "second reset"}));
}

TEST_F(PropertySheetTest, APageThatRefusesToLetGoStaysShown) {
  ASSERT_TRUE(m_sheet.Create(false));
  m_first.m_bRefuseKill = true;
  m_sheet.SetActivePage(1);
  EXPECT_EQ(m_sheet.GetActiveIndex(), 0);
  EXPECT_EQ(m_second.GetSafeHwnd(), nullptr);
}

TEST_F(PropertySheetTest, AModifiedMarkGivenBeforeTheWindowEnablesApply) {
  m_first.SetModified();
  ASSERT_TRUE(m_sheet.Create(false));
  EXPECT_TRUE(ApplyEnabled());
  m_first.SetModified(false);
  EXPECT_FALSE(ApplyEnabled());
  m_first.SetModified(true);
  m_sheet.PressButton(PSBTN_APPLYNOW);
  EXPECT_FALSE(m_first.IsModified());
  EXPECT_FALSE(ApplyEnabled());
}

// The real modal loop, ended from a timer while it runs.
CPropertySheet* g_pRunning = nullptr;
std::function<void(CPropertySheet&)> g_action;
void CALLBACK ActOnSheet(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  g_action(*g_pRunning);
}

// Shown windows: under Xvfb each costs about two seconds to take down.
TEST_F(PropertySheetTest, TheModalLoopEndsWithTheButtonOrTheResultGiven) {
  struct Case {
    const char* name;
    std::function<void(CPropertySheet&)> action;
    INT_PTR result;
    bool applied;
  };
  const Case cases[] = {
      {"OK", [](CPropertySheet& s) { s.PressButton(PSBTN_OK); }, IDOK, true},
      {"EndDialog", [](CPropertySheet& s) { s.EndDialog(1); }, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_events.clear();
    g_pRunning = &m_sheet;
    g_action = c.action;
    ::SetTimer(nullptr, 0, 100, &ActOnSheet);
    EXPECT_EQ(m_sheet.DoModal(), c.result);
    EXPECT_EQ(m_sheet.GetSafeHwnd(), nullptr);
    EXPECT_EQ(m_first.GetSafeHwnd(), nullptr);
    bool applied = false;
    for (const auto& e : m_events) applied = applied || e == "first apply";
    EXPECT_EQ(applied, c.applied);
  }
}

TEST_F(PropertySheetTest, AScriptStandsInForTheModalLoop) {
  HWND seen = nullptr;
  SheetScript script([&](CPropertySheet& sheet) {
    seen = sheet.GetSafeHwnd();
    EXPECT_FALSE(::IsWindowVisible(seen));
    return static_cast<INT_PTR>(IDOK);
  });
  EXPECT_EQ(m_sheet.DoModal(), IDOK);
  EXPECT_NE(seen, nullptr);
  EXPECT_FALSE(::IsWindow(seen));

  // A sheet that ends itself while the script drives it gives its own result.
  SheetScript ending([](CPropertySheet& sheet) {
    sheet.EndDialog(7);
    return static_cast<INT_PTR>(IDCANCEL);
  });
  EXPECT_EQ(m_sheet.DoModal(), 7);
  EXPECT_EQ(ending.Runs(), 1);
}

}  // namespace

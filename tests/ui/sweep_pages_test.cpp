// The three category pages: a page's own sweep and its cancel, the label and
// button after the category ended, a page opened while its category runs, and
// the page-specific controls (the locations list, the hidden "Yahoo Bar" box).
#include <algorithm>
#include <regex>

#include "panel_fixture.h"
#include "ui/dialog_probe.h"

namespace {

const std::regex kLastSweep("Last Sweeping Time: \\d\\d:\\d\\d - [A-Z][a-z]{2} \\d\\d \\d{4}");

class SweepPagesTest : public PanelTest {};

TEST_F(SweepPagesTest, CancellingOnePageStopsOnlyItsCategory) {
  OpenPanel(1);
  CWinTmpPage& windows = m_panel->m_winTmpPage;
  CInternetPage& internet = m_panel->m_internetPage;
  EXPECT_EQ(windows.GetItemText(IDC_WIN_SWEEP), "Sweep Windows");
  ClickItem(windows, IDC_WIN_SWEEP);
  ASSERT_TRUE(WaitRunning(SWEEP_CATEGORY_WINDOWS, true));
  EXPECT_EQ(windows.GetItemText(IDC_WIN_SWEEP), "Cancel Sweep");
  EXPECT_TRUE(LogHas("\nStart Sweeping windows temporary files manually. @ "));

  ShowPage(internet);
  ClickItem(internet, IDC_INET_SWEEP);
  ASSERT_TRUE(WaitRunning(SWEEP_CATEGORY_INTERNET, true));
  EXPECT_EQ(internet.GetItemText(IDC_INET_SWEEP), "Cancel Sweeping");

  ClickItem(windows, IDC_WIN_SWEEP);
  m_gates.OpenAll();
  ASSERT_TRUE(WaitAllEnded());
  EXPECT_FALSE(SweepGates::Completed(SWEEP_CATEGORY_WINDOWS));
  EXPECT_TRUE(SweepGates::Completed(SWEEP_CATEGORY_INTERNET));
  // A page's own sweep is not a whole sweep.
  EXPECT_FALSE(m_host.m_bSweeping);
  EXPECT_EQ(m_host.m_nAnimations, 2);
}

TEST_F(SweepPagesTest, AnEndedCategoryRefreshesItsOwnLabelOnly) {
  OpenPanel(2);
  CInternetPage& internet = m_panel->m_internetPage;
  ClickItem(internet, IDC_INET_SWEEP);
  m_gates.Open(SWEEP_CATEGORY_INTERNET);
  ASSERT_TRUE(WaitAllEnded());
  // What the main window does when the category's end arrives.
  ASSERT_TRUE(g_InternetSettings.MarkSwept());
  m_panel->CategoryEnded(SWEEP_CATEGORY_INTERNET);
  EXPECT_TRUE(std::regex_match(internet.GetItemText(IDC_INET_LAST_SWEEP), kLastSweep));
  EXPECT_EQ(internet.GetItemText(IDC_INET_GOOGLE_BAR), "Google Bar");
  EXPECT_EQ(internet.GetItemText(IDC_INET_SWEEP), "Sweep Internet Applications");
  EXPECT_FALSE(internet.IsRunning());
  EXPECT_EQ(internet.m_fields.m_tLastSweep, g_InternetSettings.m_tLastSweep);
  // A page without a window keeps the time for later.
  m_panel->m_applicationPage.ShowLastSweep();
  EXPECT_EQ(m_panel->m_applicationPage.GetSafeHwnd(), nullptr);
}

TEST_F(SweepPagesTest, APageOpenedWhileItsCategoryRunsOffersToCancel) {
  m_worker->RequestSweep(SWEEP_APPLICATIONS);
  ASSERT_TRUE(WaitRunning(SWEEP_CATEGORY_APPLICATIONS, true));
  OpenPanel();
  ShowPage(m_panel->m_applicationPage);
  ShowPage(m_panel->m_winTmpPage);
  EXPECT_EQ(m_panel->m_applicationPage.GetItemText(IDC_APP_SWEEP), "Cancel Sweep");
  EXPECT_TRUE(m_panel->m_applicationPage.IsRunning());
  EXPECT_EQ(m_panel->m_winTmpPage.GetItemText(IDC_WIN_SWEEP), "Sweep Windows");
  // Not a whole sweep: the Settings page still offers one.
  EXPECT_EQ(m_panel->m_settingsPage.GetItemText(IDC_SET_SWEEP_NOW), "Sweep Now");

  ClickItem(m_panel->m_applicationPage, IDC_APP_SWEEP);
  m_gates.OpenAll();
  ASSERT_TRUE(WaitAllEnded());
  EXPECT_FALSE(SweepGates::Completed(SWEEP_CATEGORY_APPLICATIONS));
}

TEST_F(SweepPagesTest, APageFirstShownBeforeItsRequestedCategoryStartedOffersToCancel) {
  // A worker whose supervisor has not run yet: requests wait, nothing runs.
  SweepWorker idle;
  m_host.m_pWorker = &idle;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS;
  OpenPanel();
  ClickItem(m_panel->m_settingsPage, IDC_SET_SWEEP_NOW);
  ShowPage(m_panel->m_winTmpPage);
  EXPECT_EQ(m_panel->m_winTmpPage.GetItemText(IDC_WIN_SWEEP), "Cancel Sweep");
  m_panel.reset();
  m_gates.OpenAll();  // the idle worker runs its request before it goes
}

TEST_F(SweepPagesTest, ChecksGoToTheGroupAtApplyWithTheHiddenBoxKept) {
  g_InternetSettings.m_nTargets = 0x01 | 0x80 | 0x200;  // cookies, an unused bit, "Yahoo Bar"
  OpenPanel(2);
  CInternetPage& internet = m_panel->m_internetPage;
  EXPECT_FALSE(internet.IsItemVisible(IDC_INET_YAHOO_BAR));
  EXPECT_EQ(internet.GetCheck(IDC_INET_YAHOO_BAR), BST_CHECKED);
  ClickItem(internet, IDC_INET_COOKIES);
  ClickItem(internet, IDC_INET_FIREFOX);
  EXPECT_EQ(g_InternetSettings.m_nTargets, 0x01 | 0x80 | 0x200);
  m_panel->PressButton(PSBTN_APPLYNOW);
  EXPECT_EQ(g_InternetSettings.m_nTargets, 0x80 | 0x200 | 0x400);
}

TEST_F(SweepPagesTest, TheWindowsPageListsTheCustomLocationsInOrder) {
  // Out of alphabetical order: the list keeps the stored order.
  g_WindowsSettings.m_locations = {CustomLocation("D:\\Old", "*.*", 0), CustomLocation("C:\\Work", "*.tmp", 1)};
  OpenPanel(1);
  CWinTmpPage& windows = m_panel->m_winTmpPage;
  ASSERT_EQ(windows.SendItemMessage(IDC_WIN_LOCATIONS, LB_GETCOUNT), 2);
  char line[512] = {};
  windows.SendItemMessage(IDC_WIN_LOCATIONS, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
  EXPECT_STREQ(line, "D:\\Old: *.*");
  windows.SendItemMessage(IDC_WIN_LOCATIONS, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(line));
  EXPECT_STREQ(line, "C:\\Work: *.tmp: including subdirectories");
  // The list's frame carries the caption as given, with nothing trailing.
  std::vector<std::string> groups;
  for (HWND child = ::GetWindow(windows.m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char cls[32] = {}, text[128] = {};
    ::GetClassNameA(child, cls, sizeof cls);
    ::GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(cls, "Button") == 0 && (::GetWindowLongA(child, GWL_STYLE) & 0x0F) == BS_GROUPBOX)
      groups.push_back(text);
  }
  EXPECT_NE(std::find(groups.begin(), groups.end(), "Custom Sweeping Locations"), groups.end())
      << ::testing::PrintToString(groups);
}

TEST_F(SweepPagesTest, LogButtonsAskTheMainWindowForTheProgressWindow) {
  OpenPanel();
  struct Button {
    CPropertyPage* page;
    int id;
  } buttons[] = {{&m_panel->m_settingsPage, IDC_SET_LOG},
                 {&m_panel->m_winTmpPage, IDC_WIN_LOG},
                 {&m_panel->m_internetPage, IDC_INET_LOG},
                 {&m_panel->m_applicationPage, IDC_APP_LOG}};
  for (const Button& b : buttons) {
    ShowPage(*b.page);
    ClickItem(*b.page, b.id);
    EXPECT_EQ(PostedToMain(), std::vector<UINT>{kShowProgressMessage}) << b.id;
  }
}

TEST_F(SweepPagesTest, APageSweepShowsTheLogFirstWhenProgressIsAlwaysShown) {
  g_GeneralSettings.m_nTargets |= GENERAL_SHOW_PROGRESS | GENERAL_RUN_BACKGROUND;
  OpenPanel(3);
  m_host.m_nPlacements = m_host.m_nProgressShown = 0;  // the panel's own opening
  ClickItem(m_panel->m_applicationPage, IDC_APP_SWEEP);
  EXPECT_EQ(m_host.m_nPlacements, 1);
  EXPECT_EQ(m_host.m_nProgressShown, 1);
  EXPECT_TRUE(LogHas("\nStart washing history on application manually. @ "));
  EXPECT_TRUE(m_panel->IsEnded());
  EXPECT_EQ(m_panel->Result(), 1);
}

TEST_F(SweepPagesTest, EditedLocationsWaitForApplyAndACancelledSheetDropsThem) {
  TempFolder folder;
  for (bool apply : {false, true}) {
    SCOPED_TRACE(apply ? "applied" : "cancelled");
    g_WindowsSettings.m_locations.clear();
    OpenPanel(1);
    CWinTmpPage& windows = m_panel->m_winTmpPage;
    ModalScript dialog([&](HWND dlg, int id) -> INT_PTR {
      EXPECT_EQ(id, IDD_CUSTOM_DIRS);
      ::SetDlgItemTextA(dlg, IDC_CUSTOM_FOLDER, folder.Path().c_str());
      ::SetDlgItemTextA(dlg, IDC_CUSTOM_FILTER, "*.tmp");
      ClickItem(dlg, IDC_CUSTOM_ADD);
      return IDOK;
    });
    ClickItem(windows, IDC_WIN_EDIT_LOCATIONS);
    const std::string line = folder.Path() + ": *.tmp";
    EXPECT_EQ(ListLines(windows, IDC_WIN_LOCATIONS), std::vector<std::string>{line});
    EXPECT_TRUE(windows.IsModified());
    EXPECT_TRUE(g_WindowsSettings.m_locations.empty());
    m_panel->PressButton(apply ? PSBTN_APPLYNOW : PSBTN_CANCEL);
    WindowsSettings stored;
    stored.LoadFromRegistry(kWindowsSettingsPath);
    EXPECT_EQ(g_WindowsSettings.m_locations.size(), apply ? 1u : 0u);
    EXPECT_EQ(stored.m_locations.size(), apply ? 1u : 0u);
  }
}

TEST_F(SweepPagesTest, FriendlyCookiesAreStoredWhenTheirDialogClosesWhateverTheSheetDoes) {
  g_InternetSettings.m_friendlyCookies = {{"bank", "C:\\Cookies\\me@bank[1].txt"},
                                          {"mail", "C:\\Cookies\\me@mail[1].txt"}};
  ASSERT_TRUE(g_InternetSettings.SaveToRegistry(kInternetSettingsPath));  // as start-up leaves it
  OpenPanel(2);
  ModalScript dialog([&](HWND dlg, int id) -> INT_PTR {
    EXPECT_EQ(id, IDD_COOKIE_CONTROL);
    SelectLine(dlg, IDC_COOKIE_FRIENDLY, 0);
    ClickItem(dlg, IDC_COOKIE_TO_CURRENT);
    return IDOK;
  });
  ClickItem(m_panel->m_internetPage, IDC_INET_FRIENDLY_COOKIES);
  m_panel->PressButton(PSBTN_CANCEL);
  ASSERT_EQ(g_InternetSettings.m_friendlyCookies.size(), 1u);
  EXPECT_EQ(g_InternetSettings.m_friendlyCookies[0].first, "mail");
  InternetSettings stored;
  stored.LoadFromRegistry(kInternetSettingsPath);
  ASSERT_EQ(stored.m_friendlyCookies.size(), 1u);
  EXPECT_EQ(stored.m_friendlyCookies[0].second, "C:\\Cookies\\me@mail[1].txt");
}

}  // namespace

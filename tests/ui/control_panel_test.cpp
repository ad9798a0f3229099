// The control panel sheet: its pages and caption, Apply offered from the
// start, its system menu items, where it goes when it opens, and the values a
// page shows again after the sheet was cancelled.
#include "panel_fixture.h"
#include "ui/progress_dlg.h"

namespace {

constexpr int kApplyButton = 0x3021;

class ControlPanelTest : public PanelTest {};

std::string TabText(HWND sheet, int index) {
  HWND tab = PropSheet_GetTabControl(sheet);
  char text[64] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  ::SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return text;
}

TEST_F(ControlPanelTest, FivePagesInOrderWithApplyOfferedAtOnce) {
  CLustraProp& panel = OpenPanel();
  EXPECT_EQ(panel.GetWindowText(), "Morvane");
  ASSERT_EQ(panel.GetPageCount(), 5);
  const char* titles[] = {"Settings", "Sweep Windows", "Sweep Internet", "Sweep Applications", "More Targets"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(TabText(panel, i), titles[i]);
  EXPECT_EQ(panel.GetActiveIndex(), 0);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(panel, kApplyButton)));
  EXPECT_EQ(CLustraProp::Open(), &panel);
  EXPECT_EQ(OpenControlPanel(), panel.GetSafeHwnd());
  EXPECT_NE(panel.SendMessage(WM_GETICON, ICON_BIG), 0);
  m_panel.reset();
  EXPECT_EQ(CLustraProp::Open(), nullptr);
  EXPECT_EQ(OpenControlPanel(), nullptr);
}

TEST_F(ControlPanelTest, SystemMenuOffersTheLogAndAbout) {
  CLustraProp& panel = OpenPanel();
  HMENU menu = ::GetSystemMenu(panel, FALSE);
  ASSERT_NE(menu, nullptr);
  char text[64] = {};
  ::GetMenuStringA(menu, kSysAbout, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "&About ...");
  ::GetMenuStringA(menu, kSysShowLog, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "Show Log Window");

  panel.SendMessage(WM_SYSCOMMAND, kSysShowLog);
  EXPECT_EQ(m_host.m_nProgressShown, 1);
  panel.SendMessage(WM_SYSCOMMAND, kSysAbout | 0x3);  // the low bits belong to the system
  EXPECT_EQ(m_host.m_aboutOwners, std::vector<HWND>{panel.GetSafeHwnd()});
  panel.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  EXPECT_EQ(m_host.m_nProgressShown, 1);
}

TEST_F(ControlPanelTest, ItMakesRoomForTheLogWhenProgressIsAlwaysShown) {
  g_GeneralSettings.m_nTargets |= GENERAL_SHOW_PROGRESS;
  OpenPanel();
  EXPECT_EQ(m_host.m_nPlacements, 1);
  EXPECT_EQ(m_host.m_nProgressShown, 1);

  // Without the option, or without a main window, it is centred instead.
  g_GeneralSettings.m_nTargets &= ~GENERAL_SHOW_PROGRESS;
  CLustraProp& panel = OpenPanel();
  EXPECT_EQ(m_host.m_nPlacements, 1);
  RECT area = {}, r = panel.GetWindowRect();
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_NEAR((r.left + r.right) / 2, (area.left + area.right) / 2, 1);
}

TEST_F(ControlPanelTest, ACancelledSheetLeavesTheGroupsAsStored) {
  g_WindowsSettings.m_nTargets = 0x01;
  CLustraProp& panel = OpenPanel(1);
  ClickItem(panel.m_winTmpPage, IDC_WIN_RECYCLE_BIN);
  ShowPage(panel.m_settingsPage);
  ClickItem(panel.m_settingsPage, IDC_SET_SHREDDER);
  panel.PressButton(PSBTN_CANCEL);
  EXPECT_EQ(g_WindowsSettings.m_nTargets, 0x01);
  EXPECT_EQ(g_GeneralSettings.m_nTargets & GENERAL_SHREDDER, 0);
  EXPECT_EQ(panel.m_settingsPage.m_fields.m_bShredder, 0);
}

}  // namespace

// CLustraProp: the control panel, a property sheet with the Settings page,
// the three category pages and the "More Targets" page of rule entries. The main window opens it modally, keeps a pointer
// to it while it is open, and tells its pages when sweeps end.
#pragma once
#include <windows.h>

#include "ui/more_targets_page.h"
#include "ui/settings_page.h"
#include "ui/sweep_pages.h"
#include "winlib/property_sheet.h"

class PanelHost;

// System menu items the sheet adds.
constexpr UINT kSysAbout = 0x10;
constexpr UINT kSysShowLog = 0x20;

class CLustraProp : public CPropertySheet {
 public:
  CLustraProp(PanelHost* host, HWND parent, int startPage = 0);
  ~CLustraProp() override;

  // The category page of a SweepCategory number (null for any other).
  CSweepPage* PageOf(int category);
  // The main window has stamped the category's group after its end: its page
  // offers to sweep again and shows the new time.
  void CategoryEnded(int category);
  // The same for the General group after the last category of a whole sweep.
  void WholeSweepEnded();

  // The panel while its window exists (the progress window sits beside it).
  static CLustraProp* Open();

  CLustraPage m_settingsPage;
  CWinTmpPage m_winTmpPage;
  CInternetPage m_internetPage;
  CApplicationPage m_applicationPage;
  CMoreTargetsPage m_moreTargetsPage;

 protected:
  void OnInitSheet() override;
  bool OnSysCommand(WPARAM id, LPARAM l) override;

 private:
  static HWND LocateOpenPanel();

  PanelHost* m_pHost;
  HICON m_hIcon;
};

#include "ui/control_panel.h"

#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/settings_groups.h"
#include "ui/panel_host.h"
#include "ui/progress_dlg.h"

namespace {
CLustraProp* g_pOpenPanel = nullptr;
// The tray menu's text for the same command.
const int kShowLogString = 1019;
}  // namespace

CLustraProp::CLustraProp(PanelHost* host, HWND parent, int startPage)
    : CPropertySheet("Morvane", parent, startPage),
      m_settingsPage(host),
      m_winTmpPage(host),
      m_internetPage(host),
      m_applicationPage(host),
      m_pHost(host) {
  m_hIcon = ::LoadIconA(ResourceInstance(), MAKEINTRESOURCEA(IDI_MAINFRAME));
  AddPage(&m_settingsPage);
  AddPage(&m_winTmpPage);
  AddPage(&m_internetPage);
  AddPage(&m_applicationPage);
  AddPage(&m_moreTargetsPage);
  m_settingsPage.SetSweepPages(&m_internetPage, &m_winTmpPage, &m_applicationPage);
  // Apply is offered from the start.
  m_settingsPage.SetModified();
  g_pOpenPanel = this;
  SetControlPanelLocator(&CLustraProp::LocateOpenPanel);
}

CLustraProp::~CLustraProp() {
  // The pages are members: their windows go before they do.
  Close();
  if (g_pOpenPanel == this) g_pOpenPanel = nullptr;
}

CLustraProp* CLustraProp::Open() {
  return g_pOpenPanel != nullptr && g_pOpenPanel->GetSafeHwnd() != nullptr ? g_pOpenPanel : nullptr;
}

HWND CLustraProp::LocateOpenPanel() {
  CLustraProp* panel = Open();
  return panel != nullptr ? panel->GetSafeHwnd() : nullptr;
}

CSweepPage* CLustraProp::PageOf(int category) {
  switch (category) {
    case SWEEP_CATEGORY_WINDOWS:
      return &m_winTmpPage;
    case SWEEP_CATEGORY_INTERNET:
      return &m_internetPage;
    case SWEEP_CATEGORY_APPLICATIONS:
      return &m_applicationPage;
    default:
      return nullptr;
  }
}

void CLustraProp::CategoryEnded(int category) {
  CSweepPage* page = PageOf(category);
  if (page == nullptr) return;
  page->SweepEnded();
  page->ShowLastSweep();
}

void CLustraProp::WholeSweepEnded() {
  m_settingsPage.SweepEnded();
  m_settingsPage.ShowLastSweep();
}

void CLustraProp::OnInitSheet() {
  HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
  char about[256] = {};
  ::LoadStringA(ResourceInstance(), IDS_ABOUTBOX, about, sizeof about);
  if (menu != nullptr && about[0] != '\0') {
    char showLog[256] = {};
    if (::LoadStringA(ResourceInstance(), kShowLogString, showLog, sizeof showLog) == 0)
      lstrcpynA(showLog, "Show Log Window", sizeof showLog);
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, kSysShowLog, showLog);
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, kSysAbout, about);
  }
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  if ((g_GeneralSettings.m_nTargets & GENERAL_SHOW_PROGRESS) != 0 && m_pHost->MainWindow() != nullptr) {
    m_pHost->PlacePanelForLog();
    m_pHost->ShowProgressWindow();
  } else {
    CenterWindow();
  }
  ::SetForegroundWindow(m_hWnd);
}

bool CLustraProp::OnSysCommand(WPARAM id, LPARAM l) {
  // The system keeps the low four bits of a command for itself. Both items
  // are compared in full: a looser mask would take SC_MINIMIZE (0xF020) for
  // "Show Log Window".
  switch (id & 0xFFF0) {
    case kSysAbout:
      m_pHost->ShowAbout(m_hWnd);
      return true;
    case kSysShowLog:
      m_pHost->ShowProgressWindow();
      return true;
    default:
      return false;
  }
}

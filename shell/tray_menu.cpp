#include "shell/tray_menu.h"

#include <iterator>

#include "res/resource.h"
#include "winlib/dialog.h"
#include "winlib/trace.h"

namespace {

// The command items after the banner; 0 is a separator, and the two
// toggles are decided when the menu is built.
enum : int { kSeparator = 0, kSweepToggle = -1, kLogToggle = -2 };
const int kItems[] = {kSeparator, IDM_SHOW_PANEL, kSweepToggle, kLogToggle, kSeparator,
                      IDM_ONLINE_HELP, IDM_ABOUT, kSeparator, IDM_EXIT};
// An administrator hid the control panel: nothing that changes or starts anything.
const int kPanelHiddenItems[] = {kSeparator, kLogToggle, IDM_ABOUT, kSeparator, IDM_EXIT};

// A colour channel as the gradient takes it: the 8-bit value in the high byte.
COLOR16 Channel(BYTE value) { return static_cast<COLOR16>(value << 8); }

}  // namespace

CTrayMenu::CTrayMenu()
    : m_crLeft(::GetSysColor(COLOR_ACTIVECAPTION)),
      m_crRight(::GetSysColor(COLOR_GRADIENTACTIVECAPTION)),
      m_crText(::GetSysColor(COLOR_CAPTIONTEXT)) {
  // The menu's own font, in bold: it follows the display's scale, where a
  // stock font stays at its 96-DPI size and looks tiny beside the items.
  LOGFONTA lf = {};
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    lf = metrics.lfMenuFont;
  else
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  m_hBoldFont = ::CreateFontIndirectA(&lf);
  m_hMsimg32 = ::LoadLibraryA("msimg32.dll");
  if (m_hMsimg32 != nullptr)
    m_pGradientFill = reinterpret_cast<GradientFillProc>(::GetProcAddress(m_hMsimg32, "GradientFill"));
}

CTrayMenu::~CTrayMenu() {
  if (m_hBoldFont != nullptr) ::DeleteObject(m_hBoldFont);
  if (m_hMsimg32 != nullptr) ::FreeLibrary(m_hMsimg32);
  if (m_hMenu != nullptr) ::DestroyMenu(m_hMenu);
}

bool CTrayMenu::Build(bool sweeping, bool logVisible, bool panelHidden, bool hasResults) {
  m_hMenu = ::CreatePopupMenu();
  if (m_hMenu == nullptr) return false;
  char banner[256] = {};
  ::LoadStringA(ResourceInstance(), IDS_TRAY_BANNER, banner, sizeof banner);
  if (!AddBanner(banner[0] != '\0' ? banner : "Morvane")) return false;
  const int* items = panelHidden ? kPanelHiddenItems : kItems;
  const size_t count = panelHidden ? std::size(kPanelHiddenItems) : std::size(kItems);
  for (const int* it = items; it != items + count; ++it) {
    const int item = *it;
    bool added;
    if (item == kSeparator)
      added = ::AppendMenuA(m_hMenu, MF_SEPARATOR, 0, nullptr) != FALSE;
    else if (item == kSweepToggle)
      added = AppendString(sweeping ? IDM_CANCEL_SWEEP : IDM_SWEEP_NOW);
    else if (item == kLogToggle)
      added = AppendString(logVisible ? IDM_HIDE_LOG : IDM_SHOW_LOG) &&
              (!hasResults || panelHidden || AppendString(IDM_SHOW_RESULTS));
    else
      added = AppendString(item);
    if (!added) return false;
  }
  return true;
}

bool CTrayMenu::AddBanner(const char* text) {
  m_strBanner = text;
  return ::InsertMenuA(m_hMenu, 0, MF_BYPOSITION | MF_OWNERDRAW | MF_DISABLED, 0, nullptr) != FALSE;
}

bool CTrayMenu::AppendString(int id) {
  char text[256] = {};
  ::LoadStringA(ResourceInstance(), static_cast<UINT>(id), text, sizeof text);
  return ::AppendMenuA(m_hMenu, MF_STRING, static_cast<UINT_PTR>(id), text) != FALSE;
}

void CTrayMenu::Track(HWND owner) {
  POINT at = {0, 0};
  if (!::GetCursorPos(&at)) at = POINT{0, 0};
  // Without the foreground the menu would not close when the user clicks
  // elsewhere.
  ::SetFocus(owner);
  ::SetActiveWindow(owner);
  ::SetForegroundWindow(owner);
  ::TrackPopupMenu(m_hMenu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr);
}

void CTrayMenu::MeasureItem(MEASUREITEMSTRUCT* item) const {
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, m_hBoldFont);
  SIZE text = {};
  ::GetTextExtentPoint32A(dc, m_strBanner.c_str(), static_cast<int>(m_strBanner.size()), &text);
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  item->itemWidth = static_cast<UINT>(::GetSystemMetrics(SM_CXMENUCHECK) + text.cx + 16);
  item->itemHeight = static_cast<UINT>(text.cy + 8);
}

void CTrayMenu::DrawItem(const DRAWITEMSTRUCT* item) const {
  HDC dc = item->hDC;
  const COLORREF oldBack = ::SetBkColor(dc, m_crLeft);
  RECT r = item->rcItem;
  r.right -= 1;
  r.bottom -= 1;

  if (m_pGradientFill != nullptr) {
    TRIVERTEX v[2] = {};
    v[0].x = r.left;
    v[0].y = r.top;
    v[0].Red = Channel(GetRValue(m_crLeft));
    v[0].Green = Channel(GetGValue(m_crLeft));
    v[0].Blue = Channel(GetBValue(m_crLeft));
    v[1].x = r.right;
    v[1].y = r.bottom;
    v[1].Red = Channel(GetRValue(m_crRight));
    v[1].Green = Channel(GetGValue(m_crRight));
    v[1].Blue = Channel(GetBValue(m_crRight));
    GRADIENT_RECT g = {0, 1};
    m_pGradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_H);
  } else {
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  }

  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF oldText = ::SetTextColor(dc, m_crText);
  HGDIOBJ oldFont = ::SelectObject(dc, m_hBoldFont);
  RECT textRect = r;
  textRect.left += ::GetSystemMetrics(SM_CXMENUCHECK) + 8;
  ::DrawTextA(dc, m_strBanner.c_str(), static_cast<int>(m_strBanner.size()), &textRect,
              DT_SINGLELINE | DT_VCENTER);
  ::SelectObject(dc, oldFont);
  ::SetBkMode(dc, oldMode);
  ::SetBkColor(dc, oldBack);
  ::SetTextColor(dc, oldText);
}

// CTrayMenu: the tray icon's popup menu. Its first item is a banner drawn like
// a title bar: a horizontal gradient in the active caption colours (a solid
// fill where msimg32.dll's GradientFill is missing) with "Morvane" in bold.
// One exists only while the menu is shown.
#pragma once
#include <windows.h>

#include <string>

class CTrayMenu {
 public:
  using GradientFillProc = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

  // Reads the caption colours, makes the bold font, looks for GradientFill.
  CTrayMenu();
  ~CTrayMenu();
  CTrayMenu(const CTrayMenu&) = delete;
  CTrayMenu& operator=(const CTrayMenu&) = delete;

  // The banner, then the commands: "Cancel Sweeping" instead of "Sweep Now"
  // while a whole sweep runs, "Hide Log Window" instead of "Show Log Window"
  // while the log is visible. False (nothing to show) when an item could not
  // be added. With the control panel hidden by policy only the log window,
  // "About" and "Exit" are offered.
  // hasResults: a preview table exists, and "Show Last Results" brings it back.
  bool Build(bool sweeping, bool logVisible, bool panelHidden = false, bool hasResults = false);
  // Shows the menu at the cursor and returns when it closes; the chosen
  // command reaches owner as WM_COMMAND.
  void Track(HWND owner);

  // The banner's owner-drawn item (WM_MEASUREITEM / WM_DRAWITEM of the owner).
  void MeasureItem(MEASUREITEMSTRUCT* item) const;
  void DrawItem(const DRAWITEMSTRUCT* item) const;

  HMENU Handle() const { return m_hMenu; }
  HFONT BannerFont() const { return m_hBoldFont; }

  // The banner's look; tests set them to force the solid fill.
  COLORREF m_crLeft;
  COLORREF m_crRight;
  COLORREF m_crText;
  GradientFillProc m_pGradientFill = nullptr;

 private:
  bool AddBanner(const char* text);
  bool AppendString(int id);

  HMENU m_hMenu = nullptr;
  HFONT m_hBoldFont = nullptr;
  HMODULE m_hMsimg32 = nullptr;
  std::string m_strBanner;
};

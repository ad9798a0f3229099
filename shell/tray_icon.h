// CTrayIcon: Morvane's icon in the notification area and its two frames (the
// program icon and a transparent one) that make it blink during a sweep. Every
// call goes through g_platform.Shell_NotifyIconA.
#pragma once
#include <windows.h>
#include <shellapi.h>

// The callback message the shell sends for the icon (wParam: icon id,
// lParam: the mouse message).
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 100;  // 1124

class CTrayIcon {
 public:
  CTrayIcon() = default;
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  // Loads the program icon (the normal frame). Kept until the object goes.
  void LoadIcons(HINSTANCE instance);
  // Adds the icon for owner with the tip "Morvane"; false when the shell
  // refused (the data is kept: a re-created taskbar may take it later).
  bool Add(HWND owner);
  // The taskbar was re-created (Explorer restarted): add the icon again.
  bool Readd();
  // The next blink frame: blank after normal, normal after blank.
  void NextTrayFrame();
  // Shows the normal frame again (the blinking stopped).
  void Restore();
  // Deletes the icon from the notification area and frees the data.
  void Remove();
  bool IsAdded() const { return m_pTrayIcon != nullptr; }
  // Destroys both frames (after Remove).
  void DestroyIcons();

  HICON m_hNormalIcon = nullptr;
  HICON m_hBlankIcon = nullptr;   // made on first use
  HICON m_hCurrentIcon = nullptr;  // the frame shown last
  NOTIFYICONDATAA* m_pTrayIcon = nullptr;

 private:
  HICON BlankIcon();
  bool Notify(DWORD message);
};

#include "shell/tray_icon.h"

#include <cstring>

#include "res/resource.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"

namespace {
constexpr UINT kTrayIconId = 1;
constexpr int kBlankSide = 32;
constexpr int kBlankMaskBytes = kBlankSide * kBlankSide / 8;  // one bit per pixel
}  // namespace

CTrayIcon::~CTrayIcon() {
  Remove();
  DestroyIcons();
}

void CTrayIcon::LoadIcons(HINSTANCE instance) {
  if (m_hNormalIcon != nullptr) return;
  // Not shared, so that DestroyIcon at exit really frees it.
  m_hNormalIcon = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_MAINFRAME), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), 0));
  if (m_hNormalIcon == nullptr) Trace("Cannot load the program icon: %lu\n", ::GetLastError());
  m_hCurrentIcon = m_hNormalIcon;
}

bool CTrayIcon::Add(HWND owner) {
  if (m_pTrayIcon == nullptr) {
    m_pTrayIcon = new NOTIFYICONDATAA;
    std::memset(m_pTrayIcon, 0, sizeof *m_pTrayIcon);
    // The first form of the structure: every shell takes it.
    m_pTrayIcon->cbSize = NOTIFYICONDATAA_V1_SIZE;
    m_pTrayIcon->hWnd = owner;
    m_pTrayIcon->uID = kTrayIconId;
    m_pTrayIcon->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_pTrayIcon->uCallbackMessage = WM_TRAY_NOTIFY;
    m_pTrayIcon->hIcon = m_hNormalIcon;
    lstrcpynA(m_pTrayIcon->szTip, "Morvane", sizeof m_pTrayIcon->szTip);
  }
  return Notify(NIM_ADD);
}

bool CTrayIcon::Readd() {
  if (m_pTrayIcon == nullptr) return false;
  m_pTrayIcon->hIcon = m_hNormalIcon;
  m_hCurrentIcon = m_hNormalIcon;
  return Notify(NIM_ADD);
}

HICON CTrayIcon::BlankIcon() {
  if (m_hBlankIcon == nullptr) {
    // AND mask all ones, XOR mask all zeros: every pixel shows what lies below.
    BYTE andMask[kBlankMaskBytes];
    BYTE xorMask[kBlankMaskBytes];
    std::memset(andMask, 0xFF, sizeof andMask);
    std::memset(xorMask, 0x00, sizeof xorMask);
    m_hBlankIcon = ::CreateIcon(::GetModuleHandleA(nullptr), kBlankSide, kBlankSide, 1, 1, andMask, xorMask);
    if (m_hBlankIcon == nullptr) Trace("CreateIcon failed: %lu\n", ::GetLastError());
  }
  return m_hBlankIcon;
}

void CTrayIcon::NextTrayFrame() {
  if (m_pTrayIcon == nullptr) return;
  HICON next = (m_hCurrentIcon == m_hNormalIcon) ? BlankIcon() : m_hNormalIcon;
  m_hCurrentIcon = next;
  m_pTrayIcon->hIcon = next;
  Notify(NIM_MODIFY);
  // The data otherwise always carries the normal frame (a re-add shows it).
  m_pTrayIcon->hIcon = m_hNormalIcon;
}

void CTrayIcon::Restore() {
  if (m_pTrayIcon == nullptr) return;
  m_pTrayIcon->hIcon = m_hNormalIcon;
  m_hCurrentIcon = m_hNormalIcon;
  Notify(NIM_MODIFY);
}

void CTrayIcon::Remove() {
  if (m_pTrayIcon == nullptr) return;
  Notify(NIM_DELETE);
  delete m_pTrayIcon;
  m_pTrayIcon = nullptr;
}

void CTrayIcon::DestroyIcons() {
  if (m_hNormalIcon != nullptr) ::DestroyIcon(m_hNormalIcon);
  if (m_hBlankIcon != nullptr) ::DestroyIcon(m_hBlankIcon);
  m_hNormalIcon = m_hBlankIcon = m_hCurrentIcon = nullptr;
}

bool CTrayIcon::Notify(DWORD message) {
  if (g_platform.Shell_NotifyIconA(message, m_pTrayIcon)) return true;
  Trace("Shell_NotifyIconA(%lu) failed\n", static_cast<unsigned long>(message));
  return false;
}

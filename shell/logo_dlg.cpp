#include "shell/logo_dlg.h"

#include "morvane_version.h"
#include "res/resource.h"
#include "shell/help_page.h"

namespace {
// The product version; builds count on from it in the version resource.
const char kProductTitle[] = "Morvane " MORVANE_PRODUCT_VERSION;
}

CLogoDlg::CLogoDlg(int closeAfterSeconds, bool offerCheckBox)
    : CDialog(IDD_LOGO), m_nCloseAfterSeconds(closeAfterSeconds), m_bOfferCheckBox(offerCheckBox) {}

CLogoDlg::~CLogoDlg() {
  // The controls use the fonts until the window is gone.
  if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
  if (m_hTitleFont != nullptr) ::DeleteObject(m_hTitleFont);
  if (m_hNoticeFont != nullptr) ::DeleteObject(m_hNoticeFont);
}

bool CLogoDlg::OnInitDialog() {
  SetCheck(IDC_LOGO_NOT_AGAIN, m_bNotShowAgain ? BST_CHECKED : BST_UNCHECKED);
  if (m_nCloseAfterSeconds > 0) {
    // The window's own handle is a timer id nobody else on it uses.
    m_nTimerId = SetTimer(reinterpret_cast<UINT_PTR>(m_hWnd), static_cast<UINT>(m_nCloseAfterSeconds) * 1000u);
  }
  m_hTitleFont = EnlargeFont(IDC_LOGO_TITLE);
  m_hNoticeFont = EnlargeFont(IDC_LOGO_NOTICE);

  char text[512] = {};
  SetItemText(IDC_LOGO_TITLE, kProductTitle);
  ::LoadStringA(ResourceInstance(), IDS_LOGO_NOTICE, text, sizeof text);
  SetItemText(IDC_LOGO_NOTICE, text);
  text[0] = '\0';
  ::LoadStringA(ResourceInstance(), IDS_LOGO_TEXT, text, sizeof text);
  SetItemText(IDC_LOGO_TEXT, text);

  if (!m_bOfferCheckBox) ShowItem(IDC_LOGO_NOT_AGAIN, false);
  CenterWindow();
  // "OK" takes the focus, so Enter closes the window and the check box is
  // not ticked by a stray space.
  ::SetFocus(GetItem(IDOK));
  return false;
}

HFONT CLogoDlg::EnlargeFont(int id) {
  HWND control = GetItem(id);
  if (control == nullptr) return nullptr;
  LOGFONTA lf = {};
  // The dialog's font, which the control was given; the font of a plain
  // device context (the system font) only when it has none.
  HFONT current = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  HDC dc = ::GetDC(control);
  if (current == nullptr) current = static_cast<HFONT>(::GetCurrentObject(dc, OBJ_FONT));
  ::GetObjectA(current, sizeof lf, &lf);
  lf.lfWeight = FW_NORMAL;
  // Character heights are negative: this makes it about half as large again.
  lf.lfHeight += (lf.lfHeight + 1) / 2;
  HFONT font = ::CreateFontIndirectA(&lf);
  if (font != nullptr) ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  ::ReleaseDC(control, dc);
  return font;
}

bool CLogoDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDC_LOGO_WEB && code == BN_CLICKED) {
    OpenHelpPage();
    return true;
  }
  // The check box toggles by itself; its state is read on "OK" only.
  return CDialog::OnCommand(id, code, control);
}

void CLogoDlg::OnOK() {
  m_bNotShowAgain = GetCheck(IDC_LOGO_NOT_AGAIN) == BST_CHECKED ? 1 : 0;
  EndDialog(IDOK);
}

void CLogoDlg::OnTimer(UINT_PTR id) {
  if (id != m_nTimerId) return;
  KillTimer(m_nTimerId);
  m_nTimerId = 0;
  // Closing by itself is not a choice: the check box is left unread.
  EndDialog(IDOK);
}

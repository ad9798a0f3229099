#include "ui/cookie_dlg.h"

#include "res/resource.h"
#include "ui/cookie_view_dlg.h"
#include "winlib/trace.h"

std::string CookieDisplayText(const std::string& path) {
  const size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

CCookieDlg::CCookieDlg(StringPairList* friendly, StringPairList* current)
    : CDialog(IDD_COOKIE_CONTROL), m_pFriendly(friendly), m_pCurrent(current) {}

namespace {
void Append(HWND box, const std::string& path) {
  const std::string text = CookieDisplayText(path);
  ::SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Lets the horizontal scroll bar of a list box reach its widest line.
void FitHorizontalExtent(HWND box) {
  HDC dc = ::GetDC(box);
  if (dc == nullptr) return;
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(box, WM_GETFONT, 0, 0)));
  LONG widest = 0;
  const LRESULT count = ::SendMessageA(box, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[MAX_PATH * 2] = {};
    if (::SendMessageA(box, LB_GETTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof text)) continue;
    const LRESULT n = ::SendMessageA(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    SIZE size = {};
    if (n > 0 && ::GetTextExtentPoint32A(dc, text, static_cast<int>(n), &size) && size.cx > widest) widest = size.cx;
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(box, dc);
  ::SendMessageA(box, LB_SETHORIZONTALEXTENT, widest + 4, 0);
}

int Selection(HWND box) {
  const LRESULT selected = ::SendMessageA(box, LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}
}  // namespace

bool CCookieDlg::OnInitDialog() {
  HWND friendlyBox = GetItem(IDC_COOKIE_FRIENDLY);
  HWND currentBox = GetItem(IDC_COOKIE_CURRENT);
  for (const StringPair& entry : *m_pFriendly) Append(friendlyBox, entry.second);
  for (const StringPair& entry : *m_pCurrent) Append(currentBox, entry.second);
  FitHorizontalExtent(friendlyBox);
  EnableItem(IDC_COOKIE_TO_FRIENDLY, false);
  EnableItem(IDC_COOKIE_TO_CURRENT, false);
  EnableItem(IDC_COOKIE_VIEW, false);
  return true;
}

bool CCookieDlg::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_COOKIE_CURRENT:
      if (code == LBN_SELCHANGE) OnSelChangeCurrent();
      else if (code == LBN_DBLCLK) OnDblClkCurrent();
      else return false;
      return true;
    case IDC_COOKIE_FRIENDLY:
      if (code == LBN_SELCHANGE) OnSelChangeFriendly();
      else if (code == LBN_DBLCLK) OnDblClkFriendly();
      else return false;
      return true;
    default:
      break;
  }
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_COOKIE_TO_FRIENDLY: OnMoveToFriendly(); return true;
      case IDC_COOKIE_TO_CURRENT: OnMoveToCurrent(); return true;
      case IDC_COOKIE_VIEW: OnViewCookie(); return true;
      default: break;
    }
  }
  return CDialog::OnCommand(id, code, control);
}

void CCookieDlg::OnSelChangeCurrent() {
  SelectionChanged(IDC_COOKIE_CURRENT, IDC_COOKIE_FRIENDLY, IDC_COOKIE_TO_FRIENDLY, IDC_COOKIE_TO_CURRENT);
}

void CCookieDlg::OnSelChangeFriendly() {
  SelectionChanged(IDC_COOKIE_FRIENDLY, IDC_COOKIE_CURRENT, IDC_COOKIE_TO_CURRENT, IDC_COOKIE_TO_FRIENDLY);
}

void CCookieDlg::SelectionChanged(int fromBox, int toBox, int moveOut, int moveIn) {
  // At most one list has a selection, and only the button that moves out of
  // it is enabled.
  if (Selection(GetItem(fromBox)) < 0) {
    EnableItem(moveOut, false);
    if (Selection(GetItem(toBox)) < 0) EnableItem(IDC_COOKIE_VIEW, false);
    return;
  }
  EnableItem(moveOut, true);
  EnableItem(IDC_COOKIE_VIEW, true);
  SendItemMessage(toBox, LB_SETCURSEL, static_cast<WPARAM>(-1));
  EnableItem(moveIn, false);
}

void CCookieDlg::OnMoveToFriendly() {
  Move(IDC_COOKIE_CURRENT, *m_pCurrent, IDC_COOKIE_FRIENDLY, *m_pFriendly, IDC_COOKIE_TO_FRIENDLY);
}

void CCookieDlg::OnMoveToCurrent() {
  Move(IDC_COOKIE_FRIENDLY, *m_pFriendly, IDC_COOKIE_CURRENT, *m_pCurrent, IDC_COOKIE_TO_CURRENT);
}

void CCookieDlg::Move(int fromBox, StringPairList& from, int toBox, StringPairList& to, int moveButton) {
  const int i = Selection(GetItem(fromBox));
  if (i < 0 || static_cast<size_t>(i) >= from.size()) return;
  // Appended at the end of both the list and its box, removed at the same
  // index from both: a line's index stays its entry's index.
  to.push_back(from[i]);
  Append(GetItem(toBox), to.back().second);
  from.erase(from.begin() + i);
  SendItemMessage(fromBox, LB_DELETESTRING, i);
  if (toBox == IDC_COOKIE_FRIENDLY) FitHorizontalExtent(GetItem(toBox));

  const int left = static_cast<int>(SendItemMessage(fromBox, LB_GETCOUNT));
  if (left <= 0) {
    EnableItem(moveButton, false);
    EnableItem(IDC_COOKIE_VIEW, false);
    return;
  }
  // The line that took the moved one's place, or the new last line.
  SendItemMessage(fromBox, LB_SETCURSEL, i < left ? i : left - 1);
}

void CCookieDlg::ViewSelected(int box, const StringPairList& list) {
  const int i = Selection(GetItem(box));
  if (i < 0 || static_cast<size_t>(i) >= list.size()) return;
  CCookieViewDlg view(list[i].second);
  view.DoModal(m_hWnd);
}

void CCookieDlg::OnViewCookie() {
  if (Selection(GetItem(IDC_COOKIE_CURRENT)) >= 0) {
    ViewSelected(IDC_COOKIE_CURRENT, *m_pCurrent);
  } else {
    ViewSelected(IDC_COOKIE_FRIENDLY, *m_pFriendly);
  }
}

void CCookieDlg::OnDblClkCurrent() { ViewSelected(IDC_COOKIE_CURRENT, *m_pCurrent); }

void CCookieDlg::OnDblClkFriendly() { ViewSelected(IDC_COOKIE_FRIENDLY, *m_pFriendly); }

INT_PTR RunCookieControl(HWND owner, CookieCollector collect) {
  StringPairList friendly;
  if (!g_InternetSettings.GetFriendlyCookies(friendly)) {
    // Without the stored list the current one would hold the friendly
    // cookies too, and a save would lose them: do not open at all.
    Trace("Cookie control: the Internet settings are busy");
    return IDCANCEL;
  }
  StringPairList current;
  if (collect != nullptr) collect(current);
  CCookieDlg dialog(&friendly, &current);
  const INT_PTR result = dialog.DoModal(owner);
  // Only OK stores: a dialog that ended any other way (0 or -1 when its
  // owner went away under it) leaves the friendly list as it was.
  if (result == IDOK) {
    if (!g_InternetSettings.SetFriendlyCookies(friendly) || !g_InternetSettings.SaveFriendlyCookies())
      Trace("Cookie control: the friendly cookies could not be stored");
  }
  return result;
}

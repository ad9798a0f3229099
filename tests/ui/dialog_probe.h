// Small helpers the dialog tests share: list box lines, typing into edits,
// and selecting a line the way a click does (with its notification).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

inline std::vector<std::string> ListLines(HWND dialog, int id) {
  std::vector<std::string> lines;
  const LRESULT count = ::SendDlgItemMessageA(dialog, id, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[1024] = {};
    ::SendDlgItemMessageA(dialog, id, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    lines.push_back(text);
  }
  return lines;
}

inline int ListSelection(HWND dialog, int id) {
  return static_cast<int>(::SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0));
}

inline std::string ItemText(HWND dialog, int id) {
  char text[1024] = {};
  ::GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

inline bool ItemEnabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }

// LB_SETCURSEL alone sends no notification; a click sends LBN_SELCHANGE.
inline void SelectLine(HWND dialog, int id, int index) {
  ::SendDlgItemMessageA(dialog, id, LB_SETCURSEL, index, 0);
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

inline void DoubleClickLine(HWND dialog, int id, int index) {
  SelectLine(dialog, id, index);
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// CCookieDlg: "Cookie Control", where the user sorts the cookie files into
// current cookies (the cookie sweep removes them) and friendly ones (kept),
// and RunCookieControl, the whole round the Internet page's "Cookies..."
// button makes: take the stored friendly list, list the current cookies, run
// the dialog and, unless it was cancelled, store the edited friendly list.
#pragma once
#include <windows.h>

#include <string>

#include "engine/folder_clean.h"
#include "settings/settings_groups.h"
#include "winlib/dialog.h"

class CCookieDlg : public CDialog {
 public:
  // The dialog edits both lists in place; it owns neither. Line i of each
  // list box is entry i of its list for as long as the dialog runs.
  CCookieDlg(StringPairList* friendly, StringPairList* current);

  StringPairList* m_pFriendly;
  StringPairList* m_pCurrent;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  void OnSelChangeCurrent();
  void OnSelChangeFriendly();
  void OnMoveToFriendly();
  void OnMoveToCurrent();
  void OnViewCookie();
  void OnDblClkCurrent();
  void OnDblClkFriendly();

  // The shared halves of the symmetric handlers: from is the list box the
  // selection or the move starts in, to the other one.
  void SelectionChanged(int fromBox, int toBox, int moveOut, int moveIn);
  void Move(int fromBox, StringPairList& from, int toBox, StringPairList& to, int moveButton);
  void ViewSelected(int box, const StringPairList& list);
};

// The name a cookie is shown by: its path after the last backslash.
std::string CookieDisplayText(const std::string& path);

// Fills the list with the cookie files that are not friendly ones.
using CookieCollector = void (*)(StringPairList& list);

// The "Cookies..." button's round. owner: the window the dialog is modal
// over (the property sheet); collect: where the current cookies come from.
// Returns the dialog's result; the friendly list was stored when it is not
// IDCANCEL. The stored list changes at once, whatever becomes of the sheet.
INT_PTR RunCookieControl(HWND owner, CookieCollector collect = &CollectCurrentCookies);

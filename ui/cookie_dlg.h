// CCookieDlg: "Cookie Control", where the user sorts the cookie files into
// current cookies (the cookie sweep removes them) and friendly ones (kept),
// files of the old cookie folder and sites of the browsers' databases alike,
// and RunCookieControl, the whole round the Internet page's "Cookies..."
// button makes: take the stored friendly list, list the current cookies, run
// the dialog and, unless it was cancelled, store the edited friendly list.
#pragma once
#include <windows.h>

#include <string>

#include "catalogue/browser_db_targets.h"
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

// Besides cookie files, both lists hold sites: the cookies of one host in the
// browsers' databases, as the pair (host, "<site>" + the browsers holding
// them). '<' and '>' never occur in a file path, so a site is never taken
// for a file, and a file never for a site.
StringPair MakeSiteEntry(const std::string& host, const std::string& browsers);
bool IsSiteEntry(const StringPair& entry);
// What a list line shows: the file name, or "host (browsers)".
std::string EntryDisplayText(const StringPair& entry);

// Fills the list with the cookie files that are not friendly ones.
using CookieCollector = void (*)(StringPairList& list);
// The hosts found in the browsers' cookie databases.
using SiteCollector = std::vector<CookieHostSeen> (*)();

// The "Cookies..." button's round. owner: the window the dialog is modal
// over (the property sheet); collect: where the current cookie files come
// from; sites: where the hosts of the browsers' databases come from.
// Returns the dialog's result; the friendly files and hosts were stored when
// it is not IDCANCEL. The stored lists change at once, whatever becomes of
// the sheet.
INT_PTR RunCookieControl(HWND owner, CookieCollector collect = &CollectCurrentCookies,
                         SiteCollector sites = &CollectCookieHosts);

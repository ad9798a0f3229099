// CCustomDirDlg: "Customize Cleaning Directories", where the user adds,
// changes and deletes the custom sweeping locations of the Windows page.
//
// Entry points for the Windows page (its "..." button):
//   std::vector<CustomLocation>& list = <the page's own copy>;
//   if (RunCustomDirDialog(pageHwnd, list)) {
//     <empty list 1070, add each entry's m_strDisplay in order>;
//     m_bLocationsChanged = 1; SetModified(TRUE);
//   }
// or, by hand: CCustomDirDlg dlg(list); if (dlg.DoModal(owner) == IDOK) list = dlg.m_locations;
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "settings/settings_groups.h"
#include "winlib/dialog.h"

class CCustomDirDlg : public CDialog {
 public:
  // Works on a copy of pageLocations; the caller's list is never touched.
  explicit CCustomDirDlg(const std::vector<CustomLocation>& pageLocations);

  // The working list: index i is line i of the dialog's list. Read it after
  // DoModal returned IDOK; after Cancel it means nothing.
  std::vector<CustomLocation> m_locations;
  // The values last read from the edits or picked in the chooser.
  CustomLocation m_current;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  void OnBrowse();
  void OnAdd();
  void OnUpdate();
  void OnDelete();
  void OnSelChange();

  // Reads the edits into m_current; false (after telling the user why) when
  // they do not make a location that may be stored.
  bool ReadEdits();
  // Index of the line equal to text, ignoring case, or -1.
  int FindLine(const std::string& text) const;
  void ShowCurrent();
};

// Runs the dialog over the page's list; on OK replaces the list by the
// edited one and returns true. On Cancel the list stays as it was.
bool RunCustomDirDialog(HWND owner, std::vector<CustomLocation>& locations);

// Why a folder cannot be a custom location (too long, not a full path, a
// drive root, a folder of the system or the profile), or empty when it can.
std::string LocationRefusal(const std::string& folder);

// The dialog's messages.
extern const char kNoDirectoryMessage[];
extern const char kAlreadyListedMessage[];
extern const char kUpdateListedMessage[];
extern const char kSelectDeleteMessage[];
extern const char kSelectUpdateMessage[];

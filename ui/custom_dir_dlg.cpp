#include "ui/custom_dir_dlg.h"

#include <cstring>

#include "engine/removal_guard.h"
#include "res/resource.h"
#include "ui/file_open.h"
#include "winlib/platform_calls.h"
#include "winlib/ansi_text.h"

const char kNoDirectoryMessage[] = "There is no directory data input.";
const char kAlreadyListedMessage[] = "The input directory has already been in the list.";
const char kUpdateListedMessage[] = "The update directory has already been in the list.";
const char kSelectDeleteMessage[] = "Please select a deleting item from the list box.";
const char kSelectUpdateMessage[] = "Please select an updating item from the list box.";

namespace {
void ShowError(const std::string& text) {
  g_platform.MessageBoxA(nullptr, text.c_str(), "Morvane", MB_OK | MB_ICONERROR);
}

std::string WindowText(HWND hwnd) {
  const int length = ::GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(hwnd, &text[0], length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

// Replaces an edit's text the way typing over a full selection does, so
// that the edit's undo sees one change.
void ReplaceEditText(HWND edit, const std::string& text) {
  ::SendMessageA(edit, EM_SETSEL, 0, -1);
  ::SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

// Why the guard refuses a folder, in words for the user: the guard's folder
// reasons already are ("it is the Windows folder"); the rest are said here.
std::string Explain(const char* why) {
  const std::string reason = why;
  const auto says = [&](const char* part) { return reason.find(part) != std::string::npos; };
  if (says("drive root")) return "it is the root of a drive";
  if (says("full path") || says("no folder"))
    return "it is not a full path (a drive letter or a network share, then the folders)";
  if (says("opened") || says("identity") || says("judged")) return "it cannot be opened to check where it leads";
  return reason;
}
}  // namespace

std::string LocationRefusal(const std::string& folder) {
  // The system counts characters, not bytes (a CJK character takes three in UTF-8).
  if (AnsiCharCount(folder) >= MAX_PATH) return kFolderTooLongMessage;
  // The guard judges the folder part of a pattern: the folder itself here.
  const auto judge = [](std::string name, const char* trailing) -> const char* {
    while (name.size() > 3 && std::strchr(trailing, name.back()) != nullptr) name.pop_back();
    if (name.size() == 3 && name[1] == ':') name.pop_back();
    return RemovalRefusal(name + "\\*", GuardScope::kTyped);
  };
  // As typed ("..\" resolved), and without the trailing dots and blanks that
  // Windows drops from a name ("C:\Windows. " reaches the Windows folder).
  const char* why = judge(folder, "\\/");
  if (why == nullptr) why = judge(folder, "\\/. ");
  if (why == nullptr) return std::string();
  return "The directory \"" + folder + "\" cannot be swept: " + Explain(why) + ".";
}

CCustomDirDlg::CCustomDirDlg(const std::vector<CustomLocation>& pageLocations)
    : CDialog(IDD_CUSTOM_DIRS), m_locations(pageLocations) {}

bool CCustomDirDlg::OnInitDialog() {
  HWND list = GetItem(IDC_CUSTOM_LIST);
  ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const CustomLocation& entry : m_locations)
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.m_strDisplay.c_str()));
  SetItemText(IDC_CUSTOM_FOLDER, "");
  SetItemText(IDC_CUSTOM_FILTER, "");
  SetCheck(IDC_CUSTOM_SUBDIRS, BST_UNCHECKED);
  // A folder of up to 259 characters; a longer one is refused on Add anyway.
  SendItemMessage(IDC_CUSTOM_FOLDER, EM_LIMITTEXT, MAX_PATH * 2);
  SendItemMessage(IDC_CUSTOM_FILTER, EM_LIMITTEXT, MAX_PATH - 1);
  return true;
}

bool CCustomDirDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDC_CUSTOM_LIST) {
    if (code != LBN_SELCHANGE) return false;
    OnSelChange();
    return true;
  }
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_CUSTOM_BROWSE: OnBrowse(); return true;
      case IDC_CUSTOM_ADD: OnAdd(); return true;
      case IDC_CUSTOM_UPDATE: OnUpdate(); return true;
      case IDC_CUSTOM_DELETE: OnDelete(); return true;
      default: break;
    }
  }
  return CDialog::OnCommand(id, code, control);
}

bool CCustomDirDlg::ReadEdits() {
  const std::string folder = WindowText(GetItem(IDC_CUSTOM_FOLDER));
  const std::string filter = WindowText(GetItem(IDC_CUSTOM_FILTER));
  const int subInc = GetCheck(IDC_CUSTOM_SUBDIRS) == BST_CHECKED ? 1 : 0;
  m_current = CustomLocation(folder, filter, subInc);
  if (folder.empty()) {
    ShowError(kNoDirectoryMessage);
    return false;
  }
  const std::string refusal = LocationRefusal(folder);
  if (!refusal.empty()) {
    ShowError(refusal);
    return false;
  }
  // A filter is a name or a pattern inside the folder: with a path in it the
  // sweep would reach beyond the folder the guard has just accepted.
  if (filter.find_first_of("\\/:") != std::string::npos) {
    ShowError("The file filter \"" + filter +
              "\" must be a file name or a pattern such as *.tmp, without a directory in it.");
    return false;
  }
  return true;
}

int CCustomDirDlg::FindLine(const std::string& text) const {
  // Whole lines, ignoring case: folder and filter names are case-blind.
  const LRESULT found = SendItemMessage(IDC_CUSTOM_LIST, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text.c_str()));
  return found == LB_ERR ? -1 : static_cast<int>(found);
}

void CCustomDirDlg::OnAdd() {
  if (!ReadEdits()) return;
  if (FindLine(m_current.m_strDisplay) >= 0) {
    ShowError(kAlreadyListedMessage);
    return;
  }
  SendItemMessage(IDC_CUSTOM_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_current.m_strDisplay.c_str()));
  m_locations.push_back(m_current);
}

void CCustomDirDlg::OnUpdate() {
  const LRESULT selected = SendItemMessage(IDC_CUSTOM_LIST, LB_GETCURSEL);
  if (!ReadEdits()) return;
  if (selected == LB_ERR || static_cast<size_t>(selected) >= m_locations.size()) {
    ShowError(kSelectUpdateMessage);
    return;
  }
  const int found = FindLine(m_current.m_strDisplay);
  if (found >= 0 && found != selected) {
    ShowError(kUpdateListedMessage);
    return;
  }
  // Also when the match is the selected line itself: a change of letter
  // case is still the user's change to make.
  const int index = static_cast<int>(selected);
  SendItemMessage(IDC_CUSTOM_LIST, LB_DELETESTRING, index);
  SendItemMessage(IDC_CUSTOM_LIST, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(m_current.m_strDisplay.c_str()));
  SendItemMessage(IDC_CUSTOM_LIST, LB_SETCURSEL, index);
  m_locations[index] = m_current;
}

void CCustomDirDlg::OnDelete() {
  const LRESULT selected = SendItemMessage(IDC_CUSTOM_LIST, LB_GETCURSEL);
  if (selected == LB_ERR || static_cast<size_t>(selected) >= m_locations.size()) {
    ShowError(kSelectDeleteMessage);
    return;
  }
  SendItemMessage(IDC_CUSTOM_LIST, LB_DELETESTRING, selected);
  m_locations.erase(m_locations.begin() + selected);
}

void CCustomDirDlg::OnSelChange() {
  const LRESULT selected = SendItemMessage(IDC_CUSTOM_LIST, LB_GETCURSEL);
  if (selected == LB_ERR || static_cast<size_t>(selected) >= m_locations.size()) return;
  m_current = m_locations[selected];
  m_current.m_strKeyName.clear();
  ShowCurrent();
}

void CCustomDirDlg::ShowCurrent() {
  ReplaceEditText(GetItem(IDC_CUSTOM_FOLDER), m_current.m_strDir);
  ReplaceEditText(GetItem(IDC_CUSTOM_FILTER), m_current.m_strFilter);
  SetCheck(IDC_CUSTOM_SUBDIRS, m_current.m_nSubInc ? BST_CHECKED : BST_UNCHECKED);
}

void CCustomDirDlg::OnBrowse() {
  CFileOpen chooser(false, nullptr, nullptr, OFN_ENABLETEMPLATE, "All Files (*.*)|*.*||", 0, m_hWnd);
  chooser.UseChooserTemplate();
  if (chooser.DoModal() != IDOK) return;
  m_current = CustomLocation(chooser.m_szDirectory, chooser.m_szFile, chooser.m_nSubInc);
  ShowCurrent();
}

bool RunCustomDirDialog(HWND owner, std::vector<CustomLocation>& locations) {
  CCustomDirDlg dialog(locations);
  if (dialog.DoModal(owner) != IDOK) return false;
  locations = dialog.m_locations;
  return true;
}

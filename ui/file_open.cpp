#include "ui/file_open.h"

#include <cstring>

#include "res/resource.h"
#include "winlib/dialog.h"
#include "winlib/platform_calls.h"

const char kFolderTooLongMessage[] =
    "The directory path is too long. Morvane sweeps directories whose path has at most 259 characters.";

namespace {
// The flags that would bring back the Explorer style or make the chooser
// insist on an existing, writable file.
const DWORD kChooserClearedFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_READONLY;

bool IsDriveRoot(const std::string& line) {
  return line.size() == 3 && line[1] == ':' && line[2] == '\\' &&
         ((line[0] >= 'a' && line[0] <= 'z') || (line[0] >= 'A' && line[0] <= 'Z'));
}

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string ParentOf(const std::string& folder) {
  const std::string f = WithoutTrailingSlash(folder);
  const size_t cut = f.find_last_of("\\/");
  if (cut == std::string::npos) return std::string();
  if (cut == 2 && f[1] == ':') return f.substr(0, 3);
  return f.substr(0, cut);
}

std::string ItemText(HWND list, int index) {
  const LRESULT length = ::SendMessageA(list, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got = ::SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
  return text;
}

void ShowError(const char* text) { g_platform.MessageBoxA(nullptr, text, "Morvane", MB_OK | MB_ICONERROR); }
}  // namespace

std::string DirectoryFromListLines(const std::vector<std::string>& lines, int selected,
                                   const std::string& currentDir) {
  if (selected < 0 || static_cast<size_t>(selected) >= lines.size()) return std::string();
  if (IsDriveRoot(lines[0])) {
    // Path form: the root keeps its '\', every later line is joined by one.
    std::string folder = lines[0];
    for (int i = 1; i <= selected; ++i) {
      if (i >= 2) folder += '\\';
      folder += lines[i];
    }
    return folder;
  }
  const std::string& line = lines[selected];
  if (line.size() < 3 || line.front() != '[' || line.back() != ']') return std::string();
  const std::string name = line.substr(1, line.size() - 2);
  if (name.size() == 3 && name[0] == '-' && name[2] == '-') return std::string(1, name[1]) + ":\\";
  if (currentDir.empty()) return std::string();
  if (name == "..") return ParentOf(currentDir);
  const std::string base = WithoutTrailingSlash(currentDir);
  return base.back() == '\\' ? base + name : base + "\\" + name;
}

CFileOpen::CFileOpen(bool openDialog, const char* defExt, const char* fileName, DWORD flags, const char* filter,
                     int subInc, HWND parent)
    : CFileDialog(openDialog, defExt, fileName, flags, filter, parent), m_nSubInc(subInc) {}

void CFileOpen::UseChooserTemplate() {
  m_ofn.hInstance = ResourceInstance();
  m_ofn.lpTemplateName = MAKEINTRESOURCEA(IDD_DIRECTORY_SELECT);
  // Without a title the system calls the dialog "Open" or "Save As",
  // whatever the template says.
  m_ofn.lpstrTitle = "Directory Select";
  m_ofn.Flags = (m_ofn.Flags | OFN_ENABLETEMPLATE | OFN_HIDEREADONLY) & ~kChooserClearedFlags;
}

bool CFileOpen::OnInitDialog() {
  SetCheck(IDC_DIRSEL_SUBDIRS, m_nSubInc ? BST_CHECKED : BST_UNCHECKED);
  return true;
}

bool CFileOpen::OnCommand(int id, int code, HWND control) {
  if (code != BN_CLICKED) return false;
  if (id == IDC_DIRSEL_SUBDIRS) {
    OnSubdirectoryClicked();
    return true;
  }
  if (id == IDC_DIRSEL_OK) {
    OnChooserOK();
    return true;
  }
  return false;
}

void CFileOpen::OnSubdirectoryClicked() {
  m_nSubInc = SendItemMessage(IDC_DIRSEL_SUBDIRS, BM_GETCHECK) == BST_CHECKED ? 1 : 0;
}

void CFileOpen::OnChooserOK() {
  HWND list = GetItem(IDC_DIRSEL_FOLDERS);
  const LRESULT selected = ::SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  std::vector<std::string> lines;
  const LRESULT count = ::SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count && i <= selected; ++i) lines.push_back(ItemText(list, static_cast<int>(i)));
  char current[MAX_PATH * 2] = {};
  const DWORD n = ::GetCurrentDirectoryA(sizeof current, current);
  const std::string folder =
      DirectoryFromListLines(lines, static_cast<int>(selected), n > 0 && n < sizeof current ? current : "");
  if (folder.empty()) return;
  if (folder.size() >= sizeof m_szDirectory) {
    ShowError(kFolderTooLongMessage);
    return;
  }
  std::memcpy(m_szDirectory, folder.c_str(), folder.size() + 1);
  ::GetDlgItemTextA(m_hWnd, IDC_DIRSEL_FILE_NAME, m_szFile, sizeof m_szFile);
  EndDialog(IDOK);
}

bool CFileOpen::OnFileNameOK() {
  // The accepted name is a file: the folder is what comes before its name.
  const std::string path = m_ofn.lpstrFile;
  const size_t offset = m_ofn.nFileOffset;
  if (offset == 0 || offset > path.size()) return true;
  const std::string folder = path.substr(0, offset - 1);
  const std::string title = path.substr(offset);
  const std::string cut = folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
  if (cut.size() >= sizeof m_szDirectory) {
    ShowError(kFolderTooLongMessage);
    return true;
  }
  std::memcpy(m_szDirectory, cut.c_str(), cut.size() + 1);
  ::lstrcpynA(m_szFile, title.c_str(), sizeof m_szFile);
  return false;
}

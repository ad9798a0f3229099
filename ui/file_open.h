// CFileOpen: the folder chooser of the custom locations dialog. An old-style
// file dialog on the "Directory Select" template that returns a folder, a
// file filter and the include-subfolders flag in one go.
#pragma once
#include <string>
#include <vector>

#include "winlib/file_dialog.h"

class CFileOpen : public CFileDialog {
 public:
  // subInc: the state the "Including Subdirectories" box starts with.
  CFileOpen(bool openDialog, const char* defExt, const char* fileName, DWORD flags, const char* filter, int subInc,
            HWND parent);

  // Turns the dialog into the chooser: our template, the hook, the old style.
  void UseChooserTemplate();

  // Filled when the dialog ends with OK. Both hold at most 259 characters:
  // a longer folder is refused while the chooser is open.
  int m_nSubInc;
  char m_szDirectory[MAX_PATH] = {};
  char m_szFile[MAX_PATH] = {};

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnFileNameOK() override;

 private:
  void OnSubdirectoryClicked();
  void OnChooserOK();
};

// The folder that line `selected` of the chooser's folder list stands for.
// The list comes in one of two forms: the path form, a drive root followed by
// one line per folder down to the current one and then its subfolders
// ("c:\", "Data", "Logs"); or the listing form of the current folder
// ("[..]", "[Logs]", "[-c-]"), which needs the current folder to resolve.
// Empty when the line names nothing usable.
std::string DirectoryFromListLines(const std::vector<std::string>& lines, int selected,
                                   const std::string& currentDir);

// The refusal shown for a folder text of 260 characters or more.
extern const char kFolderTooLongMessage[];

// CFileDialog: the system's open and save dialogs (GetOpenFileNameA,
// GetSaveFileNameA) in their old, non-Explorer style, with a hook that
// dispatches to typed virtuals so that a subclass can bring a template of its
// own with extra controls. FileDialogScript lets tests drive the real dialog
// without a person: nothing it runs can wait for ever.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>

#include "winlib/window.h"

class CFileDialog : public CWnd {
 public:
  // filter: pairs of description and pattern separated by '|', ended by "||"
  // ("All Files (*.*)|*.*||"); null for none. OFN_ENABLEHOOK is always added,
  // OFN_EXPLORER never: the hook speaks the old-style protocol only. To show
  // a template of your own, set m_ofn.hInstance and m_ofn.lpTemplateName and
  // add OFN_ENABLETEMPLATE before DoModal.
  CFileDialog(bool openDialog, const char* defExt, const char* fileName, DWORD flags, const char* filter,
              HWND parent);
  ~CFileDialog() override;

  // Runs the dialog; IDOK when it closed with OK (the standard one, or
  // EndDialog(IDOK) from a handler), otherwise IDCANCEL.
  INT_PTR DoModal();
  // Ends the running dialog with IDOK or IDCANCEL.
  void EndDialog(INT_PTR result);

  // The full path and the name alone that the standard OK accepted.
  std::string GetPathName() const { return m_szFileName; }
  std::string GetFileTitle() const;

  OPENFILENAMEA m_ofn;

 protected:
  // Handlers; m_hWnd is the dialog while they run. Return true when handled.
  virtual bool OnInitDialog() { return true; }
  bool OnCommand(int id, int code, HWND control) override { return false; }
  // The standard OK accepted a file name (m_ofn.lpstrFile and nFileOffset
  // are filled): return true to refuse it and keep the dialog open.
  virtual bool OnFileNameOK() { return false; }

 private:
  static UINT_PTR CALLBACK HookProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
  UINT_PTR Dispatch(UINT msg, WPARAM w, LPARAM l);

  bool m_bOpenDialog;
  std::string m_strFilter;  // with the NULs the system wants
  std::string m_strDefExt;
  char m_szFileName[MAX_PATH] = {};
  bool m_bEndedOk = false;
};

// While it lives, every CFileDialog that runs hands its dialog, once it is
// up, to the script, which may drive it with messages. Should the dialog
// still be open when the script returns, it is cancelled.
class FileDialogScript {
 public:
  using Script = std::function<void(HWND dialog)>;
  explicit FileDialogScript(Script script);
  ~FileDialogScript();
  FileDialogScript(const FileDialogScript&) = delete;
  FileDialogScript& operator=(const FileDialogScript&) = delete;

  int Runs() const { return m_nRuns; }
  // True while a script waits for a dialog: callers that could show another
  // kind of dialog show this one, which the script can drive.
  static bool Active();

 private:
  friend class CFileDialog;
  Script m_script;
  int m_nRuns = 0;
  FileDialogScript* m_previous;
};

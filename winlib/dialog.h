// CDialog: modeless and modal dialogs from resource templates. One static
// dialog procedure binds the object at WM_INITDIALOG and dispatches to typed
// virtuals; exceptions stop at that boundary. Modal runs go through
// g_platform.DialogBoxParamA so that tests can answer them.
#pragma once
#include <windows.h>

#include "winlib/window.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(int templateId) : m_nTemplateId(templateId) {}
  ~CDialog() override;

  int TemplateId() const { return m_nTemplateId; }

  // Creates the dialog modeless, with parent as its owner; false on failure.
  // The dialog becomes visible only if its template says so.
  bool Create(HWND parent);
  // Runs the dialog modally and returns what EndDialog was given (-1: the
  // dialog could not be created).
  INT_PTR DoModal(HWND owner);
  bool IsModal() const { return m_bModal; }

  // Modal: ends the modal loop with result. Modeless: hides the dialog, as
  // the system does for a modeless dialog that is ended.
  void EndDialog(INT_PTR result);
  INT_PTR Result() const { return m_nResult; }

  // The dialog procedure. Property pages and other wrappers that receive the
  // object differently bind it themselves (BindDialog) and then call this.
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

 protected:
  // Typed handlers. Those returning bool return true when they handled the
  // message; what is left unhandled gets the system's default handling.
  // Return false from OnInitDialog after setting the focus yourself.
  virtual bool OnInitDialog() { return true; }
  bool OnCommand(int id, int code, HWND control) override;
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // WM_CLOSE; false lets the system turn it into Cancel.
  virtual bool OnClose() { return false; }
  // Every other message; set *result and return true to handle it.
  virtual bool OnMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) { return false; }

  static void BindDialog(HWND hwnd, CDialog* dialog);

 private:
  INT_PTR Dispatch(UINT msg, WPARAM w, LPARAM l);

  int m_nTemplateId;
  bool m_bModal = false;
  INT_PTR m_nResult = 0;
};

// The module that holds Morvane's resources (the program's own).
HINSTANCE ResourceInstance();

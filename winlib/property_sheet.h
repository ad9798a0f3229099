// CPropertySheet and CPropertyPage: a tabbed sheet of dialog pages over the
// system's property sheet. The sheet's notifications reach each page as typed
// virtuals (OnSetActive, OnKillActive, OnApply, OnReset, OnQueryCancel). A
// modal run goes through a seam (SheetScript) so that tests drive the real
// sheet without a modal loop that waits for a person.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "winlib/dialog.h"

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(int templateId) : CDialog(templateId) {}

  CPropertySheet* Sheet() const { return m_pSheet; }
  // The sheet's window while this page has one (null before the page was
  // first shown and after the sheet closed).
  HWND SheetWindow() const;

  // Marks the page changed (the sheet enables Apply) or unchanged. A page
  // without a window keeps the mark and hands it over when it is created.
  void SetModified(bool changed = true);
  bool IsModified() const { return m_bModified; }

 protected:
  // The sheet's notifications, with the answer each gives it:
  // OnSetActive: false skips the page (it is not shown).
  virtual bool OnSetActive() { return true; }
  // OnKillActive: false keeps the page shown (its data is not acceptable).
  virtual bool OnKillActive() { return true; }
  // OnApply: store the page's data; false keeps the sheet open on this page.
  // The base clears the modified mark.
  virtual bool OnApply();
  // OnReset: the sheet was cancelled; the base calls OnCancel.
  virtual void OnReset() { OnCancel(); }
  // OnQueryCancel: false refuses the cancel.
  virtual bool OnQueryCancel() { return true; }

  // A page is never ended on its own: Enter and Escape belong to the sheet.
  void OnOK() override {}
  void OnCancel() override {}

  // Hands a pending modified mark to the sheet; derived pages call it first.
  bool OnInitDialog() override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;

 private:
  friend class CPropertySheet;
  static INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

  CPropertySheet* m_pSheet = nullptr;
  bool m_bModified = false;
};

// A derived sheet that holds its pages as members closes the sheet (Close)
// in its own destructor, before the pages go.
class CPropertySheet : public CWnd {
 public:
  CPropertySheet(const char* caption, HWND parent, int startPage = 0);
  ~CPropertySheet() override;

  // Pages are added before the sheet is created, in tab order; the sheet does
  // not own them.
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CPropertyPage* GetPage(int index) const { return m_pages[static_cast<size_t>(index)]; }
  int GetActiveIndex() const;
  bool SetActivePage(int index);

  // Creates the sheet modeless (shown or hidden); false on failure. DoModal
  // starts with this, and tests drive a sheet made this way.
  bool Create(bool show = true);
  // Runs the sheet modally: until OK or Cancel closes it (IDOK, IDCANCEL) or
  // EndDialog ends it (its result). -1: it could not be created.
  INT_PTR DoModal();
  // Ends a modal run with result; the loop destroys the window. On a
  // modeless sheet it only records the result.
  void EndDialog(INT_PTR result);
  bool IsEnded() const { return m_bEnded; }
  INT_PTR Result() const { return m_nResult; }

  // PSBTN_APPLYNOW, PSBTN_OK, PSBTN_CANCEL...: as if the button were clicked.
  void PressButton(int button) { SendMessage(PSM_PRESSBUTTON, static_cast<WPARAM>(button)); }
  // Destroys the window (and the pages' windows), keeping the objects.
  void Close();

 protected:
  // After the window and its first page exist.
  virtual void OnInitSheet() {}
  // WM_SYSCOMMAND: true when handled; the rest goes to the system.
  virtual bool OnSysCommand(WPARAM id, LPARAM l) { return false; }
  LRESULT WindowProc(UINT msg, WPARAM w, LPARAM l) override;

 private:
  static int CALLBACK SheetCallback(HWND hwnd, UINT msg, LPARAM l);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
  void Subclass(HWND hwnd);
  INT_PTR RunModalLoop();

  std::string m_strCaption;
  HWND m_hParent;
  int m_nStartPage;
  std::vector<CPropertyPage*> m_pages;
  WNDPROC m_pfnSuper = nullptr;
  bool m_bShow = true;
  bool m_bEnded = false;
  INT_PTR m_nResult = 0;
  // How the sheet was closed, as its pages heard it (OK applies, Cancel resets).
  INT_PTR m_nButton = IDCANCEL;
  friend class CPropertyPage;
};

// While it lives, DoModal creates the sheet hidden and hands it to the script
// instead of running a modal loop, then destroys it. DoModal returns the
// result of EndDialog when the script (or the sheet) called it, else what the
// script returns. Nothing waits for a person.
class SheetScript {
 public:
  using Script = std::function<INT_PTR(CPropertySheet& sheet)>;
  explicit SheetScript(Script script);
  ~SheetScript();
  SheetScript(const SheetScript&) = delete;
  SheetScript& operator=(const SheetScript&) = delete;

  int Runs() const { return m_nRuns; }

 private:
  friend class CPropertySheet;

  Script m_script;
  SheetScript* m_previous;
  int m_nRuns = 0;
};

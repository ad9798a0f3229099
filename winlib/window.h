// CWnd: a thin owner-less handle to a window with the calls Morvane's windows
// use (texts, rectangles, visibility, child controls, timers), plus creation
// of windows of our own registered classes with one static window procedure
// that dispatches to typed virtuals. The message loop lives here too.
#pragma once
#include <windows.h>

#include <exception>

#include <string>

// Logs an exception that reached a window procedure and swallows it: an
// exception must not unwind through the system's callback frames.
void ReportCallbackException(const char* where, const char* what);

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  // The object that owns hwnd through our window procedures, or null.
  static CWnd* FromHandle(HWND hwnd);

  // --- windows of our own classes ---------------------------------------
  // Registers a class whose windows are served by CWnd's window procedure;
  // true also when it was registered before.
  static bool RegisterWindowClass(const char* className, UINT style = 0, HICON icon = nullptr,
                                  HBRUSH background = nullptr);
  // Creates a window of such a class bound to this object; false on failure.
  bool CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect,
                HWND parent, HMENU menu = nullptr);
  virtual bool DestroyWindow();

  // --- the window itself ------------------------------------------------
  std::string GetWindowText() const;
  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  RECT GetWindowRect() const;
  RECT GetClientRect() const;
  bool ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd) != FALSE; }
  bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
  bool SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags) != FALSE;
  }
  // Centres the window over its owner, or the work area when it has none.
  void CenterWindow();
  LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, msg, w, l); }
  bool PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const {
    return ::PostMessageA(m_hWnd, msg, w, l) != FALSE;
  }
  UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
  bool KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id) != FALSE; }

  // --- child controls, by ID --------------------------------------------
  HWND GetItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  std::string GetItemText(int id) const;
  void SetItemText(int id, const char* text) { ::SetDlgItemTextA(m_hWnd, id, text); }
  // The control's rectangle in this window's client coordinates.
  RECT GetItemRect(int id) const;
  void MoveItem(int id, const RECT& rect, bool repaint = true);
  bool IsItemVisible(int id) const;
  void ShowItem(int id, bool show);
  void EnableItem(int id, bool enable) { ::EnableWindow(GetItem(id), enable); }
  bool IsItemEnabled(int id) const { return ::IsWindowEnabled(GetItem(id)) != FALSE; }
  // Check boxes and radio buttons: BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE.
  void SetCheck(int id, UINT state) { ::CheckDlgButton(m_hWnd, id, state); }
  UINT GetCheck(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
  LRESULT SendItemMessage(int id, UINT msg, WPARAM w = 0, LPARAM l = 0) const {
    return ::SendDlgItemMessageA(m_hWnd, id, msg, w, l);
  }

  HWND m_hWnd = nullptr;

 protected:
  // Handlers of windows of our own classes. Return true when handled; what
  // is not handled goes to DefWindowProc.
  virtual LRESULT WindowProc(UINT msg, WPARAM w, LPARAM l);
  virtual bool OnCommand(int id, int code, HWND control) { return false; }
  virtual bool OnNotify(NMHDR* header, LRESULT* result) { return false; }
  virtual void OnTimer(UINT_PTR id) {}
  virtual void OnDestroy() {}
  // After the last message: the handle is gone.
  virtual void OnNcDestroy() {}

  // Binds hwnd to this object (the property Morvane's procedures look up).
  void Bind(HWND hwnd);
  void Unbind();

  // Runs one message's handler behind the callback boundary, then, after
  // WM_NCDESTROY, lets go of the handle. Shared by the window and dialog
  // procedures.
  template <class Result, class Handler>
  Result HandleMessage(const char* where, UINT msg, Handler&& handler) {
    Result result = 0;
    try {
      result = handler();
    } catch (const std::exception& e) {
      ReportCallbackException(where, e.what());
    } catch (...) {
      ReportCallbackException(where, "unknown exception");
    }
    if (msg == WM_NCDESTROY) {
      Unbind();
      m_hWnd = nullptr;
      OnNcDestroy();
    }
    return result;
  }

 private:
  static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
};

// The class library's message loop: runs until WM_QUIT and returns its code.
// Keyboard navigation (Tab, Enter, Escape) reaches modeless dialogs.
int RunMessageLoop();
// Hands msg to the dialog it belongs to; true when the dialog took it.
bool PreTranslateDialogMessage(MSG* msg);

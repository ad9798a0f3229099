#include "winlib/window.h"

#include <exception>
#include <vector>

#include "winlib/trace.h"

namespace {
// The window property that links a window to its CWnd. A property rather
// than GWLP_USERDATA/DWLP_USER, which system dialogs use for themselves.
const char kOwnerProp[] = "Morvane.CWnd";
}  // namespace

CWnd::~CWnd() {
  // The object goes away before its window: the window must not call back into it.
  if (m_hWnd != nullptr && FromHandle(m_hWnd) == this) Unbind();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  return static_cast<CWnd*>(::GetPropA(hwnd, kOwnerProp));
}

void CWnd::Bind(HWND hwnd) {
  m_hWnd = hwnd;
  ::SetPropA(hwnd, kOwnerProp, this);
}

void CWnd::Unbind() {
  if (m_hWnd != nullptr) ::RemovePropA(m_hWnd, kOwnerProp);
}

bool CWnd::RegisterWindowClass(const char* className, UINT style, HICON icon, HBRUSH background) {
  WNDCLASSA wc = {};
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  if (::GetClassInfoA(instance, className, &wc)) return true;
  wc.style = style;
  wc.lpfnWndProc = &CWnd::StaticWindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = className;
  if (::RegisterClassA(&wc) != 0) return true;
  Trace("RegisterClassA(%s) failed: %lu", className, ::GetLastError());
  return false;
}

bool CWnd::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect,
                    HWND parent, HMENU menu) {
  HWND hwnd = ::CreateWindowExA(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                                rect.bottom - rect.top, parent, menu, ::GetModuleHandleA(nullptr), this);
  if (hwnd == nullptr) {
    Trace("CreateWindowExA(%s) failed: %lu", className, ::GetLastError());
    m_hWnd = nullptr;
    return false;
  }
  return true;
}

bool CWnd::DestroyWindow() {
  if (m_hWnd == nullptr) return false;
  return ::DestroyWindow(m_hWnd) != FALSE;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  CWnd* self = FromHandle(hwnd);
  if (self == nullptr && msg == WM_NCCREATE) {
    self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams);
    if (self != nullptr) self->Bind(hwnd);
  }
  if (self == nullptr) return ::DefWindowProcA(hwnd, msg, w, l);
  return self->HandleMessage<LRESULT>("window procedure", msg, [&] { return self->WindowProc(msg, w, l); });
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_COMMAND:
      if (OnCommand(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l))) return 0;
      break;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (OnNotify(reinterpret_cast<NMHDR*>(l), &result)) return result;
      break;
    }
    case WM_TIMER:
      OnTimer(w);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      break;
    default:
      break;
  }
  return ::DefWindowProcA(m_hWnd, msg, w, l);
}

std::string CWnd::GetWindowText() const {
  int len = ::GetWindowTextLengthA(m_hWnd);
  std::vector<char> buf(static_cast<size_t>(len) + 2);
  int got = ::GetWindowTextA(m_hWnd, buf.data(), static_cast<int>(buf.size()));
  return std::string(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

RECT CWnd::GetWindowRect() const {
  RECT r = {};
  ::GetWindowRect(m_hWnd, &r);
  return r;
}

RECT CWnd::GetClientRect() const {
  RECT r = {};
  ::GetClientRect(m_hWnd, &r);
  return r;
}

void CWnd::CenterWindow() {
  RECT self = GetWindowRect();
  RECT area = {};
  HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &area);
  } else {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  }
  int w = self.right - self.left, h = self.bottom - self.top;
  int x = area.left + ((area.right - area.left) - w) / 2;
  int y = area.top + ((area.bottom - area.top) - h) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string CWnd::GetItemText(int id) const {
  HWND item = GetItem(id);
  if (item == nullptr) return std::string();
  CWnd probe(item);
  std::string text = probe.GetWindowText();
  probe.m_hWnd = nullptr;
  return text;
}

RECT CWnd::GetItemRect(int id) const {
  RECT r = {};
  HWND item = GetItem(id);
  if (item == nullptr) return r;
  ::GetWindowRect(item, &r);
  ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void CWnd::MoveItem(int id, const RECT& r, bool repaint) {
  ::MoveWindow(GetItem(id), r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
}

bool CWnd::IsItemVisible(int id) const {
  HWND item = GetItem(id);
  return item != nullptr && (::GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void CWnd::ShowItem(int id, bool show) { ::ShowWindow(GetItem(id), show ? SW_SHOW : SW_HIDE); }

bool PreTranslateDialogMessage(MSG* msg) {
  if (msg->hwnd == nullptr) return false;
  HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
  if (root == nullptr) return false;
  char cls[16] = {};
  ::GetClassNameA(root, cls, sizeof cls);
  // "#32770" is the class of every dialog, ours and the system's.
  if (lstrcmpA(cls, "#32770") != 0) return false;
  return ::IsDialogMessageA(root, msg) != FALSE;
}

int RunMessageLoop() {
  MSG msg;
  for (;;) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return -1;
    if (PreTranslateDialogMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

void ReportCallbackException(const char* where, const char* what) {
  Trace("Exception in %s: %s", where, what);
}

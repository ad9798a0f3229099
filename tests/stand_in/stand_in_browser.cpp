// A stand-in browser for the tests of the browser watch, built under a
// browser's file name (chrome.exe, firefox.exe). It opens a window, holds the
// files named with --hold open without sharing as a running browser holds
// its databases, and ends when its window is closed (WM_CLOSE).
//   --background: no window is shown; a hidden one stays, as a browser set
//                 to run in the background keeps (it also ends on WM_CLOSE).
//   WM_APP+1 to the window: hide it and go on running in the background.
//   WM_APP+2 to the window: open a second window and close it again, as a
//                 browser's pop-ups and menus do.
// Its windows are titled "Stand-in browser <process id>".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr UINT kGoBackground = WM_APP + 1;
constexpr UINT kFlashWindow = WM_APP + 2;
const char kClass[] = "MorvaneStandInBrowser";
char g_title[64];

HWND MakeWindow(bool shown) {
  HWND hwnd = ::CreateWindowExA(0, kClass, g_title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 120, nullptr, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
  if (hwnd != nullptr && shown) ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  return hwnd;
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case kGoBackground:
      // The last window closes; the process stays, with a hidden window.
      ::DestroyWindow(hwnd);
      MakeWindow(false);
      return 0;
    case kFlashWindow: {
      HWND other = MakeWindow(true);
      if (other != nullptr) ::DestroyWindow(other);
      return 0;
    }
    case WM_CLOSE:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, msg, w, l);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<HANDLE> held;
  bool background = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--background") == 0) {
      background = true;
    } else if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
      HANDLE h = ::CreateFileA(argv[++i], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot hold %s (error %lu)\n", argv[i], (unsigned long)::GetLastError());
        return 2;
      }
      held.push_back(h);
    }
  }
  std::snprintf(g_title, sizeof g_title, "Stand-in browser %lu", (unsigned long)::GetCurrentProcessId());
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &Proc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  ::RegisterClassA(&wc);
  if (MakeWindow(!background) == nullptr) return 3;
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  for (HANDLE h : held) ::CloseHandle(h);
  return 0;
}

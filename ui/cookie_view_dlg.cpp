#include "ui/cookie_view_dlg.h"

#include <windows.h>
#include <richedit.h>

#include "res/resource.h"
#include "winlib/platform_calls.h"
#include "winlib/trace.h"
#include "winlib/unique_handle.h"

namespace {
void LoadRichEdit() {
  static HMODULE module = ::LoadLibraryA("riched20.dll");
  if (module == nullptr) Trace("LoadLibraryA(riched20.dll) failed: %lu", ::GetLastError());
}

DWORD CALLBACK ReadCookieFile(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
  DWORD read = 0;
  if (!::ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(wanted), &read, nullptr)) read = 0;
  // A failed read ends the text where it stopped: 0 bytes is the end.
  *got = static_cast<LONG>(read);
  return 0;
}
}  // namespace

std::string CookieOpenFailureText(const std::string& path, DWORD error) {
  char reason[256] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                   sizeof reason, nullptr);
  std::string why = reason;
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
    why.pop_back();
  if (why.empty()) why = "error " + std::to_string(error);
  return "The cookie file \"" + path + "\" cannot be opened: " + why + ".";
}

CCookieViewDlg::CCookieViewDlg(const std::string& path) : CDialog(IDD_COOKIE_VIEW), m_strPath(path) {
  LoadRichEdit();
}

bool CCookieViewDlg::OnInitDialog() {
  SetWindowText(m_strPath.c_str());
  HWND text = GetItem(IDC_COOKIE_TEXT);
  if (text == nullptr) return true;
  ::SendMessageA(text, EM_SETREADONLY, TRUE, 0);
  // Shared for reading and writing: a browser may hold its cookie open.
  ScopedFile file(::CreateFileA(m_strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    g_platform.MessageBoxA(nullptr, CookieOpenFailureText(m_strPath, error).c_str(), "Morvane",
                           MB_OK | MB_ICONERROR);
    EndDialog(IDCANCEL);
    return true;
  }
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(file.Get());
  stream.pfnCallback = &ReadCookieFile;
  ::SendMessageA(text, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
  // Focus on OK, the caret at the top: a view opens unselected, at its start.
  ::SendMessageA(text, EM_SETSEL, 0, 0);
  ::SetFocus(GetItem(IDOK));
  return false;
}

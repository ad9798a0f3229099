#include "winlib/file_dialog.h"

#include <cstring>

#include "winlib/trace.h"

namespace {
FileDialogScript* g_fileDialogScript = nullptr;
// Posted to the dialog once it is up, so that a script runs inside the
// dialog's own modal loop.
const UINT kRunScript = WM_APP + 0x1D0;

UINT FileOkMessage() {
  static const UINT message = ::RegisterWindowMessageA(FILEOKSTRINGA);
  return message;
}
}  // namespace

CFileDialog::CFileDialog(bool openDialog, const char* defExt, const char* fileName, DWORD flags, const char* filter,
                         HWND parent)
    : m_bOpenDialog(openDialog) {
  std::memset(&m_ofn, 0, sizeof m_ofn);
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hwndOwner = parent;
  m_ofn.Flags = (flags | OFN_ENABLEHOOK) & ~static_cast<DWORD>(OFN_EXPLORER);
  m_ofn.lpfnHook = &HookProc;
  m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
  if (fileName != nullptr) ::lstrcpynA(m_szFileName, fileName, sizeof m_szFileName);
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = sizeof m_szFileName;
  if (defExt != nullptr && *defExt != '\0') {
    m_strDefExt = defExt;
    m_ofn.lpstrDefExt = m_strDefExt.c_str();
  }
  if (filter != nullptr && *filter != '\0') {
    m_strFilter = filter;
    for (char& c : m_strFilter)
      if (c == '|') c = '\0';
    // The list ends with two NULs whether or not the text ended in "||".
    m_strFilter.push_back('\0');
    m_strFilter.push_back('\0');
    m_ofn.lpstrFilter = m_strFilter.c_str();
    m_ofn.nFilterIndex = 1;
  }
}

CFileDialog::~CFileDialog() = default;

std::string CFileDialog::GetFileTitle() const {
  const size_t length = std::strlen(m_szFileName);
  if (m_ofn.nFileOffset >= length) return std::string();
  return std::string(m_szFileName + m_ofn.nFileOffset);
}

INT_PTR CFileDialog::DoModal() {
  m_bEndedOk = false;
  // The old-style dialog moves the process's current directory as the user
  // browses; a resident program must not keep some folder of the user's busy.
  char cwd[MAX_PATH * 2] = {};
  const DWORD cwdLength = ::GetCurrentDirectoryA(sizeof cwd, cwd);
  const BOOL ok = m_bOpenDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  if (!ok) {
    if (DWORD error = ::CommDlgExtendedError()) Trace("The file dialog failed: error 0x%lx", error);
  }
  if (cwdLength > 0 && cwdLength < sizeof cwd) ::SetCurrentDirectoryA(cwd);
  m_hWnd = nullptr;
  return ok || m_bEndedOk ? IDOK : IDCANCEL;
}

void CFileDialog::EndDialog(INT_PTR result) {
  if (m_hWnd == nullptr) return;
  m_bEndedOk = result == IDOK;
  ::EndDialog(m_hWnd, result);
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  CFileDialog* self = nullptr;
  if (msg == WM_INITDIALOG) {
    auto* ofn = reinterpret_cast<OPENFILENAMEA*>(l);
    self = ofn != nullptr ? reinterpret_cast<CFileDialog*>(ofn->lCustData) : nullptr;
    if (self != nullptr) self->Bind(hwnd);
  } else {
    self = dynamic_cast<CFileDialog*>(FromHandle(hwnd));
  }
  if (self == nullptr) return 0;
  return self->HandleMessage<UINT_PTR>("file dialog hook", msg, [&] { return self->Dispatch(msg, w, l); });
}

UINT_PTR CFileDialog::Dispatch(UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_INITDIALOG) {
    if (g_fileDialogScript != nullptr) ::PostMessageA(m_hWnd, kRunScript, 0, 0);
    // The system's own initialisation has run; TRUE lets it set the focus.
    OnInitDialog();
    return TRUE;
  }
  if (msg == kRunScript && g_fileDialogScript != nullptr) {
    FileDialogScript* script = g_fileDialogScript;
    ++script->m_nRuns;
    HWND dialog = m_hWnd;
    script->m_script(dialog);
    // The dialog is not shown yet (the system shows it once its queue runs
    // dry), and whether the script ended it cannot be told from outside:
    // cancel it regardless. Once ended, the dialog never reads the message.
    if (::IsWindow(dialog)) ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  if (msg == WM_COMMAND) return OnCommand(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l)) ? TRUE : FALSE;
  if (msg == FileOkMessage()) return OnFileNameOK() ? TRUE : FALSE;
  return FALSE;
}

FileDialogScript::FileDialogScript(Script script) : m_script(std::move(script)), m_previous(g_fileDialogScript) {
  g_fileDialogScript = this;
}

FileDialogScript::~FileDialogScript() { g_fileDialogScript = m_previous; }

bool FileDialogScript::Active() { return g_fileDialogScript != nullptr; }

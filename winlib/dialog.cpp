#include "winlib/dialog.h"

#include <exception>

#include "winlib/platform_calls.h"
#include "winlib/trace.h"

HINSTANCE ResourceInstance() { return ::GetModuleHandleA(nullptr); }

CDialog::~CDialog() {
  // A modeless dialog deleted with its window still up: cut the window loose
  // first so that no message reaches a half-destroyed object, then close it.
  if (m_hWnd != nullptr && FromHandle(m_hWnd) == this && !m_bModal) {
    HWND hwnd = m_hWnd;
    Unbind();
    m_hWnd = nullptr;
    ::DestroyWindow(hwnd);
  }
}

bool CDialog::Create(HWND parent) {
  m_bModal = false;
  HWND hwnd = ::CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(m_nTemplateId), parent, &DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr) {
    Trace("CreateDialogParamA(%d) failed: %lu", m_nTemplateId, ::GetLastError());
    m_hWnd = nullptr;
    return false;
  }
  return true;
}

INT_PTR CDialog::DoModal(HWND owner) {
  m_bModal = true;
  m_nResult = -1;
  INT_PTR result = g_platform.DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(m_nTemplateId), owner,
                                              &DialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) Trace("DialogBoxParamA(%d) failed: %lu", m_nTemplateId, ::GetLastError());
  m_nResult = result;
  return result;
}

void CDialog::EndDialog(INT_PTR result) {
  m_nResult = result;
  if (m_hWnd == nullptr) return;
  if (m_bModal) {
    ::EndDialog(m_hWnd, result);
  } else {
    ::ShowWindow(m_hWnd, SW_HIDE);
  }
}

void CDialog::BindDialog(HWND hwnd, CDialog* dialog) {
  if (dialog != nullptr) dialog->Bind(hwnd);
}

bool CDialog::OnCommand(int id, int code, HWND control) {
  if (id == IDOK && code == BN_CLICKED) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL && code == BN_CLICKED) {
    OnCancel();
    return true;
  }
  return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  CDialog* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(l);
    BindDialog(hwnd, self);
  } else {
    self = dynamic_cast<CDialog*>(FromHandle(hwnd));
  }
  if (self == nullptr) return FALSE;
  return self->HandleMessage<INT_PTR>("dialog procedure", msg, [&] { return self->Dispatch(msg, w, l); });
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM w, LPARAM l) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
      return OnCommand(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l)) ? TRUE : FALSE;
    case WM_NOTIFY: {
      LRESULT notifyResult = 0;
      if (!OnNotify(reinterpret_cast<NMHDR*>(l), &notifyResult)) return FALSE;
      ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, notifyResult);
      return TRUE;
    }
    case WM_TIMER:
      OnTimer(w);
      return TRUE;
    case WM_CLOSE:
      return OnClose() ? TRUE : FALSE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default:
      if (OnMessage(msg, w, l, &result)) return result;
      return FALSE;
  }
}

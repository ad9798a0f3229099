#include "winlib/window_probe.h"

#include "winlib/platform_calls.h"
#include "winlib/window.h"

namespace {
ModalScript* g_activeScript = nullptr;

// Bounded: a window that keeps re-arming a short timer must not keep the
// caller here for ever.
void PumpWaiting(DWORD budgetMs = 250) {
  DWORD start = ::GetTickCount();
  MSG msg;
  while (::GetTickCount() - start <= budgetMs && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours to swallow: put it back for the loop that owns it.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (PreTranslateDialogMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}
}  // namespace

void PumpMessages(DWORD ms) {
  DWORD start = ::GetTickCount();
  PumpWaiting();
  while (::GetTickCount() - start < ms) {
    DWORD left = ms - (::GetTickCount() - start);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
    PumpWaiting();
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = ::GetTickCount();
  for (;;) {
    PumpWaiting();
    if (done()) return true;
    DWORD spent = ::GetTickCount() - start;
    if (spent >= timeoutMs) return done();
    DWORD left = timeoutMs - spent;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
  }
}

void ClickItem(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PressKey(HWND dialog, UINT virtualKey) {
  // Keyboard input goes to the control with the focus; the dialog manager
  // turns Enter and Escape into commands.
  HWND target = ::GetFocus();
  if (target == nullptr || ::GetAncestor(target, GA_ROOT) != dialog) target = dialog;
  MSG msg = {};
  msg.hwnd = target;
  msg.message = WM_KEYDOWN;
  msg.wParam = virtualKey;
  msg.lParam = 1;
  if (!::IsDialogMessageA(dialog, &msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  PumpWaiting();
}

ModalScript::ModalScript(Script script)
    : m_script(std::move(script)), m_previous(g_activeScript), m_saved(g_platform.DialogBoxParamA) {
  g_activeScript = this;
  g_platform.DialogBoxParamA = &ModalScript::Fake;
}

ModalScript::ModalScript(INT_PTR result) : ModalScript([result](HWND, int) { return result; }) {}

ModalScript::~ModalScript() {
  g_activeScript = m_previous;
  g_platform.DialogBoxParamA = m_saved;
}

INT_PTR WINAPI ModalScript::Fake(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  ModalScript* self = g_activeScript;
  int id = IS_INTRESOURCE(templateName) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(templateName)) : -1;
  self->m_runs.push_back(id);
  HWND dialog = ::CreateDialogParamA(instance, templateName, owner, proc, param);
  if (dialog == nullptr) return -1;
  self->m_lastTexts.clear();
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char text[512] = {};
    ::GetWindowTextA(child, text, sizeof text);
    self->m_lastTexts.push_back(text);
  }
  INT_PTR result = self->m_script(dialog, id);
  ::DestroyWindow(dialog);
  return result;
}

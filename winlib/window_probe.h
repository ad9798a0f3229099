// Driving and inspecting windows from tests and benchmarks: pump the
// thread's messages, press buttons, read rectangles, and answer modal dialogs
// without a person (ModalScript replaces g_platform.DialogBoxParamA).
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Processes the messages waiting for this thread (for a quarter of a second
// at most, should they never run out), then keeps pumping for at least ms
// milliseconds.
void PumpMessages(DWORD ms = 0);
// Pumps until done() is true or timeoutMs passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Presses a button the way a click does (BM_CLICK: WM_COMMAND BN_CLICKED).
void ClickItem(HWND dialog, int id);
// Sends a keystroke through the dialog's keyboard handling (Enter, Escape, Tab).
void PressKey(HWND dialog, UINT virtualKey);

// While it lives, every modal dialog run through the platform seam is created
// modeless and hidden instead, handed to the script, and then destroyed; the
// modal run returns what the script returns. Nothing waits for a person.
class ModalScript {
 public:
  // dialog: the created dialog (its OnInitDialog has run); templateId: the
  // resource it came from. Returns the modal result.
  using Script = std::function<INT_PTR(HWND dialog, int templateId)>;

  explicit ModalScript(Script script);
  // Answers every modal dialog with result without touching it.
  explicit ModalScript(INT_PTR result);
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  // Template IDs of the modal runs so far, in order.
  const std::vector<int>& Runs() const { return m_runs; }
  // Texts of every child control of the last dialog shown, in z-order.
  const std::vector<std::string>& LastTexts() const { return m_lastTexts; }

 private:
  static INT_PTR WINAPI Fake(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);

  Script m_script;
  std::vector<int> m_runs;
  std::vector<std::string> m_lastTexts;
  ModalScript* m_previous;
  INT_PTR(WINAPI* m_saved)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
};

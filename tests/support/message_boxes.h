// Records the message boxes shown through the platform seam while it lives,
// answering each with IDOK (or the answer set), so that no test waits for a
// person.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class MessageBoxRecorder {
 public:
  struct Box {
    std::string text, caption;
    UINT type;
  };

  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  const std::vector<Box>& Boxes() const { return m_boxes; }
  std::vector<std::string> Texts() const;
  void Clear() { m_boxes.clear(); }
  // What every later box answers (IDYES, IDNO...).
  void SetAnswer(int answer) { m_nAnswer = answer; }

 private:
  static int WINAPI Record(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

  std::vector<Box> m_boxes;
  int m_nAnswer = IDOK;
  MessageBoxRecorder* m_previous;
  int(WINAPI* m_saved)(HWND, LPCSTR, LPCSTR, UINT);
};

#include "support/message_boxes.h"

#include "winlib/platform_calls.h"

namespace {
MessageBoxRecorder* g_activeRecorder = nullptr;
}

MessageBoxRecorder::MessageBoxRecorder() : m_previous(g_activeRecorder), m_saved(g_platform.MessageBoxA) {
  g_activeRecorder = this;
  g_platform.MessageBoxA = &Record;
}

MessageBoxRecorder::~MessageBoxRecorder() {
  g_activeRecorder = m_previous;
  g_platform.MessageBoxA = m_saved;
}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::vector<std::string> texts;
  for (const Box& box : m_boxes) texts.push_back(box.text);
  return texts;
}

int WINAPI MessageBoxRecorder::Record(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (g_activeRecorder == nullptr) return IDOK;
  g_activeRecorder->m_boxes.push_back({text ? text : "", caption ? caption : "", type});
  return g_activeRecorder->m_nAnswer;
}

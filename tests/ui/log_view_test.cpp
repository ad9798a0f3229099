// The log's cap: past it the oldest whole lines go, and a note at the top
// says how many. Small caps make the cuts happen with a few hundred lines.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_env.h"
#include "ui/log_view.h"

namespace {

class RichEditHost {
 public:
  RichEditHost() {
    ::LoadLibraryA("riched20.dll");
    m_hwnd = ::CreateWindowExA(0, RICHEDIT_CLASSA, "", WS_POPUP | ES_MULTILINE | ES_READONLY | WS_VSCROLL, 0, 0, 300,
                               200, nullptr, nullptr, nullptr, nullptr);
  }
  ~RichEditHost() { ::DestroyWindow(m_hwnd); }
  HWND Hwnd() const { return m_hwnd; }

 private:
  HWND m_hwnd;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// The kept lines are whole, consecutive and end with the last one written;
// the note counts exactly the ones that went.
void ExpectTail(const LogView& log, const char* word, int written) {
  auto lines = Lines(log.Text());
  ASSERT_GE(lines.size(), 2u);
  long dropped = log.DroppedLines();
  EXPECT_EQ(lines[0], "--- " + std::to_string(dropped) +
                          " earlier lines were removed: the log keeps only the latest lines ---");
  ASSERT_EQ(static_cast<long>(lines.size() - 1) + dropped, written);
  for (size_t i = 1; i < lines.size(); ++i)
    EXPECT_EQ(lines[i], std::string(word) + " line " + std::to_string(dropped + static_cast<long>(i)) + " of the log")
        << i;
}

}  // namespace

TEST(LogView, BelowTheCapEverythingStaysAndTheLimitIsRaised) {
  RichEditHost host;
  LogView log;
  log.Attach(host.Hwnd());
  EXPECT_GT(::SendMessageA(host.Hwnd(), EM_GETLIMITTEXT, 0, 0), LogView::kCapChars);
  std::string batch;
  for (int i = 1; i <= 2000; ++i) batch += "ordinary line " + std::to_string(i) + " of the log\n";
  log.Append(batch);
  EXPECT_EQ(log.DroppedLines(), 0);
  EXPECT_EQ(log.AppendedLines(), 2000);
  auto lines = Lines(log.Text());
  ASSERT_EQ(lines.size(), 2000u);
  EXPECT_EQ(lines.back(), "ordinary line 2000 of the log");
}

TEST(LogView, PastTheCapTheOldestWholeLinesGoAndTheNoteSaysHowMany) {
  RichEditHost host;
  LogView log(2000, 1500);
  log.Attach(host.Hwnd());
  int written = 0;
  for (int batch = 0; batch < 40; ++batch) {
    std::string text;
    for (int i = 0; i < 7; ++i) text += "plain line " + std::to_string(++written) + " of the log\n";
    log.Append(text);
    ASSERT_LE(log.Length(), 2000);
  }
  EXPECT_GT(log.DroppedLines(), 0);
  ExpectTail(log, "plain", written);

  // A second cut replaces the note rather than stacking another one.
  long before = log.DroppedLines();
  std::string more;
  for (int i = 0; i < 60; ++i) more += "plain line " + std::to_string(++written) + " of the log\n";
  log.Append(more);
  EXPECT_GT(log.DroppedLines(), before);
  ExpectTail(log, "plain", written);
}

TEST(LogView, CutsCountCharactersNotBytesAndABatchLargerThanTheCapKeepsItsTail) {
  RichEditHost host;
  LogView log(3000, 2000);
  log.Attach(host.Hwnd());
  int written = 0;
  // Two bytes per letter in UTF-8: a byte count would cut inside lines.
  for (int batch = 0; batch < 30; ++batch) {
    std::string text;
    for (int i = 0; i < 5; ++i) text += "удалён line " + std::to_string(++written) + " of the log\n";
    log.Append(text);
  }
  ExpectTail(log, "удалён", written);

  std::string huge;
  for (int i = 0; i < 400; ++i) huge += "удалён line " + std::to_string(++written) + " of the log\n";
  log.Append(huge);
  ExpectTail(log, "удалён", written);
  EXPECT_LE(log.Length(), 3000);

  log.Clear();
  EXPECT_EQ(log.Length(), 0);
  EXPECT_EQ(log.DroppedLines(), 0);
  log.Append("fresh\n");
  EXPECT_EQ(log.Text(), "fresh\n");
}

namespace {
// The default character format of a rich edit: its face and height.
std::pair<std::string, LONG> FontOf(HWND edit) {
  CHARFORMAT2A format = {};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE;
  ::SendMessageA(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  return {format.szFaceName, format.yHeight};
}

void Pump() {
  MSG msg;
  for (int i = 0; i < 5; ++i) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    ::Sleep(10);
  }
}
}  // namespace

// The log in a window of its own font: a new control after Clear or a cut
// keeps the window's font (a rich edit may not answer WM_GETFONT with it).
TEST(LogView, ARenewedLogKeepsTheWindowsFont) {
  ::LoadLibraryA("riched20.dll");
  HWND parent = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                  nullptr);
  HWND edit = ::CreateWindowExA(0, RICHEDIT_CLASSA, "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL,
                                0, 0, 380, 280, parent, reinterpret_cast<HMENU>(1001), nullptr, nullptr);
  HFONT font = ::CreateFontA(-27, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
  ::SendMessageA(parent, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const auto given = FontOf(edit);
  LogView log(3000, 2000);
  log.Attach(edit);
  std::string batch;
  for (int i = 0; i < 40; ++i) batch += "line " + std::to_string(i) + " of the log\n";
  log.Append(batch);
  Pump();

  log.Clear();
  ASSERT_NE(log.Control(), edit) << "a new control";
  EXPECT_EQ(FontOf(log.Control()), given) << "after Clear";
  for (int i = 0; i < 8; ++i) log.Append(batch);
  EXPECT_GT(log.DroppedLines(), 0);
  EXPECT_EQ(FontOf(log.Control()), given) << "after a cut";
  ::DestroyWindow(parent);
  ::DeleteObject(font);
}

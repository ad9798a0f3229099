// The progress window under Xvfb: its layout and buttons, the sweep log
// arriving through it from several threads, and its destruction while
// category threads log as fast as they can.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <vector>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/settings_groups.h"
#include "support/test_env.h"
#include "support/sweep_table_swap.h"
#include "ui/progress_dlg.h"
#include "winlib/window_probe.h"

namespace {

const std::regex kStartLine("Start logging working messages  -- \\d\\d:\\d\\d [A-Z][a-z]{2}/\\d\\d/\\d{4}\n");
const int kStatusIds[] = {IDC_STATUS_WINDOWS, IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS, IDC_TOTALS};
const int kBarIds[] = {IDC_PROGRESS_WINDOWS, IDC_PROGRESS_INTERNET, IDC_PROGRESS_APPLICATIONS};
const int kButtonIds[] = {IDC_DETAILS, IDC_CLOSE_PROGRESS, IDC_CLEAR_LOG};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::string Show(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

// A control's rectangle in the template, in pixels: the dialog manager maps
// the position and the size each on their own.
RECT Dlu(HWND dlg, int x, int y, int w, int h) {
  RECT pos = {0, 0, x, y}, size = {0, 0, w, h};
  ::MapDialogRect(dlg, &pos);
  ::MapDialogRect(dlg, &size);
  return RECT{pos.right, pos.bottom, pos.right + size.right, pos.bottom + size.bottom};
}

int BarPos(CProgressDlg* dlg, int id) { return static_cast<int>(dlg->SendItemMessage(id, PBM_GETPOS)); }
int BarHigh(CProgressDlg* dlg, int id) { return static_cast<int>(dlg->SendItemMessage(id, PBM_GETRANGE, FALSE)); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size() - 1;
    lines.push_back(text.substr(pos, end - pos + 1));
    pos = end + 1;
  }
  return lines;
}

HWND g_fakePanel = nullptr;
HWND FakePanel() { return g_fakePanel; }

class ProgressWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DetachProgressSink();
    // Hidden: under Xvfb without a window manager, Wine waits two seconds
    // for every shown window it takes down again.
    m_dlg = CreateProgressWindow(nullptr, false);
    ASSERT_NE(m_dlg, nullptr);
    ASSERT_EQ(g_pProgressDlg, m_dlg);
    PumpMessages();
    m_dlg->Flush();
  }
  void TearDown() override {
    DestroyProgressWindow();
    SetControlPanelLocator(nullptr);
    if (g_fakePanel) ::DestroyWindow(g_fakePanel);
    g_fakePanel = nullptr;
  }
  std::string LogText() {
    PumpMessages();
    m_dlg->Flush();
    return m_dlg->Log().Text();
  }
  HWND Hwnd() const { return m_dlg->m_hWnd; }

  CProgressDlg* m_dlg = nullptr;
};

}  // namespace

TEST_F(ProgressWindowTest, OpensWithTheLogShownWaitingTextsAndOneStartLine) {
  EXPECT_EQ(m_dlg->GetWindowText(), "Sweeping Progress");
  EXPECT_FALSE(m_dlg->IsWindowVisible()) << "created hidden, as asked";
  EXPECT_EQ(m_dlg->m_bVisible, 0);
  EXPECT_EQ(m_dlg->m_bDetails, 1);
  EXPECT_EQ(m_dlg->GetItemText(IDC_DETAILS), "Hide Details");
  for (int id : kStatusIds) EXPECT_EQ(m_dlg->GetItemText(id), "Waiting to start sweeping") << id;
  for (int id : kBarIds) {
    EXPECT_EQ(BarPos(m_dlg, id), 0);
    EXPECT_EQ(BarHigh(m_dlg, id), 100);
  }
  EXPECT_NE(m_dlg->SendMessage(WM_GETICON, ICON_BIG), 0);
  EXPECT_NE(m_dlg->SendMessage(WM_GETICON, ICON_SMALL), 0);

  // The log sits where the buttons are in the template, the buttons below it.
  EXPECT_TRUE(m_dlg->IsItemVisible(IDC_SWEEP_LOG));
  RECT log = Dlu(Hwnd(), 23, 205, 211, 86), details = Dlu(Hwnd(), 14, 141, 50, 14);
  RECT expected = {details.left, details.top, details.left + (log.right - log.left),
                   details.top + (log.bottom - log.top)};
  EXPECT_TRUE(SameRect(m_dlg->GetItemRect(IDC_SWEEP_LOG), expected)) << Show(m_dlg->GetItemRect(IDC_SWEEP_LOG));
  int dy = (log.bottom - log.top) + (details.bottom - details.top) / 2;
  EXPECT_EQ(m_dlg->GetItemRect(IDC_DETAILS).top, details.top + dy);

  auto lines = SplitLines(LogText());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], kStartLine)) << lines[0];
}

TEST_F(ProgressWindowTest, DetailsFoldsTheLogAwayAndTwiceRestoresEveryRectangle) {
  RECT window = m_dlg->GetWindowRect(), logOpen = m_dlg->GetItemRect(IDC_SWEEP_LOG);
  RECT buttons[3];
  for (int i = 0; i < 3; ++i) buttons[i] = m_dlg->GetItemRect(kButtonIds[i]);

  ClickItem(Hwnd(), IDC_DETAILS);
  EXPECT_EQ(m_dlg->m_bDetails, 0);
  EXPECT_EQ(m_dlg->GetItemText(IDC_DETAILS), "Details");
  EXPECT_FALSE(m_dlg->IsItemVisible(IDC_SWEEP_LOG));
  // Closed, the buttons are back where the template puts them.
  EXPECT_TRUE(SameRect(m_dlg->GetItemRect(IDC_DETAILS), Dlu(Hwnd(), 14, 141, 50, 14)));
  EXPECT_TRUE(SameRect(m_dlg->GetItemRect(IDC_CLEAR_LOG), Dlu(Hwnd(), 99, 141, 50, 14)));
  EXPECT_TRUE(SameRect(m_dlg->GetItemRect(IDC_CLOSE_PROGRESS), Dlu(Hwnd(), 184, 141, 50, 14)));
  RECT closed = m_dlg->GetWindowRect();
  RECT log = Dlu(Hwnd(), 23, 205, 211, 86), b = Dlu(Hwnd(), 14, 141, 50, 14);
  EXPECT_EQ(closed.bottom - closed.top,
            (window.bottom - window.top) - (log.bottom - log.top) - (b.bottom - b.top) / 2);
  EXPECT_EQ(closed.left, window.left);
  EXPECT_EQ(closed.top, window.top);

  ClickItem(Hwnd(), IDC_DETAILS);
  EXPECT_EQ(m_dlg->m_bDetails, 1);
  EXPECT_EQ(m_dlg->GetItemText(IDC_DETAILS), "Hide Details");
  EXPECT_TRUE(m_dlg->IsItemVisible(IDC_SWEEP_LOG));
  EXPECT_TRUE(SameRect(m_dlg->GetWindowRect(), window)) << Show(m_dlg->GetWindowRect());
  EXPECT_TRUE(SameRect(m_dlg->GetItemRect(IDC_SWEEP_LOG), logOpen));
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(SameRect(m_dlg->GetItemRect(kButtonIds[i]), buttons[i])) << kButtonIds[i];

  // Enter presses the default button, Details.
  PressKey(Hwnd(), VK_RETURN);
  EXPECT_EQ(m_dlg->m_bDetails, 0);
}

TEST_F(ProgressWindowTest, CloseEscapeAndWmCloseHideAndAHiddenWindowKeepsItsLines) {
  m_dlg->Show();
  EXPECT_TRUE(m_dlg->IsWindowVisible());
  EXPECT_EQ(m_dlg->m_bVisible, 1);
  ClickItem(Hwnd(), IDC_CLOSE_PROGRESS);
  EXPECT_FALSE(m_dlg->IsWindowVisible());
  EXPECT_EQ(m_dlg->m_bVisible, 0);
  EXPECT_NE(::IsWindow(Hwnd()), FALSE) << "Close hides, it does not destroy";

  LogLine("written while hidden\n", IDC_STATUS_WINDOWS);
  ClickItem(Hwnd(), IDC_DETAILS);  // details closed too: the log control is folded away
  LogLine("written while folded\n", 0);
  // The window applies its queue on its own time: wait for it, hidden or not.
  EXPECT_TRUE(PumpUntil([&] { return m_dlg->Log().Text().find("written while folded") != std::string::npos; }, 5000));
  m_dlg->Show();
  EXPECT_TRUE(m_dlg->IsWindowVisible());
  EXPECT_EQ(m_dlg->m_bVisible, 1);
  auto lines = SplitLines(LogText());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "written while hidden\n");
  EXPECT_EQ(lines[2], "written while folded\n");
  EXPECT_EQ(m_dlg->GetItemText(IDC_STATUS_WINDOWS), "written while hidden") << "shown without its line end";

  m_dlg->SendMessage(WM_CLOSE);
  PumpMessages();
  EXPECT_FALSE(m_dlg->IsWindowVisible());
  EXPECT_EQ(m_dlg->m_bVisible, 0);

  m_dlg->Show();
  PressKey(Hwnd(), VK_ESCAPE);
  EXPECT_FALSE(m_dlg->IsWindowVisible());
  EXPECT_EQ(m_dlg->m_bVisible, 0) << "a hidden window must not count as visible";
  EXPECT_EQ(g_pProgressDlg, m_dlg);
  EXPECT_TRUE(SplitLines(LogText()).size() == 3u) << "hiding loses nothing";
}

TEST_F(ProgressWindowTest, ClearLogAsksFirstAndCancelChangesNothing) {
  LogLine("   Item 1, Remove file: a\n", IDC_STATUS_INTERNET);
  SetProgress(IDC_PROGRESS_INTERNET, 40);
  AddTotals(1, 2.0f);
  ShowTotals();
  SetTitle("Sweeping Completed");
  std::string before = LogText();
  std::string totals = m_dlg->GetItemText(IDC_TOTALS);

  ModalScript cancel(IDCANCEL);
  ClickItem(Hwnd(), IDC_CLEAR_LOG);
  ASSERT_EQ(cancel.Runs(), std::vector<int>{IDD_CLEAR_LOG});
  EXPECT_NE(std::find(cancel.LastTexts().begin(), cancel.LastTexts().end(), "Log details will be cleared."),
            cancel.LastTexts().end());
  EXPECT_EQ(LogText(), before);
  EXPECT_EQ(m_dlg->GetItemText(IDC_STATUS_INTERNET), "   Item 1, Remove file: a");
  EXPECT_EQ(m_dlg->GetItemText(IDC_TOTALS), totals);
  EXPECT_EQ(BarPos(m_dlg, IDC_PROGRESS_INTERNET), 40);
  EXPECT_EQ(m_dlg->GetWindowText(), "Sweeping Completed");
  EXPECT_EQ(m_dlg->m_nTotalItems, 1);
}

TEST_F(ProgressWindowTest, ClearLogWithOkLeavesOnlyAFreshStartLineAndResetsTheDisplay) {
  for (int i = 0; i < 50; ++i) LogFormat(IDC_STATUS_WINDOWS, "   Item %d, Remove file: x\n", i + 1);
  SetProgress(IDC_PROGRESS_WINDOWS, 70);
  AddTotals(50, 5.0f);
  ShowTotals();
  SetTitle("Sweeping Completed");
  LogText();
  LogLine("queued, not yet shown\n", 0);  // still in the queue when the clear comes

  // The confirmation is answered by pressing its OK button.
  ModalScript ok([](HWND dialog, int) {
    ClickItem(dialog, IDOK);
    return static_cast<INT_PTR>(IDOK);
  });
  ClickItem(Hwnd(), IDC_CLEAR_LOG);
  auto lines = SplitLines(LogText());
  ASSERT_EQ(lines.size(), 1u) << LogText();
  EXPECT_TRUE(std::regex_match(lines[0], kStartLine)) << lines[0];
  for (int id : kStatusIds) EXPECT_EQ(m_dlg->GetItemText(id), "Waiting to start sweeping") << id;
  for (int id : kBarIds) EXPECT_EQ(BarPos(m_dlg, id), 0);
  EXPECT_EQ(m_dlg->GetWindowText(), "Sweeping Progress");
  EXPECT_EQ(m_dlg->m_nTotalItems, 0);
  EXPECT_EQ(m_dlg->m_fTotalKB, 0.0f);
}

TEST_F(ProgressWindowTest, TheSweepLogDrivesBarsStatusLinesTotalsAndCaption) {
  SetProgress(IDC_PROGRESS_APPLICATIONS, 150);
  SetProgress(IDC_PROGRESS_WINDOWS, 30);
  int count = 0;
  LogItem(&count, IDC_STATUS_APPLICATIONS, "   ", "Remove file: %s\n", "C:\\a & b.txt");
  AddTotals(3, 1.25f);
  AddTotals(3, 0.1f);
  ShowTotals();
  SetTitle("Sweeping Completed");
  EXPECT_TRUE(PumpUntil([&] { return m_dlg->GetWindowText() == "Sweeping Completed"; }, 5000));
  EXPECT_EQ(BarPos(m_dlg, IDC_PROGRESS_APPLICATIONS), 100);
  EXPECT_EQ(BarPos(m_dlg, IDC_PROGRESS_WINDOWS), 30);
  EXPECT_EQ(m_dlg->GetItemText(IDC_STATUS_APPLICATIONS), "   Item 1, Remove file: C:\\a & b.txt");
  EXPECT_EQ(m_dlg->GetItemText(IDC_TOTALS), "Total: 6 item(s) swept, 1.350 KB restored.");
  EXPECT_EQ(m_dlg->GetWindowText(), "Sweeping Completed");

  ResetProgress();
  EXPECT_TRUE(PumpUntil([&] { return m_dlg->GetWindowText() == "Sweeping Progress"; }, 5000));
  for (int id : kStatusIds) EXPECT_EQ(m_dlg->GetItemText(id), "Waiting to start sweeping") << id;
  for (int id : kBarIds) EXPECT_EQ(BarPos(m_dlg, id), 0);
  EXPECT_EQ(m_dlg->GetWindowText(), "Sweeping Progress");
}

TEST_F(ProgressWindowTest, ShowPlacesTheWindowFlushRightOfAnOpenPanel) {
  RECT size = m_dlg->GetWindowRect();
  m_dlg->Show();
  EXPECT_TRUE(SameRect(m_dlg->GetWindowRect(), size)) << "without a panel the window stays where it is";
  EXPECT_TRUE(m_dlg->IsWindowVisible());

  g_fakePanel = ::CreateWindowExA(0, "STATIC", "panel", WS_POPUP | WS_VISIBLE, 40, 60, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
  SetControlPanelLocator(&FakePanel);
  m_dlg->Show();
  RECT r = m_dlg->GetWindowRect();
  EXPECT_EQ(r.left, 340);
  EXPECT_EQ(r.top, 60);
  EXPECT_EQ(r.right - r.left, size.right - size.left);
  EXPECT_EQ(r.bottom - r.top, size.bottom - size.top);
  EXPECT_TRUE(m_dlg->IsWindowVisible());

  // A window created while the panel is open starts beside it too.
  DestroyProgressWindow();
  m_dlg = CreateProgressWindow(nullptr, false);
  ASSERT_NE(m_dlg, nullptr);
  EXPECT_EQ(m_dlg->GetWindowRect().left, 340);
  EXPECT_FALSE(m_dlg->IsWindowVisible());
}

TEST_F(ProgressWindowTest, LinesFromThreeThreadsArriveWholeOnceAndInOrder) {
  constexpr int kPerThread = 300;  // within what the log holds
  m_dlg->Hide();
  std::vector<HANDLE> threads;
  for (int t = 0; t < 3; ++t) {
    threads.push_back(::CreateThread(
        nullptr, 0,
        [](void* raw) -> DWORD {
          int t = static_cast<int>(reinterpret_cast<INT_PTR>(raw));
          int count = 0;
          for (int i = 0; i < kPerThread; ++i)
            LogItem(&count, IDC_STATUS_WINDOWS + t, "   ", "thread %d wrote line %d of this sweep\n", t, i + 1);
          return 0;
        },
        reinterpret_cast<void*>(static_cast<INT_PTR>(t)), 0, nullptr));
  }
  PumpUntil([&] { return ::WaitForMultipleObjects(3, threads.data(), TRUE, 0) == WAIT_OBJECT_0; }, 30000);
  for (HANDLE h : threads) ::CloseHandle(h);

  auto lines = SplitLines(LogText());
  ASSERT_EQ(lines.size(), 1u + 3 * kPerThread);
  int next[3] = {1, 1, 1};
  for (size_t i = 1; i < lines.size(); ++i) {
    int item = 0, t = -1, n = 0;
    char tail[32] = {};
    ASSERT_EQ(std::sscanf(lines[i].c_str(), "   Item %d, thread %d wrote line %d of this %31s", &item, &t, &n, tail), 4)
        << "line " << i << " is not whole: " << lines[i];
    ASSERT_TRUE(t >= 0 && t < 3 && item == n && n == next[t]) << "line " << i << ": " << lines[i];
    ++next[t];
  }
  EXPECT_EQ(m_dlg->Log().DroppedLines(), 0);

  // Past its cap the log keeps its latest lines in a new control, which the
  // window finds where the old one was, and the note counts what went.
  const HWND first = m_dlg->GetItem(IDC_SWEEP_LOG);
  for (int i = 1; i <= 3000; ++i) LogFormat(0, "later line %d of this sweep\n", i);
  m_dlg->Flush();
  EXPECT_GT(m_dlg->Log().DroppedLines(), 0);
  EXPECT_EQ(m_dlg->GetItem(IDC_SWEEP_LOG), m_dlg->Log().Control());
  EXPECT_NE(m_dlg->Log().Control(), first);
  EXPECT_FALSE(::IsWindow(first));
  lines = SplitLines(LogText());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("--- ", 0), 0u) << lines[0];
  EXPECT_EQ(lines.back(), "later line 3000 of this sweep\n");
  EXPECT_LE(m_dlg->Log().Length(), LogView::kCapChars);
}

// --- destruction while category threads write ----------------------------

namespace {

std::atomic<bool> g_destroying{false};
std::atomic<int> g_lateCalls{0};

// Counts sink calls that arrive once the window has started going away.
class WatchedProgressDlg : public CProgressDlg {
 public:
  void AppendLog(const char* text) override {
    Note();
    CProgressDlg::AppendLog(text);
  }
  void SetItemText(int id, const char* text) override {
    Note();
    CProgressDlg::SetItemText(id, text);
  }
  void SetBarPos(int id, unsigned pos) override {
    Note();
    CProgressDlg::SetBarPos(id, pos);
  }

 protected:
  void OnDestroy() override { g_destroying = true; }

 private:
  static void Note() {
    if (g_destroying) ++g_lateCalls;
  }
};

std::atomic<bool> g_stopHammer{false};

DWORD WINAPI Hammer(void* raw) {
  int statusId = static_cast<int>(reinterpret_cast<INT_PTR>(raw));
  int count = 0;
  while (!g_stopHammer) {
    LogItem(&count, statusId, "   ", "Remove file: C:\\hammer\\%d.tmp, size 1.000(KB).\n", count);
    if (count % 64 == 0) SetProgress(IDC_PROGRESS_WINDOWS, static_cast<unsigned>(count % 101));
  }
  return 0;
}

template <int Id>
void FastCleaner(SweepWorker* worker, int* count, float* kb) {
  for (int i = 0; i < 2000 && !worker->IsCancelled(SWEEP_ALL); ++i) {
    LogItem(count, IDC_STATUS_WINDOWS + Id, "   ", "Remove file: C:\\sweep\\%d\\%d.tmp\n", Id, i);
    if (kb) *kb += 1.0f;
  }
}

using TableSwap = SweepTableSwap;

}  // namespace

TEST(ProgressWindowTeardown, NoWriteReachesTheWindowOnceItsDestructionBegan) {
  DetachProgressSink();
  g_stopHammer = false;
  HANDLE threads[3];
  for (int t = 0; t < 3; ++t)
    threads[t] = ::CreateThread(nullptr, 0, &Hammer, reinterpret_cast<void*>(static_cast<INT_PTR>(IDC_STATUS_WINDOWS + t)),
                                0, nullptr);
  g_lateCalls = 0;
  for (int round = 0; round < 20; ++round) {
    g_destroying = false;
    auto* dlg = new WatchedProgressDlg;
    ASSERT_TRUE(dlg->Create(nullptr));
    g_pProgressDlg = dlg;
    if (round == 3) dlg->Show();
    PumpMessages(static_cast<DWORD>(round % 5) * 10);
    DestroyProgressWindow();
    EXPECT_EQ(CurrentProgressSink(), nullptr);
    EXPECT_EQ(g_pProgressDlg, nullptr);
  }
  g_stopHammer = true;
  ::WaitForMultipleObjects(3, threads, TRUE, 10000);
  for (HANDLE h : threads) ::CloseHandle(h);
  EXPECT_EQ(g_lateCalls.load(), 0);
}

TEST(ProgressWindowTeardown, ExitWhileCategoriesLogNeverDeadlocks) {
  DetachProgressSink();
  static const SweepStep w[] = {{10, true, 0, &FastCleaner<0>}, {60, true, 0, &FastCleaner<0>}};
  static const SweepStep i[] = {{10, true, 0, &FastCleaner<1>}};
  static const SweepStep a[] = {{10, true, 0, &FastCleaner<2>}};
  TableSwap sw(WindowsSweepTable(), w, 2), si(InternetSweepTable(), i, 1), sa(ApplicationsSweepTable(), a, 1);
  for (int round = 0; round < 8; ++round) {
    ASSERT_NE(CreateProgressWindow(nullptr, round == 2), nullptr);
    auto* worker = new SweepWorker;
    worker->Start();
    worker->Lock();
    worker->RequestSweep(SWEEP_WINDOWS | SWEEP_INTERNET | SWEEP_APPLICATIONS);
    worker->Unlock();
    PumpMessages(static_cast<DWORD>(round) * 15);
    if (round % 2 == 0) {
      // The GUI thread waits for the workers without pumping while the
      // window lives: workers must not need it.
      worker->Quit();
      DestroyProgressWindow();
    } else {
      // The exit order: the window goes first, then the worker is waited for.
      DestroyProgressWindow();
      worker->Quit();
    }
    EXPECT_EQ(CurrentProgressSink(), nullptr);
  }
}

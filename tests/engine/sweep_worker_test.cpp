#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/letter_places.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "support/generated_cases.h"
#include "support/test_env.h"
#include "support/sweep_table_swap.h"

namespace {

// --- recording cleaners -------------------------------------------------

std::mutex g_callsMutex;
std::vector<int> g_calls;
HANDLE g_release = nullptr;        // manual-reset: blocking cleaners wait for it
std::atomic<int> g_itemsPerCall{0};

void Record(int id) {
  std::lock_guard<std::mutex> hold(g_callsMutex);
  g_calls.push_back(id);
}

std::vector<int> Calls() {
  std::lock_guard<std::mutex> hold(g_callsMutex);
  return g_calls;
}

template <int Id>
void Rec(SweepWorker*, int* count, float* kb) {
  Record(Id);
  for (int i = 0; i < g_itemsPerCall; ++i) {
    LogItem(count, 0, "   ", "removed by %d\n", Id);
    if (kb) *kb += 0.5f;
  }
}

template <int Id>
void Blocking(SweepWorker*, int*, float*) {
  Record(Id);
  ::WaitForSingleObject(g_release, 20000);
}

void CancelsWindowsAndInternet(SweepWorker* worker, int* count, float* kb) {
  Record(50);
  LogItem(count, IDC_STATUS_INTERNET, "   ", "removed before the cancel\n");
  if (kb) *kb += 4.0f;
  worker->RequestCancel(SWEEP_INTERNET);
}

using TableSwap = SweepTableSwap;

// A hidden window of the test thread that collects WM_SWEEP_FINISHED posts.
class PostCollector {
 public:
  PostCollector() {
    m_hwnd = ::CreateWindowExA(0, "STATIC", "collector", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  ~PostCollector() { ::DestroyWindow(m_hwnd); }
  HWND Hwnd() const { return m_hwnd; }

  // Pumps until `n` posts have arrived in all, or the time-out passes.
  const std::vector<std::pair<int, int>>& WaitFor(size_t n, DWORD timeoutMs = 20000) {
    DWORD start = ::GetTickCount();
    while (m_posts.size() < n && ::GetTickCount() - start < timeoutMs) {
      Drain();
      if (m_posts.size() < n) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
    }
    return m_posts;
  }
  const std::vector<std::pair<int, int>>& Drain() {
    MSG msg;
    while (::PeekMessageA(&msg, m_hwnd, WM_SWEEP_FINISHED, WM_SWEEP_FINISHED, PM_REMOVE))
      m_posts.emplace_back(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
    return m_posts;
  }
  size_t CountOf(int category, int state) {
    return std::count(m_posts.begin(), m_posts.end(), std::make_pair(category, state));
  }

 private:
  HWND m_hwnd;
  std::vector<std::pair<int, int>> m_posts;
};

class SweepWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_itemsPerCall = 0;
    g_release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_savedTargets[0] = g_WindowsSettings.m_nTargets;
    m_savedTargets[1] = g_InternetSettings.m_nTargets;
    m_savedTargets[2] = g_ApplicationSettings.m_nTargets;
    g_WindowsSettings.m_nTargets = g_InternetSettings.m_nTargets = g_ApplicationSettings.m_nTargets = 0x7FF;
    m_worker = new SweepWorker;
    m_worker->SetNotifyWindow(m_posts.Hwnd());
    m_worker->Start();
  }
  void TearDown() override {
    ::SetEvent(g_release);
    if (m_worker) m_worker->Quit();
    ::CloseHandle(g_release);
    g_WindowsSettings.m_nTargets = m_savedTargets[0];
    g_InternetSettings.m_nTargets = m_savedTargets[1];
    g_ApplicationSettings.m_nTargets = m_savedTargets[2];
  }

  ProgressRecorder m_rec;
  PostCollector m_posts;
  SweepWorker* m_worker = nullptr;
  int m_savedTargets[3];
};

const std::pair<int, int> kStarted(int c) { return {c, SWEEP_STARTED}; }
const std::pair<int, int> kEnded(int c) { return {c, SWEEP_ENDED}; }

}  // namespace

TEST_F(SweepWorkerTest, OneRequestForAllStartsApplicationsThenWindowsThenInternet) {
  TableSwap w(WindowsSweepTable(), {{50, true, 0, &Rec<1>}});
  TableSwap i(InternetSweepTable(), {{50, true, 0, &Rec<2>}});
  TableSwap a(ApplicationsSweepTable(), {{50, true, 0, &Rec<3>}});
  m_worker->Lock();
  m_worker->RequestSweep(SWEEP_INTERNET);
  m_worker->RequestSweep(SWEEP_WINDOWS | SWEEP_APPLICATIONS);
  m_worker->Unlock();
  const auto& posts = m_posts.WaitFor(6);
  ASSERT_EQ(posts.size(), 6u);
  std::vector<std::pair<int, int>> started;
  for (auto p : posts)
    if (p.second == SWEEP_STARTED) started.push_back(p);
  EXPECT_EQ(started, (std::vector<std::pair<int, int>>{kStarted(SWEEP_CATEGORY_APPLICATIONS),
                                                         kStarted(SWEEP_CATEGORY_WINDOWS),
                                                         kStarted(SWEEP_CATEGORY_INTERNET)}));
  for (int c : {0, 1, 2}) EXPECT_EQ(m_posts.CountOf(c, SWEEP_ENDED), 1u);
  auto calls = Calls();
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
  auto log = m_rec.LogLines();
  auto has = [&](const char* prefix) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(has("Start a thread to clean up the history for applications. @ "));
  EXPECT_TRUE(has("Finish the thread cleanning the history for the internet browser. @ "));
  EXPECT_FALSE(m_worker->IsAnyRunning());
}

TEST_F(SweepWorkerTest, ARunningCategoryIsNeverStartedTwice) {
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &Blocking<1>}});
  m_worker->RequestSweep(SWEEP_WINDOWS);
  ASSERT_EQ(m_posts.WaitFor(1).size(), 1u);
  EXPECT_TRUE(m_worker->IsRunning(SWEEP_CATEGORY_WINDOWS));
  m_worker->RequestSweep(SWEEP_WINDOWS);
  m_worker->RequestSweep(SWEEP_WINDOWS);
  ::Sleep(200);
  EXPECT_EQ(m_posts.Drain().size(), 1u);
  ::SetEvent(g_release);
  m_posts.WaitFor(2);
  ::Sleep(100);
  m_posts.Drain();
  EXPECT_EQ(m_posts.CountOf(SWEEP_CATEGORY_WINDOWS, SWEEP_STARTED), 1u);
  EXPECT_EQ(m_posts.CountOf(SWEEP_CATEGORY_WINDOWS, SWEEP_ENDED), 1u);
  EXPECT_EQ(Calls(), std::vector<int>{1});
}

TEST_F(SweepWorkerTest, ALaterRequestStartsOnlyWhatWasAsked) {
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &Rec<1>}});
  TableSwap i(InternetSweepTable(), {{10, true, 0, &Rec<2>}});
  m_worker->RequestSweep(SWEEP_INTERNET);
  ASSERT_EQ(m_posts.WaitFor(2).size(), 2u);
  m_worker->RequestSweep(SWEEP_WINDOWS);
  const auto& posts = m_posts.WaitFor(4);
  ASSERT_EQ(posts.size(), 4u);
  EXPECT_EQ(posts[2], kStarted(SWEEP_CATEGORY_WINDOWS));
  EXPECT_EQ(posts[3], kEnded(SWEEP_CATEGORY_WINDOWS));
  EXPECT_EQ(Calls(), (std::vector<int>{2, 1}));
}

// Where each drive letter leads is noted as a sweep begins. A category that
// starts while another runs (a browser's sweep, chosen entries) keeps that
// note: a folder moved meanwhile, a link left at its name, is never noted as
// where the letter's folder stood, or the first category's look would pass
// it.
TEST_F(SweepWorkerTest, ACategoryStartedDuringAnotherKeepsWhereTheLettersLedAsTheSweepBegan) {
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &Blocking<1>}});
  TableSwap i(InternetSweepTable(), {{10, true, 0, &Rec<2>}});
  ::CreateDirectoryA("D:\\fixtures", nullptr);
  const std::string top = UnixPathOf("D:\\fixtures") + "/letter-noted";
  const std::string letter = DriveLetterLink('q');
  ASSERT_TRUE(RunUnixCommand("rm -rf '" + top + "' && mkdir -p '" + top + "/anc/w' '" + top + "/k' && ln -sfn '" + top +
                             "/anc/w' '" + letter + "'"));
  SettleDriveLetters();
  m_worker->RequestSweep(SWEEP_WINDOWS);
  ASSERT_EQ(m_posts.WaitFor(1).size(), 1u);
  for (int n = 0; n < 1000 && Calls().empty(); ++n) ::Sleep(10);
  ASSERT_TRUE(RunUnixCommand("mv '" + top + "/anc/w' '" + top + "/k/w' && ln -s '" + top + "/k/w' '" + top + "/anc/w'"));
  m_worker->RequestSweep(SWEEP_INTERNET);
  ASSERT_EQ(m_posts.WaitFor(3).size(), 3u) << "Internet started and ended while Windows runs";
  std::wstring name = L"\\??\\Q:\\x";
  const bool spelt = SpeltFromAbove(&name);
  ::SetEvent(g_release);
  m_posts.WaitFor(4);
  RunUnixCommand("rm -f '" + letter + "'; rm -rf '" + top + "'");
  SettleDriveLetters();
  ASSERT_TRUE(spelt);
  EXPECT_NE(name.find(L"\\anc\\w\\x"), std::wstring::npos) << std::string(name.begin(), name.end());
}

namespace {
struct QuitCtx {
  SweepWorker* worker;
  std::atomic<bool> returned{false};
};
unsigned QuitOnThread(void* p) {
  auto* c = static_cast<QuitCtx*>(p);
  c->worker->Quit();
  c->returned = true;
  return 0;
}
}  // namespace

TEST_F(SweepWorkerTest, QuitWaitsForBothRunningCategoriesAndTheirEndNotices) {
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &Blocking<1>}});
  TableSwap i(InternetSweepTable(), {{10, true, 0, &Blocking<2>}});
  m_worker->RequestSweep(SWEEP_WINDOWS | SWEEP_INTERNET);
  ASSERT_EQ(m_posts.WaitFor(2).size(), 2u);
  QuitCtx ctx;
  ctx.worker = m_worker;
  m_worker = nullptr;  // Quit deletes it
  Thread* quitter = Thread::Begin(&QuitOnThread, &ctx, false);
  ::Sleep(300);
  EXPECT_FALSE(ctx.returned.load()) << "Quit returned while categories still ran";
  ::SetEvent(g_release);
  ASSERT_TRUE(quitter->Wait(20000));
  delete quitter;
  EXPECT_TRUE(ctx.returned.load());
  m_posts.Drain();
  EXPECT_EQ(m_posts.CountOf(SWEEP_CATEGORY_WINDOWS, SWEEP_ENDED), 1u);
  EXPECT_EQ(m_posts.CountOf(SWEEP_CATEGORY_INTERNET, SWEEP_ENDED), 1u);
  auto log = m_rec.LogLines();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l.rfind("Working thread received a termination message. @ ", 0) == 0;
  }));
}

// What a cancelled category removed before the cancel was removed: it is in
// the totals, whether the cancel came between two steps or during the rule
// entries that follow the table.
TEST_F(SweepWorkerTest, ACancelBetweenStepsKeepsWhatWasRemovedInTheTotalsAndWritesNoFinishLine) {
  TableSwap i(InternetSweepTable(), {{20, true, 0, &CancelsWindowsAndInternet}, {40, true, 0, &Rec<2>},
                                     {60, true, 0, &Rec<3>}});
  m_worker->RequestSweep(SWEEP_INTERNET);
  ASSERT_EQ(m_posts.WaitFor(2).size(), 2u);
  EXPECT_EQ(Calls(), std::vector<int>{50});
  EXPECT_EQ(m_rec.BarHistory(IDC_PROGRESS_INTERNET), (std::vector<int>{0, 20, 40}));
  EXPECT_EQ(m_rec.m_nTotalItems, 1);
  EXPECT_EQ(m_rec.m_fTotalKB, 4.0f);
  EXPECT_EQ(m_rec.ItemText(IDC_TOTALS), "Total: 1 item(s) swept, 4.000 KB restored.");
  for (const auto& l : m_rec.LogLines()) EXPECT_EQ(l.find("Finished cleaning up."), std::string::npos);
  // The item is in the log; the status line says the category was cancelled.
  const auto log = m_rec.LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "   Item 1, removed before the cancel\n"), log.end());
  EXPECT_EQ(m_rec.ItemText(IDC_STATUS_INTERNET).rfind("Sweeping cancelled. @ ", 0), 0u);
  // The cancel bit ends with the thread: the next request runs in full.
  g_calls.clear();
  m_worker->RequestSweep(SWEEP_INTERNET);
  ASSERT_EQ(m_posts.WaitFor(4).size(), 4u);
  EXPECT_EQ(Calls(), (std::vector<int>{50}));  // cancelled again by its own first step
}

TEST_F(SweepWorkerTest, ACancelDuringTheRuleEntriesKeepsTheWholeCategoryInTheTotals) {
  g_itemsPerCall = 2;
  TableSwap i(InternetSweepTable(), {{20, true, 0, &Rec<1>}});
  // The rule entries run after the table; this one removes an item and is
  // cancelled before it ends.
  SetCategoryExtraSweep([](SweepWorker* worker, SweepCategory, int* count, float* kb) {
    LogItem(count, IDC_STATUS_INTERNET, "   ", "removed by a rule entry\n");
    if (kb) *kb += 3.0f;
    worker->RequestCancel(SWEEP_INTERNET);
  });
  m_worker->RequestSweep(SWEEP_INTERNET);
  const size_t posts = m_posts.WaitFor(2).size();
  SetCategoryExtraSweep(nullptr);
  ASSERT_EQ(posts, 2u);
  EXPECT_EQ(m_rec.m_nTotalItems, 3);
  EXPECT_EQ(m_rec.m_fTotalKB, 4.0f);
  EXPECT_EQ(m_rec.ItemText(IDC_TOTALS), "Total: 3 item(s) swept, 4.000 KB restored.");
}

namespace {
// A step that walks one large folder with one of the walker's loops.
enum class WalkLoop { kTree, kFiles, kChosen };
std::string g_walkFolder;
WalkLoop g_walkLoop = WalkLoop::kTree;
void WalkLargeFolder(SweepWorker*, int* count, float* kb) {
  DirWalker walker(g_walkFolder + "\\*.*", false);
  switch (g_walkLoop) {
    case WalkLoop::kTree:
      walker.RemoveTree(0, IDC_STATUS_WINDOWS, count, kb);
      break;
    case WalkLoop::kFiles:
      walker.RemoveFiles(IDC_STATUS_WINDOWS, count, kb);
      break;
    case WalkLoop::kChosen:
      walker.RemoveChosen([](const std::string&, const std::string&) { return true; }, true, true,
                          IDC_STATUS_WINDOWS, count, kb);
      break;
  }
}
int FilesIn(const std::string& folder) {
  int n = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do n += (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  return n;
}
}  // namespace

// The tray's "Cancel Sweeping" during one walk of a large folder: the walk
// stops at the next file, whichever loop runs it; what went before the
// cancel is counted, numbered and in the totals, nothing else is, and the
// category says it was cancelled.
TEST_F(SweepWorkerTest, ACancelStopsAFolderWalkAtTheNextFileAndCountsOnlyWhatWent) {
  constexpr int kFiles = 120;
  TableSwap w(WindowsSweepTable(), {{50, true, 0, &WalkLargeFolder}});
  size_t posts = 0;
  for (WalkLoop loop : {WalkLoop::kTree, WalkLoop::kFiles, WalkLoop::kChosen}) {
    SCOPED_TRACE(static_cast<int>(loop));
    TempFolder tmp;
    // The tree loop meets the files one folder down, the others at the top.
    const std::string files = loop == WalkLoop::kTree ? tmp / "big" : tmp.Path();
    if (loop == WalkLoop::kTree) ASSERT_TRUE(::CreateDirectoryA(files.c_str(), nullptr));
    for (int i = 0; i < kFiles; ++i) ASSERT_TRUE(WriteFileBytes(files + "\\f" + std::to_string(i) + ".txt", "1234"));
    g_walkFolder = tmp.Path();
    g_walkLoop = loop;
    ResetProgress();
    const size_t linesBefore = m_rec.LogLines().size();
    // The cancel comes as the second file is about to go: it goes, no other.
    int seen = 0;
    DirWalker::SetStepHook([&](const std::string& path) {
      if (path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0 && ++seen == 2)
        m_worker->RequestCancel(SWEEP_ALL);
    });
    m_worker->RequestSweep(SWEEP_WINDOWS);
    posts += 2;
    const bool ended = m_posts.WaitFor(posts).size() == posts;
    DirWalker::SetStepHook(nullptr);
    m_worker->ClearCancel(SWEEP_ALL);
    ASSERT_TRUE(ended);
    const int gone = kFiles - FilesIn(files);
    EXPECT_EQ(gone, 2);
    EXPECT_EQ(m_rec.m_nTotalItems, gone);
    EXPECT_FLOAT_EQ(m_rec.m_fTotalKB, gone * 4 / 1024.0f);
    int numbered = 0, notRemoved = 0, cancelled = 0;
    const auto lines = m_rec.LogLines();
    for (size_t i = linesBefore; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      numbered += l.rfind("   Item ", 0) == 0;
      notRemoved += l.find("Not removed") != std::string::npos;
      cancelled += l.rfind("Sweeping cancelled. @ ", 0) == 0;
    }
    EXPECT_EQ(numbered, gone);
    EXPECT_EQ(notRemoved, 0) << "what the sweep never reached was not refused";
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(m_rec.ItemText(IDC_STATUS_WINDOWS).rfind("Sweeping cancelled.", 0), 0u);
    EXPECT_TRUE(m_worker->WasCancelled(SWEEP_CATEGORY_WINDOWS));
    EXPECT_TRUE(FileExists(files));
  }
}

TEST_F(SweepWorkerTest, CancelAllStopsEveryCategoryAtItsNextCheck) {
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &Blocking<1>}, {50, true, 0, &Rec<2>}});
  TableSwap a(ApplicationsSweepTable(), {{10, true, 0, &Blocking<3>}, {50, true, 0, &Rec<4>}});
  m_worker->RequestSweep(SWEEP_WINDOWS | SWEEP_APPLICATIONS);
  ASSERT_EQ(m_posts.WaitFor(2).size(), 2u);
  for (int i = 0; i < 500 && Calls().size() < 2; ++i) ::Sleep(10);  // both inside their first cleaner
  m_worker->RequestCancel(SWEEP_ALL);
  ::SetEvent(g_release);
  ASSERT_EQ(m_posts.WaitFor(4).size(), 4u);
  auto calls = Calls();
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<int>{1, 3}));
}

TEST_F(SweepWorkerTest, TwoCategoriesNumberTheirOwnItemsAndTheTotalsAddUp) {
  g_itemsPerCall = 3;
  TableSwap w(WindowsSweepTable(), {{50, true, 0, &Rec<1>}});
  TableSwap a(ApplicationsSweepTable(), {{50, true, 0, &Rec<2>}});
  m_worker->RequestSweep(SWEEP_WINDOWS | SWEEP_APPLICATIONS);
  ASSERT_EQ(m_posts.WaitFor(4).size(), 4u);
  int firsts = 0, thirds = 0;
  for (const auto& l : m_rec.LogLines()) {
    firsts += l.rfind("   Item 1, removed by", 0) == 0;
    thirds += l.rfind("   Item 3, removed by", 0) == 0;
  }
  EXPECT_EQ(firsts, 2);
  EXPECT_EQ(thirds, 2);
  EXPECT_EQ(m_rec.ItemText(IDC_TOTALS), "Total: 6 item(s) swept, 3.000 KB restored.");
}

namespace {
Thread* FailToCreate(Thread::Proc, void*, bool) { return nullptr; }
}  // namespace

TEST_F(SweepWorkerTest, AThreadThatCannotBeCreatedIsReportedStartedAndEnded) {
  TraceRecorder trace;
  m_worker->m_threadFactory = &FailToCreate;
  m_worker->RequestSweep(SWEEP_WINDOWS);
  const auto& posts = m_posts.WaitFor(2);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0], kStarted(SWEEP_CATEGORY_WINDOWS));
  EXPECT_EQ(posts[1], kEnded(SWEEP_CATEGORY_WINDOWS));
  EXPECT_FALSE(m_worker->IsRunning(SWEEP_CATEGORY_WINDOWS));
  EXPECT_TRUE(trace.Contains("Cannot generate a new worker thread for windows"));
}

namespace {
// The handle of the category thread the factory made last; the cleaner below
// closes it behind the worker's back while its thread goes on running.
HANDLE g_madeHandle = nullptr;
HKEY g_blocker = nullptr;  // a key that took the closed handle's value
Thread* CreateAndNote(Thread::Proc proc, void* param, bool suspended) {
  Thread* t = Thread::Begin(proc, param, suspended);
  g_madeHandle = t != nullptr ? t->Handle() : nullptr;
  return t;
}
void CloseOwnHandleThenBlock(SweepWorker*, int*, float*) {
  ::CloseHandle(g_madeHandle);
  // The freed value goes to the next handle made anywhere in the process. A
  // key, which no wait can use, takes it here, so that the supervisor's next
  // wait fails for certain instead of waiting on whatever came next.
  std::vector<HKEY> others;
  for (int i = 0; i < 64 && g_blocker == nullptr; ++i) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key) != ERROR_SUCCESS) break;
    if (reinterpret_cast<HANDLE>(key) == g_madeHandle)
      g_blocker = key;
    else
      others.push_back(key);
  }
  for (HKEY key : others) ::RegCloseKey(key);
  Record(7);
  ::WaitForSingleObject(g_release, 20000);
}
}  // namespace

TEST_F(SweepWorkerTest, AFailedWaitNeverEndsACategoryWhoseThreadStillRuns) {
  TraceRecorder trace;
  m_worker->m_threadFactory = &CreateAndNote;
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &CloseOwnHandleThenBlock}});
  TableSwap a(ApplicationsSweepTable(), {{10, true, 0, &Rec<2>}});
  m_worker->RequestSweep(SWEEP_WINDOWS);
  ASSERT_EQ(m_posts.WaitFor(1).size(), 1u);
  DWORD start = ::GetTickCount();
  while (Calls().empty() && ::GetTickCount() - start < 10000) ::Sleep(10);
  if (g_blocker == nullptr) {
    ::SetEvent(g_release);
    GTEST_SKIP() << "another handle took the closed value first";
  }
  // The next wait of the supervisor meets the closed handle. (A request for
  // the running category wakes it without making a thread that could take
  // the closed handle's value.)
  m_worker->m_threadFactory = &Thread::Begin;
  m_worker->RequestSweep(SWEEP_WINDOWS);
  start = ::GetTickCount();
  while (!trace.Contains("Supervisor wait failed") && ::GetTickCount() - start < 10000) ::Sleep(10);
  EXPECT_TRUE(trace.Contains("Supervisor wait failed"));
  ::Sleep(200);
  EXPECT_EQ(m_posts.Drain().size(), 1u) << "ended while its thread still runs";
  EXPECT_TRUE(m_worker->IsRunning(SWEEP_CATEGORY_WINDOWS));
  ::SetEvent(g_release);
  m_posts.WaitFor(2);
  EXPECT_EQ(m_posts.CountOf(SWEEP_CATEGORY_WINDOWS, SWEEP_ENDED), 1u);
  EXPECT_FALSE(m_worker->IsRunning(SWEEP_CATEGORY_WINDOWS));
  // The worker still serves later requests.
  m_worker->RequestSweep(SWEEP_APPLICATIONS);
  ASSERT_EQ(m_posts.WaitFor(4).size(), 4u);
  EXPECT_EQ(Calls(), (std::vector<int>{7, 2}));
  ::RegCloseKey(g_blocker);
  g_blocker = nullptr;
}

TEST(SweepWorkerLifecycle, WithoutAWakeEventRequestsAreStillServedAndQuitEnds) {
  TraceRecorder trace;
  ProgressRecorder rec;
  PostCollector posts;
  g_calls.clear();
  auto* worker = new SweepWorker(static_cast<HANDLE>(nullptr));
  worker->SetNotifyWindow(posts.Hwnd());
  worker->Start();
  TableSwap w(WindowsSweepTable(), {{10, true, 0, &Rec<3>}});
  worker->RequestSweep(SWEEP_WINDOWS);
  ASSERT_EQ(posts.WaitFor(2).size(), 2u);
  EXPECT_EQ(Calls(), std::vector<int>{3});
  worker->Quit();  // returns: the quit request is polled too
  EXPECT_TRUE(trace.Contains("requests are polled"));
  EXPECT_TRUE(trace.Contains("Ending working thread"));
}

TEST_F(SweepWorkerTest, StepsFollowTheTargetBitsAndUnsteppedCleanersSkipTheCancelCheck) {
  g_InternetSettings.m_nTargets = 0x01 | 0x100;
  TableSwap i(InternetSweepTable(), {{20, true, 0x02, &Rec<1>},
                                     {40, true, 0x01, &Rec<2>},
                                     {-1, false, 0x100, &Rec<3>},
                                     {-1, false, 0x200, &Rec<4>},
                                     {100, true, 0, &Rec<5>}});
  SweepInternet(m_worker);  // synchronous use: no thread, nothing posted
  EXPECT_EQ(Calls(), (std::vector<int>{2, 3, 5}));
  EXPECT_EQ(m_rec.BarHistory(IDC_PROGRESS_INTERNET), (std::vector<int>{0, 20, 40, 100}));
  EXPECT_EQ(m_rec.ItemText(IDC_STATUS_INTERNET), "Finished cleaning up.\n");
  EXPECT_TRUE(m_posts.Drain().empty());
}

TEST_F(SweepWorkerTest, TheBuiltInTablesStepAsTheBarsShouldMove) {
  // The bars move whatever the bits say; with bits set, the real cleaners
  // would sweep the test prefix's own registry, folders and recycle bin.
  g_WindowsSettings.m_nTargets = g_InternetSettings.m_nTargets = g_ApplicationSettings.m_nTargets = 0;
  SweepWindows(m_worker);
  SweepInternet(m_worker);
  SweepApplications(m_worker);
  EXPECT_EQ(m_rec.BarHistory(IDC_PROGRESS_WINDOWS), (std::vector<int>{0, 5, 20, 40, 60, 70, 85, 95, 100}));
  EXPECT_EQ(m_rec.BarHistory(IDC_PROGRESS_INTERNET), (std::vector<int>{0, 20, 40, 60, 70, 80, 90, 100}));
  // The reader and player cleaner moves the Applications bar past 80 itself.
  EXPECT_EQ(m_rec.BarHistory(IDC_PROGRESS_APPLICATIONS).front(), 0);
  for (int id : {IDC_STATUS_WINDOWS, IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS})
    EXPECT_EQ(m_rec.ItemText(id), "Finished cleaning up.\n");
  EXPECT_EQ(m_rec.ItemText(IDC_TOTALS), "Total: 0 item(s) swept, 0.000 KB restored.");
}

TEST(SweepWorkerLifecycle, QuitWithoutSweepsAndWithoutStartEndsPromptly) {
  TraceRecorder trace;
  auto* started = new SweepWorker;
  started->Start();
  started->Quit();
  auto* neverStarted = new SweepWorker;
  neverStarted->Quit();
  EXPECT_TRUE(trace.Contains("Ending working thread"));
}

namespace {
// Turns off the next steps' boxes while the category runs, as the page may.
void TurnsOffBoxes(SweepWorker*, int*, float*) {
  Record(60);
  g_WindowsSettings.m_nTargets &= ~0x08;
  g_WindowsSettings.m_nTargets |= 0x04;
}
}  // namespace

// The Targets bits are read afresh before each step, not once per sweep.
TEST_F(SweepWorkerTest, EachStepReadsItsTargetsBitAfresh) {
  g_WindowsSettings.m_nTargets = 0x01 | 0x08;
  TableSwap w(WindowsSweepTable(), {{20, true, 0x01, &TurnsOffBoxes}, {85, true, 0x08, &Rec<61>},
                                    {95, true, 0x04, &Rec<62>}});
  SweepWindows(nullptr);
  EXPECT_EQ(Calls(), (std::vector<int>{60, 62}));
}

namespace {

void RecordBrowsers(SweepWorker*, int browsers, int* count, float*) {
  Record(100 + browsers);
  LogItem(count, IDC_STATUS_INTERNET, "   ", "removed for the browsers %d\n", browsers);
}

// The browser sweep hook for one test; none again afterwards.
struct BrowserSweepHook {
  BrowserSweepHook() { SetBrowserSweep(&RecordBrowsers); }
  ~BrowserSweepHook() { SetBrowserSweep(nullptr); }
};

}  // namespace

// Requests made under one hold of the lock are served in one pass: a
// browser request runs the browser sweep on the Internet line in place of
// the Internet table, unless a whole Internet run was asked for too.
TEST_F(SweepWorkerTest, ABrowserRequestReplacesTheInternetTableUnlessAWholeRunIsAsked) {
  TableSwap i(InternetSweepTable(), {{50, true, 0, &Rec<2>}});
  BrowserSweepHook hook;
  struct Case {
    const char* name;
    void (*request)(SweepWorker*);
    std::vector<int> calls;
    int browsers;
    bool preview = false;
  };
  const Case cases[] = {
      {"one browser", [](SweepWorker* w) { w->RequestBrowserSweep(0x01); }, {101}, 0x01},
      {"two browsers add up",
       [](SweepWorker* w) {
         w->RequestBrowserSweep(0x01);
         w->RequestBrowserSweep(0x10);
       },
       {117},
       0x11},
      {"a plain request afterwards",
       [](SweepWorker* w) {
         w->RequestBrowserSweep(0x01);
         w->RequestSweep(SWEEP_INTERNET);
       },
       {2},
       0},
      {"a plain request before",
       [](SweepWorker* w) {
         w->RequestSweep(SWEEP_INTERNET);
         w->RequestBrowserSweep(0x01);
       },
       {2},
       0},
      // Refused: the browser is asked for again once the preview has ended.
      {"a preview asked before",
       [](SweepWorker* w) {
         w->RequestPreview(SWEEP_INTERNET);
         EXPECT_FALSE(w->RequestBrowserSweep(0x02));
       },
       {2},
       0,
       true},
  };
  size_t posts = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    m_worker->Lock();
    c.request(m_worker);
    m_worker->Unlock();
    posts += 2;
    ASSERT_EQ(m_posts.WaitFor(posts).size(), posts);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(m_worker->BrowsersOf(SWEEP_CATEGORY_INTERNET), c.browsers);
    EXPECT_EQ(m_worker->WasPreview(SWEEP_CATEGORY_INTERNET), c.preview);
  }
  EXPECT_EQ(m_worker->BrowsersOf(SWEEP_CATEGORY_WINDOWS), 0);
}

TEST_F(SweepWorkerTest, ABrowserRequestWhileInternetRunsIsRefusedAndCanBeMadeAfterwards) {
  TableSwap i(InternetSweepTable(), {{10, true, 0, &Blocking<2>}});
  BrowserSweepHook hook;
  m_worker->RequestSweep(SWEEP_INTERNET);
  ASSERT_EQ(m_posts.WaitFor(1).size(), 1u);
  EXPECT_FALSE(m_worker->RequestBrowserSweep(0x01));
  EXPECT_FALSE(m_worker->RequestBrowserSweep(0)) << "no browser: nothing to ask";
  ::SetEvent(g_release);
  ASSERT_EQ(m_posts.WaitFor(2).size(), 2u);

  while (m_worker->IsAnyRunning()) ::Sleep(10);
  EXPECT_TRUE(m_worker->RequestBrowserSweep(0x01));
  ASSERT_EQ(m_posts.WaitFor(4).size(), 4u);
  EXPECT_EQ(Calls(), (std::vector<int>{2, 101}));
  EXPECT_EQ(m_rec.ItemText(IDC_STATUS_INTERNET), "   Item 1, removed for the browsers 1\n");
}

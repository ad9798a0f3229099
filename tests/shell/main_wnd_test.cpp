// The main window driven by its messages: sweeps from the tray and the timer,
// their bookkeeping, the final sweep, the tray menu and the panel's placement.
#include "shell/main_wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/policy.h"
#include "settings/settings_groups.h"
#include "settings/event_setting.h"
#include "shell/event_report.h"
#include "shell/main_app.h"
#include "shell/panel_link.h"
#include "shell/tray_menu.h"
#include "shell_fixtures.h"
#include "support/test_env.h"
#include "ui/progress_dlg.h"
#include "winlib/window_probe.h"

namespace {

// The desktop of the placement cases, whatever the display's size.
class TestMainWnd : public CMainWnd {
 public:
  using CMainWnd::CMainWnd;
  SIZE m_desktop = {1024, 768};

 protected:
  SIZE DesktopSize() const override { return m_desktop; }
};

// An open control panel: a plain window of the given size that records what
// the main window asks of it.
class FakePanel : public PanelLink {
 public:
  FakePanel(int width, int height) {
    m_hwnd = ::CreateWindowExA(0, "STATIC", "panel", WS_POPUP, 300, 300, width, height, nullptr,
                               nullptr, nullptr, nullptr);
  }
  ~FakePanel() override { ::DestroyWindow(m_hwnd); }
  HWND Window() const override { return m_hwnd; }
  void SweepAll() override { ++m_sweepAll; }
  bool StartTimedSweep() override {
    ++m_timed;
    return m_timedResult;
  }
  void CategoryEnded(int category) override { m_ended.push_back(category); }
  void WholeSweepEnded() override { ++m_wholeEnded; }
  void PreviewEnded() override { ++m_previewEnded; }
  void EndModal(int result) override { m_endModal = result; }

  HWND m_hwnd;
  int m_sweepAll = 0, m_timed = 0, m_wholeEnded = 0, m_previewEnded = 0, m_endModal = 0;
  bool m_timedResult = false;
  std::vector<int> m_ended;
};

class MainWnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGroups();
    CleanerRecord::Reset();
    m_app.m_pWork = new SweepWorker;
    m_app.m_pWork->Start();
    ASSERT_TRUE(CMainWnd::RegisterClass(nullptr));
    m_wnd = new TestMainWnd(m_app);
    m_app.m_pMainWnd = m_wnd;
    ASSERT_TRUE(m_wnd->Create(nullptr));
    m_wnd->ShowWindow(SW_HIDE);
    m_app.m_pWork->SetNotifyWindow(m_wnd->m_hWnd);
    m_app.m_trayIcon.LoadIcons(::GetModuleHandleA(nullptr));
    m_app.m_trayIcon.Add(m_wnd->m_hWnd);
  }
  void TearDown() override {
    CleanerRecord::Release();
    m_wnd->m_pPanel = nullptr;
    m_app.ExitInstance();
    ResetGroups();
  }

  HWND Hwnd() const { return m_wnd->m_hWnd; }
  void Command(int id) { ::SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // Pumps until the whole sweep's bookkeeping is done.
  bool WaitForSweepEnd() {
    return PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 10000);
  }
  // Occurrences of text in the log, wherever it went: the recorder, or the
  // progress window once one took over.
  int LogCount(const std::string& text) {
    std::string all;
    for (const std::string& l : m_log.LogLines()) all += l;
    if (g_pProgressDlg != nullptr) {
      g_pProgressDlg->Flush();
      all += g_pProgressDlg->Log().Text();
    }
    int n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++n;
    return n;
  }

  RegistrySandbox m_sandbox;
  TrayRecorder m_tray;
  RecordingTables m_tables;
  ProgressRecorder m_log;
  CMainApp m_app;
  TestMainWnd* m_wnd = nullptr;
};

}  // namespace

TEST_F(MainWnd, SweepNowRunsTheEnabledCategoriesAndKeepsTheBooks) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET;
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_INTERVAL;
  g_GeneralSettings.m_nTimerSeconds = 3600;
  CleanerRecord::Hold();
  Command(IDM_SWEEP_NOW);
  EXPECT_TRUE(m_app.m_bSweeping);
  EXPECT_NE(m_wnd->m_nAnimTimer, CMainWnd::kNoTimer);
  // The first frame is the blank one.
  ASSERT_GE(m_tray.Count(NIM_MODIFY), 1);
  EXPECT_EQ(m_tray.Calls().back().icon, m_app.m_trayIcon.m_hBlankIcon);
  // Each tick of the animation timer shows the other frame.
  ::SendMessageA(Hwnd(), WM_TIMER, m_wnd->m_nAnimTimer, 0);
  EXPECT_EQ(m_tray.Calls().back().icon, m_app.m_trayIcon.m_hNormalIcon);
  ::SendMessageA(Hwnd(), WM_TIMER, m_wnd->m_nAnimTimer, 0);
  EXPECT_EQ(m_tray.Calls().back().icon, m_app.m_trayIcon.m_hBlankIcon);
  EXPECT_TRUE(m_app.m_bSweeping);  // and starts no sweep

  CleanerRecord::Release();
  ASSERT_TRUE(WaitForSweepEnd());
  auto categories = CleanerRecord::Categories();
  std::sort(categories.begin(), categories.end());
  EXPECT_EQ(categories, (std::vector<int>{CleanerRecord::kWindows, CleanerRecord::kInternet}));
  // Stamped and saved: both categories and General; the timer is armed anew.
  EXPECT_NE(g_WindowsSettings.m_tLastSweep, 0);
  EXPECT_NE(g_InternetSettings.m_tLastSweep, 0);
  EXPECT_EQ(g_ApplicationSettings.m_tLastSweep, 0);
  EXPECT_NE(g_GeneralSettings.m_tLastSweep, 0);
  EXPECT_EQ(StoredNumber(kGeneralSettingsPath, "LsRn"), g_GeneralSettings.m_tLastSweep);
  EXPECT_NE(m_wnd->m_nSweepTimer, CMainWnd::kNoTimer);
  // The blinking stopped on the normal frame.
  EXPECT_EQ(m_wnd->m_nAnimTimer, CMainWnd::kNoTimer);
  EXPECT_EQ(m_tray.Calls().back().icon, m_app.m_trayIcon.m_hNormalIcon);
}

// The progress window is there before the worker is woken: no category's
// first lines go to a log that is not shown.
TEST_F(MainWnd, SweepNowFromTheTrayShowsTheProgressWindowBeforeAnyCategoryStarts) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET | GENERAL_SHOW_PROGRESS;
  ASSERT_EQ(g_pProgressDlg, nullptr);
  Command(IDM_SWEEP_NOW);
  ASSERT_TRUE(WaitForSweepEnd());
  ASSERT_NE(g_pProgressDlg, nullptr);
  const auto calls = CleanerRecord::Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) {
    EXPECT_NE(call.sink, &m_log) << "category " << call.category << " started before the window took the log";
    EXPECT_NE(call.sink, nullptr);
  }
}

TEST_F(MainWnd, SweepNowWithNoCategoryDoesNothing) {
  g_GeneralSettings.m_nTargets = GENERAL_SHOW_PROGRESS;
  Command(IDM_SWEEP_NOW);
  EXPECT_FALSE(m_app.m_bSweeping);
  EXPECT_EQ(m_wnd->m_nAnimTimer, CMainWnd::kNoTimer);
  EXPECT_EQ(g_pProgressDlg, nullptr);
}

TEST_F(MainWnd, TimerTicksThatStartNothingReArmTheTimer) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_INTERVAL;
  g_GeneralSettings.m_nTimerSeconds = 3600;
  struct Case {
    const char* name;
    bool sweeping;
    int targets;
    bool logsStart;
  } cases[] = {
      {"a sweep runs", true, 0x07, false},
      {"no category enabled", false, GENERAL_SHOW_PROGRESS, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_app.m_bSweeping = c.sweeping;
    g_GeneralSettings.m_nTargets = c.targets;
    m_wnd->SetSweepTimer(3600);
    const int startsBefore = LogCount("Start Sweeping by Timer.");
    ::SendMessageA(Hwnd(), WM_TIMER, m_wnd->m_nSweepTimer, 0);
    PumpMessages(50);
    EXPECT_EQ(m_app.m_bSweeping, c.sweeping);
    EXPECT_TRUE(CleanerRecord::Categories().empty());
    EXPECT_FALSE(m_app.m_pWork->IsAnyRunning());
    EXPECT_NE(m_wnd->m_nSweepTimer, CMainWnd::kNoTimer);  // armed again
    EXPECT_EQ(LogCount("Start Sweeping by Timer.") - startsBefore, c.logsStart ? 1 : 0);
  }
  EXPECT_EQ(LogCount("Cancel the Timer."), 2);
}

TEST_F(MainWnd, TimerTickStartsAWholeSweepOrAsksTheOpenPanel) {
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_APPLICATIONS;
  m_wnd->SetSweepTimer(3600);
  ::SendMessageA(Hwnd(), WM_TIMER, m_wnd->m_nSweepTimer, 0);
  EXPECT_TRUE(m_app.m_bSweeping);
  EXPECT_EQ(m_wnd->m_nSweepTimer, CMainWnd::kNoTimer);  // the sweep's end re-arms it
  ASSERT_TRUE(WaitForSweepEnd());
  EXPECT_EQ(CleanerRecord::Categories(), std::vector<int>{CleanerRecord::kApplications});

  FakePanel panel(300, 200);
  m_wnd->m_pPanel = &panel;
  panel.m_timedResult = true;
  m_wnd->SetSweepTimer(3600);
  ::SendMessageA(Hwnd(), WM_TIMER, m_wnd->m_nSweepTimer, 0);
  EXPECT_EQ(panel.m_timed, 1);
  EXPECT_TRUE(m_app.m_bSweeping);  // the panel requested: the window keeps the books
  EXPECT_EQ(CleanerRecord::Categories().size(), 1u);  // nothing asked of the worker directly
  m_app.m_bSweeping = false;
  m_wnd->m_pPanel = nullptr;
}

TEST_F(MainWnd, CancelFromTheTrayLeavesTheCancelWordClearForTheNextSweep) {
  CleanerRecord::Hold();
  g_GeneralSettings.m_nTargets = 0x07;
  Command(IDM_SWEEP_NOW);
  ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 3; }, 5000));
  Command(IDM_CANCEL_SWEEP);
  EXPECT_TRUE(m_app.m_pWork->IsCancelled(SWEEP_ALL));
  ASSERT_TRUE(WaitForSweepEnd());  // the held cleaners stop on the cancel
  EXPECT_FALSE(m_app.m_pWork->IsCancelled(SWEEP_ALL | SWEEP_WINDOWS | SWEEP_INTERNET | SWEEP_APPLICATIONS));
  // The window and the log say so: each category, and the title.
  EXPECT_EQ(LogCount("Sweeping cancelled. @ "), 3);
  EXPECT_EQ(m_log.Caption(), "Sweeping Cancelled");

  CleanerRecord::Reset();
  Command(IDM_SWEEP_NOW);
  ASSERT_TRUE(WaitForSweepEnd());
  EXPECT_EQ(CleanerRecord::Calls().size(), 3u);
  EXPECT_EQ(LogCount("removed by"), 6);  // the second sweep ran its cleaners to the end
}

TEST_F(MainWnd, CategoryEndsReachTheOpenPanel) {
  FakePanel panel(300, 200);
  m_wnd->m_pPanel = &panel;
  m_app.m_bSweeping = true;
  // A notice of a start or of an unknown category changes nothing.
  ::SendMessageA(Hwnd(), WM_SWEEP_FINISHED, SWEEP_CATEGORY_WINDOWS, SWEEP_STARTED);
  ::SendMessageA(Hwnd(), WM_SWEEP_FINISHED, 7, SWEEP_ENDED);
  EXPECT_TRUE(panel.m_ended.empty());
  ::SendMessageA(Hwnd(), WM_SWEEP_FINISHED, SWEEP_CATEGORY_INTERNET, SWEEP_ENDED);
  EXPECT_EQ(panel.m_ended, std::vector<int>{SWEEP_CATEGORY_INTERNET});
  EXPECT_EQ(panel.m_wholeEnded, 1);
  EXPECT_FALSE(m_app.m_bSweeping);
  EXPECT_NE(g_InternetSettings.m_tLastSweep, 0);
  EXPECT_EQ(StoredNumber(kInternetSettingsPath, "LsRn"), g_InternetSettings.m_tLastSweep);
  EXPECT_EQ(m_log.Caption(), "Sweeping Completed");
  m_wnd->m_pPanel = nullptr;
}

TEST_F(MainWnd, ExitDuringAWholeSweepRunsNoFinalSweep) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT | SWEEP_AT_INTERVAL;
  g_GeneralSettings.m_nTimerSeconds = 3600;
  g_GeneralSettings.m_nTargets = 0x07;
  m_wnd->SetSweepTimer(3600);
  CleanerRecord::Hold();
  Command(IDM_SWEEP_NOW);
  ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 3; }, 5000));
  Command(IDM_EXIT);
  EXPECT_FALSE(::IsWindow(Hwnd()));
  EXPECT_EQ(m_wnd->m_nSweepTimer, CMainWnd::kNoTimer);
  EXPECT_EQ(LogCount("Start exiting Processes"), 1);
  EXPECT_EQ(LogCount("End exiting Processes"), 1);
  EXPECT_EQ(LogCount("Start Cleaning Processes"), 0);
  EXPECT_FALSE(m_app.m_bFinalSweepDone);
  // The categories still run when the worker is asked to quit: it is asked
  // once, so it says once that it was.
  HANDLE releaser = ::CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        ::Sleep(300);
        CleanerRecord::Release();
        return 0;
      },
      nullptr, 0, nullptr);
  m_app.ExitInstance();
  ::WaitForSingleObject(releaser, INFINITE);
  ::CloseHandle(releaser);
  EXPECT_EQ(LogCount("Working thread received a termination message."), 1);
  // Only the worker's three threads swept.
  EXPECT_EQ(CleanerRecord::Calls().size(), 3u);
}

TEST_F(MainWnd, ExitDuringASingleCategorySweepSweepsEachCategoryOnOneThreadAtATime) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS;
  FakePanel panel(300, 200);
  m_wnd->m_pPanel = &panel;
  CleanerRecord::Hold();
  // A page's own sweep: the whole-sweep flag stays clear.
  m_app.m_pWork->RequestSweep(SWEEP_WINDOWS);
  ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 1; }, 5000));
  Command(IDM_EXIT);  // the held cleaner stops on the exit's cancel
  EXPECT_FALSE(::IsWindow(Hwnd()));
  EXPECT_EQ(panel.m_endModal, 1);
  const auto calls = CleanerRecord::Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NE(calls[0].thread, ::GetCurrentThreadId());
  EXPECT_EQ(calls[1].thread, ::GetCurrentThreadId());  // the final sweep
  EXPECT_EQ(CleanerRecord::MostAtOnce(), 1);
  const auto lines = m_log.LogLines();
  const auto at = std::find(lines.begin(), lines.end(), "Start cleaning history on Windows.\n");
  ASSERT_NE(at, lines.end());
  EXPECT_NE(std::find(at, lines.end(), "End cleaning history on Windows.\n"), lines.end());
  m_wnd->m_pPanel = nullptr;
}

// A request made but not yet started when Exit comes (the supervisor waits
// for the worker's lock) must not run after the final sweep.
TEST_F(MainWnd, ARequestNotYetStartedAtExitNeverRunsAfterTheFinalSweep) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS;
  SweepWorker* worker = m_app.m_pWork;
  worker->Lock();  // the supervisor cannot start anything meanwhile
  worker->RequestSweep(SWEEP_WINDOWS | SWEEP_INTERNET);
  Command(IDM_EXIT);
  worker->Unlock();
  PumpMessages(500);
  EXPECT_TRUE(PumpUntil([&] { return !worker->IsAnyRunning(); }, 5000));
  const auto calls = CleanerRecord::Calls();
  ASSERT_EQ(calls.size(), 1u) << "only the final sweep's own Windows category";
  EXPECT_EQ(calls[0].category, CleanerRecord::kWindows);
  EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId());
}

TEST_F(MainWnd, TheFinalSweepRunsOncePerProcess) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET | GENERAL_SWEEP_APPLICATIONS;
  // The first query was refused by another program; the second comes later.
  EXPECT_EQ(::SendMessageA(Hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(::SendMessageA(Hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(LogCount("Start logoff/shutdown Processes"), 2);
  EXPECT_EQ(CleanerRecord::Categories(), (std::vector<int>{CleanerRecord::kApplications, CleanerRecord::kWindows,
                                                           CleanerRecord::kInternet}));
  EXPECT_EQ(LogCount("End cleaning history on applications."), 1);
  EXPECT_EQ(LogCount("Start Cleaning Processes"), 0);
  ASSERT_NE(g_pProgressDlg, nullptr);  // shown for the user to see
  EXPECT_TRUE(g_pProgressDlg->IsWindowVisible());

  // The worker still serves requests after a refused logoff...
  m_app.m_pWork->RequestSweep(SWEEP_INTERNET);
  ASSERT_TRUE(PumpUntil([&] { return CleanerRecord::Calls().size() == 4; }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return !m_app.m_pWork->IsAnyRunning(); }, 5000));
  // ...and "Exit" does not sweep again.
  Command(IDM_EXIT);
  EXPECT_FALSE(::IsWindow(Hwnd()));
  EXPECT_EQ(CleanerRecord::Calls().size(), 4u);
}

TEST_F(MainWnd, TheLogoffSweepJudgesByTheProtectedPlacesAsTheyAreWhenItStarts) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_INTERNET;
  ExpectSweepJudgesByTheProtectedPlacesOfItsStart([&] {
    m_app.m_bFinalSweepDone = false;
    ::SendMessageA(Hwnd(), WM_QUERYENDSESSION, 0, 0);
  });
}

TEST_F(MainWnd, ExitRunsTheFinalSweepWithItsOwnLines) {
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_APPLICATIONS;
  Command(IDM_EXIT);
  const std::vector<std::string> lines = m_log.LogLines();
  std::vector<std::string> plain;
  for (const std::string& l : lines) plain.push_back(l.substr(0, l.find(" @ ")));
  EXPECT_EQ(plain, (std::vector<std::string>{"Start exiting Processes", "Start Cleaning Processes",
                                             "Start cleaning history on applications.\n",
                                             "   Item 1, removed by 3\n", "End cleaning history on Application.\n",
                                             "End cleaning Processes", "End exiting Processes"}));
}

// The events written while it lives, with every event on.
class EventCapture {
 public:
  EventCapture() : m_previous(g_eventWriter) {
    StoreNumber(kGeneralSettingsPath, kEventLogValueName, EVENT_LOG_ALL);
    std::lock_guard<std::mutex> hold(s_lock);
    s_events.clear();
    g_eventWriter = [](const EventText& e) {
      std::lock_guard<std::mutex> hold(s_lock);
      s_events.push_back(e);
      return true;
    };
    ProgramSweepAccount().Attach();
  }
  ~EventCapture() {
    ProgramSweepAccount().Detach();
    ProgramSweepAccount().End();
    g_eventWriter = m_previous;
  }
  // The sweep-ended events so far, as (trigger, items).
  static std::vector<std::pair<std::wstring, std::wstring>> Ended() {
    std::lock_guard<std::mutex> hold(s_lock);
    std::vector<std::pair<std::wstring, std::wstring>> ended;
    for (const EventText& e : s_events)
      if (e.id == kEventSweepEnded && e.strings.size() > 2) ended.push_back({e.strings[0], e.strings[2]});
    return ended;
  }
  static std::vector<EventText> Of(DWORD id) {
    std::lock_guard<std::mutex> hold(s_lock);
    std::vector<EventText> of;
    for (const EventText& e : s_events)
      if (e.id == id) of.push_back(e);
    return of;
  }

 private:
  EventWriter m_previous;
  static std::mutex s_lock;
  static std::vector<EventText> s_events;
};
std::mutex EventCapture::s_lock;
std::vector<EventText> EventCapture::s_events;

// Every kind of resident sweep ends with one event that names what started
// it and counts what it swept.
TEST_F(MainWnd, EachKindOfSweepEndsWithAnEventNamingItsTrigger) {
  EventCapture capture;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_APPLICATIONS;
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT | SWEEP_AT_BROWSER_CLOSE;
  // A browser's sweep that numbers one item, as a rule entry of it would.
  SetBrowserSweep([](SweepWorker*, int, int* count, float*) {
    EntryScope scope(SWEEP_CATEGORY_INTERNET, "Google Chrome history");
    LogItem(count, 0, "   ", "removed");
  });
  struct Unset {
    ~Unset() { SetBrowserSweep(nullptr); }
  } unset;
  const struct {
    const wchar_t* trigger;
    bool sweepsItems;  // the stand-in cleaners number one item per category
    std::function<void()> start;
  } cases[] = {
      {L"manual", true, [&] { Command(IDM_SWEEP_NOW); }},
      {L"schedule", true, [&] { ::SendMessageA(Hwnd(), WM_TIMER, CMainWnd::kSweepTimerId, 0); }},
      {L"browser closes", true, [&] { m_wnd->OnBrowserClosed(1); }},
      {L"logoff", true, [&] { ::SendMessageA(Hwnd(), WM_QUERYENDSESSION, 0, 0); }},
  };
  size_t expected = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.trigger, c.trigger + wcslen(c.trigger)));
    c.start();
    ++expected;
    ASSERT_TRUE(PumpUntil([&] { return EventCapture::Ended().size() >= expected; }, 10000));
    ASSERT_TRUE(WaitForSweepEnd());
    const auto ended = EventCapture::Ended();
    ASSERT_EQ(ended.size(), expected) << "one event per sweep";
    EXPECT_EQ(ended.back().first, c.trigger);
    EXPECT_EQ(ended.back().second != L"0", c.sweepsItems);
  }
  // Nothing began after the last sweep: a late notice writes no event.
  ::SendMessageA(Hwnd(), WM_SWEEP_FINISHED, SWEEP_CATEGORY_WINDOWS, SWEEP_ENDED);
  EXPECT_EQ(EventCapture::Ended().size(), expected);
}

TEST_F(MainWnd, ASweepCancelledFromTheTrayEndsWithAStoppedEvent) {
  EventCapture capture;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS;
  CleanerRecord::Hold();
  Command(IDM_SWEEP_NOW);
  Command(IDM_CANCEL_SWEEP);
  CleanerRecord::Release();
  ASSERT_TRUE(WaitForSweepEnd());
  ASSERT_TRUE(PumpUntil([&] { return !EventCapture::Ended().empty(); }, 5000));
  const auto stopped = EventCapture::Of(kEventStopped);
  ASSERT_EQ(stopped.size(), 1u);
  ASSERT_EQ(stopped[0].strings.size(), 2u);
  EXPECT_EQ(stopped[0].strings[0], L"A sweep stopped before its end (trigger: manual).");
  EXPECT_EQ(stopped[0].strings[1], L"cancelled from the tray menu");
  // The next sweep runs through, and says nothing of a stop.
  Command(IDM_SWEEP_NOW);
  ASSERT_TRUE(WaitForSweepEnd());
  ASSERT_TRUE(PumpUntil([&] { return EventCapture::Ended().size() == 2; }, 5000));
  EXPECT_EQ(EventCapture::Of(kEventStopped).size(), 1u);
}

TEST_F(MainWnd, TheSweepAtExitEndsWithItsEvent) {
  EventCapture capture;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_APPLICATIONS;
  g_GeneralSettings.m_nSweepAt = SWEEP_AT_EXIT;
  Command(IDM_EXIT);
  const auto ended = EventCapture::Ended();
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].first, L"exit");
  EXPECT_EQ(ended[0].second, L"1");
}

TEST_F(MainWnd, ShowLogWindowMakesRoomForTheLogBesideThePanel) {
  struct Case {
    int width;
    POINT expected;
  } cases[] = {{400, {112, (768 - 300) / 2}}, {700, {0, 0}}, {512, {0, (768 - 300) / 2}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    FakePanel panel(c.width, 300);
    m_wnd->m_pPanel = &panel;
    Command(IDM_SHOW_LOG);
    RECT r = {};
    ::GetWindowRect(panel.Window(), &r);
    EXPECT_EQ(r.left, c.expected.x);
    EXPECT_EQ(r.top, c.expected.y);
    EXPECT_EQ(r.right - r.left, c.width);  // size kept
    ASSERT_NE(g_pProgressDlg, nullptr);
    EXPECT_TRUE(g_pProgressDlg->IsWindowVisible());
    m_wnd->m_pPanel = nullptr;
  }
}

// --- the tray menu -----------------------------------------------------------

namespace {

// What the menu showed while it was open, and whether a second right click
// meanwhile opened a menu of its own.
struct MenuSeen {
  std::vector<std::string> texts;
  bool secondMenuOpened = false;
  bool seen = false;
};

MenuSeen* g_menuSeen = nullptr;

void CALLBACK InspectOpenMenu(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  if (g_pMainWnd == nullptr || g_pMainWnd->m_pTrayMenu == nullptr) return;
  CTrayMenu* open = g_pMainWnd->m_pTrayMenu;
  HMENU menu = open->Handle();
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    char text[128] = {};
    ::GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    g_menuSeen->texts.push_back(text);
  }
  ::SendMessageA(g_pMainWnd->m_hWnd, WM_TRAY_NOTIFY, 1, WM_RBUTTONDOWN);
  g_menuSeen->secondMenuOpened = g_pMainWnd->m_pTrayMenu != open;
  g_menuSeen->seen = true;
  ::EndMenu();
}

MenuSeen RightClick(HWND hwnd) {
  MenuSeen seen;
  g_menuSeen = &seen;
  ::SetTimer(nullptr, 0, 200, &InspectOpenMenu);
  ::SendMessageA(hwnd, WM_TRAY_NOTIFY, 1, WM_RBUTTONDOWN);
  g_menuSeen = nullptr;
  return seen;
}

}  // namespace

TEST_F(MainWnd, TrayMenuOffersWhatFitsTheMomentAndOpensOnce) {
  struct Case {
    const char* name;
    bool sweeping;
    bool logShown;
    const char* sweepItem;
    const char* logItem;
  } cases[] = {
      {"idle, no log", false, false, "Sweep Now", "Show Log Window"},
      {"whole sweep, log shown", true, true, "Cancel Sweeping", "Hide Log Window"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_app.m_bSweeping = c.sweeping;
    if (c.logShown)
      m_wnd->ShowProgressWindow();
    else if (g_pProgressDlg != nullptr)
      g_pProgressDlg->Hide();
    MenuSeen seen = RightClick(Hwnd());
    ASSERT_TRUE(seen.seen);
    EXPECT_FALSE(seen.secondMenuOpened);
    EXPECT_EQ(seen.texts, (std::vector<std::string>{"", "", "Show Control Panel", c.sweepItem, c.logItem, "",
                                                    "Online Help", "About", "", "Exit"}));
    EXPECT_EQ(m_wnd->m_pTrayMenu, nullptr);  // gone with the menu
  }
  m_app.m_bSweeping = false;
}

TEST_F(MainWnd, WithThePanelHiddenByPolicyTheMenuOffersTheLogAboutAndExitOnly) {
  const DWORD hidden = PANEL_HIDDEN;
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Calderix\\Morvane\\General Settings", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(key, kHidePanelValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&hidden), sizeof hidden);
  ::RegCloseKey(key);

  MenuSeen seen = RightClick(Hwnd());
  ASSERT_TRUE(seen.seen);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"", "", "Show Log Window", "About", "", "Exit"}));
  // A second start's request and a double click open nothing (a panel would
  // block here in its modal loop).
  ::SendMessageA(Hwnd(), WM_SHOW_PANEL, 100, 0);
  ::SendMessageA(Hwnd(), WM_TRAY_NOTIFY, 1, WM_LBUTTONDBLCLK);
  EXPECT_EQ(m_wnd->m_pPanel, nullptr);
}

TEST_F(MainWnd, HideLogWindowHidesIt) {
  Command(IDM_SHOW_LOG);
  ASSERT_NE(g_pProgressDlg, nullptr);
  Command(IDM_HIDE_LOG);
  EXPECT_FALSE(g_pProgressDlg->IsWindowVisible());
  ::SendMessageA(Hwnd(), WM_SHOW_PROGRESS, 0, 0);
  EXPECT_TRUE(g_pProgressDlg->IsWindowVisible());
}

TEST_F(MainWnd, ARecreatedTaskbarGetsTheIconBack) {
  const int adds = m_tray.Count(NIM_ADD);
  ::SendMessageA(Hwnd(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_EQ(m_tray.Count(NIM_ADD), adds + 1);
  const auto last = m_tray.Calls().back();
  EXPECT_EQ(last.hwnd, Hwnd());
  EXPECT_EQ(last.id, 1u);
  EXPECT_EQ(last.tip, "Morvane");
  EXPECT_EQ(last.icon, m_app.m_trayIcon.m_hNormalIcon);
}

// The banner's font is the menu's, bold, so it scales with the display as
// the items below it do.
TEST(TrayBanner, TheBannerUsesTheMenuFontInBold) {
  CTrayMenu menu;
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  LOGFONTA banner = {};
  ASSERT_TRUE(::GetObjectA(menu.BannerFont(), sizeof banner, &banner));
  EXPECT_EQ(banner.lfHeight, metrics.lfMenuFont.lfHeight);
  EXPECT_STREQ(banner.lfFaceName, metrics.lfMenuFont.lfFaceName);
  EXPECT_EQ(banner.lfWeight, FW_BOLD);
}

TEST(TrayBanner, WithoutGradientFillTheBannerIsOneColour) {
  CTrayMenu menu;
  ASSERT_TRUE(menu.Build(false, false));
  const COLORREF colour = RGB(10, 120, 200);
  menu.m_crLeft = menu.m_crRight = menu.m_crText = colour;
  menu.m_pGradientFill = nullptr;

  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 120, 24);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  RECT all = {0, 0, 120, 24};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  DRAWITEMSTRUCT item = {};
  item.CtlType = ODT_MENU;
  item.hDC = dc;
  item.rcItem = RECT{0, 0, 100, 20};
  menu.DrawItem(&item);
  EXPECT_EQ(::GetPixel(dc, 0, 0), colour);
  EXPECT_EQ(::GetPixel(dc, 98, 18), colour);
  EXPECT_EQ(::GetPixel(dc, 50, 10), colour);
  // One pixel is left at the right and at the bottom.
  EXPECT_EQ(::GetPixel(dc, 99, 10), RGB(255, 255, 255));
  EXPECT_EQ(::GetPixel(dc, 50, 19), RGB(255, 255, 255));
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);

  MEASUREITEMSTRUCT measure = {};
  menu.MeasureItem(&measure);
  EXPECT_GT(measure.itemWidth, static_cast<UINT>(::GetSystemMetrics(SM_CXMENUCHECK) + 16));
  EXPECT_GT(measure.itemHeight, 8u);
}

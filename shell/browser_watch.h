// BrowserWatch: knows which of the browsers Morvane knows by name are
// running, and tells the main window when the last process of one has ended.
//
// Nothing wakes while nothing happens. The system's window notifications
// (an out-of-context WinEvent hook on the GUI thread, delivered through its
// message loop) say when a window appears; a window of a browser's process
// makes the watch look for every process of that browser, and a thread of its
// own waits on their handles, with no time-out, until one ends. When a
// browser's last process has ended, the watch looks once more for a process
// of it started meanwhile, then posts WM_BROWSER_CLOSED.
//
// A browser whose last window has gone while its processes stay (a browser
// set to run in the background) gets one line naming it and the setting that
// keeps it running, once the delay has passed with no window of it shown;
// each browser has a delay of its own, so that one browser's windows never
// put off another's line.
//
// A window event costs a bounded amount: what each process is (a browser's or
// not) is remembered by its id and start time, so a process id that the
// system hands out again is never taken for the process it named before. A
// wait that fails is started again on fresh handles; when that does not mend
// it, the log says that the watch has stopped.
#pragma once
#include <windows.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "winlib/event.h"
#include "winlib/thread.h"

// To the main window: wParam = the browser's bit (shell/browser_sweep.h).
constexpr UINT WM_BROWSER_CLOSED = WM_USER + 13;  // 1037

class BrowserWatch {
 public:
  static constexpr DWORD kDefaultBackgroundDelayMs = 60 * 1000;

  // notify receives WM_BROWSER_CLOSED.
  explicit BrowserWatch(HWND notify);
  // Unhooks, ends the thread and closes every handle.
  ~BrowserWatch();
  BrowserWatch(const BrowserWatch&) = delete;
  BrowserWatch& operator=(const BrowserWatch&) = delete;

  // On the GUI thread: installs the hook, takes in the browsers that already
  // run, and starts the waiting thread. One watch per process. False when the
  // hook or the thread cannot be had (nothing is watched then).
  bool Start();

  void SetBackgroundDelay(DWORD ms) { m_nBackgroundDelayMs = ms; }
  // The bits of the browsers with a process watched now.
  int RunningBrowsers();
  // Handles waited on now (for tests and the benchmark).
  size_t WatchedProcesses();

 private:
  struct Watched {
    HANDLE process;
    DWORD pid;
    int bit;
  };
  static void CALLBACK OnWinEvent(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG object, LONG child,
                                  DWORD thread, DWORD time);
  static void CALLBACK OnBackgroundTimer(HWND, UINT, UINT_PTR id, DWORD);
  static unsigned ThreadMain(void* self);

  void OnWindow(DWORD event, HWND hwnd);
  // The browser bit of a process, 0 for any other, from the cache when the
  // process (its id and start time) was seen before.
  int BrowserOfProcess(DWORD pid);
  // Takes in every process of the browser(s) in bits that is not watched yet.
  // Returns the browsers that have at least one process watched afterwards.
  int AddRunningProcesses(int bits);
  bool IsWatched(DWORD pid);
  int BitOfWatchedPid(DWORD pid);
  void WaitLoop();
  // Starts the wait anew on fresh handles after a failed wait; false when
  // nothing could be watched again.
  bool RestartWait();
  void ArmBackgroundCheck(int bit);
  void CheckBackground(int due);
  bool HasVisibleWindow(int bit);

  HWND m_hNotify;
  HWINEVENTHOOK m_hHook = nullptr;
  Thread* m_pThread = nullptr;
  Event m_wake;
  std::mutex m_lock;
  std::vector<Watched> m_watched;  // guarded by m_lock
  bool m_bQuit = false;            // guarded by m_lock
  // GUI thread only.
  struct SeenProcess {
    ULONGLONG started;  // its creation time: a reused id has another
    int bit;            // 0 for a process of no browser
  };
  std::unordered_map<DWORD, SeenProcess> m_seen;
  DWORD m_nBackgroundDelayMs = kDefaultBackgroundDelayMs;
  static constexpr int kTimerSlots = 8;      // one per browser bit
  UINT_PTR m_backgroundTimers[kTimerSlots] = {};
  int m_nBackgroundSaid = 0;  // browsers whose line was written during this run

 public:
  // At most this many processes are remembered; then the cache starts anew.
  static constexpr size_t kSeenProcessesKept = 512;
  static constexpr int kWaitRestarts = 3;
  size_t SeenProcesses() const { return m_seen.size(); }
};

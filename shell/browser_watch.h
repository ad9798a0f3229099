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
// keeps it running, once the delay has passed with no window of it shown.
#pragma once
#include <windows.h>

#include <mutex>
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
  // The browser bit of a process, 0 for any other; keeps a few recent
  // other processes open so that their ids are not taken again meanwhile.
  int BrowserOfProcess(DWORD pid);
  // Takes in every process of the browser(s) in bits that is not watched yet.
  // Returns the browsers that have at least one process watched afterwards.
  int AddRunningProcesses(int bits);
  bool IsWatched(DWORD pid);
  int BitOfWatchedPid(DWORD pid);
  void WaitLoop();
  void ArmBackgroundCheck(int bit);
  void CheckBackground();
  bool HasVisibleWindow(int bit);

  HWND m_hNotify;
  HWINEVENTHOOK m_hHook = nullptr;
  Thread* m_pThread = nullptr;
  Event m_wake;
  std::mutex m_lock;
  std::vector<Watched> m_watched;  // guarded by m_lock
  bool m_bQuit = false;            // guarded by m_lock
  // GUI thread only.
  struct Other {
    HANDLE process;
    DWORD pid;
  };
  std::vector<Other> m_others;
  DWORD m_nBackgroundDelayMs = kDefaultBackgroundDelayMs;
  UINT_PTR m_nBackgroundTimer = 0;
  int m_nBackgroundDue = 0;   // browsers to look at when the timer fires
  int m_nBackgroundSaid = 0;  // browsers whose line was written during this run
};

// The watch for browsers that close.
#include "shell/browser_watch.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "engine/browsers.h"
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"
#include "shell/browser_sweep.h"
#include "winlib/trace.h"

namespace {

BrowserWatch* g_pWatch = nullptr;

// Per browser, the processes waited on at once; when the last of them ends
// the others are looked for again. Five browsers stay below the 63 handles
// one wait takes besides its wake event.
constexpr size_t kPerBrowser = 8;
constexpr DWORD kOpenRights = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

ULONGLONG StartTimeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}



const char* BaseName(const char* path) {
  const char* cut = std::max(std::strrchr(path, '\\'), std::strrchr(path, '/'));
  return cut != nullptr ? cut + 1 : path;
}

int BitOfExe(const char* exe) {
  size_t count = 0;
  const BrowserInfo* all = Browsers(&count);
  for (size_t i = 0; i < count; ++i)
    if (_stricmp(BaseName(exe), all[i].process) == 0) return 1 << i;
  return 0;
}

const BrowserInfo* BrowserOfBit(int bit) {
  size_t count = 0;
  const BrowserInfo* all = Browsers(&count);
  for (size_t i = 0; i < count; ++i)
    if (bit == (1 << i)) return &all[i];
  return nullptr;
}

}  // namespace

BrowserWatch::BrowserWatch(HWND notify) : m_hNotify(notify) {}

BrowserWatch::~BrowserWatch() {
  if (m_hHook != nullptr) ::UnhookWinEvent(m_hHook);
  for (UINT_PTR& timer : m_backgroundTimers)
    if (timer != 0) ::KillTimer(nullptr, timer);
  if (m_pThread != nullptr) {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      m_bQuit = true;
    }
    m_wake.Set();
    m_pThread->Wait(INFINITE);
    delete m_pThread;
  }
  for (const Watched& w : m_watched) ::CloseHandle(w.process);
  if (g_pWatch == this) g_pWatch = nullptr;
}

bool BrowserWatch::Start() {
  if (g_pWatch != nullptr || !m_wake.IsValid()) return false;
  g_pWatch = this;
  // Windows of every process of the session, this one's own left out; an
  // out-of-context hook runs here, from this thread's message loop.
  m_hHook = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE, nullptr, &OnWinEvent, 0, 0,
                              WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  if (m_hHook == nullptr) {
    Trace("Browser watch: no window notifications (error %lu)\n", (unsigned long)::GetLastError());
    g_pWatch = nullptr;
    return false;
  }
  m_pThread = Thread::Begin(&ThreadMain, this, /*suspended=*/false);
  if (m_pThread == nullptr) {
    ::UnhookWinEvent(m_hHook);
    m_hHook = nullptr;
    g_pWatch = nullptr;
    return false;
  }
  AddRunningProcesses(~0);
  return true;
}

int BrowserWatch::RunningBrowsers() {
  std::lock_guard<std::mutex> hold(m_lock);
  int bits = 0;
  for (const Watched& w : m_watched) bits |= w.bit;
  return bits;
}

size_t BrowserWatch::WatchedProcesses() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_watched.size();
}

// --- the GUI thread: windows ----------------------------------------------------

void CALLBACK BrowserWatch::OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                                       DWORD) {
  // Windows themselves, not their parts; top-level ones only.
  if (g_pWatch == nullptr || hwnd == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF) return;
  g_pWatch->OnWindow(event, hwnd);
}

void BrowserWatch::OnWindow(DWORD event, HWND hwnd) {
  const HWND parent = ::GetAncestor(hwnd, GA_PARENT);
  if (parent != nullptr && parent != ::GetDesktopWindow()) return;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  int bit = pid != 0 ? BitOfWatchedPid(pid) : 0;
  if (bit == 0 && pid != 0 && (event == EVENT_OBJECT_CREATE || event == EVENT_OBJECT_SHOW)) {
    bit = BrowserOfProcess(pid);
    if (bit != 0) {
      const int before = RunningBrowsers();
      AddRunningProcesses(bit);
      if ((before & bit) == 0) m_nBackgroundSaid &= ~bit;  // a new run of it
    }
  }
  // A window of a browser came or went: once the delay has passed, see
  // whether any of its windows still shows. (Windows reports hiding and
  // destroying; Wine 8 reports only creation.)
  if (bit != 0) ArmBackgroundCheck(bit);
}

int BrowserWatch::BrowserOfProcess(DWORD pid) {
  HANDLE process = ::OpenProcess(kOpenRights, FALSE, pid);
  if (process == nullptr) return 0;
  const ULONGLONG started = StartTimeOf(process);
  const auto seen = m_seen.find(pid);
  if (seen != m_seen.end() && started != 0 && seen->second.started == started) {
    ::CloseHandle(process);
    return seen->second.bit;
  }
  char image[MAX_PATH * 2] = {};
  DWORD size = sizeof image;
  const int bit = ::QueryFullProcessImageNameA(process, 0, image, &size) ? BitOfExe(image) : 0;
  ::CloseHandle(process);
  if (started != 0) {
    // Processes come and go for days: a cache that is full starts anew
    // rather than grow.
    if (m_seen.size() >= kSeenProcessesKept && seen == m_seen.end()) m_seen.clear();
    m_seen[pid] = {started, bit};
  }
  return bit;
}

bool BrowserWatch::IsWatched(DWORD pid) { return BitOfWatchedPid(pid) != 0; }

int BrowserWatch::BitOfWatchedPid(DWORD pid) {
  std::lock_guard<std::mutex> hold(m_lock);
  for (const Watched& w : m_watched)
    if (w.pid == pid) return w.bit;
  return 0;
}

// --- processes ----------------------------------------------------------------------

int BrowserWatch::AddRunningProcesses(int bits) {
  std::vector<Watched> found;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
      const int bit = BitOfExe(entry.szExeFile) & bits;
      if (bit == 0 || entry.th32ProcessID == self || IsWatched(entry.th32ProcessID)) continue;
      // Another user's process cannot be opened: it is not this user's browser.
      HANDLE process = ::OpenProcess(kOpenRights, FALSE, entry.th32ProcessID);
      if (process != nullptr) found.push_back({process, entry.th32ProcessID, bit});
    }
    ::CloseHandle(snapshot);
  }
  int running = 0;
  bool added = false;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    for (const Watched& w : found) {
      // The GUI thread and the waiting thread may both have looked.
      const bool known =
          std::any_of(m_watched.begin(), m_watched.end(), [&](const Watched& o) { return o.pid == w.pid; });
      const size_t ofBrowser =
          std::count_if(m_watched.begin(), m_watched.end(), [&](const Watched& o) { return o.bit == w.bit; });
      if (known || ofBrowser >= kPerBrowser || m_bQuit) {
        ::CloseHandle(w.process);
        continue;
      }
      m_watched.push_back(w);
      added = true;
    }
    for (const Watched& w : m_watched) running |= w.bit;
  }
  if (added) m_wake.Set();
  return running & bits;
}

unsigned BrowserWatch::ThreadMain(void* self) {
  static_cast<BrowserWatch*>(self)->WaitLoop();
  return 0;
}

bool BrowserWatch::RestartWait() {
  std::vector<Watched> old;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_bQuit) return false;
    old.swap(m_watched);
  }
  int bits = 0;
  for (const Watched& w : old) {
    bits |= w.bit;
    ::CloseHandle(w.process);
  }
  // What ran before runs still, or has ended: either way a fresh look tells.
  const int running = AddRunningProcesses(~0);
  const int gone = bits & ~running;
  for (int bit = 1; bit <= gone; bit <<= 1)
    if ((gone & bit) != 0 && m_hNotify != nullptr) ::PostMessageA(m_hNotify, WM_BROWSER_CLOSED, bit, 0);
  return true;
}

void BrowserWatch::WaitLoop() {
  int failures = 0;
  for (;;) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    handles[count++] = m_wake.Handle();
    {
      std::lock_guard<std::mutex> hold(m_lock);
      if (m_bQuit) return;
      for (const Watched& w : m_watched)
        if (count < MAXIMUM_WAIT_OBJECTS) handles[count++] = w.process;
    }
    const DWORD r = ::WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0) {
      failures = 0;
      continue;  // the list changed, or the end
    }
    std::vector<HANDLE> ended;
    if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count) {
      failures = 0;
      ended.push_back(handles[r - WAIT_OBJECT_0]);
    } else {
      // A failed wait names no handle: drop every one that no longer answers;
      // when none is to blame, start again on fresh handles, a few times.
      const unsigned long error = ::GetLastError();
      Trace("Browser watch: wait failed (error %lu)\n", error);
      for (DWORD i = 1; i < count; ++i)
        if (::WaitForSingleObject(handles[i], 0) != WAIT_TIMEOUT) ended.push_back(handles[i]);
      if (ended.empty()) {
        if (++failures <= kWaitRestarts && RestartWait()) continue;
        LogFormat(0,
                  "The watch for browsers that close has stopped (error %lu): a browser that closes is swept at "
                  "the next sweep instead.\n",
                  error);
        return;
      }
    }
    int gone = 0;
    {
      std::lock_guard<std::mutex> hold(m_lock);
      for (HANDLE h : ended) {
        auto it = std::find_if(m_watched.begin(), m_watched.end(), [h](const Watched& w) { return w.process == h; });
        if (it == m_watched.end()) continue;
        const int bit = it->bit;
        ::CloseHandle(it->process);
        m_watched.erase(it);
        if (std::none_of(m_watched.begin(), m_watched.end(), [bit](const Watched& w) { return w.bit == bit; }))
          gone |= bit;
      }
    }
    if (gone == 0) continue;
    // A process of it may have started since without a window of its own.
    const int stillRunning = AddRunningProcesses(gone);
    gone &= ~stillRunning;
    for (int bit = 1; bit <= gone; bit <<= 1)
      if ((gone & bit) != 0 && m_hNotify != nullptr) ::PostMessageA(m_hNotify, WM_BROWSER_CLOSED, bit, 0);
  }
}

// --- the background line --------------------------------------------------------------

void BrowserWatch::ArmBackgroundCheck(int bits) {
  for (int bit = 1, slot = 0; slot < kTimerSlots; bit <<= 1, ++slot) {
    if ((bits & bit) == 0) continue;
    // Each browser's delay runs from its own last window event.
    if (m_backgroundTimers[slot] != 0) ::KillTimer(nullptr, m_backgroundTimers[slot]);
    m_backgroundTimers[slot] = ::SetTimer(nullptr, 0, m_nBackgroundDelayMs, &OnBackgroundTimer);
  }
}

void CALLBACK BrowserWatch::OnBackgroundTimer(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);  // once per arming
  if (g_pWatch == nullptr) return;
  for (int slot = 0; slot < kTimerSlots; ++slot) {
    if (g_pWatch->m_backgroundTimers[slot] != id) continue;
    g_pWatch->m_backgroundTimers[slot] = 0;
    g_pWatch->CheckBackground(1 << slot);
    return;
  }
}

void BrowserWatch::CheckBackground(int due) {
  const int running = RunningBrowsers();
  m_nBackgroundSaid &= running;
  // Only while a browser's close is awaited does its staying matter.
  if ((g_GeneralSettings.m_nSweepAt & SWEEP_AT_BROWSER_CLOSE) == 0) return;
  for (int bit = 1; bit <= due; bit <<= 1) {
    if ((due & bit) == 0 || (running & bit) == 0) continue;
    if (HasVisibleWindow(bit)) {
      m_nBackgroundSaid &= ~bit;
      continue;
    }
    if (m_nBackgroundSaid & bit) continue;
    m_nBackgroundSaid |= bit;
    const BrowserInfo* browser = BrowserOfBit(bit);
    if (browser == nullptr) continue;
    LogFormat(0,
              "%s is still running with no window open, so its files stay in use and it is not swept until it "
              "ends. What keeps it running: %s.\n",
              browser->name, browser->keepsRunning);
  }
}

bool BrowserWatch::HasVisibleWindow(int bit) {
  struct Search {
    std::vector<DWORD> pids;
    bool found = false;
  } search;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    for (const Watched& w : m_watched)
      if (w.bit == bit) search.pids.push_back(w.pid);
  }
  ::EnumWindows(
      [](HWND hwnd, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        if (!::IsWindowVisible(hwnd)) return TRUE;
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (std::find(s->pids.begin(), s->pids.end(), pid) == s->pids.end()) return TRUE;
        s->found = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

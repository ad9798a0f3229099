// The sweep worker: one supervisor thread that starts a thread per requested
// category (Windows, Applications, Internet), notices when each ends and tells
// the main window; and the three category procedures those threads run.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>

#include "engine/entry_selection.h"
#include "winlib/event.h"
#include "winlib/thread.h"
#include "winlib/timed_lock.h"

enum SweepCategory : int {
  SWEEP_CATEGORY_WINDOWS = 0,
  SWEEP_CATEGORY_APPLICATIONS = 1,
  SWEEP_CATEGORY_INTERNET = 2,
  SWEEP_CATEGORY_COUNT = 3,
};

// Bits of the request and cancel words.
enum SweepBits : int {
  SWEEP_QUIT = 0x01,  // request word only: end the supervisor
  SWEEP_ALL = 0x04,   // cancel word only: stop every category
  SWEEP_WINDOWS = 0x08,
  SWEEP_APPLICATIONS = 0x10,
  SWEEP_INTERNET = 0x20,
};

// WM_SWEEP_FINISHED: wParam = category number, lParam = state.
constexpr UINT WM_SWEEP_FINISHED = 1034;
enum SweepState : int { SWEEP_ENDED = 1, SWEEP_STARTED = 2 };

class SweepWorker;

// "Windows", "Internet" or "Applications", as the user sees the category.
const char* SweepCategoryName(SweepCategory category);

// A target cleaner: writes its own opening line, removes through the engine's
// primitives and adds to the two tally halves (either may be null).
using TargetCleaner = void (*)(SweepWorker* worker, int* count, float* kb);

// One step of a category procedure. progress < 0: the bar is not moved;
// bit 0: the cleaner always runs. name: the target's caption as the category
// page shows it; the step's records carry it (EntryScope) and a one-off
// selection chooses by it. A step without a name covers several check boxes
// and names (and asks EntryChosen for) each of its targets itself.
struct SweepStep {
  int progress;
  bool checkCancel;
  int bit;
  TargetCleaner cleaner;
  const char* name = nullptr;
};

struct SweepTable {
  const SweepStep* steps;
  size_t count;
};

// The cleaners of each category in the order they run. Tests may replace a
// table and must restore it.
SweepTable& WindowsSweepTable();
SweepTable& InternetSweepTable();
SweepTable& ApplicationsSweepTable();

// A sweep that runs after a category's own targets and before its tally goes
// to the totals, with the category's cancel checks before and after it. The
// shell sets it at start-up (rule entries); null runs nothing. Set it while
// no sweep runs.
using CategoryExtraSweep = void (*)(SweepWorker* worker, SweepCategory category, int* count, float* kb);
void SetCategoryExtraSweep(CategoryExtraSweep sweep);
CategoryExtraSweep GetCategoryExtraSweep();

// A sweep of some browsers' entries alone (a bit per browser, in the order
// of the catalogue's browser table), run on the Internet category's thread in
// place of that category's own targets. The shell sets it at start-up; null
// sweeps nothing. Set it while no sweep runs.
using BrowserSweep = void (*)(SweepWorker* worker, int browsers, int* count, float* kb);
void SetBrowserSweep(BrowserSweep sweep);

// Category procedures: thread entry points, also called directly (exit,
// logoff, one-shot mode). The result carries no meaning.
unsigned SweepWindows(SweepWorker* worker);
unsigned SweepInternet(SweepWorker* worker);
unsigned SweepApplications(SweepWorker* worker);

// The cancel check of the sweep this thread runs, for the long loops below a
// category procedure that are not handed the worker (a folder walk of
// thousands of files): a category procedure opens one on its worker and its
// cancel bits for its run. It reads the worker's own cancel word.
class SweepCancelScope {
 public:
  // worker null: a sweep that cannot be cancelled.
  SweepCancelScope(SweepWorker* worker, int mask);
  ~SweepCancelScope();
  SweepCancelScope(const SweepCancelScope&) = delete;
  SweepCancelScope& operator=(const SweepCancelScope&) = delete;

 private:
  SweepWorker* m_pPreviousWorker;
  int m_nPreviousMask;
};
// True when the sweep running on this thread has been asked to stop; false
// outside a sweep. Cheap enough to ask between two files.
bool SweepCancelRequested();

class SweepWorker {
 public:
  // How category threads are made; tests swap it to force a failure.
  using ThreadFactory = Thread* (*)(Thread::Proc proc, void* param, bool suspended);

  // Creates the lock, the event and the supervisor thread, suspended.
  SweepWorker();
  // For tests: adopts wakeEvent as the wake event (null plays a CreateEventA
  // that failed: the supervisor then polls for requests).
  explicit SweepWorker(HANDLE wakeEvent);
  virtual ~SweepWorker();
  SweepWorker(const SweepWorker&) = delete;
  SweepWorker& operator=(const SweepWorker&) = delete;

  // Holding the lock: resets the wake event and resumes the supervisor.
  void Start();

  // The window that receives WM_SWEEP_FINISHED (none: nothing is posted).
  // Written and read under the worker's lock: the supervisor posts to it.
  void SetNotifyWindow(HWND hwnd);

  // Several requests under one hold of the lock are served in one pass.
  void Lock() { m_lock.LockPatiently(); }
  void Unlock() { m_lock.Unlock(); }

  // Sets the category bits in the request word, clears them in the cancel
  // word, and wakes the supervisor.
  void RequestSweep(int bits);
  // As RequestSweep, but the categories' next runs are previews: they log
  // and count as a sweep and change nothing. A plain request for the same
  // category before it starts makes it a real sweep again.
  void RequestPreview(int bits);
  // As RequestSweep, but the categories' next runs sweep only the entries
  // in selection (one-off: nothing stored changes). A later plain request or
  // preview for the same category before it starts makes it whole again.
  void RequestSelected(int bits, SharedSelection selection);
  // Whether the category's latest run (running or ended) was a preview.
  bool WasPreview(int category);
  // The selection of the category's latest run; null when it ran whole.
  SharedSelection SelectionOf(int category);
  // Asks for a sweep of these browsers' entries alone on the Internet line
  // (bits as BrowserSweep takes them). Requests made before the Internet
  // category starts add up; a plain request for Internet before it starts
  // makes its next run a whole one again. False, and nothing requested, while
  // Internet runs or a preview of it is pending: the caller asks again when
  // that run has ended.
  bool RequestBrowserSweep(int browsers);
  // The browsers the category's latest run was limited to; 0 for a run of
  // the whole category.
  int BrowsersOf(int category);
  // Sets bits in the cancel word (a category bit, or SWEEP_ALL).
  void RequestCancel(int bits);
  // Clears bits of the cancel word (the main window clears SWEEP_ALL when a
  // sweep of all categories has ended).
  void ClearCancel(int bits);
  // Withdraws requests for categories that have not started yet (bits of
  // the request word); running categories are not touched.
  void DropRequests(int bits);
  bool IsCancelled(int mask);
  // As IsCancelled, without the lock: for checks between two files.
  bool CancelPending(int mask) const { return (m_nCancel.load() & mask) != 0; }
  // A category procedure stopped early on a cancel (it says so itself);
  // WasCancelled tells it of the category's latest run until the next starts.
  void NoteCancelled(int category);
  bool WasCancelled(int category);
  bool IsRunning(int category);
  bool IsAnyRunning();

  // Asks the supervisor to end once the running categories have finished,
  // waits for it, and deletes this worker.
  void Quit();

  // Preview: the sweeps this worker runs log and count but change nothing.
  // Set while no sweep runs (one-shot mode sets it before sweeping).
  void SetPreview(bool on) { m_bPreview = on; }
  bool IsPreview() const { return m_bPreview; }

  ThreadFactory m_threadFactory = &Thread::Begin;

 private:
  static unsigned SupervisorMain(void* self);
  void SupervisorLoop();
  void StartCategory(int category, HANDLE* waitList, DWORD* waitCount);
  bool EndCategory(HANDLE ended);
  Thread* ThreadOf(HANDLE h) const;
  void RecoverFromFailedWait(HANDLE* waitList, DWORD* waitCount, bool* polling);
  // Without a supervisor nothing would ever start or end a category: each
  // request is reported started and ended at once.
  void RefuseWithoutSupervisor(int bits);
  static void RemoveSlot(HANDLE* waitList, DWORD* waitCount, DWORD slot);
  bool AnyRunningUnlocked() const;
  void Post(int category, int state);

  Thread* m_pSupervisor = nullptr;
  Event m_hWakeEvent;
  Thread* m_pWork[SWEEP_CATEGORY_COUNT] = {};
  int m_nRequest = 0;
  // Written under the lock; atomic so that CancelPending may read it without.
  std::atomic<int> m_nCancel{0};
  int m_bQuitting = 0;
  bool m_bStarted = false;
  HWND m_hNotify = nullptr;
  bool m_bPreview = false;
  int m_nPreviewRequest = 0;  // category bits whose next run is a preview
  bool m_bRunPreview[SWEEP_CATEGORY_COUNT] = {};
  bool m_bRunCancelled[SWEEP_CATEGORY_COUNT] = {};
  SharedSelection m_pendingSelection[SWEEP_CATEGORY_COUNT];  // for the next run
  SharedSelection m_runSelection[SWEEP_CATEGORY_COUNT];      // of the latest run
  int m_nBrowserRequest = 0;  // browsers the next Internet run is limited to
  int m_nRunBrowsers[SWEEP_CATEGORY_COUNT] = {};
  TimedLock m_lock;
};

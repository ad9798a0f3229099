#include "engine/sweep_worker.h"

#include "engine/removal_guard.h"

#include <atomic>

#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"

namespace {

// A category thread learns at its start whether its run is a preview; a
// category procedure called directly (exit, logoff) never is one by request.
template <int Category, unsigned (*Procedure)(SweepWorker*)>
unsigned CategoryThread(void* w) {
  auto* worker = static_cast<SweepWorker*>(w);
  PreviewScope preview(worker->WasPreview(Category));
  SelectionScope selection(worker->SelectionOf(Category));
  return Procedure(worker);
}
constexpr auto WindowsThread = &CategoryThread<SWEEP_CATEGORY_WINDOWS, &SweepWindows>;
constexpr auto ApplicationsThread = &CategoryThread<SWEEP_CATEGORY_APPLICATIONS, &SweepApplications>;
std::atomic<BrowserSweep> g_browserSweep{nullptr};

thread_local SweepWorker* t_cancelWorker = nullptr;
thread_local int t_cancelMask = 0;

// A category that stopped on a cancel says so in its status line and the
// log, and the worker remembers it for the window that asked.
void SayCancelled(SweepWorker* worker, SweepCategory category, int statusId) {
  if (worker != nullptr) worker->NoteCancelled(category);
  LogStamped(kCancelledLine, statusId);
}

// The Internet line, limited to the browsers that were asked for: their
// entries, counted and totalled as a category's own.
unsigned SweepBrowsersOnly(SweepWorker* worker, int browsers) {
  SweepCancelScope cancel(worker, SWEEP_INTERNET | SWEEP_ALL);
  SetProgress(IDC_PROGRESS_INTERNET, 0);
  SweepTally tally;
  if (BrowserSweep sweep = g_browserSweep.load()) sweep(worker, browsers, &tally.count, &tally.kb);
  // What went before a cancel went: it is in the totals either way.
  AddTotals(tally.count, tally.kb);
  ShowTotals();
  if (worker->IsCancelled(SWEEP_INTERNET | SWEEP_ALL)) {
    SayCancelled(worker, SWEEP_CATEGORY_INTERNET, IDC_STATUS_INTERNET);
    return 0;
  }
  SetProgress(IDC_PROGRESS_INTERNET, 100);
  if (tally.count == 0) LogLine("Finished cleaning up.\n", IDC_STATUS_INTERNET);
  return 0;
}

unsigned InternetThread(void* w) {
  auto* worker = static_cast<SweepWorker*>(w);
  PreviewScope preview(worker->WasPreview(SWEEP_CATEGORY_INTERNET));
  SelectionScope selection(worker->SelectionOf(SWEEP_CATEGORY_INTERNET));
  const int browsers = worker->BrowsersOf(SWEEP_CATEGORY_INTERNET);
  return browsers != 0 ? SweepBrowsersOnly(worker, browsers) : SweepInternet(worker);
}

struct CategoryInfo {
  int bit;
  Thread::Proc proc;
  const char* startLine;
  const char* endLine;
  const char* createFailed;
};

// Indexed by SweepCategory.
const CategoryInfo kCategories[SWEEP_CATEGORY_COUNT] = {
    {SWEEP_WINDOWS, WindowsThread, "Start a thread to clean up the history for Windows.",
     "Finish the thread cleaning the history for Windows.", "Cannot generate a new worker thread for windows"},
    {SWEEP_APPLICATIONS, ApplicationsThread, "Start a thread to clean up the history for applications.",
     "Finish the thread cleaning the history for applications.",
     "Cannot generate a new worker thread for application"},
    {SWEEP_INTERNET, InternetThread, "Start a thread to clean up the history for internet browser.",
     "Finish the thread cleanning the history for the internet browser.",
     "Cannot generate a new worker thread for internet"},
};

const int kStartOrder[] = {SWEEP_CATEGORY_APPLICATIONS, SWEEP_CATEGORY_WINDOWS, SWEEP_CATEGORY_INTERNET};
const int kEndMatchOrder[] = {SWEEP_CATEGORY_WINDOWS, SWEEP_CATEGORY_APPLICATIONS, SWEEP_CATEGORY_INTERNET};
constexpr int kCategoryBits = SWEEP_WINDOWS | SWEEP_APPLICATIONS | SWEEP_INTERNET;
constexpr DWORD kWaitSlots = 16;
// How often requests are looked at when there is no wake event to wait on.
constexpr DWORD kPollMs = 50;

std::atomic<CategoryExtraSweep> g_extraSweep{nullptr};

// targets is read afresh before each step: a box changed on the page while
// the category runs counts for the steps still to come.
unsigned RunCategory(SweepWorker* worker, SweepCategory category, const SweepTable& table,
                     const volatile int* targets, int barId, int statusId, int cancelBit) {
  PreviewScope preview(PreviewActive() || (worker != nullptr && worker->IsPreview()));
  // The walks below stop at the next file once a cancel comes.
  SweepCancelScope cancel(worker, cancelBit | SWEEP_ALL);
  SetProgress(barId, 0);
  SweepTally tally;
  // A cancel ends the category early, but what it removed so far was
  // removed: it goes into the totals either way.
  auto cancelled = [&] {
    if (worker == nullptr || !worker->IsCancelled(cancelBit | SWEEP_ALL)) return false;
    AddTotals(tally.count, tally.kb);
    ShowTotals();
    SayCancelled(worker, category, statusId);
    return true;
  };
  for (size_t i = 0; i < table.count; ++i) {
    const SweepStep& step = table.steps[i];
    if (step.progress >= 0) SetProgress(barId, static_cast<unsigned>(step.progress));
    if (step.checkCancel && cancelled()) return 0;
    if (step.bit != 0 && (*targets & step.bit) == 0) continue;
    if (step.name == nullptr) {
      step.cleaner(worker, &tally.count, &tally.kb);
    } else if (EntryChosen(category, step.name)) {
      EntryScope entry(category, step.name);
      step.cleaner(worker, &tally.count, &tally.kb);
    }
  }
  if (CategoryExtraSweep extra = g_extraSweep.load()) {
    if (cancelled()) return 0;
    extra(worker, category, &tally.count, &tally.kb);
    if (cancelled()) return 0;
  }
  // A cancel during the last step stopped it part of the way.
  if (cancelled()) return 0;
  AddTotals(tally.count, tally.kb);
  ShowTotals();
  // Each log line ends with its own line break; the status line shows the same text.
  if (tally.count == 0) LogLine("Finished cleaning up.\n", statusId);
  return 0;
}

}  // namespace

SweepCancelScope::SweepCancelScope(SweepWorker* worker, int mask)
    : m_pPreviousWorker(t_cancelWorker), m_nPreviousMask(t_cancelMask) {
  t_cancelWorker = worker;
  t_cancelMask = mask;
}

SweepCancelScope::~SweepCancelScope() {
  t_cancelWorker = m_pPreviousWorker;
  t_cancelMask = m_nPreviousMask;
}

bool SweepCancelRequested() { return t_cancelWorker != nullptr && t_cancelWorker->CancelPending(t_cancelMask); }

void SetCategoryExtraSweep(CategoryExtraSweep sweep) { g_extraSweep.store(sweep); }
void SetBrowserSweep(BrowserSweep sweep) { g_browserSweep.store(sweep); }
CategoryExtraSweep GetCategoryExtraSweep() { return g_extraSweep.load(); }

const char* SweepCategoryName(SweepCategory category) {
  switch (category) {
    case SWEEP_CATEGORY_WINDOWS:
      return "Windows";
    case SWEEP_CATEGORY_INTERNET:
      return "Internet";
    default:
      return "Applications";
  }
}

unsigned SweepWindows(SweepWorker* worker) {
  return RunCategory(worker, SWEEP_CATEGORY_WINDOWS, WindowsSweepTable(), &g_WindowsSettings.m_nTargets,
                     IDC_PROGRESS_WINDOWS, IDC_STATUS_WINDOWS, SWEEP_WINDOWS);
}

unsigned SweepInternet(SweepWorker* worker) {
  return RunCategory(worker, SWEEP_CATEGORY_INTERNET, InternetSweepTable(), &g_InternetSettings.m_nTargets,
                     IDC_PROGRESS_INTERNET, IDC_STATUS_INTERNET, SWEEP_INTERNET);
}

unsigned SweepApplications(SweepWorker* worker) {
  return RunCategory(worker, SWEEP_CATEGORY_APPLICATIONS, ApplicationsSweepTable(),
                     &g_ApplicationSettings.m_nTargets, IDC_PROGRESS_APPLICATIONS, IDC_STATUS_APPLICATIONS,
                     SWEEP_APPLICATIONS);
}

SweepWorker::SweepWorker() : SweepWorker(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

SweepWorker::SweepWorker(HANDLE wakeEvent) : m_hWakeEvent(wakeEvent) {
  m_pSupervisor = Thread::Begin(&SupervisorMain, this, /*suspended=*/true);
  if (m_pSupervisor == nullptr)
    Trace("Cannot create the working thread (error %lu)\n", (unsigned long)::GetLastError());
}

SweepWorker::~SweepWorker() {
  // A worker deleted without Quit still lets its supervisor finish first.
  if (m_pSupervisor != nullptr && !m_pSupervisor->Wait(0)) {
    Start();  // resets the wake event: must come before the quit request
    // A supervisor that could not be resumed is gone by now.
    if (m_pSupervisor != nullptr) {
      RequestSweep(SWEEP_QUIT);
      m_pSupervisor->Wait(INFINITE);
    }
  }
  delete m_pSupervisor;
}

void SweepWorker::Start() {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  if (m_bStarted || m_pSupervisor == nullptr) return;
  m_hWakeEvent.Reset();
  if (m_pSupervisor->Resume() == static_cast<DWORD>(-1)) {
    // A supervisor that never ran holds nothing: end it and do without.
    Trace("Cannot resume the working thread (error %lu)\n", (unsigned long)::GetLastError());
    ::TerminateThread(m_pSupervisor->Handle(), 1);
    m_pSupervisor->Wait(INFINITE);
    delete m_pSupervisor;
    m_pSupervisor = nullptr;
    return;
  }
  m_bStarted = true;
  // Requests made before the start are served now.
  if (m_nRequest & (kCategoryBits | SWEEP_QUIT)) m_hWakeEvent.Set();
}

void SweepWorker::SetNotifyWindow(HWND hwnd) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_hNotify = hwnd;
}

void SweepWorker::RefuseWithoutSupervisor(int bits) {
  for (int category : kStartOrder) {
    if ((bits & kCategories[category].bit) == 0) continue;
    Trace("%s\n", kCategories[category].createFailed);
    Post(category, SWEEP_STARTED);
    Post(category, SWEEP_ENDED);
  }
}

void SweepWorker::RequestSweep(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  if (m_pSupervisor == nullptr) {
    RefuseWithoutSupervisor(bits);
    return;
  }
  m_nRequest |= bits;
  m_nCancel &= ~(bits & kCategoryBits);
  m_nPreviewRequest &= ~bits;
  for (int category = 0; category < SWEEP_CATEGORY_COUNT; ++category)
    if (bits & kCategories[category].bit) m_pendingSelection[category].reset();
  if (bits & SWEEP_INTERNET) m_nBrowserRequest = 0;
  m_hWakeEvent.Set();
}

void SweepWorker::RequestSelected(int bits, SharedSelection selection) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  bits &= kCategoryBits;
  RequestSweep(bits);
  // An empty selection chooses nothing; it must not fall back to everything.
  if (selection == nullptr) selection = std::make_shared<const EntrySelection>();
  for (int category = 0; category < SWEEP_CATEGORY_COUNT; ++category)
    if (bits & kCategories[category].bit) m_pendingSelection[category] = selection;
}

SharedSelection SweepWorker::SelectionOf(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return nullptr;
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return m_runSelection[category];
}

void SweepWorker::RequestPreview(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  bits &= kCategoryBits;
  RequestSweep(bits);
  m_nPreviewRequest |= bits;
}

bool SweepWorker::RequestBrowserSweep(int browsers) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  if (browsers == 0 || m_pWork[SWEEP_CATEGORY_INTERNET] != nullptr) return false;
  // A preview asked for runs as asked; the browsers wait for its end.
  if ((m_nRequest & m_nPreviewRequest & SWEEP_INTERNET) != 0) return false;
  // A whole Internet run already asked for covers these browsers too.
  const bool wholePending = (m_nRequest & SWEEP_INTERNET) != 0 && m_nBrowserRequest == 0;
  const int pending = m_nBrowserRequest;
  RequestSweep(SWEEP_INTERNET);
  m_nBrowserRequest = wholePending ? 0 : pending | browsers;
  return true;
}

int SweepWorker::BrowsersOf(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return 0;
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return m_nRunBrowsers[category];
}

bool SweepWorker::WasPreview(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return false;
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return m_bRunPreview[category];
}

void SweepWorker::RequestCancel(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nCancel |= bits;
}

void SweepWorker::NoteCancelled(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return;
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_bRunCancelled[category] = true;
}

bool SweepWorker::WasCancelled(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return false;
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return m_bRunCancelled[category];
}

void SweepWorker::ClearCancel(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nCancel &= ~bits;
}

void SweepWorker::DropRequests(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nRequest &= ~(bits & kCategoryBits);
}

bool SweepWorker::IsCancelled(int mask) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return (m_nCancel & mask) != 0;
}

bool SweepWorker::IsRunning(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return false;
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return m_pWork[category] != nullptr;
}

bool SweepWorker::IsAnyRunning() {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  return AnyRunningUnlocked();
}

bool SweepWorker::AnyRunningUnlocked() const {
  for (Thread* t : m_pWork)
    if (t != nullptr) return true;
  return false;
}

void SweepWorker::Quit() { delete this; }

void SweepWorker::Post(int category, int state) {
  HWND notify;
  {
    TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
    notify = m_hNotify;
  }
  if (notify == nullptr || !::IsWindow(notify)) return;
  if (!::PostMessageA(notify, WM_SWEEP_FINISHED, static_cast<WPARAM>(category), state))
    Trace("Cannot Post Message to Main Window\n");
}

unsigned SweepWorker::SupervisorMain(void* self) {
  static_cast<SweepWorker*>(self)->SupervisorLoop();
  return 0;
}

void SweepWorker::StartCategory(int category, HANDLE* waitList, DWORD* waitCount) {
  const CategoryInfo& info = kCategories[category];
  m_bRunPreview[category] = m_bPreview || (m_nPreviewRequest & info.bit) != 0;
  m_bRunCancelled[category] = false;
  m_nPreviewRequest &= ~info.bit;
  m_runSelection[category] = std::move(m_pendingSelection[category]);
  m_pendingSelection[category].reset();
  m_nRunBrowsers[category] = category == SWEEP_CATEGORY_INTERNET ? m_nBrowserRequest : 0;
  if (category == SWEEP_CATEGORY_INTERNET) m_nBrowserRequest = 0;
  SetTitle(m_bRunPreview[category] ? kPreviewCaption : kProgressCaption);
  // A resident program follows known folders moved since the last sweep.
  // Where the drive letters led is noted once for all the categories that
  // run together: a category that starts while another runs must not note
  // a folder moved meanwhile as where it always stood.
  bool alone = true;
  for (const Thread* other : m_pWork) alone = alone && other == nullptr;
  RefreshProtectedPlaces(alone);
  LogStamped(info.startLine, 0);
  Thread* t = (*waitCount < kWaitSlots) ? m_threadFactory(info.proc, this, /*suspended=*/true) : nullptr;
  if (t != nullptr && t->Resume() == static_cast<DWORD>(-1)) {
    // Never ran, so it holds nothing: ended here, it counts as never started.
    Trace("Cannot resume the worker thread (error %lu)\n", (unsigned long)::GetLastError());
    ::TerminateThread(t->Handle(), 1);
    t->Wait(INFINITE);
    delete t;
    t = nullptr;
  }
  if (t != nullptr) {
    m_pWork[category] = t;
    waitList[(*waitCount)++] = t->Handle();
  } else {
    Trace("%s\n", info.createFailed);
  }
  m_nRequest &= ~info.bit;
  m_hWakeEvent.Reset();
  Post(category, SWEEP_STARTED);
  // A category that never started also never ends by itself: say so now, so
  // that the main window does not wait for it forever.
  if (t == nullptr) Post(category, SWEEP_ENDED);
}

bool SweepWorker::EndCategory(HANDLE ended) {
  for (int category : kEndMatchOrder) {
    Thread* t = m_pWork[category];
    if (t == nullptr || t->Handle() != ended) continue;
    const CategoryInfo& info = kCategories[category];
    LogStamped(info.endLine, 0);
    delete t;
    m_pWork[category] = nullptr;
    m_nCancel &= ~info.bit;
    m_hWakeEvent.Reset();
    Post(category, SWEEP_ENDED);
    return true;
  }
  Trace("Cannot find m_pWork by Thread-ID.\n");
  return false;
}

Thread* SweepWorker::ThreadOf(HANDLE h) const {
  for (Thread* t : m_pWork)
    if (t != nullptr && t->Handle() == h) return t;
  return nullptr;
}

// Finds the handles that no longer answer a wait. A category thread whose
// handle was lost may still be running: it gets a fresh handle and is waited
// for again; only a thread that is gone is ended. When the wake event itself
// fails, requests are polled from then on instead of failing the same wait
// for ever. Called holding the lock.
void SweepWorker::RecoverFromFailedWait(HANDLE* waitList, DWORD* waitCount, bool* polling) {
  bool changed = false;
  if (!*polling && ::WaitForSingleObject(waitList[0], 0) == WAIT_FAILED) {
    Trace("Supervisor: the wake event fails, requests are polled\n");
    *polling = true;
    changed = true;
  }
  for (DWORD i = *waitCount - 1; i >= 1; --i) {
    const DWORD one = ::WaitForSingleObject(waitList[i], 0);
    if (one == WAIT_FAILED) {
      Thread* t = ThreadOf(waitList[i]);
      if (t != nullptr && t->Reacquire()) {
        waitList[i] = t->Handle();
        changed = true;
        continue;
      }
    } else if (one != WAIT_OBJECT_0) {
      continue;
    }
    EndCategory(waitList[i]);
    RemoveSlot(waitList, waitCount, i);
    changed = true;
  }
  if (!changed) ::Sleep(kPollMs);  // nothing to mend: do not spin a core
}

// Moves every later slot one place down, up to the first unused one.
void SweepWorker::RemoveSlot(HANDLE* waitList, DWORD* waitCount, DWORD slot) {
  for (DWORD j = slot; j + 1 < kWaitSlots && waitList[j] != INVALID_HANDLE_VALUE; ++j) waitList[j] = waitList[j + 1];
  waitList[kWaitSlots - 1] = INVALID_HANDLE_VALUE;
  --*waitCount;
}

void SweepWorker::SupervisorLoop() {
  Trace("Working thread starts working.\n");
  HANDLE waitList[kWaitSlots];
  for (HANDLE& h : waitList) h = INVALID_HANDLE_VALUE;
  waitList[0] = m_hWakeEvent.Handle();
  DWORD waitCount = 1;

  bool polling = !m_hWakeEvent.IsValid();
  if (polling) Trace("Supervisor: no wake event, requests are polled\n");

  for (;;) {
    DWORD r;
    if (!polling) {
      r = ::WaitForMultipleObjects(waitCount, waitList, FALSE, INFINITE);
    } else {
      // No event to wake on: wait for the category threads a short while,
      // then look at the request word as a wake would.
      if (waitCount > 1) {
        r = ::WaitForMultipleObjects(waitCount - 1, waitList + 1, FALSE, kPollMs);
        if (r < WAIT_OBJECT_0 + waitCount - 1) r += 1;
      } else {
        ::Sleep(kPollMs);
        r = WAIT_TIMEOUT;
      }
      if (r == WAIT_TIMEOUT) r = WAIT_OBJECT_0;
    }
    if (r >= WAIT_OBJECT_0 + waitCount) {
      // A failed wait names no slot: never index the list with it.
      Trace("Supervisor wait failed: result %lu, error %lu\n", (unsigned long)r, (unsigned long)::GetLastError());
      if (!m_lock.LockPatiently()) {
        ::Sleep(kPollMs);
        continue;
      }
      RecoverFromFailedWait(waitList, &waitCount, &polling);
      const bool leave = m_bQuitting && !AnyRunningUnlocked();
      if (leave) m_bQuitting = 0;
      m_lock.Unlock();
      if (leave) break;
      continue;
    }
    const DWORD slot = r - WAIT_OBJECT_0;
    if (!m_lock.LockPatiently()) {
      // The wake was used up without its requests: look at them again soon.
      polling = true;
      continue;
    }
    bool leave = false;
    if (slot == 0) {
      if (m_nRequest & SWEEP_QUIT) {
        m_nRequest &= ~SWEEP_QUIT;
        LogStamped("Working thread received a termination message.", 0);
        if (AnyRunningUnlocked())
          m_bQuitting = 1;
        else
          leave = true;
      } else if (m_bQuitting) {
        m_nRequest &= ~kCategoryBits;  // no new category starts once quitting
      } else {
        for (int category : kStartOrder) {
          const int bit = kCategories[category].bit;
          if ((m_nRequest & bit) == 0) continue;
          if (m_pWork[category] != nullptr)
            m_nRequest &= ~bit;  // still running: never a second thread
          else
            StartCategory(category, waitList, &waitCount);
        }
      }
    } else {
      EndCategory(waitList[slot]);
      RemoveSlot(waitList, &waitCount, slot);
      if (m_bQuitting && !AnyRunningUnlocked()) leave = true;
    }
    if (leave) {
      m_bQuitting = 0;
      m_lock.Unlock();
      break;
    }
    // The event was reset above while requests may still be pending (one that
    // came in while this pass waited for the lock): wake the next pass for them.
    if (m_nRequest & (kCategoryBits | SWEEP_QUIT)) m_hWakeEvent.Set();
    m_lock.Unlock();
  }
  Trace("\nEnding working thread\n\n");
}

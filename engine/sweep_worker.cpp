#include "engine/sweep_worker.h"

#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"
#include "winlib/trace.h"

namespace {

unsigned WindowsThread(void* w) { return SweepWindows(static_cast<SweepWorker*>(w)); }
unsigned ApplicationsThread(void* w) { return SweepApplications(static_cast<SweepWorker*>(w)); }
unsigned InternetThread(void* w) { return SweepInternet(static_cast<SweepWorker*>(w)); }

struct CategoryInfo {
  int bit;
  Thread::Proc proc;
  const char* startLine;
  const char* endLine;
  const char* createFailed;
};

// Indexed by SweepCategory.
const CategoryInfo kCategories[SWEEP_CATEGORY_COUNT] = {
    {SWEEP_WINDOWS, &WindowsThread, "Start a thread to clean up the history for Windows.",
     "Finish the thread cleaning the history for Windows.", "Cannot generate a new worker thread for windows"},
    {SWEEP_APPLICATIONS, &ApplicationsThread, "Start a thread to clean up the history for applications.",
     "Finish the thread cleaning the history for applications.",
     "Cannot generate a new worker thread for application"},
    {SWEEP_INTERNET, &InternetThread, "Start a thread to clean up the history for internet browser.",
     "Finish the thread cleanning the history for the internet browser.",
     "Cannot generate a new worker thread for internet"},
};

const int kStartOrder[] = {SWEEP_CATEGORY_APPLICATIONS, SWEEP_CATEGORY_WINDOWS, SWEEP_CATEGORY_INTERNET};
const int kEndMatchOrder[] = {SWEEP_CATEGORY_WINDOWS, SWEEP_CATEGORY_APPLICATIONS, SWEEP_CATEGORY_INTERNET};
constexpr int kCategoryBits = SWEEP_WINDOWS | SWEEP_APPLICATIONS | SWEEP_INTERNET;
constexpr DWORD kWaitSlots = 16;

unsigned RunCategory(SweepWorker* worker, const SweepTable& table, int targets, int barId, int statusId,
                     int cancelBit) {
  PreviewScope preview(worker != nullptr && worker->IsPreview());
  SetProgress(barId, 0);
  SweepTally tally;
  for (size_t i = 0; i < table.count; ++i) {
    const SweepStep& step = table.steps[i];
    if (step.progress >= 0) SetProgress(barId, static_cast<unsigned>(step.progress));
    if (step.checkCancel && worker != nullptr && worker->IsCancelled(cancelBit | SWEEP_ALL)) return 0;
    if (step.bit == 0 || (targets & step.bit) != 0) step.cleaner(worker, &tally.count, &tally.kb);
  }
  AddTotals(tally.count, tally.kb);
  ShowTotals();
  // Each log line ends with its own line break; the status line shows the same text.
  if (tally.count == 0) LogLine("Finished cleaning up.\n", statusId);
  return 0;
}

}  // namespace

unsigned SweepWindows(SweepWorker* worker) {
  return RunCategory(worker, WindowsSweepTable(), g_WindowsSettings.m_nTargets, IDC_PROGRESS_WINDOWS,
                     IDC_STATUS_WINDOWS, SWEEP_WINDOWS);
}

unsigned SweepInternet(SweepWorker* worker) {
  return RunCategory(worker, InternetSweepTable(), g_InternetSettings.m_nTargets, IDC_PROGRESS_INTERNET,
                     IDC_STATUS_INTERNET, SWEEP_INTERNET);
}

unsigned SweepApplications(SweepWorker* worker) {
  return RunCategory(worker, ApplicationsSweepTable(), g_ApplicationSettings.m_nTargets,
                     IDC_PROGRESS_APPLICATIONS, IDC_STATUS_APPLICATIONS, SWEEP_APPLICATIONS);
}

SweepWorker::SweepWorker() { m_pSupervisor = Thread::Begin(&SupervisorMain, this, /*suspended=*/true); }

SweepWorker::~SweepWorker() {
  // A worker deleted without Quit still lets its supervisor finish first.
  if (m_pSupervisor != nullptr && !m_pSupervisor->Wait(0)) {
    Start();  // resets the wake event: must come before the quit request
    RequestSweep(SWEEP_QUIT);
    m_pSupervisor->Wait(INFINITE);
  }
  delete m_pSupervisor;
}

void SweepWorker::Start() {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  if (m_bStarted || m_pSupervisor == nullptr) return;
  m_hWakeEvent.Reset();
  m_bStarted = true;
  m_pSupervisor->Resume();
}

void SweepWorker::RequestSweep(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nRequest |= bits;
  m_nCancel &= ~(bits & kCategoryBits);
  m_hWakeEvent.Set();
}

void SweepWorker::RequestCancel(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nCancel |= bits;
}

void SweepWorker::ClearCancel(int bits) {
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nCancel &= ~bits;
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
  if (m_hNotify == nullptr || !::IsWindow(m_hNotify)) return;
  if (!::PostMessageA(m_hNotify, WM_SWEEP_FINISHED, static_cast<WPARAM>(category), state))
    Trace("Cannot Post Message to Main Window\n");
}

unsigned SweepWorker::SupervisorMain(void* self) {
  static_cast<SweepWorker*>(self)->SupervisorLoop();
  return 0;
}

void SweepWorker::StartCategory(int category, HANDLE* waitList, DWORD* waitCount) {
  const CategoryInfo& info = kCategories[category];
  SetTitle(kProgressCaption);
  LogStamped(info.startLine, 0);
  Thread* t = (*waitCount < kWaitSlots) ? m_threadFactory(info.proc, this, /*suspended=*/true) : nullptr;
  if (t != nullptr) {
    m_pWork[category] = t;
    waitList[(*waitCount)++] = t->Handle();
    t->Resume();
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

  for (;;) {
    DWORD r = ::WaitForMultipleObjects(waitCount, waitList, FALSE, INFINITE);
    if (r >= WAIT_OBJECT_0 + waitCount) {
      // A failed wait names no slot: never index the list with it. Find the
      // handles that no longer answer a wait (closed under us) and end their
      // categories, so the loop does not fail the same way for ever.
      Trace("Supervisor wait failed: result %lu, error %lu\n", (unsigned long)r, (unsigned long)::GetLastError());
      m_lock.LockPatiently();
      bool dropped = false;
      for (DWORD i = waitCount - 1; i >= 1; --i) {
        DWORD one = ::WaitForSingleObject(waitList[i], 0);
        if (one != WAIT_FAILED && one != WAIT_OBJECT_0) continue;
        EndCategory(waitList[i]);
        RemoveSlot(waitList, &waitCount, i);
        dropped = true;
      }
      const bool leave = m_bQuitting && !AnyRunningUnlocked();
      if (leave) m_bQuitting = 0;
      m_lock.Unlock();
      if (leave) break;
      if (!dropped) ::Sleep(50);  // nothing to drop: do not spin a core
      continue;
    }
    const DWORD slot = r - WAIT_OBJECT_0;
    m_lock.LockPatiently();
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

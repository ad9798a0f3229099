#include "shell_fixtures.h"

#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "res/resource.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "ui/control_panel.h"
#include "winlib/property_sheet.h"
#include "winlib/platform_calls.h"

void ResetGroups() {
  g_GeneralSettings.m_nTargets = 0x1F;
  g_GeneralSettings.m_nSweepAt = 0;
  g_GeneralSettings.m_nTimerSeconds = 60;
  g_GeneralSettings.m_bNotShowLogo = 0;
  g_GeneralSettings.m_tLastSweep = 0;
  g_WindowsSettings.m_nTargets = 0;
  g_WindowsSettings.m_tLastSweep = 0;
  g_WindowsSettings.m_locations.clear();
  g_WindowsSettings.m_bLocationsDirty = 0;
  g_InternetSettings.m_nTargets = 0x18;
  g_InternetSettings.m_tLastSweep = 0;
  g_InternetSettings.m_friendlyCookies.clear();
  g_ApplicationSettings.m_nTargets = 0;
  g_ApplicationSettings.m_tLastSweep = 0;
}

void StoreNumber(const std::string& path, const char* name, int value) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ::RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), 4);
  ::RegCloseKey(key);
}

int StoredNumber(const std::string& path, const char* name) {
  int value = -1;
  DWORD size = sizeof value;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  if (::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
    value = -1;
  ::RegCloseKey(key);
  return value;
}

// --- recording cleaners --------------------------------------------------------

std::mutex CleanerRecord::s_mutex;
std::vector<CleanerRecord::Call> CleanerRecord::s_calls;
HANDLE CleanerRecord::s_gate = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
std::atomic<int> CleanerRecord::s_inside{0};
std::atomic<int> CleanerRecord::s_mostInside{0};
DWORD CleanerRecord::s_freeThread = 0;

void CleanerRecord::Reset() {
  std::lock_guard<std::mutex> hold(s_mutex);
  s_calls.clear();
  s_inside = 0;
  s_mostInside = 0;
  s_freeThread = ::GetCurrentThreadId();
  ::SetEvent(s_gate);
}

std::vector<int> CleanerRecord::Categories() {
  std::lock_guard<std::mutex> hold(s_mutex);
  std::vector<int> out;
  for (const Call& c : s_calls) out.push_back(c.category);
  return out;
}

std::vector<CleanerRecord::Call> CleanerRecord::Calls() {
  std::lock_guard<std::mutex> hold(s_mutex);
  return s_calls;
}

void CleanerRecord::Hold() { ::ResetEvent(s_gate); }
void CleanerRecord::Release() { ::SetEvent(s_gate); }
int CleanerRecord::MostAtOnce() { return s_mostInside; }

namespace {

template <int Id, int CancelBit>
void Rec(SweepWorker* worker, int* count, float* kb) {
  {
    std::lock_guard<std::mutex> hold(CleanerRecord::s_mutex);
    CleanerRecord::s_calls.push_back({Id, ::GetCurrentThreadId(), CurrentProgressSink()});
  }
  const int inside = ++CleanerRecord::s_inside;
  for (int most = CleanerRecord::s_mostInside; inside > most;)
    if (CleanerRecord::s_mostInside.compare_exchange_weak(most, inside)) break;
  // Held: wait for the release, or stop like a real cleaner when cancelled.
  // Ten seconds at most, so that a fault shows as a failure, not a hang.
  const bool mayWait = ::GetCurrentThreadId() != CleanerRecord::s_freeThread;
  for (int i = 0; mayWait && i < 1000; ++i) {
    if (::WaitForSingleObject(CleanerRecord::s_gate, 10) == WAIT_OBJECT_0) break;
    if (worker != nullptr && worker->IsCancelled(CancelBit | SWEEP_ALL)) break;
  }
  --CleanerRecord::s_inside;
  LogItem(count, 0, "   ", "removed by %d\n", Id);
  if (kb) *kb += 0.5f;
}

}  // namespace

RecordingTables::RecordingTables()
    : m_w(WindowsSweepTable(), {50, true, 0, &Rec<CleanerRecord::kWindows, SWEEP_WINDOWS>}),
      m_i(InternetSweepTable(), {50, true, 0, &Rec<CleanerRecord::kInternet, SWEEP_INTERNET>}),
      m_a(ApplicationsSweepTable(), {50, true, 0, &Rec<CleanerRecord::kApplications, SWEEP_APPLICATIONS>}) {}

// --- tray calls ----------------------------------------------------------------

std::mutex TrayRecorder::s_mutex;
std::vector<TrayRecorder::Call> TrayRecorder::s_calls;

TrayRecorder::TrayRecorder() : m_saved(g_platform.Shell_NotifyIconA) {
  {
    std::lock_guard<std::mutex> hold(s_mutex);
    s_calls.clear();
  }
  g_platform.Shell_NotifyIconA = &Fake;
}

TrayRecorder::~TrayRecorder() { g_platform.Shell_NotifyIconA = m_saved; }

BOOL WINAPI TrayRecorder::Fake(DWORD message, PNOTIFYICONDATAA data) {
  std::lock_guard<std::mutex> hold(s_mutex);
  s_calls.push_back({message, data->hWnd, data->uID, data->hIcon, data->szTip});
  return TRUE;
}

std::vector<TrayRecorder::Call> TrayRecorder::Calls() {
  std::lock_guard<std::mutex> hold(s_mutex);
  return s_calls;
}

int TrayRecorder::Count(DWORD message) {
  int n = 0;
  for (const Call& c : Calls()) n += c.message == message;
  return n;
}

CMainWnd* StartResidentWindow(CMainApp& app) {
  app.m_pWork = new SweepWorker;
  app.m_pWork->Start();
  if (!CMainWnd::RegisterClass(nullptr)) return nullptr;
  CMainWnd* wnd = new CMainWnd(app);
  app.m_pMainWnd = wnd;
  if (!wnd->Create(nullptr)) return nullptr;
  app.m_pWork->SetNotifyWindow(wnd->m_hWnd);
  return wnd;
}

int DriveControlPanel(HWND mainWnd, const std::function<void(CLustraProp&)>& drive) {
  SheetScript script([&](CPropertySheet& sheet) {
    drive(static_cast<CLustraProp&>(sheet));
    return static_cast<INT_PTR>(IDCANCEL);
  });
  ::SendMessageA(mainWnd, WM_COMMAND, MAKEWPARAM(IDM_SHOW_PANEL, 0), 0);
  return script.Runs();
}

namespace {
std::string g_guardPattern;
int g_guardAnswer = -1;  // -1 not asked, 0 allowed, 1 refused
void AskGuard(SweepWorker*, int*, float*) { g_guardAnswer = RemovalRefusal(g_guardPattern) != nullptr ? 1 : 0; }
}  // namespace

void ExpectSweepJudgesByTheProtectedPlacesOfItsStart(const std::function<void()>& sweep) {
  struct Case {
    const char* what;
    bool dataBefore, dataAtSweep;
  };
  const Case cases[] = {{"a folder made a data folder since the guard's last set", false, true},
                        {"a data folder no longer one (or gone, its identity given to another)", true, false}};
  char saved[MAX_PATH] = {};
  const bool had = ::GetEnvironmentVariableA("OneDrive", saved, MAX_PATH) > 0;
  struct Restore {
    const char* value;
    ~Restore() {
      ::SetEnvironmentVariableA("OneDrive", value);
      RefreshProtectedPlaces();
    }
  } restore{had ? saved : nullptr};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder tmp;
    const std::string cloud = tmp / "cloud";
    ASSERT_TRUE(::CreateDirectoryA(cloud.c_str(), nullptr) && ::CreateDirectoryA((cloud + "\\notes").c_str(), nullptr));
    g_guardPattern = cloud + "\\notes\\*.*";
    ::SetEnvironmentVariableA("OneDrive", c.dataBefore ? cloud.c_str() : nullptr);
    RefreshProtectedPlaces();
    ASSERT_EQ(RemovalRefusal(g_guardPattern) != nullptr, c.dataBefore);  // the set an earlier sweep took
    ::SetEnvironmentVariableA("OneDrive", c.dataAtSweep ? cloud.c_str() : nullptr);
    g_guardAnswer = -1;
    SweepTableSwap internet(InternetSweepTable(), {0, false, 0, &AskGuard});
    sweep();
    EXPECT_NE(g_guardAnswer, -1) << "the sweep never asked the guard";
    if (g_guardAnswer != -1) EXPECT_EQ(g_guardAnswer == 1, c.dataAtSweep);
  }
}

// The resident program under stress, as a user's session meets it: start it,
// plant traces, ask it for a whole sweep from the tray, and choose "Exit"
// while the sweep runs; again and again. Each cycle must end within 30 s, end
// cleanly, and its log (the program's "/report" output) must carry the
// worker's quit line exactly once, with nothing but the running categories'
// ends after it. "--idle" instead measures what the resident program costs
// while it waits: private memory after start-up and CPU time over 60 s, with
// "Browser closes" on; with "--browser" a second time while a stand-in
// browser (tests\stand_in\chrome.exe) runs idle.
//
//   bench_resident_stress [--cycles N] [--max-delay MS] [--show-log] [--idle SECONDS [--browser]] [--screens]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "res/resource.h"
#include "settings/settings_groups.h"

namespace {

const char kQuitLine[] = "Working thread received a termination message.";
const char kFinishLine[] = "Finish the thread";

std::string BuildFolder() {
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  path = path.substr(0, path.find_last_of('\\'));  // ...\bench
  return path.substr(0, path.find_last_of('\\'));
}

void StoreNumber(const char* path, const char* name, int value) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ::RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), 4);
  ::RegCloseKey(key);
}

// A started program with its standard output collected by a reader thread.
struct Child {
  PROCESS_INFORMATION pi = {};
  HANDLE readEnd = nullptr;
  HANDLE reader = nullptr;
  std::string output;

  bool Start(const std::string& exe, const std::string& args) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return false;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    std::string line = "\"" + exe + "\" " + args;
    const bool ok =
        ::CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != FALSE;
    ::CloseHandle(writeEnd);
    if (!ok) return false;
    reader = ::CreateThread(nullptr, 0, &Read, this, 0, nullptr);
    return true;
  }
  static DWORD WINAPI Read(LPVOID self) {
    auto* c = static_cast<Child*>(self);
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(c->readEnd, buf, sizeof buf, &got, nullptr) && got > 0) c->output.append(buf, got);
    return 0;
  }
  // Waits for the end; false (and the process killed) after timeoutMs.
  bool Wait(DWORD timeoutMs, DWORD* exitCode) {
    bool ended = ::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
      ::TerminateProcess(pi.hProcess, 999);
      ::WaitForSingleObject(pi.hProcess, 5000);
    }
    ::GetExitCodeProcess(pi.hProcess, exitCode);
    ::WaitForSingleObject(reader, 5000);
    return ended;
  }
  ~Child() {
    if (reader) ::CloseHandle(reader);
    if (readEnd) ::CloseHandle(readEnd);
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);
  }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// The resident program's window, once it has one.
HWND WaitForMainWindow(HANDLE process, DWORD timeoutMs) {
  const double until = Now() + timeoutMs / 1000.0;
  while (Now() < until) {
    if (HWND hwnd = ::FindWindowA("Morvane", nullptr)) return hwnd;
    if (::WaitForSingleObject(process, 5) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

void ConfigureSettings() {
  // A whole sweep of every category, nothing shown, no sweep at exit: the
  // cycle's exit lands in the middle of the tray's sweep.
  StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_WINDOWS | GENERAL_SWEEP_INTERNET |
                                                   GENERAL_SWEEP_APPLICATIONS);
  StoreNumber(kGeneralSettingsPath, "StTm", SWEEP_AT_INTERVAL);
  StoreNumber(kGeneralSettingsPath, "TmSn", 3600);
  StoreNumber(kGeneralSettingsPath, "NotShowLogo", 1);
  // Every target except the recycle bin (Wine's is the host's trash).
  StoreNumber(kWindowsSettingsPath, "Targets", 0xFF & ~0x02);
  StoreNumber(kInternetSettingsPath, "Targets", 0xFF);
  StoreNumber(kApplicationSettingsPath, "Targets", 0xFF);
}

int Stress(int cycles, int maxDelayMs, bool showLog) {
  const std::string build = BuildFolder();
  const std::string morvane = build + "\\Morvane.exe";
  const std::string seeder = build + "\\SeedTraces.exe";
  ConfigureSettings();
  std::srand(12345);

  int hangs = 0, crashes = 0, badLogs = 0, noWindow = 0, midSweep = 0, seedFailures = 0;
  std::vector<double> cycleSeconds, exitSeconds;
  for (int i = 0; i < cycles; ++i) {
    {
      Child seed;
      DWORD code = 0;
      if (!seed.Start(seeder, "") || !seed.Wait(30000, &code) || code != 0) ++seedFailures;
    }
    const double start = Now();
    Child app;
    if (!app.Start(morvane, "/report")) {
      std::printf("cycle %d: cannot start %s\n", i, morvane.c_str());
      return 2;
    }
    HWND hwnd = WaitForMainWindow(app.pi.hProcess, 10000);
    if (hwnd == nullptr) ++noWindow;
    else {
      ::PostMessageA(hwnd, WM_COMMAND, IDM_SWEEP_NOW, 0);
      ::Sleep(static_cast<DWORD>(std::rand() % (maxDelayMs + 1)));
      ::PostMessageA(hwnd, WM_COMMAND, IDM_EXIT, 0);
    }
    const double exitAsked = Now();
    DWORD code = 0;
    const bool ended = app.Wait(30000, &code);
    const double end = Now();
    cycleSeconds.push_back(end - start);
    exitSeconds.push_back(end - exitAsked);
    if (!ended) {
      ++hangs;
      std::printf("cycle %d: HANG (killed after 30 s)\n", i);
      continue;
    }
    if (code != 0) {
      ++crashes;
      std::printf("cycle %d: exit code 0x%08lX\n", i, static_cast<unsigned long>(code));
    }
    // The quit line once; after it only the ends of categories that were
    // still running (nothing starts once the worker quits).
    const std::vector<std::string> lines = Lines(app.output);
    int quits = 0;
    size_t quitAt = 0, exitAt = lines.size(), lastFinish = 0;
    for (size_t n = 0; n < lines.size(); ++n) {
      if (lines[n].find(kQuitLine) != std::string::npos) {
        ++quits;
        quitAt = n;
      }
      if (exitAt == lines.size() && lines[n].find("Start exiting Processes") != std::string::npos) exitAt = n;
      if (lines[n].find(kFinishLine) != std::string::npos) lastFinish = n;
    }
    // "Exit" came while a category still ran.
    if (exitAt < lastFinish) ++midSweep;
    bool tailOk = quits == 1;
    for (size_t n = quitAt + 1; tailOk && n < lines.size(); ++n) {
      if (lines[n].find(kFinishLine) != std::string::npos) continue;
      // Lines of a category still finishing its last cleaner are allowed too;
      // what must not come is a category's start.
      if (lines[n].find("Start a thread") != std::string::npos) tailOk = false;
    }
    if (showLog) std::printf("--- cycle %d (%.3f s after exit)\n%s", i, end - exitAsked, app.output.c_str());
    if (!tailOk) {
      ++badLogs;
      std::printf("cycle %d: %d quit line(s); log follows\n%s\n", i, quits, app.output.c_str());
    }
  }
  std::printf("cycles %d: hangs %d, crashes %d, bad logs %d, no window %d, seed failures %d\n", cycles, hangs,
              crashes, badLogs, noWindow, seedFailures);
  std::printf("\"Exit\" came while categories ran: %d of %d cycles\n", midSweep, cycles);
  std::printf("cycle (start to end): median %.3f s, max %.3f s; exit to end: median %.3f s, max %.3f s\n",
              Median(cycleSeconds), *std::max_element(cycleSeconds.begin(), cycleSeconds.end()),
              Median(exitSeconds), *std::max_element(exitSeconds.begin(), exitSeconds.end()));
  return (hangs || crashes || badLogs || noWindow) ? 1 : 0;
}

double CpuSeconds(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  auto secs = [](const FILETIME& f) {
    return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e7;
  };
  return secs(kernel) + secs(user);
}

// Private memory now, and the CPU time the process takes over `seconds`, in
// seconds and in 100-ns ticks as GetProcessTimes counts them.
void MeasureIdle(HANDLE process, int seconds, const char* what) {
  PROCESS_MEMORY_COUNTERS_EX mem = {};
  mem.cb = sizeof mem;
  ::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem);
  std::printf("%s: private %.1f KB, working set %.1f KB\n", what, mem.PrivateUsage / 1024.0,
              mem.WorkingSetSize / 1024.0);
  std::fflush(stdout);
  const double cpu0 = CpuSeconds(process);
  std::printf("%s: CPU time since the start: %.3f s\n", what, cpu0);
  ::Sleep(static_cast<DWORD>(seconds) * 1000);
  const double cpu1 = CpuSeconds(process);
  std::printf("%s: CPU time over %d idle seconds: %.3f s (%.0f ticks of 100 ns)\n", what, seconds, cpu1 - cpu0,
              (cpu1 - cpu0) * 1e7);
  std::fflush(stdout);
}

int Idle(int seconds, bool withBrowser) {
  const std::string morvane = BuildFolder() + "\\Morvane.exe";
  ConfigureSettings();
  // As a first start has it: the progress window is created hidden and
  // records, the sweep timer is armed for an hour; and a browser's close is
  // waited for.
  StoreNumber(kGeneralSettingsPath, "Targets", 0x1F);
  StoreNumber(kGeneralSettingsPath, "StTm", SWEEP_AT_INTERVAL | SWEEP_AT_BROWSER_CLOSE);
  Child app;
  if (!app.Start(morvane, "")) return 2;
  HWND hwnd = WaitForMainWindow(app.pi.hProcess, 10000);
  if (hwnd == nullptr) return 2;
  ::Sleep(2000);  // start-up settles
  std::printf("pid %lu\n", static_cast<unsigned long>(app.pi.dwProcessId));
  MeasureIdle(app.pi.hProcess, seconds, "no browser running");
  if (withBrowser) {
    Child browser;
    if (!browser.Start(BuildFolder() + "\\tests\\stand_in\\chrome.exe", "")) return 2;
    ::Sleep(3000);  // its window is seen and its process taken in
    MeasureIdle(app.pi.hProcess, seconds, "a stand-in browser running idle");
    const std::string title = "Stand-in browser " + std::to_string(browser.pi.dwProcessId);
    ::PostMessageA(::FindWindowA("MorvaneStandInBrowser", title.c_str()), WM_CLOSE, 0, 0);
    DWORD code = 0;
    browser.Wait(10000, &code);
  }
  ::PostMessageA(hwnd, WM_COMMAND, IDM_EXIT, 0);
  DWORD code = 0;
  app.Wait(30000, &code);
  return 0;
}

// For screenshots taken from outside: the startup window for a few seconds,
// then the tray menu at (640, 512) until "Exit".
int Screens() {
  const std::string morvane = BuildFolder() + "\\Morvane.exe";
  ConfigureSettings();
  StoreNumber(kGeneralSettingsPath, "NotShowLogo", 0);
  Child app;
  if (!app.Start(morvane, "")) return 2;
  HWND hwnd = WaitForMainWindow(app.pi.hProcess, 10000);
  std::printf("startup window\n");
  std::fflush(stdout);
  ::Sleep(7000);  // it closes itself after 5 s
  ::SetCursorPos(640, 512);
  ::PostMessageA(hwnd, 1124 /* WM_TRAY_NOTIFY */, 1, WM_RBUTTONDOWN);
  std::printf("tray menu\n");
  std::fflush(stdout);
  ::Sleep(6000);
  ::PostMessageA(hwnd, WM_COMMAND, IDM_EXIT, 0);
  DWORD code = 0;
  app.Wait(30000, &code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = 20, maxDelay = 300, idle = 0;
  bool showLog = false, withBrowser = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--screens") == 0) return Screens();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--show-log") == 0) showLog = true;
    if (std::strcmp(argv[i], "--browser") == 0) withBrowser = true;
    if (i + 1 >= argc) break;
    if (std::strcmp(argv[i], "--cycles") == 0) cycles = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--max-delay") == 0) maxDelay = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--idle") == 0) idle = std::atoi(argv[++i]);
  }
  return idle > 0 ? Idle(idle, withBrowser) : Stress(cycles, maxDelay, showLog);
}

// Shared by the shell tests: settings reset, stored numbers, stand-in sweep
// tables whose cleaners record where they ran and can be held open, and a
// recorder of the notification-area calls.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "support/sweep_table_swap.h"
#include "support/test_env.h"

class CLustraProp;
class CMainApp;
class CMainWnd;

// A resident program's main window for app: its worker made and started, the
// window registered, created and named to the worker. Null when creation fails.
CMainWnd* StartResidentWindow(CMainApp& app);
// Opens the control panel through the main window's menu command, hands it to
// drive, and closes it with Cancel. How often the sheet ran (1 when it opened).
int DriveControlPanel(HWND mainWnd, const std::function<void(CLustraProp&)>& drive);

// Puts the process-wide groups back to their first-start state.
void ResetGroups();

// A sweep that starts outside the worker (one-shot, exit, logoff) must judge
// by the protected places as they are then, not by a set taken earlier in
// the process: a folder becomes a user data folder (%OneDrive%) after the
// guard took its set, and another stops being one. sweep runs the sweep
// with the Internet category on; its table is a step that asks the guard.
void ExpectSweepJudgesByTheProtectedPlacesOfItsStart(const std::function<void()>& sweep);
// Stores a 4-byte number below HKEY_CURRENT_USER.
void StoreNumber(const std::string& path, const char* name, int value);
// A 4-byte number stored below HKEY_CURRENT_USER; -1 when absent.
int StoredNumber(const std::string& path, const char* name);

using TableSwap = SweepTableSwap;

// What the stand-in cleaners saw. A held cleaner waits until Release() or
// until its category is cancelled; on the thread that called Reset (the
// test's own, which runs final sweeps) it never waits.
struct CleanerRecord {
  enum { kWindows = 1, kInternet = 2, kApplications = 3 };
  struct Call {
    int category;
    DWORD thread;
    ProgressSink* sink;  // where the log went when the cleaner started
  };
  static void Reset();
  static std::vector<int> Categories();
  static std::vector<Call> Calls();
  static void Hold();
  static void Release();
  // Most cleaners that ran at the same moment.
  static int MostAtOnce();

  static std::mutex s_mutex;
  static std::vector<Call> s_calls;
  static HANDLE s_gate;  // manual-reset; signalled: cleaners do not wait
  static std::atomic<int> s_inside;
  static std::atomic<int> s_mostInside;
  static DWORD s_freeThread;
};

// Each category's table replaced by one recording (optionally held) cleaner.
class RecordingTables {
 public:
  RecordingTables();
 private:
  TableSwap m_w, m_i, m_a;
};

// Records the tray calls instead of making them while it lives.
class TrayRecorder {
 public:
  struct Call {
    DWORD message;
    HWND hwnd;
    UINT id;
    HICON icon;
    std::string tip;
  };
  TrayRecorder();
  ~TrayRecorder();
  std::vector<Call> Calls();
  int Count(DWORD message);

 private:
  static BOOL WINAPI Fake(DWORD message, PNOTIFYICONDATAA data);
  static std::mutex s_mutex;
  static std::vector<Call> s_calls;
  BOOL(WINAPI* m_saved)(DWORD, PNOTIFYICONDATAA);
};

// Standard output sent to a file for the life of the object.
class StdoutToFile {
 public:
  explicit StdoutToFile(const std::string& path) : m_path(path), m_saved(::GetStdHandle(STD_OUTPUT_HANDLE)) {
    m_file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::SetStdHandle(STD_OUTPUT_HANDLE, m_file);
  }
  ~StdoutToFile() { Restore(); }
  std::string Text() {
    Restore();
    return ReadFileBytes(m_path);
  }

 private:
  void Restore() {
    if (m_file == INVALID_HANDLE_VALUE) return;
    ::SetStdHandle(STD_OUTPUT_HANDLE, m_saved);
    ::CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
  }
  std::string m_path;
  HANDLE m_saved;
  HANDLE m_file = INVALID_HANDLE_VALUE;
};

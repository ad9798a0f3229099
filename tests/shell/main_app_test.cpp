#include "shell/main_app.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "shell_fixtures.h"
#include "support/test_env.h"
#include "winlib/window_probe.h"

namespace {

// --- recording cleaners standing in for the category tables ----------------

std::mutex g_mutex;
std::vector<int> g_calls;
std::vector<bool> g_previewSeen;  // PreviewActive() as each cleaner saw it

enum { kWindows = 1, kInternet = 2, kApplications = 3 };

template <int Id>
void Rec(SweepWorker*, int* count, float* kb) {
  {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_calls.push_back(Id);
    g_previewSeen.push_back(PreviewActive());
  }
  LogItem(count, 0, "   ", "removed by %d\n", Id);
  if (kb) *kb += 0.5f;
}

// Top-level windows that belong to this process.
int OwnTopLevelWindows() {
  int count = 0;
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid == ::GetCurrentProcessId()) ++*reinterpret_cast<int*>(param);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

// The built-in rules sweep after each category's table, with an opening line
// per entry; the rule tests cover them, these tests the framing around them.
std::string WithoutBuiltinRuleLines(const std::string& text) {
  std::string kept;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    if (line.find("(Built-in rules).") == std::string::npos) kept += line;
    at = end;
  }
  return kept;
}

class OneShot : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGroups();
    std::lock_guard<std::mutex> hold(g_mutex);
    g_calls.clear();
    g_previewSeen.clear();
  }
  void TearDown() override { ResetGroups(); }

  std::vector<int> Calls() {
    std::lock_guard<std::mutex> hold(g_mutex);
    return g_calls;
  }
  // Runs start-up on this thread as the process would, up to its end.
  bool Start(CMainApp& app, const char* commandLine) {
    const bool resident = app.InitInstance(commandLine);
    app.ExitInstance();
    return resident;
  }

  RegistrySandbox m_sandbox;
  TrayRecorder m_tray;
  // A resident start shows the startup window: answer it at once.
  ModalScript m_modal{IDOK};
  TableSwap m_w{WindowsSweepTable(), {50, true, 0, &Rec<kWindows>}};
  TableSwap m_i{InternetSweepTable(), {50, true, 0, &Rec<kInternet>}};
  TableSwap m_a{ApplicationsSweepTable(), {50, true, 0, &Rec<kApplications>}};
};

}  // namespace

TEST_F(OneShot, SweepsTheEnabledCategoriesInOrderOnThisThreadAndEnds) {
  const int windowsBefore = OwnTopLevelWindows();
  CMainApp app;
  EXPECT_FALSE(Start(app, "Morvane.exe /once"));
  EXPECT_EQ(app.m_startMode, CMainApp::StartMode::kOneShot);
  EXPECT_EQ(app.ExitCode(), 0);
  EXPECT_EQ(Calls(), (std::vector<int>{kApplications, kWindows, kInternet}));
  EXPECT_EQ(app.m_pWork, nullptr);  // the worker was stopped and deleted
  EXPECT_EQ(OwnTopLevelWindows(), windowsBefore);
  EXPECT_TRUE(m_tray.Calls().empty());  // no tray icon either
  EXPECT_TRUE(m_modal.Runs().empty());
}

TEST_F(OneShot, JudgesByTheProtectedPlacesAsTheyAreWhenItStarts) {
  ExpectSweepJudgesByTheProtectedPlacesOfItsStart([&] {
    StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_INTERNET);
    CMainApp app;
    Start(app, "Morvane.exe /once");
  });
}

TEST_F(OneShot, FollowsTheStoredTargetsAndLoadsEveryGroup) {
  StoreNumber(kGeneralSettingsPath, "Targets", GENERAL_SWEEP_APPLICATIONS | GENERAL_SWEEP_INTERNET);
  StoreNumber(kWindowsSettingsPath, "Targets", 0x21);
  CMainApp app;
  Start(app, "Morvane.exe /once");
  EXPECT_EQ(Calls(), (std::vector<int>{kApplications, kInternet}));
  EXPECT_EQ(g_WindowsSettings.m_nTargets, 0x21);
  // The groups that had no key were stored with their defaults.
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInternetSettingsPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  ::RegCloseKey(key);
}

TEST_F(OneShot, OnlyTheExactFlagSweeps) {
  CMainApp upper;
  Start(upper, "Morvane.exe /ONCE");
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(upper.m_startMode, CMainApp::StartMode::kResident);
  EXPECT_EQ(upper.ExitCode(), 0);
  EXPECT_EQ(m_tray.Count(NIM_ADD), 1);
  EXPECT_EQ(m_tray.Count(NIM_DELETE), 1);

  CMainApp withWord;
  Start(withWord, "Morvane.exe /once word");
  EXPECT_EQ(withWord.m_startMode, CMainApp::StartMode::kOneShot);
  EXPECT_EQ(Calls().size(), 3u);
}

TEST_F(OneShot, AServerStartIsDeclinedBeforeAnythingElse) {
  CMainApp app;
  EXPECT_FALSE(Start(app, "Morvane.exe /Embedding /once"));
  EXPECT_EQ(app.m_startMode, CMainApp::StartMode::kDeclined);
  EXPECT_NE(app.ExitCode(), 0);
  EXPECT_TRUE(Calls().empty());
  HKEY key = nullptr;
  EXPECT_NE(::RegOpenKeyExA(HKEY_CURRENT_USER, kGeneralSettingsPath, 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(OneShot, ReportWritesTheLogAndTotalsToStandardOutput) {
  TempFolder temp;
  std::string text;
  {
    StdoutToFile out(temp / "out.txt");
    CMainApp app;
    Start(app, "Morvane.exe /once /report");
    text = WithoutBuiltinRuleLines(out.Text());
  }
  EXPECT_EQ(text,
            "Start cleaning history on applications.\n"
            "   Item 1, removed by 3\n"
            "End cleaning history on applications.\n"
            "Start cleaning history on Windows.\n"
            "   Item 1, removed by 1\n"
            "End cleaning history on Windows.\n"
            "Start cleaning history on internet brower.\n"
            "   Item 1, removed by 2\n"
            "End cleaning history on internet brower.\n"
            "Total: 3 item(s) swept, 1.500 KB restored.\n"
            "Not removed: 0 item(s) could not be removed or scheduled for restart.\n");
  EXPECT_EQ(CurrentProgressSink(), nullptr);  // the report is detached again
}

TEST_F(OneShot, PreviewSweepsEveryCategoryAsPreviewAndSaysNothingWasRemoved) {
  TempFolder temp;
  std::string text;
  {
    StdoutToFile out(temp / "out.txt");
    CMainApp app;
    Start(app, "Morvane.exe /once /preview /report");
    EXPECT_EQ(app.ExitCode(), 0);
    text = out.Text();
  }
  EXPECT_EQ(Calls().size(), 3u);
  EXPECT_EQ(g_previewSeen, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(PreviewActive()) << "the switch ends with the sweep";
  EXPECT_NE(text.find("   Item 1, removed by 3\n"), std::string::npos) << "the would-be lines are shown";
  EXPECT_EQ(text.substr(text.rfind("End cleaning")), "End cleaning history on internet brower.\n"
                                                    "Preview: 3 item(s), 1.500 KB would be swept.\n");

  g_previewSeen.clear();
  CMainApp real;
  Start(real, "Morvane.exe /once");
  EXPECT_EQ(g_previewSeen, (std::vector<bool>{false, false, false}));
}

namespace {
void LeavesTwo(SweepWorker*, int*, float*) {
  NoteRemovalFailure();
  NoteRemovalFailure();
}
}  // namespace

// Items left behind are counted in the report and turn the exit code to 1,
// with or without the report; the count starts afresh with every sweep.
TEST_F(OneShot, ItemsLeftBehindAreReportedAndSetExitCodeOne) {
  TableSwap w{WindowsSweepTable(), {50, true, 0, &LeavesTwo}};
  TempFolder temp;
  {
    StdoutToFile out(temp / "out.txt");
    CMainApp app;
    Start(app, "Morvane.exe /once /report");
    EXPECT_EQ(app.ExitCode(), 1);
    const std::string text = out.Text();
    EXPECT_NE(text.find("Not removed: 2 item(s) could not be removed or scheduled for restart.\n"),
              std::string::npos)
        << text;
  }
  CMainApp quiet;
  Start(quiet, "Morvane.exe /once");
  EXPECT_EQ(quiet.ExitCode(), 1);
  TableSwap clean{WindowsSweepTable(), {50, true, 0, &Rec<kWindows>}};
  CMainApp again;
  Start(again, "Morvane.exe /once");
  EXPECT_EQ(again.ExitCode(), 0);
}

TEST_F(OneShot, WithoutReportNothingIsWritten) {
  TempFolder temp;
  StdoutToFile out(temp / "out.txt");
  CMainApp app;
  Start(app, "Morvane.exe /once");
  EXPECT_EQ(Calls().size(), 3u);
  EXPECT_EQ(out.Text(), "");
}

// The real program, started as a user would: its exit code and its report.
// The stored settings enable no category, so it removes nothing.
TEST(OneShotProcess, ReportsOnStandardOutputAndExitsWithZero) {
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string exe = self;
  exe = exe.substr(0, exe.find_last_of('\\'));  // ...\tests
  exe = exe.substr(0, exe.find_last_of('\\')) + "\\Morvane.exe";
  ASSERT_TRUE(FileExists(exe)) << exe;

  const char* product = "SOFTWARE\\Calderix";
  ::SHDeleteKeyA(HKEY_CURRENT_USER, product);
  for (const char* path : {kGeneralSettingsPath, kWindowsSettingsPath, kInternetSettingsPath,
                           kApplicationSettingsPath})
    StoreNumber(path, "Targets", 0);

  auto run = [&](const std::string& args, DWORD* exitCode) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ::CreatePipe(&readEnd, &writeEnd, &sa, 0);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = nullptr;
    PROCESS_INFORMATION pi = {};
    std::string line = "\"" + exe + "\" " + args;
    std::string output;
    if (::CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      ::CloseHandle(writeEnd);
      writeEnd = nullptr;
      char buf[512];
      DWORD got = 0;
      while (::ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) output.append(buf, got);
      ::WaitForSingleObject(pi.hProcess, 30000);
      ::GetExitCodeProcess(pi.hProcess, exitCode);
      ::CloseHandle(pi.hProcess);
      ::CloseHandle(pi.hThread);
    } else {
      ADD_FAILURE() << "cannot start " << exe;
    }
    if (writeEnd) ::CloseHandle(writeEnd);
    ::CloseHandle(readEnd);
    return output;
  };

  DWORD code = 99;
  EXPECT_EQ(run("/once /report", &code),
            "Total: 0 item(s) swept, 0.000 KB restored.\n"
            "Not removed: 0 item(s) could not be removed or scheduled for restart.\n");
  EXPECT_EQ(code, 0u);
  code = 99;
  EXPECT_EQ(run("/once /preview /report", &code), "Preview: 0 item(s), 0.000 KB would be swept.\n");
  EXPECT_EQ(code, 0u);
  code = 99;
  EXPECT_EQ(run("/once", &code), "");
  EXPECT_EQ(code, 0u);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, product);
}

TEST_F(OneShot, RulesListsTheEntriesLoadedAndEndsWithoutSweeping) {
  char appData[MAX_PATH];
  ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, TRUE));
  const std::string folder = std::string(appData) + "\\Morvane\\Rules";
  ::CreateDirectoryA((std::string(appData) + "\\Morvane").c_str(), nullptr);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const std::string file = folder + "\\shell-test.ini";
  ASSERT_TRUE(WriteFileBytes(file, "[Shell test *]\nLangSecRef=3024\nFileKey1=C:\\Vendor\\..\\Cache|*.tmp\n"
                                   "FileKey2=C:\\Vendor\\Cache|*.tmp\n"));
  TempFolder temp;
  std::string text;
  CMainApp app;
  {
    StdoutToFile out(temp / "rules.txt");
    EXPECT_FALSE(Start(app, "Morvane.exe /rules"));
    text = out.Text();
  }
  ::DeleteFileA(file.c_str());
  EXPECT_EQ(app.m_startMode, CMainApp::StartMode::kListedRules);
  EXPECT_EQ(app.ExitCode(), 0);
  EXPECT_TRUE(Calls().empty());
  EXPECT_NE(text.find("shell-test.ini | Applications | Utilities | Shell test * | applies: yes | off\n"
                      "    refused FileKey1: a path holding '..'.\n"),
            std::string::npos)
      << text;
  const size_t last = text.rfind("entries: ");
  ASSERT_NE(last, std::string::npos) << text;
  EXPECT_NE(text.find(" with refused keys, ", last), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 5), " on.\n");
  EXPECT_EQ(GetCategoryExtraSweep(), nullptr);
}

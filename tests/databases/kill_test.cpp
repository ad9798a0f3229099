// A sweep killed at any moment: the test program starts itself as a child
// that sweeps one profile (Shredder on, so the VACUUM is inside the window
// too) and is ended by TerminateProcess after a random delay from the moment
// it is about to begin. Each time, the database opens with integrity_check
// "ok", the bookmarks are exactly as they were, and the history is either
// all there or all gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>

#include "db_fixture.h"

namespace {

const char kChildProfile[] = "MORVANE_KILL_PROFILE";
const char kChildReady[] = "MORVANE_KILL_READY";

// The child's side: disabled in an ordinary run (a skip would mark the whole
// program skipped); KillTest starts it by name with the disabled tests on.
TEST(DbKillChild, DISABLED_Sweep) {
  char profile[MAX_PATH] = {}, ready[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableA(kChildProfile, profile, MAX_PATH), 0u) << "started by KillTest only";
  ::GetEnvironmentVariableA(kChildReady, ready, MAX_PATH);
  g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
  HANDLE event = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
  if (event != nullptr) ::SetEvent(event);
  CleanFirefoxPlaces(profile, "kill", nullptr, nullptr);
}

class KillTest : public BrowserDbTest, public ::testing::WithParamInterface<int> {
 protected:
  // A profile big enough that the sweep takes a while: the template is
  // built once and copied before each kill.
  void BuildTemplate() {
    ASSERT_TRUE(CreatePlacesDatabase(m_template));
    SqliteDb db;
    ASSERT_TRUE(db.OpenForWriting(m_template));
    ASSERT_TRUE(FillPlaces(db, 3000, 15000));
    const int64_t tagged = AddPlace(db, "https://tagged.example/", "Tagged", 2);
    ASSERT_TRUE(AddTag(db, tagged, "kept"));
    ASSERT_TRUE(AddKeyword(db, tagged, "t"));
    m_keptBefore = KeptPlacesPicture(db);
    m_visitsBefore = db.QueryInt("SELECT count(*) FROM moz_historyvisits");
  }

  // Starts the child and kills it delayMs after it said it is about to sweep
  // (or once it has ended, when it ends first).
  void SweepAndKill(int delayMs) {
    char exe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string readyName = "MorvaneKillReady" + std::to_string(::GetCurrentProcessId());
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    ASSERT_NE(ready, nullptr);
    ::SetEnvironmentVariableA(kChildProfile, m_profile.c_str());
    ::SetEnvironmentVariableA(kChildReady, readyName.c_str());
    std::string command = std::string("\"") + exe + "\" --gtest_filter=DbKillChild.DISABLED_Sweep --gtest_also_run_disabled_tests";
    // The child's output goes nowhere: a child that kept the test run's
    // output pipe open would hold up the end of the run.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = ::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
    DWORD error = 0;
    // Wine now and then fails a start under load; a second try is not a
    // second kill.
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
      started = ::CreateProcessA(exe, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
      if (!started) {
        error = ::GetLastError();
        ::Sleep(200);
      }
    }
    ::SetEnvironmentVariableA(kChildProfile, nullptr);
    ::SetEnvironmentVariableA(kChildReady, nullptr);
    ::CloseHandle(nul);
    ASSERT_TRUE(started) << "CreateProcess failed, error " << error;
    HANDLE both[] = {ready, pi.hProcess};
    ::WaitForMultipleObjects(2, both, FALSE, 20000);
    ::Sleep(static_cast<DWORD>(delayMs));
    ::TerminateProcess(pi.hProcess, 9);
    ::WaitForSingleObject(pi.hProcess, 20000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(ready);
  }

  std::string m_template = m_temp / "template.sqlite";
  int64_t m_visitsBefore = 0;
};

// Ten kills per instance, five instances: fifty kills spread over the sweep.
TEST_P(KillTest, DatabaseIsWholeAndBookmarksIntactAfterEveryKill) {
  BuildTemplate();
  // How long a whole sweep of this profile takes here sets the range of delays.
  ASSERT_TRUE(::CopyFileA(m_template.c_str(), Places().c_str(), FALSE));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(CleanFirefoxPlaces(m_profile, "timing", nullptr, nullptr), DbSweep::kCleaned);
  const int sweepMs = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  std::mt19937 random(static_cast<unsigned>(GetParam() * 7919 + sweepMs));
  std::uniform_int_distribution<int> delay(0, std::max(20, sweepMs * 5 / 2));
  int whole = 0, gone = 0;
  for (int kill = 0; kill < 10; ++kill) {
    for (const char* suffix : {"-wal", "-shm", "-journal"}) ::DeleteFileA((Places() + suffix).c_str());
    ASSERT_TRUE(::CopyFileA(m_template.c_str(), Places().c_str(), FALSE));
    const int ms = delay(random);
    SweepAndKill(ms);
    SqliteDb db;
    ASSERT_TRUE(db.OpenForWriting(Places()));
    ASSERT_TRUE(db.IntegrityOk()) << "kill " << kill << " after " << ms << " ms";
    ASSERT_EQ(KeptPlacesPicture(db), m_keptBefore) << "kill " << kill << " after " << ms << " ms";
    const int64_t visits = db.QueryInt("SELECT count(*) FROM moz_historyvisits");
    ASSERT_TRUE(visits == m_visitsBefore || visits == 0) << visits << " visits after " << ms << " ms";
    (visits == 0 ? gone : whole)++;
  }
  std::printf("[ kills    ] sweep %d ms; history whole %d, gone %d\n", sweepMs, whole, gone);
}

INSTANTIATE_TEST_SUITE_P(Fifty, KillTest, ::testing::Range(0, 5));

}  // namespace

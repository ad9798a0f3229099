// The process ends after a sweep for a browser that closed. A thread-local
// destructor that faulted on a sweep thread's exit once left the runtime's
// key lock held, so exit() hung for ever after the browser-close test ran
// alone. Here that test runs alone in a child process (this program again),
// which must end by itself within the time limit.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(ProcessExit, EndsAfterABrowserCloseSweep) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string line = std::string("\"") + self +
                     "\" --gtest_filter=BrowserCloseTest.TheLastProcessEndingSweepsThatBrowserAloneOnTheInternetLine";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(::CreateProcessA(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  const bool ended = ::WaitForSingleObject(pi.hProcess, 50000) == WAIT_OBJECT_0;
  if (!ended) ::TerminateProcess(pi.hProcess, 98);  // the hung child only; the fault is reported below
  ::WaitForSingleObject(pi.hProcess, 5000);
  DWORD code = 99;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
  EXPECT_TRUE(ended) << "the process did not end after its test passed";
  if (ended) EXPECT_EQ(code, 0u) << "the browser-close test itself failed in the child";
}

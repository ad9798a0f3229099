// Sweep tables for tests that need categories which run as long as the test
// wants: SweepTableSwap replaces a category's table for a scope, and SweepGates
// holds each category in its first step until the test opens its gate, then
// records which categories got past a cancellation check.
#pragma once
#include <windows.h>

#include <atomic>
#include <utility>
#include <vector>

#include "engine/sweep_worker.h"
#include "support/sweep_table_swap.h"

// Every category's table becomes: wait at the gate, then (after a cancel
// check) record that it finished. One set of gates at a time.
class SweepGates {
 public:
  SweepGates()
      : m_windows(WindowsSweepTable(), Steps<SWEEP_CATEGORY_WINDOWS>()),
        m_internet(InternetSweepTable(), Steps<SWEEP_CATEGORY_INTERNET>()),
        m_applications(ApplicationsSweepTable(), Steps<SWEEP_CATEGORY_APPLICATIONS>()) {
    for (int c = 0; c < SWEEP_CATEGORY_COUNT; ++c) {
      Gate(c) = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
      Finished(c) = 0;
    }
  }
  ~SweepGates() {
    for (int c = 0; c < SWEEP_CATEGORY_COUNT; ++c) {
      ::SetEvent(Gate(c));  // nothing may stay blocked behind a failed test
    }
    // The worker is gone before the gates (the fixture quits it first).
    for (int c = 0; c < SWEEP_CATEGORY_COUNT; ++c) ::CloseHandle(Gate(c));
  }
  SweepGates(const SweepGates&) = delete;
  SweepGates& operator=(const SweepGates&) = delete;

  void Open(int category) { ::SetEvent(Gate(category)); }
  void OpenAll() {
    for (int c = 0; c < SWEEP_CATEGORY_COUNT; ++c) Open(c);
  }
  // The category got past its cancellation check (it was not cancelled).
  static bool Completed(int category) { return Finished(category) != 0; }

 private:
  static HANDLE& Gate(int c) {
    static HANDLE gates[SWEEP_CATEGORY_COUNT] = {};
    return gates[c];
  }
  static std::atomic<int>& Finished(int c) {
    static std::atomic<int> finished[SWEEP_CATEGORY_COUNT];
    return finished[c];
  }
  template <int C>
  static void Wait(SweepWorker*, int*, float*) {
    ::WaitForSingleObject(Gate(C), 20000);
  }
  template <int C>
  static void Finish(SweepWorker*, int*, float*) {
    Finished(C) = 1;
  }
  template <int C>
  static std::vector<SweepStep> Steps() {
    return {{-1, false, 0, &Wait<C>}, {-1, true, 0, &Finish<C>}};
  }

  SweepTableSwap m_windows, m_internet, m_applications;
};

// SweepTableSwap: replaces a category's step table for the life of the
// object and puts the built-in one back afterwards, so a test that fails
// half-way cannot leave its stand-in cleaners behind for the next test.
#pragma once
#include <cstddef>
#include <utility>
#include <vector>

#include "engine/sweep_worker.h"

class SweepTableSwap {
 public:
  SweepTableSwap(SweepTable& table, std::vector<SweepStep> steps)
      : m_table(table), m_saved(table), m_steps(std::move(steps)) {
    m_table = SweepTable{m_steps.data(), m_steps.size()};
  }
  SweepTableSwap(SweepTable& table, SweepStep step) : SweepTableSwap(table, std::vector<SweepStep>{step}) {}
  SweepTableSwap(SweepTable& table, const SweepStep* steps, size_t n)
      : SweepTableSwap(table, std::vector<SweepStep>(steps, steps + n)) {}
  ~SweepTableSwap() { m_table = m_saved; }
  SweepTableSwap(const SweepTableSwap&) = delete;
  SweepTableSwap& operator=(const SweepTableSwap&) = delete;

 private:
  SweepTable& m_table;
  SweepTable m_saved;
  std::vector<SweepStep> m_steps;
};

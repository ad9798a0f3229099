// Timing and statistics shared by the benchmarks.
#pragma once
#include <windows.h>

#include <algorithm>
#include <vector>

// Seconds on the performance counter.
inline double Now() {
  static const LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// The middle value (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

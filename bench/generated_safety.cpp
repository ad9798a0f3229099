// The long mode of the generated safety cases (tests/support/generated_cases.h):
// COUNT cases from SEED on, each swept and checked; prints every failing
// seed with what it takes to build it again, a tally of what the cases held,
// and the rate. Exit code 1 when any case failed.
//   MORVANE_GEN_SEED=1000 MORVANE_GEN_COUNT=10000 tools/run-bench.sh generated_safety
//   tools/run-bench.sh generated_safety -- --seed 1000 --count 10000
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "support/generated_cases.h"

int main(int argc, char** argv) {
  unsigned seed = 1000, count = 200;
  if (const char* s = std::getenv("MORVANE_GEN_SEED")) seed = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
  if (const char* s = std::getenv("MORVANE_GEN_COUNT")) count = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seed") == 0) seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (std::strcmp(argv[i], "--count") == 0) count = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string why;
  if (!GeneratedCasesSupported(&why)) {
    std::printf("generated cases cannot be built here: %s\n", why.c_str());
    return 2;
  }
  std::map<std::string, unsigned> features;
  unsigned failed = 0, removing = 0;
  std::string failing;
  const DWORD start = ::GetTickCount();
  for (unsigned s = seed; s < seed + count; ++s) {
    const GeneratedResult r = RunGeneratedCase(s);
    for (const auto& f : r.features) ++features[f];
    if (r.removed > 0) ++removing;
    if (r.Failed()) {
      ++failed;
      failing += " " + std::to_string(s);
      std::printf("FAILED %s\n", r.Report().c_str());
    }
    if (std::getenv("MORVANE_GEN_TIMING") != nullptr) std::printf("seed %u: %s\n", s, r.timing.c_str());
    if ((s - seed + 1) % 100 == 0) std::printf("... %u cases, %u failed\n", s - seed + 1, failed);
  }
  const double seconds = (::GetTickCount() - start) / 1000.0;
  std::printf("generated_safety: seeds %u..%u: %u cases, %u removed something, %u failed%s\n", seed, seed + count - 1,
              count, removing, failed, failing.c_str());
  for (const auto& f : features) std::printf("  %-32s %u\n", f.first.c_str(), f.second);
  std::printf("generated_safety: %.1f s, %.0f cases per minute\n", seconds, seconds > 0 ? count * 60.0 / seconds : 0.0);
  return failed == 0 ? 0 : 1;
}

// The long mode of the generated safety cases (tests/support/generated_cases.h):
// COUNT cases from SEED on, each swept and checked; prints every failing
// seed with what it takes to build it again, a tally of what the cases held,
// and the rate. Exit code 1 when any case failed.
//   MORVANE_GEN_SEED=1000 MORVANE_GEN_COUNT=10000 tools/run-bench.sh generated_safety
//   tools/run-bench.sh generated_safety -- --seed 1000 --count 10000
//
// Wine keeps two descriptors open for every Unix program a process starts
// (the program file and the current folder), and a case starts a shell or
// two, so one process runs out of descriptors after some five thousand
// cases. A long run therefore goes in batches, each in a process of its own.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/generated_cases.h"

namespace {

constexpr unsigned kBatch = 1000;

struct Tally {
  unsigned count = 0, failed = 0, removing = 0;
  std::string failing;
  std::map<std::string, unsigned> features;
};

// Runs seeds [seed, seed + count); progress is numbered from first.
void RunRange(unsigned first, unsigned seed, unsigned count, Tally& t) {
  for (unsigned s = seed; s < seed + count; ++s) {
    const GeneratedResult r = RunGeneratedCase(s);
    ++t.count;
    for (const auto& f : r.features) ++t.features[f];
    if (r.removed > 0) ++t.removing;
    if (r.Failed()) {
      ++t.failed;
      t.failing += " " + std::to_string(s);
      std::printf("FAILED %s\n", r.Report().c_str());
    }
    if (std::getenv("MORVANE_GEN_TIMING") != nullptr) std::printf("seed %u: %s\n", s, r.timing.c_str());
    if ((s - first + 1) % 100 == 0) std::printf("... %u cases, %u failed\n", s - first + 1, t.failed);
  }
}

// A batch's tally, as a child leaves it for its parent: one line of counts,
// one of failing seeds, then a feature per line.
bool WriteTally(const std::string& path, const Tally& t) {
  std::ofstream out(path, std::ios::trunc);
  out << t.count << " " << t.removing << " " << t.failed << "\n" << t.failing << "\n";
  for (const auto& f : t.features) out << f.second << "\t" << f.first << "\n";
  return static_cast<bool>(out);
}

bool AddTally(const std::string& path, Tally& t) {
  std::ifstream in(path);
  unsigned count = 0, removing = 0, failed = 0;
  std::string failing, line;
  if (!(in >> count >> removing >> failed)) return false;
  std::getline(in, line);
  std::getline(in, failing);
  t.count += count;
  t.removing += removing;
  t.failed += failed;
  t.failing += failing;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) t.features[line.substr(tab + 1)] += std::strtoul(line.c_str(), nullptr, 10);
  }
  return true;
}

// Runs one batch in a child process of this program; false if it could not
// be run or left no tally (its cases then count as failed).
bool RunBatch(unsigned first, unsigned seed, unsigned count, Tally& t) {
  char self[MAX_PATH];
  if (::GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) return false;
  char tmp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, tmp);
  const std::string tally = std::string(tmp) + "morvane-gen-" + std::to_string(::GetCurrentProcessId()) + ".tally";
  ::DeleteFileA(tally.c_str());
  std::ostringstream cmd;
  cmd << "\"" << self << "\" --seed " << seed << " --count " << count << " --first " << first << " --tally \"" << tally
      << "\"";
  std::string line = cmd.str();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(self, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return false;
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  const bool ok = AddTally(tally, t);
  ::DeleteFileA(tally.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned seed = 1000, count = 200, first = 0;
  bool hasFirst = false;
  std::string tally;
  if (const char* s = std::getenv("MORVANE_GEN_SEED")) seed = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
  if (const char* s = std::getenv("MORVANE_GEN_COUNT")) count = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seed") == 0) seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (std::strcmp(argv[i], "--count") == 0) count = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (std::strcmp(argv[i], "--first") == 0) first = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10)), hasFirst = true;
    else if (std::strcmp(argv[i], "--tally") == 0) tally = argv[++i];
  }
  if (!hasFirst) first = seed;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string why;
  if (!GeneratedCasesSupported(&why)) {
    std::printf("generated cases cannot be built here: %s\n", why.c_str());
    return 2;
  }
  Tally t;
  if (!tally.empty()) {  // a batch of a longer run
    RunRange(first, seed, count, t);
    return WriteTally(tally, t) ? 0 : 2;
  }
  const DWORD start = ::GetTickCount();
  if (count <= kBatch) {
    RunRange(seed, seed, count, t);
  } else {
    for (unsigned s = seed; s < seed + count; s += kBatch) {
      const unsigned n = seed + count - s < kBatch ? seed + count - s : kBatch;
      if (!RunBatch(seed, s, n, t)) {
        std::printf("FAILED batch of seeds %u..%u: it did not run to its end\n", s, s + n - 1);
        t.count += n;
        t.failed += n;
        t.failing += " " + std::to_string(s) + ".." + std::to_string(s + n - 1);
      }
    }
  }
  const double seconds = (::GetTickCount() - start) / 1000.0;
  std::printf("generated_safety: seeds %u..%u: %u cases, %u removed something, %u failed%s\n", seed, seed + count - 1,
              t.count, t.removing, t.failed, t.failing.c_str());
  for (const auto& f : t.features) std::printf("  %-32s %u\n", f.first.c_str(), f.second);
  std::printf("generated_safety: %.1f s, %.0f cases per minute\n", seconds, seconds > 0 ? count * 60.0 / seconds : 0.0);
  return t.failed == 0 ? 0 : 1;
}

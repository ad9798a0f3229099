// Rule benchmark: loading a community rule file, then detecting every entry
// in this prefix, against a bare loop of the same existence checks
// (RegOpenKeyExA, GetFileAttributesA / FindFirstFileA on the expanded paths)
// measured in the same run; and the process's private memory after loading
// (Wine reports it as PagefileUsage), with what a second set adds alone.
//   bench_rules_bench.exe [rule file=..\rule-files\winapp2.ini beside the bench folder] [runs=7]
// Then, each in a process of its own (peak memory is the process's), hostile
// files just under the 64 MB cap: valid sections, empty "[]" sections, and
// keys whose variables would multiply their paths; each reports its load
// time and peak private memory (targets: 10 s, 200 MB).
//   bench_rules_bench.exe --hostile sections|empty|variables
// The build copies the shared winapp2.ini into the build folder when it is
// there; without it the benchmark says so and ends.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_rule_file.h"
#include "bench/bench_stats.h"
#include "rules/rule_keys.h"
#include "rules/rule_set.h"

namespace {

double PrivateMB() {
  PROCESS_MEMORY_COUNTERS_EX pmc = {};
  pmc.cb = sizeof pmc;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
    return -1.0;
  // Wine leaves PrivateUsage at 0; the committed private bytes are also in PagefileUsage.
  const SIZE_T bytes = pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage;
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// The existence checks detection makes, without the reader's bookkeeping:
// each Detect key opened, each DetectFile path asked for (a wildcard path
// through one search).
size_t BareChecks(const RuleSet& rules) {
  size_t found = 0;
  for (const RuleEntry& e : rules.Entries()) {
    if (!e.keys) continue;
    for (const RuleRegPath& d : e.keys->detect) {
      HKEY h = nullptr;
      if (::RegOpenKeyExA(d.root, d.path.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
        ::RegCloseKey(h);
        ++found;
      }
    }
    for (const RuleFolder& f : e.keys->detectFiles) {
      if (HasWildcard(f.path)) {
        WIN32_FIND_DATAA fd;
        HANDLE h = ::FindFirstFileA(f.path.c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
          ::FindClose(h);
          ++found;
        }
      } else if (::GetFileAttributesA(f.path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ++found;
      }
    }
  }
  return found;
}

double PeakPrivateMB() {
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof pmc;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) return -1.0;
  return static_cast<double>(pmc.PeakPagefileUsage) / (1024.0 * 1024.0);
}

std::string BesideExe(const std::string& name) {
  char exe[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string dir(exe, n);
  return dir.substr(0, dir.find_last_of('\\') + 1) + name;
}

// Just under the cap, so that the file is read, not skipped for its size.
constexpr size_t kHostileBytes = 64u * 1024 * 1024 - 4096;

std::string HostileText(const std::string& kind) {
  std::string text;
  text.reserve(kHostileBytes);
  std::string exponential = "FileKey1=";
  for (int i = 0; i < 25; ++i) exponential += "%ProgramFiles%\\";
  exponential += "x|*.tmp\n";
  for (size_t i = 0; text.size() < kHostileBytes - 200; ++i) {
    if (kind == "empty") {
      text += "[]\n";
    } else if (kind == "variables") {
      text += "[Exp " + std::to_string(i) + "]\n" + exponential;
    } else {
      const std::string n = std::to_string(i);
      text += "[Section " + n + " *]\nLangSecRef=3021\nDetectFile=%LocalAppData%\\Vendor" + n +
              "\nFileKey1=%LocalAppData%\\Vendor" + n + "\\Cache|*.tmp|RECURSE\n";
    }
  }
  return text;
}

int RunHostile(const std::string& kind) {
  const std::string path = BesideExe("hostile-" + kind + ".ini");
  {
    const std::string text = HostileText(kind);
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
  }
  const double before = PeakPrivateMB();
  const double t0 = Now();
  RuleSet* rules = new RuleSet;
  rules->LoadFile(path);
  const double t1 = Now();
  rules->DetectAll();
  const double t2 = Now();
  size_t refused = 0;
  for (const RuleEntry& e : rules->Entries()) refused += e.refusedWhole ? 1 : 0;
  std::printf("  hostile %-9s  64 MB: %zu sections read, %zu entries kept (%zu refused whole); load %.2f s, "
              "detect %.2f s; peak private memory %.1f MB (%.1f MB before; targets 10 s, 200 MB)\n",
              kind.c_str(), rules->Files().empty() ? 0 : rules->Files()[0].entries, rules->Entries().size(), refused,
              t1 - t0, t2 - t1, PeakPrivateMB(), before);
  delete rules;
  ::DeleteFileA(path.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--hostile") return RunHostile(argv[2]);
  const std::string path = argc > 1 ? argv[1] : DefaultRuleFile();
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf(
        "rules_bench: no rule file at %s (the build copies ../shared/rule-files/winapp2.ini when it exists); "
        "skipped.\n",
        path.c_str());
    return 0;
  }
  std::vector<double> load, detect, both, bare, ratio;
  double before = 0, after = 0, own = 0;
  RuleSet* held = nullptr;
  size_t entries = 0, applying = 0, found = 0;
  for (int r = 0; r < runs; ++r) {
    const double m0 = PrivateMB();
    RuleSet* rules = new RuleSet;
    const double t0 = Now();
    rules->LoadFile(path);
    const double t1 = Now();
    const double m1 = PrivateMB();
    rules->DetectAll();
    const double t2 = Now();
    found = BareChecks(*rules);
    const double t3 = Now();
    load.push_back(t1 - t0);
    detect.push_back(t2 - t1);
    both.push_back(t2 - t0);
    bare.push_back(t3 - t2);
    ratio.push_back((t2 - t1) / (t3 - t2 > 0 ? t3 - t2 : 1e-9));
    if (r == 0) {
      before = m0;
      after = m1;
    }
    // The second run finds the system's folders already asked for and the
    // first set still held (its memory is not free to reuse): what grows then
    // is the set alone.
    if (r == 1) own = m1 - m0;
    entries = rules->Entries().size();
    applying = 0;
    for (size_t i = 0; i < entries; ++i) applying += rules->Applies(i) ? 1 : 0;
    if (r == 0)
      held = rules;
    else
      delete rules;
  }
  delete held;
  std::printf("rules_bench: %s, %zu entries, %zu apply here, %zu bare checks found, %d runs\n", path.c_str(), entries,
              applying, found, runs);
  std::printf("  load             median %.3f s\n", Median(load));
  std::printf("  detect           median %.3f s\n", Median(detect));
  std::printf("  load + detect    median %.3f s (target <= 0.5 s)\n", Median(both));
  std::printf("  bare checks      median %.3f s; detect / bare median %.2f\n", Median(bare), Median(ratio));
  std::printf(
      "  private memory   %.1f MB before loading, %.1f MB after (first run; target <= 16 MB); the set alone %.1f MB "
      "(second load, the first set held)\n",
      before, after, own);
  std::fflush(stdout);
  for (const char* kind : {"sections", "empty", "variables"}) {
    std::string cmd = "\"" + BesideExe("bench_rules_bench.exe") + "\" --hostile " + kind;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      std::printf("  hostile %s: cannot start (%lu)\n", kind, ::GetLastError());
      continue;
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  }
  return 0;
}

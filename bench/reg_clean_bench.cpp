// Registry cleaning benchmark: CleanRegKey over one key of many values and
// CleanSubKeyMRU over many MRU subkeys, each against a bare
// RegEnumValueA/RegDeleteValueA loop on the same seed.
//   bench_reg_clean_bench.exe [values=10000] [subkeys=1000] [runs=5]
// Each subkey holds 5 list values and "MRUList". Variants alternate within
// each run so that drift of a shared machine hits all of them alike.
#include <windows.h>
#include <shlwapi.h>

#include "bench/bench_sink.h"
#include "bench/bench_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/reg_clean.h"
#include "engine/sweep_log.h"

namespace {

const char kRoot[] = "Software\\MorvaneBench";
const char kFlat[] = "Software\\MorvaneBench\\Flat";
const char kLists[] = "Software\\MorvaneBench\\Lists";

HKEY CreateKey(const char* path) {
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

void PutSz(HKEY key, const char* name, const std::string& text) {
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), (DWORD)text.size() + 1);
}

void SeedFlat(int values) {
  HKEY key = CreateKey(kFlat);
  for (int i = 0; i < values; ++i)
    PutSz(key, ("url" + std::to_string(i)).c_str(), "http://example.test/page/" + std::to_string(i));
  ::RegCloseKey(key);
}

void SeedLists(int subkeys) {
  for (int s = 0; s < subkeys; ++s) {
    HKEY key = CreateKey((std::string(kLists) + "\\.ext" + std::to_string(s)).c_str());
    for (char c = 'a'; c < 'f'; ++c) PutSz(key, std::string(1, c).c_str(), "C:\\docs\\file" + std::to_string(s));
    PutSz(key, "MRUList", "edcba");
    ::RegCloseKey(key);
  }
}

// The floor for one key: enumerate at the cursor and delete, nothing else.
// keepMru: leave "MRUList" and empty it instead, as an MRU clean does.
void BareValues(HKEY key, bool keepMru) {
  char name[256];
  BYTE data[1024];
  for (DWORD i = 0;;) {
    DWORD cch = sizeof name, size = sizeof data;
    if (::RegEnumValueA(key, i, name, &cch, nullptr, nullptr, data, &size) != ERROR_SUCCESS) break;
    if (keepMru && std::strcmp(name, "MRUList") == 0) {
      if (data[0] != 0) ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
      ++i;
    } else if (::RegDeleteValueA(key, name) != ERROR_SUCCESS) {
      ++i;
    }
  }
}

void BareFlat() {
  HKEY key = CreateKey(kFlat);
  BareValues(key, false);
  ::RegCloseKey(key);
}

void BareLists() {
  HKEY key = CreateKey(kLists);
  char name[256];
  for (DWORD i = 0; ::RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
    HKEY sub = nullptr;
    if (::RegOpenKeyExA(key, name, 0, KEY_ALL_ACCESS, &sub) != ERROR_SUCCESS) continue;
    BareValues(sub, true);
    ::RegCloseKey(sub);
  }
  ::RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
  const int values = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
  const int subkeys = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  std::printf("reg_clean_bench: %d values in one key, %d MRU subkeys of 6 values, %d runs\n", values, subkeys,
              runs);

  RecordingSink sink;
  AttachProgressSink(&sink);
  enum { kRegKey, kBareFlat, kSubKeyMru, kBareLists, kVariants };
  const char* names[kVariants] = {"CleanRegKey", "bare value loop", "CleanSubKeyMRU", "bare subkey MRU loop"};
  std::vector<double> times[kVariants];
  for (int run = 0; run < runs; ++run) {
    for (int step = 0; step < kVariants; ++step) {
      const int v = run % 2 == 0 ? step : kVariants - 1 - step;
      const bool flat = v == kRegKey || v == kBareFlat;
      if (flat)
        SeedFlat(values);
      else
        SeedLists(subkeys);
      sink.Clear();
      int count = 0;
      float kb = 0;
      const double start = Now();
      if (v == kRegKey) {
        RegKey key(kFlat, HKEY_CURRENT_USER);
        CleanRegKey(4, key, IDC_STATUS_WINDOWS, &count, &kb);
      } else if (v == kSubKeyMru) {
        RegKey key(kLists, HKEY_CURRENT_USER);
        CleanSubKeyMRU(4, key, IDC_STATUS_WINDOWS, &count, &kb);
      } else if (v == kBareFlat) {
        BareFlat();
      } else {
        BareLists();
      }
      const double took = Now() - start;
      times[v].push_back(took);
      std::printf("  run %d  %-22s %7.3f s", run + 1, names[v], took);
      if (v == kRegKey || v == kSubKeyMru) std::printf("  (%d items, %zu lines)", count, sink.Lines());
      std::printf("\n");
      std::fflush(stdout);
      ::SHDeleteKeyA(HKEY_CURRENT_USER, kRoot);
    }
  }
  DetachProgressSink();

  std::printf("medians:\n");
  for (int v = 0; v < kVariants; ++v) std::printf("  %-22s %7.3f s\n", names[v], Median(times[v]));
  std::vector<double> flatPairs, listPairs;
  for (int r = 0; r < runs; ++r) {
    flatPairs.push_back(times[kRegKey][r] / times[kBareFlat][r]);
    listPairs.push_back(times[kSubKeyMru][r] / times[kBareLists][r]);
  }
  std::printf("CleanRegKey / bare loop:     %.2fx of medians, %.2fx median of paired runs (target 1.20x)\n",
              Median(times[kRegKey]) / Median(times[kBareFlat]), Median(flatPairs));
  std::printf("CleanSubKeyMRU / bare loop:  %.2fx of medians, %.2fx median of paired runs (target 1.20x)\n",
              Median(times[kSubKeyMru]) / Median(times[kBareLists]), Median(listPairs));
  return 0;
}

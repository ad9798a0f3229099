// Removal benchmark: RemoveTree with counting and logging against a bare
// FindFirstFile/DeleteFile/RemoveDirectory loop on the same generated tree,
// and against the same loop with the one check a walker needs to tell a file
// link from a file (open without following, ask its name, close): under Wine
// the bare loop deletes a file link's target, so only the checked loop is a
// safe floor. Also the Shredder against a bare overwrite-and-delete loop, and
// RemoveTree logging into the shown progress window (log open) from a worker
// thread; and RemoveTree while a rule's exclusion keeps a folder elsewhere
// (every folder the walk enters is then judged against it). Each variant's
// result is checked (the whole tree gone, every item
// counted); a run that fails is left out of the medians and said so.
//   bench_removal_bench.exe [files=50000] [runs=3]
// The tree has 500 folders two levels deep (fewer for small file counts) and
// files of 1 to 8 KB. Variants alternate within each run so that drift of a
// shared machine hits all of them alike. Under Wine the work of one step
// (building a tree, the previous variant) is still being finished by the
// server when the next begins: every variant starts only once a probe of
// server round trips shows the system settled.
#include <windows.h>

#include "bench/bench_sink.h"
#include "bench/bench_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/dir_walker.h"
#include "engine/removal_guard.h"
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"
#include "ui/progress_dlg.h"
#include "winlib/window_probe.h"

namespace {

// Top folders, each with subfolders, files spread over all of them. Returns
// the number of folders made below root.
int MakeTree(const std::string& root, int files, int folders) {
  ::CreateDirectoryA(root.c_str(), nullptr);
  const int top = std::max(1, folders / 25);
  std::vector<std::string> dirs;
  for (int t = 0; t < top && (int)dirs.size() < folders; ++t) {
    std::string d = root + "\\top" + std::to_string(t);
    ::CreateDirectoryA(d.c_str(), nullptr);
    dirs.push_back(d);
    for (int s = 0; s < 24 && (int)dirs.size() < folders; ++s) {
      std::string sd = d + "\\sub" + std::to_string(s);
      ::CreateDirectoryA(sd.c_str(), nullptr);
      dirs.push_back(sd);
    }
  }
  static char data[8192];
  std::memset(data, 'x', sizeof data);
  unsigned seed = 12345;
  for (int i = 0; i < files; ++i) {
    seed = seed * 1103515245u + 12345u;
    const DWORD size = 1024 + (seed >> 8) % (7 * 1024 + 1);
    std::string path = dirs[i % dirs.size()] + "\\file" + std::to_string(i) + ".tmp";
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    ::WriteFile(h, data, size, &written, nullptr);
    ::CloseHandle(h);
  }
  return static_cast<int>(dirs.size());
}

void Overwrite(const std::string& path, unsigned char fill) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER size;
  ::GetFileSizeEx(h, &size);
  unsigned char buffer[1024];
  std::memset(buffer, fill, sizeof buffer);
  DWORD written;
  for (LONGLONG left = size.QuadPart; left > 0; left -= 1024)
    ::WriteFile(h, buffer, left > 1024 ? 1024 : (DWORD)left, &written, nullptr);
  ::CloseHandle(h);
}

// The link check of the safe floor: the file opened without following a
// link, its name asked, the handle closed. False when the name the system
// gives is not the path (a link that leads elsewhere): the file stays.
bool IsOwnFile(const std::string& path) {
  const std::string longPath = "\\\\?\\" + path;
  const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = ::CreateFileA(longPath.c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char name[MAX_PATH * 2];
  const DWORD n = ::GetFinalPathNameByHandleA(h, name, sizeof name, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  ::CloseHandle(h);
  return n > 0 && n < sizeof name && ::lstrcmpiA(name, longPath.c_str()) == 0;
}

// The floor: what removing the tree costs with nothing but the system calls;
// with checkLinks, the safe floor: each file gets the link check first.
void BareRemove(const std::string& dir, bool overwrite, bool checkLinks = false) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + "\\*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (fd.cFileName[0] == '.' && (fd.cFileName[1] == 0 || (fd.cFileName[1] == '.' && fd.cFileName[2] == 0)))
      continue;
    std::string path = dir + "\\" + fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      BareRemove(path, overwrite, checkLinks);
      ::RemoveDirectoryA(path.c_str());
    } else if (!checkLinks || IsOwnFile(path)) {
      if (overwrite) {
        Overwrite(path, 0xFF);
        Overwrite(path, 0x00);
      }
      ::DeleteFileA(path.c_str());
    }
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
}

// Entries left below root (0: the variant removed the whole tree).
int LeftBelow(const std::string& root) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((root + "\\*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int left = 0;
  do {
    if (fd.cFileName[0] == '.' && (fd.cFileName[1] == 0 || (fd.cFileName[1] == '.' && fd.cFileName[2] == 0)))
      continue;
    ++left;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) left += LeftBelow(root + "\\" + fd.cFileName);
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  return left;
}

// Time of a fixed batch of server round trips.
double Probe(const std::string& dir) {
  const double start = Now();
  for (int i = 0; i < 300; ++i) ::GetFileAttributesA(dir.c_str());
  return Now() - start;
}

// Waits until two probes in a row agree within 15 % (at most 15 s).
void WaitUntilSettled(const std::string& dir) {
  ::Sleep(500);
  double last = Probe(dir);
  const double deadline = Now() + 15;
  while (Now() < deadline) {
    ::Sleep(250);
    const double now = Probe(dir);
    if (now < last * 1.15 && last < now * 1.15) return;
    last = now;
  }
}

struct TreeJob {
  std::string pattern;
  int count = 0;
  float kb = 0;
};

DWORD WINAPI TreeJobMain(void* raw) {
  auto* job = static_cast<TreeJob*>(raw);
  DirWalker(job->pattern, false).RemoveTree(0, IDC_STATUS_WINDOWS, &job->count, &job->kb);
  return 0;
}

// RemoveTree on a worker thread, as a sweep runs it, logging into the shown
// progress window while this thread pumps its messages; ends when the
// window holds every line.
double RemoveIntoWindow(const std::string& root, int* count, float* kb, size_t* lines) {
  CProgressDlg* dlg = CreateProgressWindow(nullptr, true);
  if (dlg == nullptr) return -1;
  PumpMessages(200);
  dlg->Flush();
  const long base = dlg->Log().AppendedLines();
  TreeJob job;
  job.pattern = root + "\\*.*";
  const double start = Now();
  HANDLE worker = ::CreateThread(nullptr, 0, &TreeJobMain, &job, 0, nullptr);
  while (::MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  ::CloseHandle(worker);
  dlg->Flush();
  const double took = Now() - start;
  *count = job.count;
  *kb = job.kb;
  *lines = static_cast<size_t>(dlg->Log().AppendedLines() - base);
  DestroyProgressWindow();
  return took;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::max(100, std::atoi(argv[1])) : 50000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const int folders = std::min(500, std::max(10, files / 100));
  char tmp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, tmp);
  const std::string root = std::string(tmp) + "morvane-removal-bench";
  std::printf("removal_bench: %d files of 1-8 KB in %d folders, %d runs\n", files, folders, runs);

  RecordingSink sink;
  AttachProgressSink(&sink);
  const int savedTargets = g_GeneralSettings.m_nTargets;
  enum { kTree, kBare, kSafe, kShred, kBareShred, kWindow, kKept, kVariants };
  const char* names[kVariants] = {"RemoveTree (count+log)", "bare delete loop",      "bare loop + link check",
                                  "RemoveTree + Shredder",  "bare overwrite+delete", "RemoveTree into window",
                                  "RemoveTree + exclusion"};
  // What the exclusion keeps: a folder beside the tree, with all below it.
  const std::string kept = root + "-kept";
  ::CreateDirectoryA(kept.c_str(), nullptr);
  // One slot per run; a failed run keeps a negative time and is left out.
  std::vector<double> times[kVariants];
  int failed = 0;
  for (int run = 0; run < runs; ++run) {
    // Every other run goes backwards, so that a slow phase of the shared
    // machine does not always fall on the same side of a pair.
    for (int step = 0; step < kVariants; ++step) {
      const int v = run % 2 == 0 ? step : kVariants - 1 - step;
      const int made = MakeTree(root, files, folders);
      WaitUntilSettled(root);
      sink.Clear();
      const bool shred = v == kShred;
      g_GeneralSettings.m_nTargets = shred ? (savedTargets | GENERAL_SHREDDER) : (savedTargets & ~GENERAL_SHREDDER);
      int count = 0;
      float kb = 0;
      size_t lines = 0;
      double took = 0;
      if (v == kWindow) {
        DetachProgressSink();  // the window attaches itself
        took = RemoveIntoWindow(root, &count, &kb, &lines);
        AttachProgressSink(&sink);
      } else {
        const double start = Now();
        if (v == kTree || v == kShred) {
          DirWalker(root + "\\*.*", false).RemoveTree(0, IDC_STATUS_WINDOWS, &count, &kb);
        } else if (v == kKept) {
          KeptFilesScope scope({KeptFiles{kept, {"*"}, true}});
          DirWalker(root + "\\*.*", false).RemoveTree(0, IDC_STATUS_WINDOWS, &count, &kb);
        } else if (v == kSafe) {
          BareRemove(root, false, /*checkLinks=*/true);
        } else {
          BareRemove(root, v == kBareShred);
        }
        took = Now() - start;
        lines = sink.Lines();
      }
      // The result: the whole tree gone, and each item of the walker's
      // variants counted once (files and folders).
      const int left = LeftBelow(root);
      const bool counted = v == kBare || v == kSafe || v == kBareShred || count == files + made;
      const bool ok = took >= 0 && left == 0 && counted;
      times[v].push_back(ok ? took : -1.0);
      std::printf("  run %d  %-24s %7.3f s", run + 1, names[v], took);
      if (v != kBare && v != kSafe && v != kBareShred)
        std::printf("  (%d items, %.0f KB, %zu lines)", count, kb, lines);
      if (!ok) {
        ++failed;
        std::printf("  FAILED: %d entries left, %d of %d items counted; left out of the medians", left, count,
                    files + made);
        BareRemove(root, false);
      }
      std::printf("\n");
      std::fflush(stdout);
      ::RemoveDirectoryA(root.c_str());
    }
  }
  g_GeneralSettings.m_nTargets = savedTargets;
  DetachProgressSink();
  ::RemoveDirectoryA(kept.c_str());

  // Medians of the runs that succeeded; ratios of the same run, where both succeeded.
  const auto good = [](const std::vector<double>& t) {
    std::vector<double> out;
    for (double x : t)
      if (x >= 0) out.push_back(x);
    return out;
  };
  const auto paired = [&](int a, int b) {
    std::vector<double> out;
    for (int r = 0; r < runs; ++r)
      if (times[a][r] >= 0 && times[b][r] > 0) out.push_back(times[a][r] / times[b][r]);
    return out;
  };
  std::printf("medians (of the runs that succeeded):\n");
  for (int v = 0; v < kVariants; ++v)
    std::printf("  %-24s %7.3f s  (%zu of %d runs)\n", names[v], Median(good(times[v])), good(times[v]).size(), runs);
  const struct {
    const char* what;
    int a, b;
    const char* target;
  } ratios[] = {
      {"RemoveTree / bare loop:            ", kTree, kBare, ""},
      {"RemoveTree / loop + link check:    ", kTree, kSafe, " (target 1.20x)"},
      {"into window / bare loop:           ", kWindow, kBare, ""},
      {"into window / loop + link check:   ", kWindow, kSafe, " (target 1.20x)"},
      {"loop + link check / bare loop:     ", kSafe, kBare, ""},
      {"Shredder / bare overwrite loop:    ", kShred, kBareShred, " (target 1.30x)"},
      {"with exclusion / RemoveTree:       ", kKept, kTree, ""},
  };
  for (const auto& r : ratios)
    std::printf("%s%.2fx of medians, %.2fx median of paired runs%s\n", r.what,
                Median(good(times[r.a])) / std::max(1e-9, Median(good(times[r.b]))), Median(paired(r.a, r.b)),
                r.target);
  if (failed > 0) std::printf("%d variant run(s) failed and were left out\n", failed);
  return failed > 0 ? 1 : 0;
}

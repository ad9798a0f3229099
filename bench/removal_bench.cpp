// Removal benchmark: RemoveTree with counting and logging against a bare
// FindFirstFile/DeleteFile/RemoveDirectory loop on the same generated tree,
// and the Shredder against a bare overwrite-and-delete loop, and RemoveTree
// logging into the shown progress window (log open) from a worker thread.
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
#include "engine/sweep_log.h"
#include "settings/settings_groups.h"
#include "ui/progress_dlg.h"
#include "winlib/window_probe.h"

namespace {

// Top folders, each with subfolders, files spread over all of them.
void MakeTree(const std::string& root, int files, int folders) {
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

// The floor: what removing the tree costs with nothing but the system calls.
void BareRemove(const std::string& dir, bool overwrite) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + "\\*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (fd.cFileName[0] == '.' && (fd.cFileName[1] == 0 || (fd.cFileName[1] == '.' && fd.cFileName[2] == 0)))
      continue;
    std::string path = dir + "\\" + fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      BareRemove(path, overwrite);
      ::RemoveDirectoryA(path.c_str());
    } else {
      if (overwrite) {
        Overwrite(path, 0xFF);
        Overwrite(path, 0x00);
      }
      ::DeleteFileA(path.c_str());
    }
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
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
  enum { kTree, kBare, kShred, kBareShred, kWindow, kVariants };
  const char* names[kVariants] = {"RemoveTree (count+log)", "bare delete loop", "RemoveTree + Shredder",
                                  "bare overwrite+delete", "RemoveTree into window"};
  std::vector<double> times[kVariants];
  for (int run = 0; run < runs; ++run) {
    // Every other run goes backwards, so that a slow phase of the shared
    // machine does not always fall on the same side of a pair.
    for (int step = 0; step < kVariants; ++step) {
      const int v = run % 2 == 0 ? step : kVariants - 1 - step;
      MakeTree(root, files, folders);
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
        if (v == kTree || v == kShred)
          DirWalker(root + "\\*.*", false).RemoveTree(0, IDC_STATUS_WINDOWS, &count, &kb);
        else
          BareRemove(root, v == kBareShred);
        took = Now() - start;
        lines = sink.Lines();
      }
      times[v].push_back(took);
      std::printf("  run %d  %-24s %7.3f s", run + 1, names[v], took);
      if (v != kBare && v != kBareShred) std::printf("  (%d items, %.0f KB, %zu lines)", count, kb, lines);
      std::printf("\n");
      std::fflush(stdout);
      ::RemoveDirectoryA(root.c_str());
    }
  }
  g_GeneralSettings.m_nTargets = savedTargets;
  DetachProgressSink();

  std::printf("medians:\n");
  for (int v = 0; v < kVariants; ++v) std::printf("  %-24s %7.3f s\n", names[v], Median(times[v]));
  std::vector<double> pair1, pair2, pair3;
  for (int r = 0; r < runs; ++r) {
    pair1.push_back(times[kTree][r] / times[kBare][r]);
    pair2.push_back(times[kShred][r] / times[kBareShred][r]);
    pair3.push_back(times[kWindow][r] / times[kBare][r]);
  }
  std::printf("RemoveTree / bare loop:          %.2fx of medians, %.2fx median of paired runs (target 0.95x)\n",
              Median(times[kTree]) / Median(times[kBare]), Median(pair1));
  std::printf("into window / bare loop:         %.2fx of medians, %.2fx median of paired runs (target 1.50x)\n",
              Median(times[kWindow]) / Median(times[kBare]), Median(pair3));
  std::printf("Shredder / bare overwrite loop:  %.2fx of medians, %.2fx median of paired runs (target 1.30x)\n",
              Median(times[kShred]) / Median(times[kBareShred]), Median(pair2));
  return 0;
}

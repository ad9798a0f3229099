// Log benchmark: three category threads together write numbered lines through
// the sweep log into the shown progress window, while this (the GUI) thread
// runs the window. Reports lines per second over the whole run, and the GUI
// time spent per 1,000 lines for the first and the last 1,000 lines, as
// medians of repeated runs; then checks that every line is in the log once,
// whole, and in its thread's order.
//   bench_log_bench.exe [--runs N] [--lines N] [--rate LINES_PER_SECOND] [--closed]
//   bench_log_bench.exe --hold SECONDS [--lines N] [--closed]   (for a screenshot)
#include <windows.h>

#include "bench/bench_stats.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/sweep_log.h"
#include "ui/progress_dlg.h"
#include "winlib/window_probe.h"

namespace {

constexpr int kThreads = 3;
const int kStatusIds[kThreads] = {IDC_STATUS_WINDOWS, IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS};
const int kBarIds[kThreads] = {IDC_PROGRESS_WINDOWS, IDC_PROGRESS_INTERNET, IDC_PROGRESS_APPLICATIONS};

struct Writer {
  int index = 0;
  int lines = 0;
  double rate = 0;  // lines per second for this thread; 0: as fast as it can
  HANDLE thread = nullptr;
};

DWORD WINAPI WriterMain(void* raw) {
  auto* w = static_cast<Writer*>(raw);
  int count = 0;
  double start = Now();
  for (int i = 1; i <= w->lines; ++i) {
    LogItem(&count, kStatusIds[w->index], "   ", "Remove file: C:\\bench\\t%d\\file%06d.tmp, size %.3f(KB).\n",
            w->index, i, 1.0);
    if (i % 500 == 0) SetProgress(kBarIds[w->index], static_cast<unsigned>(i * 100LL / w->lines));
    if (w->rate > 0) {
      double due = start + i / w->rate;
      double wait = due - Now();
      if (wait > 0.002) ::Sleep(static_cast<DWORD>(wait * 1000));
    }
  }
  AddTotals(count, static_cast<float>(count));
  ShowTotals();
  return 0;
}

struct RunResult {
  double seconds = 0;         // first write to last line shown
  double firstMsPer1000 = 0;  // GUI time appending, per 1,000 lines, first 1,000 lines
  double lastMsPer1000 = 0;   // the same for the last 1,000 lines
  double firstWallMs = 0;     // wall time until the first 1,000 lines were shown
  double lastWallMs = 0;      // wall time between line N-1,000 and line N shown
  bool ok = false;
  std::string problem;
};

// Every line once, whole, and each thread's lines in order.
bool CheckLog(const std::string& text, int perThread, std::string* problem) {
  std::vector<int> next(kThreads, 1);
  size_t pos = 0;
  int lineNo = 0, startLines = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (line.empty() && pos >= text.size()) break;
    if (line.rfind("Start logging working messages", 0) == 0) {
      ++startLines;
      continue;
    }
    int item = 0, t = 0, n = 0;
    char tail[64] = {};
    if (std::sscanf(line.c_str(), "   Item %d, Remove file: C:\\bench\\t%d\\file%d.tmp, size 1.000(KB%63s", &item, &t,
                    &n, tail) != 4 ||
        std::strcmp(tail, ").") != 0 || t < 0 || t >= kThreads || item != n) {
      *problem = "line " + std::to_string(lineNo) + " is not whole: [" + line + "]";
      return false;
    }
    if (n != next[t]) {
      *problem = "thread " + std::to_string(t) + ": expected line " + std::to_string(next[t]) + ", found " +
                 std::to_string(n);
      return false;
    }
    ++next[t];
  }
  for (int t = 0; t < kThreads; ++t) {
    if (next[t] != perThread + 1) {
      *problem = "thread " + std::to_string(t) + " has " + std::to_string(next[t] - 1) + " lines";
      return false;
    }
  }
  if (startLines != 1) {
    *problem = "start line seen " + std::to_string(startLines) + " times";
    return false;
  }
  return true;
}

RunResult RunOnce(int totalLines, double rate, bool closed) {
  RunResult r;
  CProgressDlg* dlg = CreateProgressWindow(nullptr, true);
  if (dlg == nullptr) {
    r.problem = "cannot create the progress window";
    return r;
  }
  if (closed) ClickItem(dlg->m_hWnd, 1063);  // the log folded away
  PumpMessages(200);
  dlg->Flush();
  const long base = dlg->Log().AppendedLines();  // the start line
  const int perThread = totalLines / kThreads;
  const long target = base + perThread * kThreads;

  Writer writers[kThreads];
  double start = Now();
  for (int t = 0; t < kThreads; ++t) {
    writers[t].index = t;
    writers[t].lines = perThread;
    writers[t].rate = rate / kThreads;
    writers[t].thread = ::CreateThread(nullptr, 0, &WriterMain, &writers[t], 0, nullptr);
  }

  // Pump the window, timing every message it handles and noting how many
  // lines each one brought into the log.
  double firstGui = 0, lastGui = 0;
  double firstSeen = 0, lastStartSeen = 0, lastSeen = 0;
  long firstLines = 0, lastLines = 0;
  const long lastFrom = target - 1000;
  const double deadline = start + 600;
  while (dlg->Log().AppendedLines() < target && Now() < deadline) {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      continue;
    }
    long before = dlg->Log().AppendedLines();
    double t0 = Now();
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
    double t1 = Now();
    long after = dlg->Log().AppendedLines();
    if (after == before) continue;
    double perLine = (t1 - t0) / static_cast<double>(after - before);
    // Share of this batch that falls among the first / last 1,000 lines.
    long inFirst = std::max(0L, std::min(after, base + 1000) - before);
    long inLast = std::max(0L, after - std::max(before, lastFrom));
    firstGui += perLine * inFirst;
    firstLines += inFirst;
    lastGui += perLine * inLast;
    lastLines += inLast;
    if (firstSeen == 0 && after >= base + 1000) firstSeen = t1;
    if (lastStartSeen == 0 && after > lastFrom) lastStartSeen = t1;
    if (after >= target) lastSeen = t1;
  }
  for (auto& w : writers) {
    ::WaitForSingleObject(w.thread, INFINITE);
    ::CloseHandle(w.thread);
  }
  PumpMessages(50);
  dlg->Flush();
  r.seconds = (lastSeen > 0 ? lastSeen : Now()) - start;
  r.firstMsPer1000 = firstLines > 0 ? firstGui / firstLines * 1e6 : 0;
  r.lastMsPer1000 = lastLines > 0 ? lastGui / lastLines * 1e6 : 0;
  r.firstWallMs = (firstSeen - start) * 1000;
  r.lastWallMs = (lastSeen - lastStartSeen) * 1000;
  r.ok = CheckLog(dlg->Log().Text(), perThread, &r.problem);
  if (r.ok && dlg->Log().DroppedLines() != 0) {
    r.ok = false;
    r.problem = "lines were dropped";
  }
  DestroyProgressWindow();
  return r;
}

// Shows the window with some lines and waits, for a look or a screenshot.
int Hold(int lines, DWORD seconds, bool closed) {
  CProgressDlg* dlg = CreateProgressWindow(nullptr, true);
  if (dlg == nullptr) return 1;
  Writer writers[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    writers[t].index = t;
    writers[t].lines = lines / kThreads;
    writers[t].thread = ::CreateThread(nullptr, 0, &WriterMain, &writers[t], 0, nullptr);
  }
  for (auto& w : writers) ::WaitForSingleObject(w.thread, INFINITE);
  SetProgress(IDC_PROGRESS_WINDOWS, 100);
  SetProgress(IDC_PROGRESS_INTERNET, 60);
  SetProgress(IDC_PROGRESS_APPLICATIONS, 30);
  PumpMessages(300);
  if (closed) ClickItem(dlg->m_hWnd, 1063);
  std::printf("holding the window for %lu s\n", static_cast<unsigned long>(seconds));
  std::fflush(stdout);
  PumpMessages(seconds * 1000);
  DestroyProgressWindow();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5, lines = 50000;
  double rate = 0;
  DWORD hold = 0;
  bool closed = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (a == "--lines" && i + 1 < argc) lines = std::atoi(argv[++i]);
    else if (a == "--rate" && i + 1 < argc) rate = std::atof(argv[++i]);
    else if (a == "--hold" && i + 1 < argc) hold = static_cast<DWORD>(std::atoi(argv[++i]));
    else if (a == "--closed") closed = true;
  }
  if (hold > 0) return Hold(lines, hold, closed);

  std::printf("log_bench: %d lines from %d threads into the shown progress window%s, %d runs%s\n", lines, kThreads,
              closed ? " (details closed)" : "", runs, rate > 0 ? (", writers paced to " + std::to_string(static_cast<int>(rate)) + " lines/s").c_str()
                             : ", writers unpaced");
  std::vector<double> rates, firstCost, lastCost, firstWall, lastWall;
  bool allOk = true;
  for (int run = 1; run <= runs; ++run) {
    RunResult r = RunOnce(lines, rate, closed);
    double lps = r.seconds > 0 ? (lines / kThreads * kThreads) / r.seconds : 0;
    std::printf("run %d: %.2f s, %.0f lines/s; GUI ms per 1,000 lines: first %.1f, last %.1f; "
                "wall ms for the first 1,000: %.0f, for the last 1,000: %.0f; %s%s\n",
                run, r.seconds, lps, r.firstMsPer1000, r.lastMsPer1000, r.firstWallMs, r.lastWallMs,
                r.ok ? "log checked" : "LOG WRONG: ", r.problem.c_str());
    std::fflush(stdout);
    allOk = allOk && r.ok;
    rates.push_back(lps);
    firstCost.push_back(r.firstMsPer1000);
    lastCost.push_back(r.lastMsPer1000);
    firstWall.push_back(r.firstWallMs);
    lastWall.push_back(r.lastWallMs);
  }
  double mRate = Median(rates), mFirst = Median(firstCost), mLast = Median(lastCost);
  std::printf("median: %.0f lines/s (target >= 5000); GUI ms per 1,000 lines: first %.1f, last %.1f "
              "(ratio %.2f, target <= 1.5); wall ms first 1,000 %.0f, last 1,000 %.0f\n",
              mRate, mFirst, mLast, mFirst > 0 ? mLast / mFirst : 0, Median(firstWall), Median(lastWall));
  std::printf("%s\n", allOk ? "every run: every line present once, whole, in its thread's order"
                            : "SOME RUN LOST, SPLIT OR REORDERED LINES");
  return allOk ? 0 : 1;
}

// Preview table benchmark: a preview's records (50,000 items by default,
// spread over a few hundred entries, or one item per entry with --flat) go
// into the preview table window under Xvfb. Reports, as medians and maxima
// of repeated runs: the time from the preview's end to both lists drawn
// (model built, window filled and painted), a click on each column header,
// each keystroke of a filter typed and taken back, and showing the items of
// the largest row. Every step ends with the lists painted (UpdateWindow).
//   bench_preview_table_bench.exe [--runs N] [--items N] [--entries N] [--flat]
//   bench_preview_table_bench.exe --memory [--runs N] [--items N]   (the real GUI path: the resident
//   program previews a custom location of N files, then "Sweep Selected" sweeps it; reports the
//   peak working set's growth over idle, per item, what the log view, the records and the table
//   hold, and the longest the window took to answer a message meanwhile)
//   bench_preview_table_bench.exe --demo SECONDS   (for screenshots, in a prefix with the demo traces
//   planted: the resident program previews every category as the Settings page does, holds the table
//   on screen, sweeps the ticked rows but the second, and holds the table again)
#include <windows.h>

#include "bench/bench_stats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <psapi.h>

#include <atomic>
#include <thread>

#include "engine/sweep_log.h"
#include "ui/progress_dlg.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/settings_groups.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "ui/preview_results_dlg.h"
#include "winlib/window_probe.h"

namespace {

std::vector<OutcomeRecord> MakeRecords(int items, int entries) {
  std::vector<OutcomeRecord> records;
  records.reserve(2 * static_cast<size_t>(items));
  char path[200];
  for (int i = 0; i < items; ++i) {
    // Entry sizes fall off like real ones: a few big entries, many small.
    const int entry = static_cast<int>((static_cast<long long>(i) * i / items) % entries);
    OutcomeRecord r;
    r.category = entry % SWEEP_CATEGORY_COUNT;
    r.entry = "Bench entry " + std::to_string(entry) + (entry % 7 == 0 ? " cookies" : " cache");
    std::snprintf(path, sizeof path, "C:\\Users\\bench\\AppData\\Local\\Vendor%03d\\Cache\\Data\\f_%06d.tmp", entry, i);
    r.item = path;
    r.kb = (i % 97) * 1.25;
    r.outcome = i % 211 == 0 ? Outcome::kHeld : Outcome::kRemoved;
    if (r.outcome == Outcome::kHeld) r.reason = "another program holds it";
    r.preview = true;
    // As a sweep records it: the removal, then the log's numbered line,
    // which names the item.
    OutcomeRecord line = r;
    line.numbered = true;
    const bool removed = r.outcome == Outcome::kRemoved;
    records.push_back(std::move(r));
    if (removed) records.push_back(std::move(line));
  }
  return records;
}

void Paint(CPreviewResultsDlg& table) {
  ::UpdateWindow(table.Rows());
  ::UpdateWindow(table.Items());
}

struct Figures {
  std::vector<double> fill, sort, key, items, repaint;
};

void RunOnce(int items, int entries, Figures& out) {
  std::vector<OutcomeRecord> records = MakeRecords(items, entries);
  CPreviewResultsDlg table(nullptr);
  table.Open(nullptr);
  PumpMessages(50);
  double t = Now();
  table.ShowPreview(std::move(records), {});
  Paint(table);
  out.fill.push_back(Now() - t);

  for (int column = 0; column < PreviewTableModel::kColumnCount; ++column) {
    t = Now();
    table.ClickColumn(column);
    Paint(table);
    out.sort.push_back(Now() - t);
  }
  const char typed[] = "cookies";
  std::string filter;
  for (const char* c = typed; *c; ++c) {
    filter += *c;
    t = Now();
    table.SetFilterText(filter.c_str());
    Paint(table);
    out.key.push_back(Now() - t);
  }
  while (!filter.empty()) {
    filter.pop_back();
    t = Now();
    table.SetFilterText(filter.c_str());
    Paint(table);
    out.key.push_back(Now() - t);
  }
  // The floor: both lists redrawn with nothing changed.
  for (int i = 0; i < 5; ++i) {
    t = Now();
    ::InvalidateRect(table.Rows(), nullptr, FALSE);
    ::InvalidateRect(table.Items(), nullptr, FALSE);
    Paint(table);
    out.repaint.push_back(Now() - t);
  }
  table.ClickColumn(PreviewTableModel::kItems);
  if (table.Model().SortDescending() == false) table.ClickColumn(PreviewTableModel::kItems);
  t = Now();
  table.SelectRow(0);
  Paint(table);
  out.items.push_back(Now() - t);
  table.DestroyWindow();
}

void Report(const char* what, const std::vector<double>& v) {
  double most = 0;
  for (double x : v) most = x > most ? x : most;
  std::printf("%-28s median %8.1f ms   max %8.1f ms   (%d samples)\n", what, Median(v) * 1000, most * 1000,
              static_cast<int>(v.size()));
}

size_t WorkingSet(bool peak) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

// Asks a window to answer (WM_NULL) every 20 ms from a thread of its own and
// keeps the longest wait.
class AnswerProbe {
 public:
  explicit AnswerProbe(HWND window) : m_window(window), m_thread([this] { Run(); }) {}
  ~AnswerProbe() {
    m_stop = true;
    m_thread.join();
  }
  double Longest() const { return m_longest.load(); }

 private:
  void Run() {
    while (!m_stop) {
      const double t = Now();
      DWORD_PTR answer = 0;
      ::SendMessageTimeoutA(m_window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
      const double waited = Now() - t;
      if (waited > m_longest.load()) m_longest = waited;
      ::Sleep(20);
    }
  }
  HWND m_window;
  std::atomic<bool> m_stop{false};
  std::atomic<double> m_longest{0.0};
  std::thread m_thread;
};

struct MemoryFigures {
  std::vector<double> idleMb, previewGrowthMb, sweepGrowthMb, perItemKb, logChars, tableMb, answerMs;
};

bool PlantFiles(const std::string& folder, int items) {
  ::CreateDirectoryA(folder.c_str(), nullptr);
  char name[64];
  for (int i = 0; i < items; ++i) {
    std::snprintf(name, sizeof name, "\\bench_item_%06d.tmp", i);
    HANDLE file = ::CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    ::WriteFile(file, "x", 1, &written, nullptr);
    ::CloseHandle(file);
  }
  return true;
}

// What the table holds: its items and their names, as allocated.
double TableMb(const PreviewTableModel& model) {
  double bytes = 0;
  for (size_t r = 0; r < model.RowCount(); ++r) {
    const PreviewRow& row = model.RowAt(r);
    bytes += sizeof row + row.entry.capacity() + row.haystack.capacity() + row.sortKey.capacity() +
             row.items.capacity() * sizeof(uint32_t);
    for (size_t n = 0; n < row.items.size(); ++n) {
      const PreviewItem& item = model.ItemOf(r, n);
      bytes += sizeof item + (item.item.capacity() > 15 ? item.item.capacity() + 1 : 0) +
               (item.reason.capacity() > 15 ? item.reason.capacity() + 1 : 0);
    }
  }
  return bytes / (1024.0 * 1024.0);
}

int MemoryRun(int items, MemoryFigures& out) {
  char temp[MAX_PATH];
  ::GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "morvane_bench_memory";
  if (!PlantFiles(folder, items)) return 1;
  ModalScript noStartupWindow(IDOK);
  CMainApp app;
  if (!app.InitInstance("Morvane.exe") || g_pMainWnd == nullptr) return 1;
  CMainWnd& wnd = *g_pMainWnd;
  g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS;
  g_WindowsSettings.m_nTargets = 0;  // the custom locations alone (they always run)
  g_WindowsSettings.m_locations = {CustomLocation(folder, "*.tmp", 0)};
  wnd.ShowProgressWindow();
  PumpMessages(500);
  const size_t idle = WorkingSet(false);
  double longest = 0;
  {
    AnswerProbe probe(wnd.m_hWnd);
    ResetProgress();
    SetTitle(kPreviewCaption);
    LogStamped("\nStart previewing everything manually.", 0);
    app.m_pWork->Lock();
    app.m_pWork->RequestPreview(SWEEP_WINDOWS);
    wnd.BeginPreviewRecords();
    app.m_bSweeping = true;
    app.m_bPreviewing = true;
    app.m_pWork->Unlock();
    if (!PumpUntil([&] { return wnd.Results() != nullptr && !app.m_bSweeping; }, 600000)) return 1;
    PumpMessages(200);
    const size_t afterPreview = WorkingSet(true);
    CPreviewResultsDlg& table = *wnd.Results();
    out.tableMb.push_back(TableMb(table.Model()));
    ::SendMessageA(table.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_RESULTS_SWEEP, BN_CLICKED), 0);
    if (!PumpUntil([&] { return !app.m_bSweeping && !app.m_pWork->IsAnyRunning() && !wnd.IsSweepingSelected(); },
                   600000))
      return 1;
    PumpMessages(200);
    const size_t afterSweep = WorkingSet(true);
    out.idleMb.push_back(idle / 1048576.0);
    out.previewGrowthMb.push_back((static_cast<double>(afterPreview) - idle) / 1048576.0);
    out.sweepGrowthMb.push_back((static_cast<double>(afterSweep) - idle) / 1048576.0);
    out.perItemKb.push_back((static_cast<double>(afterSweep) - idle) / 1024.0 / items);
    out.logChars.push_back(g_pProgressDlg != nullptr ? g_pProgressDlg->Log().Length() : 0);
    longest = probe.Longest();
  }
  out.answerMs.push_back(longest * 1000);
  wnd.Exit();
  app.ExitInstance();
  ::RemoveDirectoryA(folder.c_str());
  return 0;
}

int Memory(int runs, int items) {
  std::printf("preview and sweep of %d files in a custom location, %d runs (real GUI path)\n", items, runs);
  MemoryFigures f;
  for (int r = 0; r < runs; ++r)
    if (MemoryRun(items, f) != 0) {
      std::printf("run %d failed\n", r);
      return 1;
    }
  std::printf("%-40s median %8.1f MB\n", "working set at idle", Median(f.idleMb));
  std::printf("%-40s median %8.1f MB (target < 200)\n", "peak growth after the preview", Median(f.previewGrowthMb));
  std::printf("%-40s median %8.1f MB (target < 200)\n", "peak growth after the sweep", Median(f.sweepGrowthMb));
  std::printf("%-40s median %8.2f KB (target ~4)\n", "peak growth per item", Median(f.perItemKb));
  std::printf("%-40s median %8.0f chars\n", "log view's text", Median(f.logChars));
  std::printf("%-40s median %8.1f MB\n", "preview table (items and names)", Median(f.tableMb));
  std::printf("%-40s median %8.1f ms   max %8.1f ms (target < 200)\n", "longest wait for the window",
              Median(f.answerMs), *std::max_element(f.answerMs.begin(), f.answerMs.end()));
  return 0;
}

int Demo(DWORD seconds) {
  ModalScript noStartupWindow(IDOK);
  CMainApp app;
  if (!app.InitInstance("Morvane.exe") || g_pMainWnd == nullptr) return 1;
  CMainWnd& wnd = *g_pMainWnd;
  // What the Settings page's "Preview" does, without the page.
  wnd.ShowProgressWindow();
  ResetProgress();
  SetTitle(kPreviewCaption);
  LogStamped("\nStart previewing everything manually.", 0);
  app.m_pWork->Lock();
  app.m_pWork->RequestPreview(SWEEP_WINDOWS | SWEEP_INTERNET | SWEEP_APPLICATIONS);
  wnd.BeginPreviewRecords();
  app.m_bSweeping = true;
  app.m_bPreviewing = true;
  app.m_pWork->Unlock();
  if (!PumpUntil([&] { return wnd.Results() != nullptr && !app.m_bSweeping; }, 120000)) return 1;
  CPreviewResultsDlg& table = *wnd.Results();
  std::printf("preview table: %d rows, %d item(s), %s KB; holding %lu s\n", static_cast<int>(table.Model().RowCount()),
              table.Model().TotalItems(), FormatKB(table.Model().TotalKB()).c_str(), static_cast<unsigned long>(seconds));
  // One count: the Items column, the items listed and the totals line.
  {
    const PreviewTableModel& model = table.Model();
    int column = 0, listed = 0;
    for (size_t r = 0; r < model.RowCount(); ++r) {
      column += model.RowAt(r).count;
      for (size_t n = 0; n < model.RowAt(r).items.size(); ++n)
        if (!OutcomeNotRemoved(model.ItemOf(r, n).outcome) && model.ItemOf(r, n).outcome != Outcome::kGuarded)
          ++listed;
    }
    g_pProgressDlg->Flush();
    std::printf("items column %d, items listed %d, totals line \"%s\"\n", column, listed,
                g_pProgressDlg->GetItemText(IDC_TOTALS).c_str());
  }
  std::fflush(stdout);
  PumpMessages(seconds * 1000);
  if (table.Model().RowCount() > 1) table.ToggleRow(1);
  ::SendMessageA(table.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_RESULTS_SWEEP, BN_CLICKED), 0);
  PumpUntil([&] { return !app.m_bSweeping; }, 120000);
  std::printf("swept the ticked rows; holding %lu s\n", static_cast<unsigned long>(seconds));
  std::fflush(stdout);
  PumpMessages(seconds * 1000);
  wnd.Exit();
  return app.ExitInstance();
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5, items = 50000, entries = 300;
  bool flat = false, memory = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--items") && i + 1 < argc) items = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--entries") && i + 1 < argc) entries = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--flat")) flat = true;
    else if (!std::strcmp(argv[i], "--memory")) memory = true;
    else if (!std::strcmp(argv[i], "--demo") && i + 1 < argc) return Demo(static_cast<DWORD>(std::atoi(argv[++i])));
  }
  if (memory) return Memory(runs, items);
  if (flat) entries = items;
  if (items < 1 || entries < 1 || runs < 1) return 2;
  std::printf("preview table: %d items over %d entries, %d runs\n", items, entries, runs);
  Figures figures;
  for (int r = 0; r < runs; ++r) RunOnce(items, entries, figures);
  Report("fill after the preview", figures.fill);
  Report("header click (sort)", figures.sort);
  Report("filter keystroke", figures.key);
  Report("items of the largest row", figures.items);
  Report("repaint alone (the floor)", figures.repaint);
  return 0;
}

// Preview table benchmark: a preview's records (50,000 items by default,
// spread over a few hundred entries, or one item per entry with --flat) go
// into the preview table window under Xvfb. Reports, as medians and maxima
// of repeated runs: the time from the preview's end to both lists drawn
// (model built, window filled and painted), a click on each column header,
// each keystroke of a filter typed and taken back, and showing the items of
// the largest row. Every step ends with the lists painted (UpdateWindow).
//   bench_preview_table_bench.exe [--runs N] [--items N] [--entries N] [--flat]
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

#include "engine/sweep_log.h"
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
    // As a sweep records it: the removal, then the log's numbered line.
    OutcomeRecord line;
    line.category = r.category;
    line.entry = r.entry;
    line.preview = true;
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
  bool flat = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--items") && i + 1 < argc) items = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--entries") && i + 1 < argc) entries = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--flat")) flat = true;
    else if (!std::strcmp(argv[i], "--demo") && i + 1 < argc) return Demo(static_cast<DWORD>(std::atoi(argv[++i])));
  }
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

// Preview table benchmark: a preview's records (50,000 items by default,
// spread over a few hundred entries, or one item per entry with --flat) go
// into the preview table window under Xvfb. Reports, as medians and maxima
// of repeated runs: the time from the preview's end to both lists drawn
// (model built, window filled and painted), a click on each column header,
// each keystroke of a filter typed and taken back, and showing the items of
// the largest row. Every step ends with the lists painted (UpdateWindow).
//   bench_preview_table_bench.exe [--runs N] [--items N] [--entries N] [--flat]
//   bench_preview_table_bench.exe --memory [--runs N] [--items N]   (the real GUI path: the resident
//   program previews a custom location of N files, then "Sweep Selected" sweeps it, each run a
//   process of its own; reports the peak working set's growth over idle, per item, what the log
//   view, the records and the table hold, and the longest the main window and the table took to
//   answer a message meanwhile; prints FAIL and exits 1 over 200 MB or 200 ms)
//   bench_preview_table_bench.exe --demo SECONDS   (for screenshots, in a prefix with the demo traces
//   planted: the resident program previews every category as the Settings page does, holds the table
//   on screen, sweeps the ticked rows but the second, and holds the table again; with --cancel after
//   SECONDS, the sweep is cancelled from the tray menu as soon as it has begun)
#include <windows.h>
#include <richedit.h>

#include "bench/bench_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <psapi.h>
#include <winternl.h>
#include <cwchar>

#include <atomic>
#include <thread>

#include "engine/sweep_log.h"
#include "ui/log_view.h"
#include "ui/progress_dlg.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "res/shell_ids.h"
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

// What one run measured (a process of its own: the peak working set only ever grows).
struct MemoryRunFigures {
  double idleMb = 0, previewGrowthMb = 0, sweepGrowthMb = 0, perItemKb = 0, logChars = 0, logMb = 0, tableMb = 0,
         recordsMb = 0, answerMs = 0;
  int listed = 0, swept = 0;
};

// Creates name in the open folder dir by its exact name (no search that
// ignores case: Wine answers such a search for a new name with a scan of the
// whole folder, and planting would grow with the square of the count).
bool CreateExact(HANDLE dir, const std::wstring& name) {
  using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                      ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
  static const auto create =
      reinterpret_cast<NtCreateFileFn>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtCreateFile"));
  if (create == nullptr) return false;
  UNICODE_STRING us;
  us.Buffer = const_cast<PWSTR>(name.c_str());
  us.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  us.MaximumLength = us.Length;
  OBJECT_ATTRIBUTES oa;
  InitializeObjectAttributes(&oa, &us, 0, dir, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE file = nullptr;
  const ULONG kOverwriteIf = 5, kSynchronousNonAlert = 0x20, kNonDirectory = 0x40;
  if (create(&file, GENERIC_WRITE | SYNCHRONIZE, &oa, &io, nullptr, FILE_ATTRIBUTE_NORMAL, 0, kOverwriteIf,
             kSynchronousNonAlert | kNonDirectory, nullptr, 0) != 0)
    return false;
  DWORD written = 0;
  ::WriteFile(file, "x", 1, &written, nullptr);
  ::CloseHandle(file);
  return true;
}

bool PlantFiles(const std::string& folder, int items) {
  ::CreateDirectoryA(folder.c_str(), nullptr);
  // What a run that was stopped left behind would be counted with this one's.
  WIN32_FIND_DATAA found;
  HANDLE find = ::FindFirstFileA((folder + "\\bench_item_*.tmp").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do ::DeleteFileA((folder + "\\" + found.cFileName).c_str());
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
  }
  HANDLE dir = ::CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  wchar_t name[64];
  for (int i = 0; i < items && ok; ++i) {
    swprintf(name, 64, L"bench_item_%06d.tmp", i);
    ok = CreateExact(dir, name);
  }
  ::CloseHandle(dir);
  return ok;
}

double Capacity(const std::string& text) { return text.capacity() > 15 ? text.capacity() + 1.0 : 0.0; }

// What the table holds: its rows, items and their names, as allocated.
double TableMb(const PreviewTableModel& model) {
  double bytes = 0;
  for (size_t r = 0; r < model.RowCount(); ++r) {
    const PreviewRow& row = model.RowAt(r);
    bytes += sizeof row + Capacity(row.entry) + Capacity(row.haystack) + Capacity(row.sortKey) +
             row.items.capacity() * sizeof(uint32_t);
    for (size_t n = 0; n < row.items.size(); ++n) {
      const PreviewItem& item = model.ItemOf(r, n);
      bytes += sizeof item + Capacity(item.item) + Capacity(item.reason);
    }
  }
  return bytes / (1024.0 * 1024.0);
}

// What the outcome records of a run hold while they are collected: one per
// item listed (its record and names), as the collector keeps them.
double RecordsMb(const PreviewTableModel& model) {
  double bytes = 0;
  for (size_t r = 0; r < model.RowCount(); ++r) {
    const PreviewRow& row = model.RowAt(r);
    for (size_t n = 0; n < row.items.size(); ++n) {
      const PreviewItem& item = model.ItemOf(r, n);
      bytes += sizeof(OutcomeRecord) + Capacity(row.entry) + Capacity(item.item) + Capacity(item.reason);
    }
  }
  return bytes / (1024.0 * 1024.0);
}

// What a rich edit like the log takes for text: a hidden one of its own is
// filled with it as the log view fills the real one, and the working set's
// growth is read.
double g_longestAppend = 0;  // seconds, the longest batch LogViewMb appended
size_t g_logBatchBytes = 12 * 1024;
std::vector<double> g_appends;  // seconds, each batch  // a drain's worth, as the progress window applies it (--log-batch)
double LogViewMb(const std::string& text) {
  ::LoadLibraryA("riched20.dll");
  HWND edit = ::CreateWindowExA(0, "RichEdit20A", "", WS_CHILD | ES_MULTILINE | ES_READONLY, 0, 0, 400, 300,
                                ::GetDesktopWindow(), nullptr, nullptr, nullptr);
  if (edit == nullptr) return -1;
  PumpMessages(100);
  const size_t before = WorkingSet(false);
  {
    LogView view;
    view.Attach(edit);
    // In batches of a drain's worth, as the progress window applies them.
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', std::min(text.size(), at + g_logBatchBytes));
      end = end == std::string::npos ? text.size() : end + 1;
      const double t = Now();
      view.Append(text.substr(at, end - at));
      g_longestAppend = std::max(g_longestAppend, Now() - t);
      g_appends.push_back(Now() - t);
      at = end;
    }
    PumpMessages(100);
    edit = view.Control();  // a cut puts a new control in the old one's place
  }
  const size_t after = WorkingSet(false);
  ::DestroyWindow(edit);
  return (static_cast<double>(after) - before) / 1048576.0;
}

int MemoryRun(int items, MemoryRunFigures& out) {
  char temp[MAX_PATH];
  ::GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "morvane_bench_memory";
  const double t0 = Now();
  if (!PlantFiles(folder, items)) return 1;
  std::fprintf(stderr, "planted %d files in %.1f s\n", items, Now() - t0);
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
  std::string logText;
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
    const double t1 = Now();
    if (!PumpUntil([&] { return wnd.Results() != nullptr && !app.m_bSweeping; }, 600000)) return 1;
    std::fprintf(stderr, "preview and table in %.1f s\n", Now() - t1);
    PumpMessages(200);
    const size_t afterPreview = WorkingSet(true);
    CPreviewResultsDlg& table = *wnd.Results();
    out.tableMb = TableMb(table.Model());
    out.recordsMb = RecordsMb(table.Model());
    out.listed = table.Model().TotalItems();
    // While the table is filled and shown, the window is asked as well.
    AnswerProbe tableProbe(table.m_hWnd);
    ::SendMessageA(table.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_RESULTS_SWEEP, BN_CLICKED), 0);
    if (!PumpUntil([&] { return !app.m_bSweeping && !app.m_pWork->IsAnyRunning() && !wnd.IsSweepingSelected(); },
                   600000))
      return 1;
    std::fprintf(stderr, "sweep in %.1f s\n", Now() - t1);
    PumpMessages(200);
    const size_t afterSweep = WorkingSet(true);
    for (size_t r = 0; r < table.Model().RowCount(); ++r) out.swept += table.Model().RowAt(r).sweptCount;
    out.idleMb = idle / 1048576.0;
    out.previewGrowthMb = (static_cast<double>(afterPreview) - idle) / 1048576.0;
    out.sweepGrowthMb = (static_cast<double>(afterSweep) - idle) / 1048576.0;
    out.perItemKb = (static_cast<double>(afterSweep) - idle) / 1024.0 / items;
    if (g_pProgressDlg != nullptr) {
      g_pProgressDlg->Flush();
      out.logChars = g_pProgressDlg->Log().Length();
      logText = g_pProgressDlg->Log().Text();
    }
    out.answerMs = 1000 * std::max(probe.Longest(), tableProbe.Longest());
  }
  wnd.Exit();
  app.ExitInstance();
  out.logMb = LogViewMb(logText);
  ::RemoveDirectoryA(folder.c_str());
  return 0;
}

// One run in this process: its figures on one line for the parent to read.
int MemoryChild(int items) {
  MemoryRunFigures f;
  if (MemoryRun(items, f) != 0) return 1;
  std::printf("FIGURES %f %f %f %f %f %f %f %f %f %d %d\n", f.idleMb, f.previewGrowthMb, f.sweepGrowthMb, f.perItemKb,
              f.logChars, f.logMb, f.tableMb, f.recordsMb, f.answerMs, f.listed, f.swept);
  return 0;
}

// Runs this program again with --memory-run and reads its figures line.
bool SpawnRun(int items, MemoryRunFigures& f) {
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, sizeof self);
  std::string command = std::string("\"") + self + "\" --memory-run --items " + std::to_string(items);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  const BOOL started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  ::CloseHandle(writeEnd);
  if (!started) {
    ::CloseHandle(readEnd);
    return false;
  }
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  ::CloseHandle(readEnd);
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
  const size_t at = output.find("FIGURES ");
  if (code != 0 || at == std::string::npos) {
    std::printf("%s", output.c_str());
    return false;
  }
  return std::sscanf(output.c_str() + at, "FIGURES %lf %lf %lf %lf %lf %lf %lf %lf %lf %d %d", &f.idleMb,
                     &f.previewGrowthMb, &f.sweepGrowthMb, &f.perItemKb, &f.logChars, &f.logMb, &f.tableMb,
                     &f.recordsMb, &f.answerMs, &f.listed, &f.swept) == 11;
}

// The limits a preview and a sweep of many items must keep.
constexpr double kGrowthLimitMb = 200.0;
constexpr double kAnswerLimitMs = 200.0;

int Memory(int runs, int items) {
  std::printf("preview and sweep of %d files in a custom location, %d runs, each a process of its own "
              "(real GUI path)\n", items, runs);
  std::vector<MemoryRunFigures> all;
  for (int r = 0; r < runs; ++r) {
    MemoryRunFigures f;
    if (!SpawnRun(items, f)) {
      std::printf("FAIL: run %d did not finish\n", r);
      return 1;
    }
    std::printf("  run %d: growth %.1f MB after the preview, %.1f MB after the sweep; longest wait %.1f ms\n", r,
                f.previewGrowthMb, f.sweepGrowthMb, f.answerMs);
    std::fflush(stdout);
    all.push_back(f);
  }
  auto column = [&](double MemoryRunFigures::*field) {
    std::vector<double> v;
    for (const MemoryRunFigures& f : all) v.push_back(f.*field);
    return v;
  };
  auto most = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
  const std::vector<double> preview = column(&MemoryRunFigures::previewGrowthMb),
                            sweep = column(&MemoryRunFigures::sweepGrowthMb),
                            answer = column(&MemoryRunFigures::answerMs);
  std::printf("%-44s median %8.1f MB\n", "working set at idle", Median(column(&MemoryRunFigures::idleMb)));
  std::printf("%-44s median %8.1f MB   max %8.1f MB (limit %.0f)\n", "peak growth after the preview", Median(preview),
              most(preview), kGrowthLimitMb);
  std::printf("%-44s median %8.1f MB   max %8.1f MB (limit %.0f)\n", "peak growth after the sweep", Median(sweep),
              most(sweep), kGrowthLimitMb);
  std::printf("%-44s median %8.2f KB (about 4 wanted)\n", "peak growth per item",
              Median(column(&MemoryRunFigures::perItemKb)));
  std::printf("%-44s median %8.0f chars\n", "log view's text", Median(column(&MemoryRunFigures::logChars)));
  std::printf("%-44s median %8.1f MB\n", "log view (a rich edit holding that text)",
              Median(column(&MemoryRunFigures::logMb)));
  std::printf("%-44s median %8.1f MB\n", "outcome records of one pass (as collected)",
              Median(column(&MemoryRunFigures::recordsMb)));
  std::printf("%-44s median %8.1f MB\n", "preview table (rows, items and names)",
              Median(column(&MemoryRunFigures::tableMb)));
  std::printf("%-44s median %8.1f ms   max %8.1f ms (limit %.0f)\n", "longest wait for a window to answer",
              Median(answer), most(answer), kAnswerLimitMs);
  bool ok = true;
  for (const MemoryRunFigures& f : all) {
    if (f.listed != items || f.swept != items) {
      std::printf("FAIL: the table listed %d and the sweep removed %d of %d items\n", f.listed, f.swept, items);
      ok = false;
      break;
    }
  }
  if (Median(preview) >= kGrowthLimitMb || Median(sweep) >= kGrowthLimitMb) {
    std::printf("FAIL: the peak working set grew by %.1f MB (median), over the %.0f MB limit\n",
                std::max(Median(preview), Median(sweep)), kGrowthLimitMb);
    ok = false;
  }
  if (most(answer) >= kAnswerLimitMs) {
    std::printf("FAIL: a window took %.1f ms to answer, over the %.0f ms limit\n", most(answer), kAnswerLimitMs);
    ok = false;
  }
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}

int Demo(DWORD seconds, bool cancel) {
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
  if (const char* width = std::getenv("MORVANE_DEMO_WIDTH")) {
    // A wider window, as a user drags it: the summary's lines and how wide
    // each measures against its box.
    RECT at = {};
    ::GetWindowRect(table.m_hWnd, &at);
    ::SetWindowPos(table.m_hWnd, nullptr, 0, 0, std::atoi(width), at.bottom - at.top, SWP_NOZORDER | SWP_NOMOVE);
    PumpMessages(200);
    HWND summary = table.GetItem(IDC_RESULTS_SUMMARY);
    RECT box = {};
    ::GetClientRect(summary, &box);
    HDC dc = ::GetDC(summary);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(summary, WM_GETFONT, 0, 0)));
    const std::string shown = table.GetItemText(IDC_RESULTS_SUMMARY);
    for (size_t start = 0; start < shown.size();) {
      size_t end = shown.find("\r\n", start);
      if (end == std::string::npos) end = shown.size();
      const std::string line = shown.substr(start, end - start);
      SIZE extent = {};
      ::GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &extent);
      RECT drawn = {0, 0, box.right, 0};
      ::DrawTextA(dc, line.c_str(), -1, &drawn, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
      std::printf("summary line: box %ld, extent %ld, drawn %ld: %s\n", box.right, extent.cx, drawn.right, line.c_str());
      start = end + 2;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(summary, dc);
  }
  std::fflush(stdout);
  PumpMessages(seconds * 1000);
  if (table.Model().RowCount() > 1) table.ToggleRow(1);
  ::SendMessageA(table.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_RESULTS_SWEEP, BN_CLICKED), 0);
  if (cancel) {
    PumpMessages(30);
    ::SendMessageA(wnd.m_hWnd, WM_COMMAND, IDM_CANCEL_SWEEP, 0);
  }
  PumpUntil([&] { return !app.m_bSweeping; }, 120000);
  for (size_t r = 0; r < table.Model().RowCount(); ++r)
    for (size_t n = 0; n < table.Model().RowAt(r).items.size(); ++n)
      if (table.Model().ItemOf(r, n).fate == SweptFate::kLeft || table.Model().ItemOf(r, n).fate == SweptFate::kNotMet ||
          table.Model().ItemOf(r, n).fate == SweptFate::kNotReached)
        std::printf("  %s: %s\n", table.Model().ItemCellText(r, n, 0).c_str(), table.Model().ItemCellText(r, n, 2).c_str());
  // The first item the sweep left, if any, selected: its fate shows below.
  for (size_t r = 0; r < table.Model().RowCount(); ++r) {
    const PreviewRow& row = table.Model().RowAt(r);
    size_t n = 0;
    while (n < row.items.size() && table.Model().ItemOf(r, n).fate != SweptFate::kLeft) ++n;
    if (n == row.items.size()) continue;
    table.SelectRow(r);
    ListView_SetItemState(table.Items(), static_cast<int>(n), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(table.Items(), static_cast<int>(n), FALSE);
    break;
  }
  std::printf("swept the ticked rows; holding %lu s\n", static_cast<unsigned long>(seconds));
  std::fflush(stdout);
  PumpMessages(seconds * 1000);
  wnd.Exit();
  return app.ExitInstance();
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5, items = 50000, entries = 300;
  bool flat = false, memory = false, child = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--items") && i + 1 < argc) items = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--entries") && i + 1 < argc) entries = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--flat")) flat = true;
    else if (!std::strcmp(argv[i], "--memory")) memory = true;
    else if (!std::strcmp(argv[i], "--memory-run")) child = true;
    else if (!std::strcmp(argv[i], "--log-batch") && i + 1 < argc) g_logBatchBytes = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--log-lines") && i + 1 < argc) {
      // What the log view takes for N lines like a sweep's, alone.
      const int lines = std::atoi(argv[++i]);
      std::string text;
      char line[200];
      for (int n = 0; n < lines; ++n) {
        std::snprintf(line, sizeof line, "   Item %d, Remove file: C:\\users\\bench\\Temp\\morvane_bench_memory\\bench_item_%06d.tmp, size 0.001(KB).\n", n + 1, n);
        text += line;
      }
      const double mb = LogViewMb(text);
      std::vector<double> sorted = g_appends;
      std::sort(sorted.begin(), sorted.end());
      std::printf("log view of %d lines (%zu chars): %.1f MB, batch median %.1f ms, 95th %.1f ms, longest %.1f ms\n",
                  lines, text.size(), mb, Median(g_appends) * 1000,
                  sorted.empty() ? 0.0 : sorted[sorted.size() * 95 / 100] * 1000, g_longestAppend * 1000);
      return 0;
    }
    else if (!std::strcmp(argv[i], "--demo") && i + 1 < argc)
      return Demo(static_cast<DWORD>(std::atoi(argv[i + 1])), i + 2 < argc && !std::strcmp(argv[i + 2], "--cancel"));
  }
  if (child) return MemoryChild(items);
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

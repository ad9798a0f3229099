// The preview table of the resident program: a preview from the Settings page
// opens it with a row per entry that adds up to the totals line; "Sweep
// Selected" removes the ticked entries' items and nothing of the others,
// through the worker with the usual lines, leaves the stored settings as they
// were, and shows per row what it removed; "Save List..." writes every item.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/sweep_log.h"
#include "res/resource.h"
#include "res/shell_ids.h"
#include "ui/panel_actions.h"
#include "shell/main_app.h"
#include "shell/main_wnd.h"
#include "shell/browser_watch.h"
#include "shell_fixtures.h"
#include "support/snapshot.h"
#include "support/test_env.h"
#include "tools/seed/seed_applications.h"
#include "tools/seed/seed_databases.h"
#include "catalogue/browser_db_targets.h"
#include "engine/sqlite_db.h"
#include "support/sweep_table_swap.h"
#include "ui/control_panel.h"
#include "ui/progress_dlg.h"
#include "winlib/file_dialog.h"
#include "winlib/platform_calls.h"
#include "winlib/window_probe.h"

namespace {

// Each stand-in entry empties a folder of its own (and leaves a file named
// "held" with a reason), recording every item as the primitives do.
std::string g_folders[3];

template <int N>
void EmptyFolder(SweepWorker*, int* count, float* kb) {
  WIN32_FIND_DATAA found;
  HANDLE find = ::FindFirstFileA((g_folders[N] + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string path = g_folders[N] + "\\" + found.cFileName;
    if (std::string(found.cFileName) == "held") {
      RecordOutcome(Outcome::kHeld, path, 0.0, "another program holds it");
      continue;
    }
    const double size = found.nFileSizeLow / 1024.0;
    if (!PreviewActive() && !::DeleteFileA(path.c_str())) continue;
    LogItemOf(count, IDC_STATUS_WINDOWS, "   ", path, size, "%s\n", path.c_str());
    *kb += static_cast<float>(size);
    RecordOutcome(Outcome::kRemoved, path, size);
  } while (::FindNextFileA(find, &found));
  ::FindClose(find);
}

void FindsNothing(SweepWorker*, int*, float*) {}

const char* const kEntries[] = {"Temporary File Folder", "Document History", "Network History"};

class PreviewTable : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGroups();
    g_GeneralSettings.m_nTargets = GENERAL_SWEEP_WINDOWS;
    g_WindowsSettings.m_nTargets = 0x7F;
    // Three entries with 4, 3 and 2 files of 2, 1 and 3 KB each.
    const int files[] = {4, 3, 2};
    const int kb[] = {2, 1, 3};
    for (int n = 0; n < 3; ++n) {
      g_folders[n] = m_root / std::to_string(n);
      ::CreateDirectoryA(g_folders[n].c_str(), nullptr);
      for (int f = 0; f < files[n]; ++f)
        ASSERT_TRUE(WriteFileBytes(g_folders[n] + "\\f" + std::to_string(f) + ".tmp", std::string(kb[n] * 1024, 'x')));
    }
    ASSERT_TRUE(WriteFileBytes(g_folders[1] + "\\held", "x"));
  }
  void TearDown() override {
    m_app.ExitInstance();
    ResetGroups();
  }

  SnapshotMap Picture(bool withSettings = true) const {
    SnapshotMap picture;
    SnapshotFolder("ROOT", m_root.Path(), picture);
    if (withSettings) SnapshotKey("SETTINGS", HKEY_CURRENT_USER, "SOFTWARE\\Calderix", picture);
    return picture;
  }

  void RunPreview(CLustraProp& panel) {
    ClickItem(panel.m_settingsPage, IDC_SET_PREVIEW);
    ASSERT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 20000));
    ASSERT_NE(m_wnd->Results(), nullptr) << "the table opens when the preview ends";
    EXPECT_TRUE(::IsWindowVisible(m_wnd->Results()->m_hWnd));
  }

  RegistrySandbox m_sandbox;
  TrayRecorder m_tray;
  ModalScript m_modal{IDOK};
  TempFolder m_root;
  CMainApp m_app;
  CMainWnd* m_wnd = nullptr;
  SweepTableSwap m_table{WindowsSweepTable(),
                         {{10, true, 0x08, &EmptyFolder<0>, kEntries[0]},
                          {20, true, 0x01, &EmptyFolder<1>, kEntries[1]},
                          {30, true, 0x40, &EmptyFolder<2>, kEntries[2]},
                          {40, true, 0x02, &FindsNothing, "Recycle Bin"}}};
};

TEST_F(PreviewTable, RowsAddUpToTheTotalsLineAndSweepSelectedTakesOnlyTheTickedRows) {
  m_wnd = StartResidentWindow(m_app);
  ASSERT_NE(m_wnd, nullptr);
  // The files before anything; the settings once the preview has applied the pages.
  const SnapshotMap before = Picture(false);
  SnapshotMap afterPreview, afterSweep;
  std::string totals, sweepLog, sweptTotals, summary;
  std::vector<std::string> swept, statusLines;
  EXPECT_EQ(DriveControlPanel(m_wnd->m_hWnd,
                              [&](CLustraProp& panel) {
                                RunPreview(panel);
                                g_pProgressDlg->Flush();
                                totals = g_pProgressDlg->GetItemText(IDC_TOTALS);
                                afterPreview = Picture();
                                const SnapshotDiff previewed = CompareSnapshots(before, Picture(false));
                                EXPECT_TRUE(previewed.Empty()) << previewed.Describe();
                                CPreviewResultsDlg& table = *m_wnd->Results();
                                PreviewTableModel& model = table.Model();
                                ASSERT_EQ(model.RowCount(), 3u) << g_pProgressDlg->Log().Text();
                                EXPECT_EQ(model.NothingCount(), 1u) << "Recycle Bin";
                                EXPECT_EQ(::SendMessageA(table.Rows(), LVM_GETITEMCOUNT, 0, 0), 3);
                                // Largest first: 4 x 2 KB, 2 x 3 KB, 3 x 1 KB (and the held one).
                                EXPECT_EQ(model.RowAt(0).entry, kEntries[0]);
                                EXPECT_EQ(model.RowAt(1).entry, kEntries[2]);
                                EXPECT_EQ(model.RowAt(2).entry, kEntries[1]);
                                EXPECT_EQ(model.RowAt(2).left, 1);
                                table.SelectRow(2);
                                EXPECT_EQ(::SendMessageA(table.Items(), LVM_GETITEMCOUNT, 0, 0), 4);

                                // Untick the middle row, then sweep.
                                table.ToggleRow(1);
                                ClickItem(table.m_hWnd, IDC_RESULTS_SWEEP);
                                EXPECT_TRUE(m_wnd->IsSweepingSelected());
                                EXPECT_FALSE(table.IsItemEnabled(IDC_RESULTS_SWEEP)) << "waits while it runs";
                                EXPECT_FALSE(panel.m_settingsPage.IsItemEnabled(IDC_SET_PREVIEW))
                                    << "the page's Preview waits too";
                                ASSERT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); },
                                                      20000));
                                EXPECT_TRUE(table.IsItemEnabled(IDC_RESULTS_SWEEP));
                                g_pProgressDlg->Flush();
                                sweepLog = g_pProgressDlg->Log().Text();
                                sweptTotals = g_pProgressDlg->GetItemText(IDC_TOTALS);
                                for (int id : {IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS})
                                  statusLines.push_back(g_pProgressDlg->GetItemText(id));
                                summary = table.Summary();
                                for (size_t i = 0; i < model.RowCount(); ++i)
                                  swept.push_back(model.CellText(i, PreviewTableModel::kSweptItems));
                              }),
            1);

  char expected[128];
  FormatTotalsLine(expected, sizeof expected, 4 + 3 + 2, 4 * 2 + 3 * 1 + 2 * 3, /*preview=*/true);
  EXPECT_EQ(totals, expected) << "the rows' sums are the preview's totals line";

  const SnapshotDiff diff = CompareSnapshots(afterPreview, Picture());
  std::set<std::string> removed(diff.removed.begin(), diff.removed.end());
  std::set<std::string> expectedRemoved;
  for (int n : {0, 1})
    for (int f = 0; f < (n == 0 ? 4 : 3); ++f)
      expectedRemoved.insert("ROOT\\" + std::to_string(n) + "\\f" + std::to_string(f) + ".tmp");
  EXPECT_EQ(removed, expectedRemoved) << diff.Describe();
  EXPECT_TRUE(diff.added.empty() && diff.changed.empty())
      << "the unticked entry's files, and the stored settings, stay as they were: " << diff.Describe();
  EXPECT_EQ(g_WindowsSettings.m_tLastSweep, 0) << "a one-off is not the category's sweep";

  EXPECT_EQ(swept, (std::vector<std::string>{"4", "", "3"}));
  EXPECT_EQ(statusLines, (std::vector<std::string>{"Not part of this sweep", "Not part of this sweep"}))
      << "the categories the selection leaves out say so, rather than wait for ever";
  EXPECT_EQ(summary.substr(0, summary.find('\r')), "Swept 2 entries: 7 items, 11 KB removed; 1 item left.")
      << "after the sweep, the texts say what happened";
  const size_t start = sweepLog.find("Start sweeping the entries selected in the preview.");
  ASSERT_NE(start, std::string::npos);
  sweepLog.erase(0, start);  // the preview's lines come before
  char sweptLine[128];
  FormatTotalsLine(sweptLine, sizeof sweptLine, 4 + 3, 4 * 2 + 3 * 1, /*preview=*/false);
  EXPECT_EQ(sweptTotals, sweptLine);
  EXPECT_NE(sweepLog.find("f3.tmp"), std::string::npos) << "the usual numbered lines";
  EXPECT_EQ(sweepLog.find(g_folders[2]), std::string::npos) << "no line for the unticked entry";
}

// The rows of a CSV text (quoted fields may hold separators and line breaks).
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  if (rows.back().empty() && field.empty()) rows.pop_back();
  return rows;
}

// Message boxes answered without a person: the questions asked, and the answer.
std::vector<std::string> g_asked;
int g_answer = IDNO;
int WINAPI AnswerBox(HWND, LPCSTR text, LPCSTR, UINT) {
  g_asked.push_back(text);
  return g_answer;
}

TEST_F(PreviewTable, SaveListWritesEveryItemAsCsvAndNeverReplacesAFileUnasked) {
  m_wnd = StartResidentWindow(m_app);
  ASSERT_NE(m_wnd, nullptr);
  const std::string target = m_root / "list.csv";
  const std::string precious = "my own notes\r\n";
  ASSERT_TRUE(WriteFileBytes(target, precious));
  g_asked.clear();
  const auto realBox = g_platform.MessageBoxA;
  g_platform.MessageBoxA = &AnswerBox;
  bool savedOverNo = true, savedOverYes = false;
  EXPECT_EQ(DriveControlPanel(m_wnd->m_hWnd,
                              [&](CLustraProp& panel) {
                                RunPreview(panel);
                                FileDialogScript script([&](HWND dialog) {
                                  ::SetDlgItemTextA(dialog, 1152 /* edt1 */, target.c_str());
                                  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                                });
                                g_answer = IDNO;
                                savedOverNo = m_wnd->Results()->SaveList();
                                EXPECT_EQ(ReadFileBytes(target), precious) << "No keeps the file";
                                g_answer = IDYES;
                                savedOverYes = m_wnd->Results()->SaveList();
                                EXPECT_EQ(script.Runs(), 2);
                              }),
            1);
  g_platform.MessageBoxA = realBox;
  EXPECT_FALSE(savedOverNo);
  ASSERT_TRUE(savedOverYes);
  ASSERT_EQ(g_asked.size(), 2u) << "Morvane asks itself, whatever the dialog does";
  EXPECT_NE(g_asked[0].find("already exists"), std::string::npos) << g_asked[0];

  std::string text = ReadFileBytes(target);
  ASSERT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0) << "UTF-8 with a byte-order mark";
  std::istringstream lines(text.substr(3));
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "Category,Entry,Item,Size (KB),What becomes of it,Reason\r");
  std::set<std::string> items;
  std::map<std::string, std::string> fates;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream columns(line.substr(0, line.size() - 1));
    std::string field;
    while (std::getline(columns, field, ',')) fields.push_back(field);
    if (line.size() > 1 && line[line.size() - 2] == ',') fields.push_back("");
    ASSERT_EQ(fields.size(), 6u) << line;
    EXPECT_EQ(fields[0], "Windows");
    items.insert(fields[2]);
    fates[fields[2]] = fields[4] + "|" + fields[5];
  }
  std::set<std::string> expected;
  for (int n = 0; n < 3; ++n)
    for (int f = 0; f < 4 - n; ++f)
      expected.insert(g_folders[n] + "\\f" + std::to_string(f) + ".tmp");
  expected.insert(g_folders[1] + "\\held");
  EXPECT_EQ(items, expected) << "every item, the held one too";
  EXPECT_EQ(fates[g_folders[1] + "\\held"], "in use|another program holds it");
  EXPECT_EQ(fates[g_folders[0] + "\\f0.tmp"], "would be removed|");
}

namespace {
// A step that runs until the test lets it end.
HANDLE g_hold = nullptr;
void HeldStep(SweepWorker*, int*, float*) { ::WaitForSingleObject(g_hold, 20000); }
}  // namespace

// "Preview" and "Sweep Selected" wait while any sweep runs, whoever started
// it: the tray's Sweep Now sets the application's flag, a browser's own sweep
// only runs the worker; both are offered again when it ends.
TEST_F(PreviewTable, PreviewAndSweepSelectedWaitWhileAnySweepRuns) {
  m_wnd = StartResidentWindow(m_app);
  ASSERT_NE(m_wnd, nullptr);
  g_hold = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const struct {
    const char* name;
    std::function<void()> start;
  } triggers[] = {
      {"the tray's Sweep Now", [&] { ::SendMessageA(m_wnd->m_hWnd, WM_COMMAND, IDM_SWEEP_NOW, 0); }},
      {"a sweep the application's flag does not know (a browser's own)",
       [&] {
         WorkerHold hold(m_app.m_pWork);
         m_app.m_pWork->RequestSweep(SWEEP_WINDOWS);
       }},
  };
  DriveControlPanel(m_wnd->m_hWnd, [&](CLustraProp& panel) {
    RunPreview(panel);
    CPreviewResultsDlg& table = *m_wnd->Results();
    SweepTableSwap held{WindowsSweepTable(), {{-1, true, 0, &HeldStep, "Held entry"}}};
    auto offered = [&] {
      return std::make_pair(table.IsItemEnabled(IDC_RESULTS_SWEEP), panel.m_settingsPage.IsItemEnabled(IDC_SET_PREVIEW));
    };
    ASSERT_EQ(offered(), std::make_pair(true, true));
    for (const auto& t : triggers) {
      SCOPED_TRACE(t.name);
      ::ResetEvent(g_hold);
      t.start();
      EXPECT_TRUE(PumpUntil([&] { return offered() == std::make_pair(false, false); }, 2000))
          << offered().first << offered().second;
      ::SetEvent(g_hold);
      EXPECT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 20000));
      EXPECT_TRUE(PumpUntil([&] { return offered() == std::make_pair(true, true); }, 2000))
          << offered().first << offered().second;
    }
    // Those sweeps may have taken what the rows list: the table says so.
    EXPECT_EQ(table.Summary().rfind("A sweep ran since this preview: preview again to see what is left.", 0), 0u)
        << table.Summary();
    // No ticked row shown: nothing to sweep, so the button waits too.
    ::SendMessageA(table.m_hWnd, WM_COMMAND, IDC_RESULTS_TICK_NONE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !table.IsItemEnabled(IDC_RESULTS_SWEEP); }, 2000));
    ::SendMessageA(table.m_hWnd, WM_COMMAND, IDC_RESULTS_TICK_ALL, 0);
    EXPECT_TRUE(PumpUntil([&] { return table.IsItemEnabled(IDC_RESULTS_SWEEP); }, 2000));
  });
  ::SetEvent(g_hold);
  ::CloseHandle(g_hold);
}

namespace {
template <int N>
void HeldThenEmpty(SweepWorker* worker, int* count, float* kb) {
  ::WaitForSingleObject(g_hold, 20000);
  EmptyFolder<N>(worker, count, kb);
}
int g_browserSweeps = 0;
bool g_browserSweptBesideSelected = false;
}  // namespace

// While "Sweep Selected" runs, no cancel and no second click anywhere turns
// into another sweep: the unticked entries stay, nothing runs beside it, and a
// browser that closed meanwhile is swept only after it.
TEST_F(PreviewTable, NothingElseStartsWhileTheChosenEntriesAreSwept) {
  m_wnd = StartResidentWindow(m_app);
  ASSERT_NE(m_wnd, nullptr);
  g_hold = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  g_GeneralSettings.m_nTargets |= GENERAL_SWEEP_INTERNET | GENERAL_SWEEP_APPLICATIONS;
  g_GeneralSettings.m_nSweepAt |= SWEEP_AT_BROWSER_CLOSE;
  SetBrowserSweep([](SweepWorker*, int, int*, float*) {
    ++g_browserSweeps;
    if (g_pMainWnd != nullptr && g_pMainWnd->IsSweepingSelected()) g_browserSweptBesideSelected = true;
  });
  SweepTableSwap held{WindowsSweepTable(),
                      {{10, true, 0x08, &HeldThenEmpty<0>, kEntries[0]},
                       {20, true, 0x01, &EmptyFolder<1>, kEntries[1]},
                       {30, true, 0x40, &EmptyFolder<2>, kEntries[2]}}};
  SweepTableSwap internet{InternetSweepTable(), {{-1, true, 0, &FindsNothing, "Nothing"}}};
  SweepTableSwap applications{ApplicationsSweepTable(), {{-1, true, 0, &FindsNothing, "Nothing"}}};
  const HWND main = m_wnd->m_hWnd;
  DriveControlPanel(main, [&](CLustraProp& panel) {
    const struct {
      const char* name;
      std::function<void()> act;
    } acts[] = {
        {"the tray's Cancel Sweeping", [&] { ::SendMessageA(main, WM_COMMAND, IDM_CANCEL_SWEEP, 0); }},
        {"the tray's Sweep Now from a menu built before", [&] { ::SendMessageA(main, WM_COMMAND, IDM_SWEEP_NOW, 0); }},
        {"the Settings page's Sweep Now", [&] { panel.m_settingsPage.SweepAll(); }},
        {"the Windows page's button", [&] { panel.m_winTmpPage.OnSweepButton(); }},
        {"the sweep timer", [&] { ::SendMessageA(main, WM_TIMER, CMainWnd::kSweepTimerId, 0); }},
        {"a browser that closed", [&] { ::SendMessageA(main, WM_BROWSER_CLOSED, 1, 0); }},
    };
    RunPreview(panel);
    CPreviewResultsDlg& table = *m_wnd->Results();
    const SnapshotMap kept = [&] {
      SnapshotMap picture;
      for (int n : {1, 2}) SnapshotFolder("F" + std::to_string(n), g_folders[n], picture);
      return picture;
    }();
    for (const auto& a : acts) {
      SCOPED_TRACE(a.name);
      g_browserSweeps = 0;
      ::ResetEvent(g_hold);
      table.TickAll(false);
      for (size_t i = 0; i < table.Model().RowCount(); ++i)
        if (table.Model().RowAt(i).entry == kEntries[0]) table.ToggleRow(i);
      ASSERT_TRUE(table.SweepSelected());
      a.act();
      PumpUntil([] { return false; }, 100);
      EXPECT_FALSE(m_app.m_pWork->IsRunning(SWEEP_CATEGORY_INTERNET) ||
                   m_app.m_pWork->IsRunning(SWEEP_CATEGORY_APPLICATIONS))
          << "nothing runs beside the chosen entries";
      ::SetEvent(g_hold);
      ASSERT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 20000));
      PumpUntil([] { return false; }, 300);
      EXPECT_FALSE(m_app.m_bSweeping || m_app.m_pWork->IsAnyRunning()) << "no sweep queued behind it";
      SnapshotMap now;
      for (int n : {1, 2}) SnapshotFolder("F" + std::to_string(n), g_folders[n], now);
      EXPECT_TRUE(CompareSnapshots(kept, now).Empty()) << "the unticked entries stay";
      EXPECT_FALSE(g_browserSweptBesideSelected);
      EXPECT_EQ(g_browserSweeps, std::string(a.name) == "a browser that closed" ? 1 : 0) << "swept after, not lost";
      EXPECT_EQ(panel.m_settingsPage.GetItemText(IDC_SET_SWEEP_NOW), "Sweep Now");
      EXPECT_TRUE(panel.m_settingsPage.IsItemEnabled(IDC_SET_SWEEP_NOW));
    }
  });
  SetBrowserSweep(nullptr);
  ::CloseHandle(g_hold);
}

namespace {
// The first entry empties its folder, then the user cancels.
void EmptyThenCancel(SweepWorker* worker, int* count, float* kb) {
  EmptyFolder<0>(worker, count, kb);
  worker->Lock();
  worker->RequestCancel(SWEEP_ALL);
  worker->Unlock();
}
}  // namespace

// A cancel in the first of three chosen entries: the table says how far the
// sweep came and what it never reached, not that it swept all three; the
// rows it never opened stand as the preview found them.
TEST_F(PreviewTable, ACancelledSweepSelectedSaysHowFarItCame) {
  m_wnd = StartResidentWindow(m_app);
  ASSERT_NE(m_wnd, nullptr);
  std::string summary;
  std::vector<std::string> swept;
  DriveControlPanel(m_wnd->m_hWnd, [&](CLustraProp& panel) {
    RunPreview(panel);
    CPreviewResultsDlg& table = *m_wnd->Results();
    SweepTableSwap cancelling{WindowsSweepTable(),
                              {{10, true, 0x08, &EmptyThenCancel, kEntries[0]},
                               {20, true, 0x01, &EmptyFolder<1>, kEntries[1]},
                               {30, true, 0x40, &EmptyFolder<2>, kEntries[2]}}};
    ASSERT_TRUE(table.SweepSelected());
    ASSERT_TRUE(PumpUntil([&] { return !m_app.m_bSweeping && !m_app.m_pWork->IsAnyRunning(); }, 20000));
    summary = table.Summary();
    for (size_t i = 0; i < table.Model().RowCount(); ++i)
      swept.push_back(table.Model().CellText(i, PreviewTableModel::kSweptItems));
  });
  EXPECT_EQ(summary.substr(0, summary.find('\r')),
            "Sweeping cancelled. Reached 1 of 3 entries: 4 items, 8.0 KB removed; 5 items not reached.");
  EXPECT_EQ(swept, (std::vector<std::string>{"4", "not reached", "not reached"}));
}

// Browser databases as the browsers lay them out, below private application
// data folders the shell is pointed at: a Chrome cookie store with three
// cookies of one tracker, one of another site and one of the friendly site,
// and a Firefox history of three pages on two hosts.
bool SeedBrowserDatabasesIn(const std::string& local, const std::string& roaming) {
  HKEY folders = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                        0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &folders, nullptr) != ERROR_SUCCESS)
    return false;
  ::RegSetValueExA(folders, "AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(roaming.c_str()),
                   static_cast<DWORD>(roaming.size() + 1));
  ::RegSetValueExA(folders, "Local AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(local.c_str()),
                   static_cast<DWORD>(local.size() + 1));
  ::RegCloseKey(folders);
  const std::string chrome = local + "\\Google\\Chrome\\User Data\\Default\\Network";
  const std::string firefox = roaming + "\\Mozilla\\Firefox\\Profiles\\ab12.default";
  for (const std::string& path : {chrome, firefox})
    for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
      ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
      if (at == std::string::npos) break;
    }
  if (!CreateChromiumCookies(chrome + "\\Cookies") || !CreatePlacesDatabase(firefox + "\\places.sqlite")) return false;
  SqliteDb cookies, places;
  if (!cookies.OpenForWriting(chrome + "\\Cookies") || !places.OpenForWriting(firefox + "\\places.sqlite")) return false;
  bool ok = true;
  for (const char* name : {"a", "b", "c"}) ok = ok && AddChromiumCookie(cookies, ".tracker.example", name);
  ok = ok && AddChromiumCookie(cookies, "news.example", "a") && AddChromiumCookie(cookies, ".friend.example", "a");
  ok = ok && AddPlace(places, "https://news.example/today", "News", 3) != 0 &&
       AddPlace(places, "https://news.example/sport", "Sport", 1) != 0 &&
       AddPlace(places, "https://shop.example/cart", "Cart", 2) != 0;
  g_InternetSettings.m_friendlyHosts = {"friend.example"};
  return ok;
}

// The real cleaners on seeded traces: the table is the sweep's own list, so
// its rows add up to the totals line to the item and the KB. The registry
// primitives record every value and key they remove, and a numbered line may
// stand for several of them: the rows count the lines. A database's rows are
// one item per host.
TEST(PreviewTableOfRealCleaners, RowsAddUpToTheTotalsLine) {
  const struct {
    const char* name;
    int general;
    bool (*seed)(const std::string& local, const std::string& roaming);
    std::vector<std::string> items;  // some of the items the table must list, as it names them ("... in ": and a path)
  } cases[] = {
      {"applications", GENERAL_SWEEP_APPLICATIONS, &SeedApplicationsTracesIn,
       {"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\8.0\\Word\\Data\\Settings",
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\10.0\\Common\\Open Find\\Microsoft Access\\Settings\\"
        "Open\\File Name MRU\\Last Folder"}},
      {"browser databases", GENERAL_SWEEP_INTERNET, &SeedBrowserDatabasesIn,
       {"cookies of .tracker.example (3) in ", "cookies of news.example (1) in ", "history of news.example (2 pages) in ",
        "history of shop.example (1 page) in "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegistrySandbox sandbox;
    TrayRecorder tray;
    ModalScript modal{IDOK};
    TempFolder local, roaming;
    ResetGroups();
    const std::vector<std::string> savedHosts = g_InternetSettings.m_friendlyHosts;
    ASSERT_TRUE(c.seed(local.Path(), roaming.Path()));
    g_GeneralSettings.m_nTargets = c.general;
    g_ApplicationSettings.m_nTargets = 0x7F;
    // The browsers' own databases alone: no other Internet cleaner runs.
    SweepTableSwap internet{InternetSweepTable(),
                            {{-1, true, 0, &CleanBrowserCookies}, {-1, true, 0, &CleanBrowserHistory}}};  // no step, always
    CMainApp app;
    CMainWnd* wnd = StartResidentWindow(app);
    ASSERT_NE(wnd, nullptr);
    std::string totals, saved;
    int items = 0, listed = 0, column = 0;
    double kb = 0;
    std::set<std::string> entries;
    std::vector<std::string> unnamed, names;
    DriveControlPanel(wnd->m_hWnd, [&](CLustraProp& panel) {
      ClickItem(panel.m_settingsPage, IDC_SET_PREVIEW);
      // The totals line is shown when the last category's end reaches the
      // main window, which may come a little after the threads have ended.
      ASSERT_TRUE(PumpUntil(
          [&] {
            return !app.m_bSweeping && !app.m_pWork->IsAnyRunning() && wnd->Results() != nullptr &&
                   g_pProgressDlg->GetItemText(IDC_TOTALS).rfind("Preview:", 0) == 0;
          },
          20000));
      totals = g_pProgressDlg->GetItemText(IDC_TOTALS);
      const PreviewTableModel& model = wnd->Results()->Model();
      items = model.TotalItems();
      kb = model.TotalKB();
      for (size_t i = 0; i < model.RowCount(); ++i) {
        const PreviewRow& row = model.RowAt(i);
        entries.insert(row.entry);
        column += std::stoi(model.CellText(i, PreviewTableModel::kItems));
        for (size_t n = 0; n < row.items.size(); ++n) {
          const PreviewItem& item = model.ItemOf(i, n);
          if (item.outcome != Outcome::kRemoved && item.outcome != Outcome::kScheduled) continue;
          ++listed;
          names.push_back(item.item);
          if (item.item.empty()) unnamed.push_back(row.entry);
        }
      }
      saved = model.ListText();
    });
    app.ExitInstance();
    ResetGroups();
    g_InternetSettings.m_friendlyHosts = savedHosts;
    int shownItems = -1;
    float shownKb = -1;
    ASSERT_EQ(std::sscanf(totals.c_str(), "Preview: %d item(s), %f KB", &shownItems, &shownKb), 2) << totals;
    EXPECT_GE(shownItems, static_cast<int>(c.items.size()));
    EXPECT_EQ(items, shownItems);
    EXPECT_NEAR(kb, shownKb, 0.001 * (items + 1));
    // One count: the Items column, the items listed, the saved lines and the
    // totals line agree, and every item has its full name.
    EXPECT_EQ(column, shownItems);
    EXPECT_EQ(listed, shownItems);
    const std::vector<std::vector<std::string>> rows = CsvRows(saved);
    ASSERT_FALSE(rows.empty());
    int going = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].size(), 6u) << i;
      if (rows[i][4].rfind("would be removed", 0) == 0) ++going;
    }
    EXPECT_EQ(going, shownItems) << saved.substr(0, 2000);
    EXPECT_TRUE(unnamed.empty()) << unnamed.front();
    EXPECT_EQ(entries.count(""), 0u) << "every record belongs to a named entry";
    for (const std::string& want : c.items) {
      int found = 0;
      // A database item's text goes on with its database's path.
      for (const std::string& name : names) found += name == want || (want.back() == ' ' && name.rfind(want, 0) == 0);
      EXPECT_EQ(found, 1) << want << " among " << ::testing::PrintToString(names);
    }
  }
}

}  // namespace

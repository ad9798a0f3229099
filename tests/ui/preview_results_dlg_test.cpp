// The preview table's window as a user meets it: Enter in the filter keeps
// it open, it sizes and remembers its place, the summary follows the ticks,
// tick all or none, the Swept columns come with a sweep, long paths keep
// their file name, the context menu's commands, and "Sweep Selected" waits
// while any sweep runs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/window_placement.h"
#include "support/test_env.h"
#include "ui/preview_results_dlg.h"
#include "winlib/platform_calls.h"
#include "winlib/window_probe.h"

namespace {

class FakeHost : public PreviewResultsHost {
 public:
  bool SweepSelected(const EntrySelection& selection) override {
    chosen.push_back(selection);
    return !busy;
  }
  bool IsSweeping() const override { return busy; }
  bool busy = false;
  std::vector<EntrySelection> chosen;
};

OutcomeRecord Item(int category, const char* entry, const std::string& item, double kb,
                   Outcome outcome = Outcome::kRemoved) {
  OutcomeRecord r;
  r.category = category;
  r.entry = entry;
  r.item = item;
  r.kb = kb;
  r.outcome = outcome;
  r.numbered = outcome == Outcome::kRemoved;
  if (!r.numbered) r.reason = "another program holds it";
  r.preview = true;
  return r;
}

const char kLong[] =
    "C:\\Users\\someone\\AppData\\Local\\Vendor\\Product\\User Data\\Default\\Cache\\Data\\f_000123.tmp";

class PreviewResultsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    m_table.ShowPreview({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", kLong, 2048),
                         Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", "C:\\T\\b.tmp", 100),
                         Item(SWEEP_CATEGORY_INTERNET, "Cookie Files", "C:\\Cookies\\x.txt", 12),
                         Item(SWEEP_CATEGORY_APPLICATIONS, "MS Word",
                              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\8.0\\Word\\MRU1", 0),
                         Item(SWEEP_CATEGORY_APPLICATIONS, "MS Word", "C:\\Recent\\held.doc", 0, Outcome::kHeld)},
                        {});
    ASSERT_TRUE(m_table.Open(nullptr));
    PumpMessages(50);
  }
  void TearDown() override {
    if (m_table.m_hWnd != nullptr) m_table.DestroyWindow();
  }

  RECT ClientOf(int id) const {
    RECT r = {};
    ::GetWindowRect(m_table.GetItem(id), &r);
    ::MapWindowPoints(nullptr, m_table.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  // A key as the message loop hands it to the dialog.
  void Key(HWND control, WPARAM key) {
    MSG msg = {control, WM_KEYDOWN, key, 0, 0, {}};
    if (!::IsDialogMessageA(m_table.m_hWnd, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    PumpMessages(20);
  }

  RegistrySandbox m_sandbox;
  FakeHost m_host;
  CPreviewResultsDlg m_table{&m_host};
};

TEST_F(PreviewResultsWindow, EnterInTheFilterNeverClosesTheWindowAndCloseIsTheDefaultButton) {
  HWND filter = m_table.GetItem(IDC_RESULTS_FILTER);
  ::SetFocus(filter);
  Key(filter, VK_RETURN);
  EXPECT_TRUE(::IsWindowVisible(m_table.m_hWnd)) << "Enter in the filter";
  EXPECT_EQ(::GetFocus(), m_table.Rows()) << "goes on to the rows";
  Key(m_table.Rows(), VK_RETURN);
  EXPECT_TRUE(::IsWindowVisible(m_table.m_hWnd)) << "Enter in the rows";
  EXPECT_EQ(LOWORD(::SendMessageA(m_table.m_hWnd, DM_GETDEFID, 0, 0)), IDOK);
  Key(m_table.Rows(), VK_ESCAPE);
  EXPECT_FALSE(::IsWindowVisible(m_table.m_hWnd)) << "Escape closes";
  // Closing keeps the table and its ticks: showing it again shows them.
  m_table.ToggleRow(0);
  ASSERT_TRUE(m_table.Open(nullptr));
  EXPECT_FALSE(m_table.Model().RowAt(0).ticked);
  // Minimised, it comes back as it was (Show Last Results, a new preview).
  ::ShowWindow(m_table.m_hWnd, SW_MINIMIZE);
  ASSERT_TRUE(::IsIconic(m_table.m_hWnd));
  ASSERT_TRUE(m_table.Open(nullptr));
  EXPECT_FALSE(::IsIconic(m_table.m_hWnd));
  EXPECT_TRUE(::IsWindowVisible(m_table.m_hWnd));
}

TEST_F(PreviewResultsWindow, ItSizesWithItsLayoutAndRemembersItsSizeAndPlace) {
  const LONG style = ::GetWindowLongA(m_table.m_hWnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_MAXIMIZEBOX);
  RECT before = {};
  ::GetWindowRect(m_table.m_hWnd, &before);
  const struct {
    int dx, dy;
  } sizes[] = {{300, 200}, {120, 0}, {0, 0}};
  for (const auto& s : sizes) {
    ::SetWindowPos(m_table.m_hWnd, nullptr, 40, 30, before.right - before.left + s.dx,
                   before.bottom - before.top + s.dy, SWP_NOZORDER);
    PumpMessages(20);
    RECT client = {};
    ::GetClientRect(m_table.m_hWnd, &client);
    const RECT rows = ClientOf(IDC_RESULTS_ROWS), close = ClientOf(IDOK), items = ClientOf(IDC_RESULTS_ITEMS);
    EXPECT_NEAR(client.right - rows.right, rows.left, 2) << "rows fill the width " << s.dx;
    EXPECT_NEAR(client.right - close.right, rows.left, 2) << "Close keeps to the right " << s.dx;
    EXPECT_GT(close.top, items.bottom) << s.dy;
    EXPECT_LT(close.bottom, client.bottom) << s.dy;
  }
  ::SetWindowPos(m_table.m_hWnd, nullptr, 50, 60, before.right - before.left + 200,
                 before.bottom - before.top + 100, SWP_NOZORDER);
  PumpMessages(20);
  RECT placed = {};
  ::GetWindowRect(m_table.m_hWnd, &placed);
  m_table.DestroyWindow();
  // A new window (as at the next start) comes back where this one was.
  FakeHost host;
  CPreviewResultsDlg again(&host);
  ASSERT_TRUE(again.Open(nullptr));
  RECT now = {};
  ::GetWindowRect(again.m_hWnd, &now);
  EXPECT_EQ(now.left, placed.left);
  EXPECT_EQ(now.top, placed.top);
  EXPECT_EQ(now.right - now.left, placed.right - placed.left);
  EXPECT_EQ(now.bottom - now.top, placed.bottom - placed.top);
  again.DestroyWindow();
}

TEST_F(PreviewResultsWindow, TheSummaryFollowsTheTicksAndTickAllOrNone) {
  EXPECT_EQ(m_table.Summary(), "3 of 3 entries ticked: 4 items, 2,160 KB would be swept.");
  m_table.ToggleRow(0);  // Temporary File Folder, the largest
  EXPECT_EQ(m_table.Summary(), "2 of 3 entries ticked: 2 items, 12 KB would be swept.");
  ClickItem(m_table.m_hWnd, IDC_RESULTS_TICK_NONE);
  EXPECT_EQ(m_table.Summary(), "0 of 3 entries ticked: 0 items, 0 KB would be swept.");
  EXPECT_TRUE(m_table.Model().Selection().Empty());
  ClickItem(m_table.m_hWnd, IDC_RESULTS_TICK_ALL);
  EXPECT_EQ(m_table.Model().Selection().Size(), 3u);
}

// The summary is broken into lines that fit its box at any width, every
// word kept, and the box grows to hold them all; a wider window takes fewer.
TEST_F(PreviewResultsWindow, TheSummaryIsBrokenIntoLinesThatFitItsBox) {
  std::vector<std::pair<int, std::string>> silent;
  for (const char* name : {"Recycle Bin of every drive", "Windows Media Player recent files", "Office recent places"})
    silent.emplace_back(SWEEP_CATEGORY_APPLICATIONS, name);
  m_table.ShowPreview({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", kLong, 2048),
                       Item(SWEEP_CATEGORY_INTERNET, "Cookie Files", "C:\\Cookies\\x.txt", 12)},
                      silent, /*cancelled=*/true);
  ASSERT_TRUE(m_table.SweepSelected());
  m_table.ShowSwept({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", kLong, 2048)}, /*cancelled=*/true);
  HWND summary = m_table.GetItem(IDC_RESULTS_SUMMARY);
  auto words = [](std::string text) {
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    std::vector<std::string> list;
    std::istringstream in(text);
    for (std::string w; in >> w;) list.push_back(w);
    return list;
  };
  RECT before = {};
  ::GetWindowRect(m_table.m_hWnd, &before);
  size_t lastLines = 0;
  for (int dx : {0, 500}) {
    SCOPED_TRACE(dx);
    ::SetWindowPos(m_table.m_hWnd, nullptr, 0, 0, dx == 0 ? 10 : before.right - before.left + dx, 10,
                   SWP_NOZORDER | SWP_NOMOVE);  // the smallest height, and the smallest or a wide width
    PumpMessages(20);
    const std::string shown = m_table.GetItemText(IDC_RESULTS_SUMMARY);
    EXPECT_EQ(words(shown), words(m_table.Summary()));
    RECT box = {};
    ::GetClientRect(summary, &box);
    HDC dc = ::GetDC(summary);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(summary, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    ::GetTextMetricsA(dc, &metrics);
    size_t lines = 0;
    std::istringstream in(shown);
    for (std::string line; std::getline(in, line); ++lines) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      SIZE extent = {};
      ::GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &extent);
      EXPECT_LE(extent.cx + metrics.tmAveCharWidth, box.right) << "a letter to spare: " << line;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(summary, dc);
    EXPECT_LE(static_cast<int>(lines) * metrics.tmHeight, box.bottom) << "every line shows";
    if (dx == 0) EXPECT_GT(lines, 3u) << "long enough to need more than the three lines the box starts with";
    if (dx != 0) EXPECT_LT(lines, lastLines) << "a wider window takes fewer lines";
    lastLines = lines;
    const RECT buttons = ClientOf(IDOK), box2 = ClientOf(IDC_RESULTS_SUMMARY);
    EXPECT_LE(box2.bottom, buttons.top) << "above the buttons";
  }
}

TEST_F(PreviewResultsWindow, SweptColumnsComeWithASweepAndSweepSelectedWaitsWhileAnySweepRuns) {
  for (int c : {PreviewTableModel::kSweptItems, PreviewTableModel::kSweptKB})
    EXPECT_EQ(ListView_GetColumnWidth(m_table.Rows(), c), 0) << "no sweep yet: column " << c;
  EXPECT_GT(ListView_GetColumnWidth(m_table.Rows(), PreviewTableModel::kEntry), 100);

  m_host.busy = true;  // a sweep from the tray, say
  PumpUntil([&] { return !m_table.IsItemEnabled(IDC_RESULTS_SWEEP); }, 2000);
  EXPECT_FALSE(m_table.IsItemEnabled(IDC_RESULTS_SWEEP));
  m_host.busy = false;
  PumpUntil([&] { return m_table.IsItemEnabled(IDC_RESULTS_SWEEP); }, 2000);
  EXPECT_TRUE(m_table.IsItemEnabled(IDC_RESULTS_SWEEP));

  ASSERT_TRUE(m_table.SweepSelected());
  m_table.ShowSwept({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", kLong, 2048)});
  for (int c : {PreviewTableModel::kSweptItems, PreviewTableModel::kSweptKB})
    EXPECT_GT(ListView_GetColumnWidth(m_table.Rows(), c), 20) << "after the sweep: column " << c;
  // At the smallest size the window takes, no title is cut: each column
  // holds its title, the header's margins and the sort mark.
  ::SetWindowPos(m_table.m_hWnd, nullptr, 0, 0, 10, 10, SWP_NOZORDER | SWP_NOMOVE);
  PumpMessages(20);
  HWND header = ListView_GetHeader(m_table.Rows());
  for (int c = 0; c < PreviewTableModel::kColumnCount; ++c) {
    char title[64] = {};
    HDITEMA item = {};
    item.mask = HDI_TEXT;
    item.pszText = title;
    item.cchTextMax = sizeof title;
    ASSERT_TRUE(::SendMessageA(header, HDM_GETITEMA, c, reinterpret_cast<LPARAM>(&item)));
    EXPECT_GE(ListView_GetColumnWidth(m_table.Rows(), c), ListView_GetStringWidth(m_table.Rows(), title) + 24)
        << title;
  }
  EXPECT_EQ(m_table.Summary().rfind("Swept 3 entries: 1 item, 2,048 KB removed", 0), 0u) << m_table.Summary();
}

TEST_F(PreviewResultsWindow, LongPathsKeepTheirFileNameAndTheContextMenuCommandsWork) {
  const struct {
    int width;
  } widths[] = {{160}, {220}, {320}};
  // The same name in another folder of the same depth never reads alike:
  // the nearest folder shows with the name.
  std::string twin = kLong;
  twin.replace(twin.rfind("\\Data\\"), 6, "\\Index\\");
  for (const auto& w : widths) {
    const std::string shown = m_table.ShortenedItem(kLong, w.width);
    EXPECT_NE(shown.find("..."), std::string::npos) << w.width;
    EXPECT_EQ(shown.substr(shown.size() - 18), "\\Data\\f_000123.tmp") << shown;
    EXPECT_EQ(shown.compare(0, 3, "C:\\"), 0) << shown;
    const std::string other = m_table.ShortenedItem(twin, w.width);
    EXPECT_EQ(other.substr(other.size() - 19), "\\Index\\f_000123.tmp") << other;
  }
  // Too narrow for the folder too: the name stays whole.
  const std::string narrow = m_table.ShortenedItem(kLong, 70);
  EXPECT_EQ(narrow.substr(narrow.size() - 13), "\\f_000123.tmp") << narrow;
  EXPECT_EQ(m_table.ShortenedItem("C:\\T\\b.tmp", 300), "C:\\T\\b.tmp") << "what fits stays whole";

  // Row 0 is the temporary files, row 2 MS Word (a registry value, then a file).
  EXPECT_EQ(m_table.FolderOf(0, 0), "C:\\Users\\someone\\AppData\\Local\\Vendor\\Product\\User Data\\Default\\Cache\\Data");
  EXPECT_EQ(m_table.FolderOf(0, 1), "C:\\T");
  EXPECT_EQ(m_table.Model().RowAt(2).entry, "MS Word");
  EXPECT_EQ(m_table.FolderOf(2, 0), "") << "a registry value has no folder";
  EXPECT_EQ(m_table.FolderOf(2, -1), "C:\\Recent") << "the row: its first file";

  ASSERT_TRUE(m_table.CopyItem(2, 0));
  ASSERT_TRUE(::OpenClipboard(m_table.m_hWnd));
  HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
  std::wstring copied = data != nullptr ? static_cast<const wchar_t*>(::GlobalLock(data)) : L"";
  if (data != nullptr) ::GlobalUnlock(data);
  ::CloseClipboard();
  EXPECT_EQ(copied, L"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\8.0\\Word\\MRU1");

  ASSERT_TRUE(m_table.SweepEntry(1));
  ASSERT_EQ(m_host.chosen.size(), 1u);
  EXPECT_EQ(m_host.chosen[0].Size(), 1u);
  EXPECT_TRUE(m_host.chosen[0].Contains(SWEEP_CATEGORY_INTERNET, "Cookie Files"));
}


// A line of the items list may be shortened: its tip, over the line, gives
// the whole name and its fate; away from the lines there is none.
TEST_F(PreviewResultsWindow, TheTipOverAnItemLineGivesItsWholeNameAndFate) {
  ASSERT_NE(m_table.ItemTip(), nullptr);
  ASSERT_EQ(m_table.ItemsRow(), 0);  // the temporary files, the long name first
  auto tipAt = [&](POINT at) {
    ::ClientToScreen(m_table.Items(), &at);
    ::SetCursorPos(at.x, at.y);
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = m_table.ItemTip();
    info.hdr.idFrom = reinterpret_cast<UINT_PTR>(m_table.Items());
    info.hdr.code = TTN_GETDISPINFOA;
    ::SendMessageA(m_table.m_hWnd, WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
    return std::string(info.lpszText != nullptr ? info.lpszText : "");
  };
  RECT line = {};
  ASSERT_TRUE(ListView_GetItemRect(m_table.Items(), 0, &line, LVIR_LABEL));
  EXPECT_EQ(tipAt({line.left + 10, (line.top + line.bottom) / 2}), std::string(kLong) + "\r\nwould be removed");
  RECT box = {};
  ::GetClientRect(m_table.Items(), &box);
  EXPECT_EQ(tipAt({box.right / 2, box.bottom - 3}), "") << "below the last line";
}

int g_boxes = 0;
int g_shells = 0;
int WINAPI CountBox(HWND, LPCSTR, LPCSTR, UINT) { return ++g_boxes, IDOK; }
BOOL WINAPI CountShell(SHELLEXECUTEINFOA*) { return ++g_shells, TRUE; }

// A new preview starts without the Swept columns; the item selected shows
// its fate and its whole name, a long one wrapped within the box; "Open Its
// Folder" on a row opens the folder its files share, and says so when that
// folder is gone rather than fail without a word.
TEST_F(PreviewResultsWindow, ANewPreviewDropsTheSweptColumnsAndALongNameShowsWholeWithItsFate) {
  ASSERT_TRUE(m_table.SweepSelected());
  m_table.ShowSwept({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", kLong, 2048)});
  ASSERT_GT(ListView_GetColumnWidth(m_table.Rows(), PreviewTableModel::kSweptItems), 0);

  TempFolder tmp;
  std::string deep = tmp.Path();
  while (deep.size() < 190) deep += "\\a rather long folder name";
  const std::string longName = deep + "\\the file at the end.tmp";
  m_table.ShowPreview({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", longName, 1),
                       Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", deep + "\\x\\y.tmp", 1),
                       Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", tmp.Path() + "\\z.tmp", 1)},
                      {});
  PumpMessages(20);
  for (int c : {PreviewTableModel::kSweptItems, PreviewTableModel::kSweptKB})
    EXPECT_EQ(ListView_GetColumnWidth(m_table.Rows(), c), 0) << "a new preview: column " << c;

  m_table.SelectRow(0);
  ListView_SetItemState(m_table.Items(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  PumpMessages(20);
  HWND detail = m_table.GetItem(IDC_RESULTS_DETAIL);
  EXPECT_EQ(m_table.GetItemText(IDC_RESULTS_DETAIL), "would be removed\r\n" + longName);
  // Every line of it within the box.
  HDC dc = ::GetDC(detail);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(detail, WM_GETFONT, 0, 0)));
  TEXTMETRICA metrics = {};
  ::GetTextMetricsA(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(detail, dc);
  RECT box = {};
  ::GetClientRect(detail, &box);
  const LRESULT lines = ::SendMessageA(detail, EM_GETLINECOUNT, 0, 0);
  EXPECT_GE(lines, 3) << "the name wraps";
  EXPECT_LE(lines * metrics.tmHeight, box.bottom - box.top) << lines << " lines of " << metrics.tmHeight;
  EXPECT_FALSE(::GetWindowLongA(detail, GWL_STYLE) & WS_VSCROLL) << "no scroll bar while the name fits";

  EXPECT_EQ(m_table.FolderOf(0, -1), tmp.Path()) << "the folder all its files share";
  EXPECT_EQ(m_table.FolderOf(0, 1), deep + "\\x");
  g_boxes = g_shells = 0;
  g_platform.MessageBoxA = &CountBox;
  g_platform.ShellExecuteExA = &CountShell;
  EXPECT_TRUE(m_table.OpenFolder(0, -1));
  EXPECT_FALSE(m_table.OpenFolder(0, 1)) << "gone";
  ResetPlatformCalls();
  EXPECT_EQ(g_shells, 1);
  EXPECT_EQ(g_boxes, 1) << "the user is told the folder is gone";

  // A name longer than the box holds: its end is reached by the scroll bar.
  while (deep.size() < 900) deep += "\\another long folder name";
  m_table.ShowPreview({Item(SWEEP_CATEGORY_WINDOWS, "Temporary File Folder", deep + "\\end.tmp", 1)}, {});
  m_table.SelectRow(0);
  ListView_SetItemState(m_table.Items(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  PumpMessages(20);
  EXPECT_TRUE(::GetWindowLongA(detail, GWL_STYLE) & WS_VSCROLL) << "a scroll bar once the name outgrows the box";
}

// The place is in the registry once a move or a resize ends and when the
// window is closed (hidden), not only when it is destroyed; a filter that
// hides every row says so.
TEST_F(PreviewResultsWindow, ThePlaceIsStoredWhenAMoveEndsAndAnEmptyFilterSaysSo) {
  RECT before = {};
  ::GetWindowRect(m_table.m_hWnd, &before);
  auto stored = [] {
    WINDOWPLACEMENT placement = {};
    return LoadWindowPlacement("Preview Results", &placement) ? placement.rcNormalPosition : RECT{};
  };
  const struct {
    int x, y, grow;
    bool close;
  } moves[] = {{70, 80, 40, false}, {90, 40, 0, true}};
  for (const auto& m : moves) {
    ::SetWindowPos(m_table.m_hWnd, nullptr, m.x, m.y, before.right - before.left + m.grow,
                   before.bottom - before.top, SWP_NOZORDER);
    if (m.close)
      ::SendMessageA(m_table.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    else
      ::SendMessageA(m_table.m_hWnd, WM_EXITSIZEMOVE, 0, 0);
    RECT now = {};
    ::GetWindowRect(m_table.m_hWnd, &now);
    const RECT kept = stored();
    EXPECT_EQ(kept.left, now.left) << m.x;
    EXPECT_EQ(kept.top, now.top) << m.y;
    EXPECT_EQ(kept.right - kept.left, now.right - now.left) << m.grow;
  }

  ASSERT_TRUE(m_table.Open(nullptr));
  m_table.SetFilterText("no such entry");
  EXPECT_EQ(m_table.Model().RowCount(), 0u);
  EXPECT_EQ(m_table.GetItemText(IDC_RESULTS_ITEMS_LABEL), "No item matches the filter.");
  m_table.SetFilterText("");
  EXPECT_EQ(m_table.GetItemText(IDC_RESULTS_ITEMS_LABEL).rfind("Items of \"", 0), 0u)
      << m_table.GetItemText(IDC_RESULTS_ITEMS_LABEL);
}

}  // namespace

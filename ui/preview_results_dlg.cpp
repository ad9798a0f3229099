#include "ui/preview_results_dlg.h"

#include <algorithm>

#include "res/resource.h"
#include "settings/window_placement.h"
#include "ui/preview_save.h"
#include "ui/tick_list.h"
#include "winlib/file_dialog.h"
#include "winlib/platform_calls.h"
#include "winlib/unique_handle.h"

namespace {

const char kCaption[] = "Morvane";
constexpr UINT_PTR kBusyTimer = 1;

struct ColumnInfo {
  const char* title;
  int share;  // of the width, in percent
  bool right;
};
// Shares of the width in percent; the Swept columns take theirs only once a
// sweep ran, the others share the width before.
const ColumnInfo kRowColumns[PreviewTableModel::kColumnCount] = {
    {"Category", 13, false}, {"Entry", 35, false}, {"Items", 10, true},      {"Size", 12, true},
    {"Left", 8, true},       {"Swept", 10, true},  {"Swept size", 12, true},
};
const ColumnInfo kItemColumns[] = {{"Item", 56, false}, {"Size", 11, true}, {"What becomes of it", 33, false}};
constexpr int kSweptShare = 22;  // the two Swept columns

// A column's title as its header shows it. A right-aligned title ends in a
// space: Wine's header cuts the last letter of one by a pixel or two
// ("Swept", "Left"), whatever the column's width; the space takes the cut.
std::string HeaderTitle(const ColumnInfo& column) { return std::string(column.title) + (column.right ? " " : ""); }

template <size_t N>
void AddColumns(HWND list, const ColumnInfo (&columns)[N]) {
  for (size_t i = 0; i < N; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = columns[i].right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    std::string title = HeaderTitle(columns[i]);
    column.pszText = &title[0];
    column.cx = 10;
    column.iSubItem = static_cast<int>(i);
    ::SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
}

int ListWidth(HWND list) {
  RECT client = {};
  ::GetClientRect(list, &client);
  return client.right - client.left - ::GetSystemMetrics(SM_CXVSCROLL);
}

// Where the window was and how large, kept while the program runs and in
// the registry for the next start.
const char kPlacementWindow[] = "Preview Results";
WINDOWPLACEMENT g_placement = {};
bool g_bPlacement = false;

bool IsFilePath(const std::string& item) {
  return (item.size() > 2 && item[1] == ':' && (item[2] == '\\' || item[2] == '/')) ||
         item.compare(0, 2, "\\\\") == 0;
}

bool PutOnClipboard(HWND owner, const std::string& text) {
  if (!::OpenClipboard(owner)) return false;
  ::EmptyClipboard();
  // The names are UTF-8: the clipboard gets them as wide text.
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(n > 0 ? n : 1) * sizeof(wchar_t));
  bool ok = false;
  if (memory != nullptr) {
    auto* wide = static_cast<wchar_t*>(::GlobalLock(memory));
    wide[0] = 0;
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide, n);
    ::GlobalUnlock(memory);
    ok = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!ok) ::GlobalFree(memory);
  }
  ::CloseClipboard();
  return ok;
}

// The text broken at spaces into lines no wider than width in the
// control's font; its own line breaks stay. A word wider than a line stands
// alone on its own. lines: how many lines it makes.
std::string WrapToWidth(HWND control, const std::string& text, int width, int* lines) {
  std::string wrapped;
  *lines = 0;
  HDC dc = ::GetDC(control);
  if (dc == nullptr) return text;
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  // Measured as the static control draws its text (DrawText, no prefixes,
  // tabs expanded), not by the sum of the letters' advances.
  auto fits = [&](const std::string& line) {
    RECT extent = {0, 0, width, 0};
    ::DrawTextA(dc, line.c_str(), static_cast<int>(line.size()), &extent,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
    return extent.right - extent.left <= width;
  };
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string paragraph = text.substr(start, end - start);
    std::string line;
    size_t at = 0;
    while (at <= paragraph.size()) {
      size_t space = paragraph.find(' ', at);
      if (space == std::string::npos) space = paragraph.size();
      const std::string word = paragraph.substr(at, space - at);
      const std::string longer = line.empty() ? word : line + " " + word;
      if (!line.empty() && !fits(longer)) {
        wrapped += line + "\r\n";
        ++*lines;
        line = word;
      } else {
        line = longer;
      }
      at = space + 1;
    }
    wrapped += line;
    ++*lines;
    if (end == text.size()) break;
    wrapped += "\r\n";
    start = end + 2;
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return wrapped;
}

// How many lines the static control makes of text in a box width wide: it
// breaks a line again where it finds it too wide, and such a line must not
// fall below the box.
int DrawnLines(HWND control, const std::string& text, int width) {
  HDC dc = ::GetDC(control);
  if (dc == nullptr) return 0;
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  TEXTMETRICA metrics = {};
  ::GetTextMetricsA(dc, &metrics);
  RECT box = {0, 0, width, 0};
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return metrics.tmHeight > 0 ? static_cast<int>((box.bottom + metrics.tmHeight - 1) / metrics.tmHeight) : 0;
}

void PutText(LVITEMA& item, const std::string& text) {
  if (item.pszText != nullptr && item.cchTextMax > 0) lstrcpynA(item.pszText, text.c_str(), item.cchTextMax);
}

}  // namespace

CPreviewResultsDlg::CPreviewResultsDlg(PreviewResultsHost* host)
    : CDialog(IDD_PREVIEW_RESULTS), m_pHost(host) {}

HWND CPreviewResultsDlg::Rows() const { return GetItem(IDC_RESULTS_ROWS); }
HWND CPreviewResultsDlg::Items() const { return GetItem(IDC_RESULTS_ITEMS); }

bool CPreviewResultsDlg::Open(HWND owner) {
  if (m_hWnd == nullptr) {
    if (!Create(owner)) return false;
    // The largest row's items show from the start, as after a later preview.
    if (m_model.RowCount() > 0 && !m_bItemsShown) SelectRow(0);
  }
  // A minimised window is brought back as it was.
  ::ShowWindow(m_hWnd, ::IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(m_hWnd);
  return true;
}

bool CPreviewResultsDlg::OnInitDialog() {
  const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP;
  ListView_SetExtendedListViewStyle(Rows(), extended | LVS_EX_CHECKBOXES);
  // The list keeps no state of its own: the window answers for the ticks too.
  ListView_SetCallbackMask(Rows(), LVIS_STATEIMAGEMASK);
  // The items list has a tip of its own (AddItemTip): Wine's list shows no
  // info tips.
  ListView_SetExtendedListViewStyle(Items(), extended & ~LVS_EX_INFOTIP);
  AddItemTip();
  AddColumns(Rows(), kRowColumns);
  AddColumns(Items(), kItemColumns);
  // The template's size is the smallest the layout works at.
  RECT window = {};
  ::GetWindowRect(m_hWnd, &window);
  m_minSize = {window.right - window.left, window.bottom - window.top};
  m_bSweptColumns = m_model.HasSweep();
  RestorePlacement();
  Layout();
  ShowSortMark();
  SendItemMessage(IDC_RESULTS_FILTER, EM_LIMITTEXT, 200);
  EnableSweep(m_bSweepEnabled);
  Refill();
  return true;
}

void CPreviewResultsDlg::AddItemTip() {
  m_hItemTip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                                 0, 0, m_hWnd, nullptr, nullptr, nullptr);
  if (m_hItemTip == nullptr) return;
  // One tool, the whole list; the text is asked for each time the tip shows.
  TOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(Items());
  tool.lpszText = LPSTR_TEXTCALLBACKA;
  ::SendMessageA(m_hItemTip, TTM_SETMAXTIPWIDTH, 0, 600);
  ::SendMessageA(m_hItemTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

int CPreviewResultsDlg::ItemUnderCursor() const {
  POINT at = {};
  if (m_hWnd == nullptr || !::GetCursorPos(&at)) return -1;
  LVHITTESTINFO test = {};
  test.pt = at;
  ::ScreenToClient(Items(), &test.pt);
  return ListView_HitTest(Items(), &test);
}

void CPreviewResultsDlg::ShowPreview(std::vector<OutcomeRecord> records,
                                     const std::vector<std::pair<int, std::string>>& opened, bool cancelled) {
  m_model.SetPreview(std::move(records), opened, cancelled);
  m_bItemsShown = false;
  m_nItemsShown = static_cast<size_t>(-1);
  if (m_hWnd == nullptr) return;
  ShowSweptColumns();  // a new preview has no sweep yet
  ShowSortMark();
  // The model starts without a filter: the edit must say so too.
  if (!GetItemText(IDC_RESULTS_FILTER).empty()) SetItemText(IDC_RESULTS_FILTER, "");
  Refill();
  if (m_model.RowCount() > 0) SelectRow(0);
}

void CPreviewResultsDlg::ShowSwept(const std::vector<OutcomeRecord>& records, bool cancelled,
                                   const std::vector<std::pair<int, std::string>>& opened) {
  m_model.SetSwept(records, m_lastSelection, cancelled, opened);
  if (m_hWnd == nullptr) return;
  ShowSweptColumns();
  m_nItemsShown = static_cast<size_t>(-1);  // the rows' items now say what became of them
  Refill();
}

void CPreviewResultsDlg::NoteOtherSweep() {
  if (m_model.Stale()) return;
  m_model.SetStale();
  ShowSummary();
}

void CPreviewResultsDlg::ShowSweptColumns() {
  if (m_bSweptColumns == m_model.HasSweep()) return;
  m_bSweptColumns = m_model.HasSweep();
  SizeColumns();
}

int CPreviewResultsDlg::HeaderWidth(int column) const {
  // The title, its sort mark and the header's margins, in the list's font:
  // it grows with the display's scale as the text does.
  return ListView_GetStringWidth(Rows(), HeaderTitle(kRowColumns[column]).c_str()) +
         ListView_GetStringWidth(Rows(), "WWW");
}

void CPreviewResultsDlg::SizeColumns() {
  const int rowsWidth = ListWidth(Rows());
  const int shares = m_bSweptColumns ? 100 : 100 - kSweptShare;
  int widths[PreviewTableModel::kColumnCount] = {};
  int short_ = 0;  // what the narrow columns take beyond their share
  for (int i = 0; i < PreviewTableModel::kColumnCount; ++i) {
    const bool swept = i == PreviewTableModel::kSweptItems || i == PreviewTableModel::kSweptKB;
    if (swept && !m_bSweptColumns) continue;
    widths[i] = rowsWidth * kRowColumns[i].share / shares;
    // A header is never cut: the Entry column gives up the room.
    if (i != PreviewTableModel::kEntry && widths[i] < HeaderWidth(i)) {
      short_ += HeaderWidth(i) - widths[i];
      widths[i] = HeaderWidth(i);
    }
  }
  widths[PreviewTableModel::kEntry] =
      std::max(widths[PreviewTableModel::kEntry] - short_, HeaderWidth(PreviewTableModel::kEntry));
  for (int i = 0; i < PreviewTableModel::kColumnCount; ++i) ListView_SetColumnWidth(Rows(), i, widths[i]);
  const int itemsWidth = ListWidth(Items());
  for (int i = 0; i < 3; ++i) ListView_SetColumnWidth(Items(), i, itemsWidth * kItemColumns[i].share / 100);
}

void CPreviewResultsDlg::Layout() {
  if (m_hWnd == nullptr) return;
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  if (client.right <= 0 || client.bottom <= 0) return;  // minimised
  RECT unit = {7, 13, 4, 8};  // margin, edit and button height, gap, text line
  ::MapDialogRect(m_hWnd, &unit);
  const int margin = unit.left, field = unit.top, gap = unit.right, line = unit.bottom;
  RECT button = {0, 0, 62, 14};
  ::MapDialogRect(m_hWnd, &button);
  const int width = client.right - 2 * margin;
  HDWP defer = ::BeginDeferWindowPos(12);
  auto place = [&](int id, int x, int y, int w, int h) {
    if (HWND control = GetItem(id))
      defer = ::DeferWindowPos(defer, control, nullptr, x, y, w < 0 ? 0 : w, h < 0 ? 0 : h,
                               SWP_NOZORDER | SWP_NOACTIVATE);
  };
  RECT label = {};
  ::GetWindowRect(GetItem(IDC_RESULTS_FILTER_LABEL), &label);
  const int labelWidth = label.right - label.left;
  place(IDC_RESULTS_FILTER, margin + labelWidth + gap / 2, margin, std::min(width - labelWidth, width / 2), field);
  const int buttonsY = client.bottom - margin - button.bottom;
  // The summary: the last sweep and the ticks, in as many lines as they
  // take (three at least); the detail: the fate and a long name wrapped
  // over two lines.
  const int summaryY = buttonsY - gap - m_nSummaryLines * line;
  const int detailY = summaryY - gap / 2 - 3 * line - gap / 2;
  const int top = margin + field + gap;
  const int lists = detailY - gap - top - line - gap / 2;
  const int rowsHeight = lists * 55 / 100;
  place(IDC_RESULTS_ROWS, margin, top, width, rowsHeight);
  place(IDC_RESULTS_ITEMS_LABEL, margin, top + rowsHeight + gap / 2, width, line);
  place(IDC_RESULTS_ITEMS, margin, top + rowsHeight + gap / 2 + line + gap / 2, width,
        lists - rowsHeight - gap / 2);
  place(IDC_RESULTS_DETAIL, margin, detailY, width, 3 * line + gap / 2);
  place(IDC_RESULTS_SUMMARY, margin, summaryY, width, m_nSummaryLines * line);
  const int buttonW = button.right;
  place(IDC_RESULTS_TICK_ALL, margin, buttonsY, buttonW * 5 / 6, button.bottom);
  place(IDC_RESULTS_TICK_NONE, margin + buttonW * 5 / 6 + gap, buttonsY, buttonW * 5 / 6, button.bottom);
  place(IDOK, client.right - margin - buttonW, buttonsY, buttonW, button.bottom);
  place(IDC_RESULTS_SWEEP, client.right - margin - 2 * buttonW - gap, buttonsY, buttonW, button.bottom);
  place(IDC_RESULTS_SAVE, client.right - margin - 3 * buttonW - 2 * gap, buttonsY, buttonW, button.bottom);
  if (defer != nullptr) ::EndDeferWindowPos(defer);
  FitDetailScrollBar();
  SizeColumns();
  FitSummary();
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CPreviewResultsDlg::SavePlacement() {
  if (m_hWnd == nullptr) return;
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  if (!::GetWindowPlacement(m_hWnd, &placement)) return;
  g_placement = placement;
  g_bPlacement = true;
}

void CPreviewResultsDlg::StorePlacement() {
  // Kept in the registry as soon as the user has placed the window, not
  // only when it is destroyed: a session that ends without an orderly exit
  // would lose it.
  if (::IsWindowVisible(m_hWnd) && !::IsIconic(m_hWnd)) SavePlacement();
  if (g_bPlacement) SaveWindowPlacement(kPlacementWindow, g_placement);
}

void CPreviewResultsDlg::RestorePlacement() {
  if (!g_bPlacement) g_bPlacement = LoadWindowPlacement(kPlacementWindow, &g_placement);
  if (!g_bPlacement) return;
  WINDOWPLACEMENT placement = g_placement;
  // Never smaller than the layout needs, and never off every screen.
  RECT& r = placement.rcNormalPosition;
  if (r.right - r.left < m_minSize.cx) r.right = r.left + m_minSize.cx;
  if (r.bottom - r.top < m_minSize.cy) r.bottom = r.top + m_minSize.cy;
  RECT screen = {::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  screen.right = screen.left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
  screen.bottom = screen.top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
  RECT seen = {};
  if (!::IntersectRect(&seen, &r, &screen)) return;  // a screen that is gone
  placement.showCmd = placement.showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_HIDE;
  placement.flags = 0;
  ::SetWindowPlacement(m_hWnd, &placement);
}

void CPreviewResultsDlg::EnableSweep(bool on) {
  m_bSweepEnabled = on;
  if (m_hWnd != nullptr) EnableItem(IDC_RESULTS_SWEEP, on && !m_model.Selection().Empty());
}

int CPreviewResultsDlg::ItemsRow() const {
  if (!m_bItemsShown) return -1;
  for (size_t i = 0; i < m_model.RowCount(); ++i) {
    const PreviewRow& row = m_model.RowAt(i);
    if (row.category == m_itemsKey.first && row.entry == m_itemsKey.second) return static_cast<int>(i);
  }
  return -1;
}

void CPreviewResultsDlg::Refill() {
  if (m_hWnd == nullptr) return;
  HWND rows = Rows();
  ::SendMessageA(rows, LVM_SETITEMCOUNT, m_model.RowCount(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  // The selection belongs to the row, not to its place in the order. Under
  // Wine every state change is a round trip to the display: touch it only
  // when the row has moved.
  const int itemsRow = ItemsRow();
  const int selected = ListView_GetNextItem(rows, -1, LVNI_SELECTED);
  if (selected != itemsRow) {
    if (selected >= 0) ListView_SetItemState(rows, selected, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (itemsRow >= 0) {
      ListView_SetItemState(rows, itemsRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(rows, itemsRow, FALSE);
    }
  }
  ::InvalidateRect(rows, nullptr, FALSE);
  ShowItemsOf(itemsRow);
  ShowSummary();
  EnableSweep(m_bSweepEnabled);
  EnableItem(IDC_RESULTS_SAVE, m_model.AllRows() > 0);
}

void CPreviewResultsDlg::ShowItemsOf(int row) {
  size_t count = 0;
  if (row >= 0 && static_cast<size_t>(row) < m_model.RowCount()) {
    const PreviewRow& r = m_model.RowAt(static_cast<size_t>(row));
    m_itemsKey = std::make_pair(r.category, r.entry);
    m_bItemsShown = true;
    count = r.items.size();
  }
  if (m_hWnd == nullptr) return;
  std::string label = "Items of the selected entry:";
  if (m_model.RowCount() == 0 && m_model.AllRows() > 0)
    label = "No item matches the filter.";  // else an empty list would look like an empty preview
  else if (row >= 0)
    label = "Items of \"" + m_model.CellText(static_cast<size_t>(row), PreviewTableModel::kEntry) + "\" (" +
            m_model.CellText(static_cast<size_t>(row), PreviewTableModel::kCategory) + "):";
  // The same row again (a sort, a keystroke that keeps it): nothing to redraw.
  if (label == m_itemsLabel && count == m_nItemsShown) return;
  m_itemsLabel = label;
  m_nItemsShown = count;
  ::SendMessageA(Items(), LVM_SETITEMCOUNT, count, 0);
  ::InvalidateRect(Items(), nullptr, FALSE);
  SetItemText(IDC_RESULTS_ITEMS_LABEL, label.c_str());
  ShowDetail();
}

void CPreviewResultsDlg::ShowDetail() {
  // The item selected below, in full: its whole name and its whole reason.
  std::string text;
  const int row = ItemsRow();
  const int item = m_hWnd != nullptr ? ListView_GetNextItem(Items(), -1, LVNI_SELECTED) : -1;
  // The fate first, then the whole name, which the box wraps: a long path
  // would otherwise push its own file name and the fate out of sight.
  if (row >= 0 && item >= 0 && static_cast<size_t>(item) < m_model.RowAt(static_cast<size_t>(row)).items.size())
    text = m_model.ItemCellText(static_cast<size_t>(row), static_cast<size_t>(item), 2) + "\r\n" +
           m_model.ItemCellText(static_cast<size_t>(row), static_cast<size_t>(item), 0);
  if (m_hWnd != nullptr && GetItemText(IDC_RESULTS_DETAIL) != text) SetItemText(IDC_RESULTS_DETAIL, text.c_str());
  FitDetailScrollBar();
}

void CPreviewResultsDlg::FitDetailScrollBar() {
  // A scroll bar only for a text longer than the box shows.
  if (m_hWnd == nullptr) return;
  HWND detail = GetItem(IDC_RESULTS_DETAIL);
  RECT box = {};
  ::GetClientRect(detail, &box);
  HDC dc = ::GetDC(detail);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(detail, WM_GETFONT, 0, 0)));
  TEXTMETRICA metrics = {};
  ::GetTextMetricsA(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(detail, dc);
  const LRESULT lines = ::SendMessageA(detail, EM_GETLINECOUNT, 0, 0);
  const bool needed = metrics.tmHeight > 0 && lines * metrics.tmHeight > box.bottom - box.top;
  if (needed != ((::GetWindowLongA(detail, GWL_STYLE) & WS_VSCROLL) != 0)) ::ShowScrollBar(detail, SB_VERT, needed);
}

void CPreviewResultsDlg::ShowSummary() {
  const std::string text = m_model.SummaryText();
  if (text == m_summary) return;
  m_summary = text;
  FitSummary();
}

void CPreviewResultsDlg::FitSummary() {
  if (m_hWnd == nullptr) return;
  HWND summary = GetItem(IDC_RESULTS_SUMMARY);
  RECT box = {};
  ::GetClientRect(summary, &box);
  if (box.right <= 0) return;
  // Broken here rather than by the control: in some settings (a virtual
  // desktop at 96 DPI under Wine) the control measures a line narrower than
  // it draws it, and the last word of a full line lost a letter at the edge.
  // A line drawn a little wider than measured loses more the longer it is:
  // two letters to spare, or a twentieth of the width when that is more.
  RECT spare = {0, 0, 8, 0};
  ::MapDialogRect(m_hWnd, &spare);
  const int room = box.right - std::max<int>(spare.right, box.right / 20);
  int lines = 0;
  const std::string wrapped = WrapToWidth(summary, m_summary, room, &lines);
  if (GetItemText(IDC_RESULTS_SUMMARY) != wrapped) SetItemText(IDC_RESULTS_SUMMARY, wrapped.c_str());
  const int wanted = std::max({3, lines, DrawnLines(summary, wrapped, box.right)});
  if (wanted != m_nSummaryLines) {
    m_nSummaryLines = wanted;
    Layout();
  }
}

void CPreviewResultsDlg::ShowSortMark() {
  HWND header = ListView_GetHeader(Rows());
  if (header == nullptr) return;
  for (int i = 0; i < PreviewTableModel::kColumnCount; ++i) {
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    if (!::SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) continue;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == m_model.SortColumn()) item.fmt |= m_model.SortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
    ::SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
}

void CPreviewResultsDlg::SetFilterText(const char* text) {
  if (m_hWnd != nullptr)
    SetItemText(IDC_RESULTS_FILTER, text);
  else
    m_model.SetFilter(text);
}

void CPreviewResultsDlg::ClickColumn(int column) {
  m_model.SortBy(column);
  Refill();
  ShowSortMark();
}

void CPreviewResultsDlg::SelectRow(size_t row) {
  if (row >= m_model.RowCount()) return;
  if (m_hWnd != nullptr) {
    // LVN_ITEMCHANGED shows the row's items.
    ListView_SetItemState(Rows(), -1, 0, LVIS_SELECTED);
    ListView_SetItemState(Rows(), static_cast<int>(row), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  ShowItemsOf(static_cast<int>(row));
}

void CPreviewResultsDlg::ToggleRow(size_t row) {
  if (row >= m_model.RowCount()) return;
  m_model.SetTicked(row, !m_model.RowAt(row).ticked);
  if (m_hWnd != nullptr) {
    ::SendMessageA(Rows(), LVM_REDRAWITEMS, row, row);
    ShowSummary();
  }
}

void CPreviewResultsDlg::TickAll(bool on) {
  m_model.TickAll(on);
  if (m_hWnd == nullptr) return;
  ::InvalidateRect(Rows(), nullptr, FALSE);
  ShowSummary();
}

bool CPreviewResultsDlg::SweepEntry(size_t row) {
  if (row >= m_model.RowCount() || m_pHost == nullptr) return false;
  const PreviewRow& r = m_model.RowAt(row);
  if (!r.Choosable()) return false;
  EntrySelection selection;
  selection.Add(r.category, r.entry);
  if (!m_pHost->SweepSelected(selection)) return false;
  m_lastSelection = selection;
  return true;
}

namespace {
// The folder that holds a file path ("C:\\" for a file at a root).
std::string ParentOf(const std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : name.substr(0, slash == 2 ? 3 : slash);
}
bool SameNoCase(char a, char b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return lower(a) == lower(b) || ((a == '\\' || a == '/') && (b == '\\' || b == '/'));
}
}  // namespace

std::string CPreviewResultsDlg::FolderOf(size_t row, int item) const {
  if (row >= m_model.RowCount()) return std::string();
  const PreviewRow& r = m_model.RowAt(row);
  if (item >= 0) {
    if (static_cast<size_t>(item) >= r.items.size()) return std::string();
    const std::string& name = m_model.ItemOf(row, static_cast<size_t>(item)).item;
    return IsFilePath(name) ? ParentOf(name) : std::string();
  }
  // The entry's own folder: the deepest one that holds every file it lists.
  std::string common;
  bool any = false;
  for (size_t n = 0; n < r.items.size(); ++n) {
    const std::string& name = m_model.ItemOf(row, n).item;
    if (!IsFilePath(name)) continue;
    const std::string folder = ParentOf(name);
    if (!any) {
      common = folder;
      any = true;
      continue;
    }
    size_t same = 0;
    while (same < common.size() && same < folder.size() && SameNoCase(common[same], folder[same])) ++same;
    // Back to a whole folder name: "C:\\Temp" and "C:\\Temp2" share "C:\\".
    const bool whole = (same == common.size() || common[same] == '\\' || common[same] == '/') &&
                       (same == folder.size() || folder[same] == '\\' || folder[same] == '/');
    if (!whole) {
      const size_t slash = common.find_last_of("\\/", same == 0 ? 0 : same - 1);
      same = slash == std::string::npos ? 0 : slash;
    }
    common.resize(same);
    if (common.size() == 2 && common[1] == ':') common += '\\';
    if (common.size() < 3) return std::string();  // files on different drives share no folder
  }
  return common;
}

bool CPreviewResultsDlg::OpenFolder(size_t row, int item) {
  const std::string folder = FolderOf(row, item);
  if (folder.empty()) return false;
  // A swept folder may be gone: the shell would fail without a word.
  const DWORD attributes = ::GetFileAttributesW(WideOfAnsi(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    g_platform.MessageBoxA(m_hWnd, ("The folder " + folder + " no longer exists.").c_str(), kCaption,
                           MB_OK | MB_ICONINFORMATION);
    return false;
  }
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = m_hWnd;
  info.lpVerb = "open";
  info.lpFile = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (g_platform.ShellExecuteExA(&info)) return true;
  g_platform.MessageBoxA(m_hWnd, ("The folder " + folder + " could not be opened.").c_str(), kCaption,
                         MB_OK | MB_ICONERROR);
  return false;
}

bool CPreviewResultsDlg::CopyItem(size_t row, int item) {
  if (row >= m_model.RowCount()) return false;
  const PreviewRow& r = m_model.RowAt(row);
  std::string text;
  if (item >= 0) {
    if (static_cast<size_t>(item) >= r.items.size()) return false;
    text = m_model.ItemOf(row, static_cast<size_t>(item)).item;
  } else {
    for (size_t n = 0; n < r.items.size(); ++n) text += m_model.ItemOf(row, n).item + "\r\n";
  }
  return PutOnClipboard(m_hWnd, text);
}

void CPreviewResultsDlg::ContextMenu(HWND list, LPARAM where) {
  POINT at = {static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  int hit = -1;
  if (where == static_cast<LPARAM>(-1)) {  // the keyboard's menu key: the focused line
    hit = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
    RECT r = {};
    if (hit < 0 || !ListView_GetItemRect(list, hit, &r, LVIR_LABEL)) ::GetClientRect(list, &r);
    at = {r.left + 8, r.bottom};
    ::ClientToScreen(list, &at);
  } else {
    LVHITTESTINFO test = {};
    test.pt = at;
    ::ScreenToClient(list, &test.pt);
    hit = ListView_HitTest(list, &test);
  }
  if (hit < 0) return;
  const bool onRows = list == Rows();
  const int row = onRows ? hit : ItemsRow();
  const int item = onRows ? -1 : hit;
  if (row < 0) return;
  if (onRows) SelectRow(static_cast<size_t>(row));
  HMENU menu = ::CreatePopupMenu();
  const PreviewRow& r = m_model.RowAt(static_cast<size_t>(row));
  const bool canSweep = r.Choosable() && m_bSweepEnabled && (m_pHost == nullptr || !m_pHost->AnySweepRuns());
  ::AppendMenuA(menu, MF_STRING | (canSweep ? 0 : MF_GRAYED), IDM_RESULTS_SWEEP_ENTRY, "S&weep This Entry");
  ::AppendMenuA(menu, MF_STRING | (FolderOf(static_cast<size_t>(row), item).empty() ? MF_GRAYED : 0),
                IDM_RESULTS_OPEN_FOLDER, "&Open Its Folder");
  ::AppendMenuA(menu, MF_STRING, IDM_RESULTS_COPY_ITEM, onRows ? "&Copy Its Items" : "&Copy Item");
  const int command = static_cast<int>(
      ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, m_hWnd, nullptr));
  ::DestroyMenu(menu);
  switch (command) {
    case IDM_RESULTS_SWEEP_ENTRY:
      SweepEntry(static_cast<size_t>(row));
      break;
    case IDM_RESULTS_OPEN_FOLDER:
      OpenFolder(static_cast<size_t>(row), item);
      break;
    case IDM_RESULTS_COPY_ITEM:
      CopyItem(static_cast<size_t>(row), item);
      break;
    default:
      break;
  }
}

bool CPreviewResultsDlg::SweepSelected() {
  const EntrySelection selection = m_model.Selection();
  if (selection.Empty() || m_pHost == nullptr) return false;
  if (!m_pHost->SweepSelected(selection)) return false;
  m_lastSelection = selection;
  return true;
}

bool CPreviewResultsDlg::WriteList(const std::string& path) const { return WriteListTo(WideOfAnsi(path)); }

bool CPreviewResultsDlg::WriteListTo(const std::wstring& path) const {
  // The byte-order mark tells a spreadsheet the text is UTF-8, whatever the
  // script of the names in it.
  return WriteWholeFile(path, "\xEF\xBB\xBF" + m_model.ListText());
}

bool CPreviewResultsDlg::SaveList() {
  const std::wstring path = AskListPath(m_hWnd, L"Morvane preview.csv");
  if (path.empty()) return false;
  // Asked here, not left to the dialog: the old one under some systems
  // replaces a file without a word.
  if (!MayWriteList(m_hWnd, path)) return false;
  if (WriteListTo(path)) return true;
  g_platform.MessageBoxA(m_hWnd, ("The list could not be written to " + Utf8Of(path) + ".").c_str(), kCaption,
                         MB_OK | MB_ICONERROR);
  return false;
}

bool CPreviewResultsDlg::OnCommand(int id, int code, HWND control) {

  if (id == IDC_RESULTS_FILTER && code == EN_CHANGE) {
    m_model.SetFilter(GetItemText(IDC_RESULTS_FILTER));
    Refill();
    return true;
  }
  if (code != BN_CLICKED) return CDialog::OnCommand(id, code, control);
  switch (id) {
    case IDC_RESULTS_SAVE:
      SaveList();
      return true;
    case IDC_RESULTS_SWEEP:
      SweepSelected();
      return true;
    case IDC_RESULTS_TICK_ALL:
      TickAll(true);
      return true;
    case IDC_RESULTS_TICK_NONE:
      TickAll(false);
      return true;
    default:
      return CDialog::OnCommand(id, code, control);
  }
}

void CPreviewResultsDlg::OnCancel() {
  // Modeless: "Close" and the title bar's X hide the window with its table
  // and ticks; "Show last results" or the next preview shows it again.
  StorePlacement();
  ::ShowWindow(m_hWnd, SW_HIDE);
}

void CPreviewResultsDlg::OnOK() {
  // "Close" is the default button (IDOK): Enter reaches it from anywhere.
  // From the filter it goes on to the rows, from a list it does nothing;
  // only on the button itself, or a click on it, does it close the window.
  const HWND focus = ::GetFocus();
  if (focus == GetItem(IDC_RESULTS_FILTER)) {
    ::SetFocus(Rows());
    return;
  }
  if (focus == Rows() || focus == Items()) return;
  OnCancel();
}

void CPreviewResultsDlg::OnTimer(UINT_PTR id) {
  if (id != kBusyTimer) return;
  ShowBusy();
  // The tip of one line moved off it goes; over the next line it comes
  // back with that line's text.
  if (m_hItemTip != nullptr && ::IsWindowVisible(m_hItemTip) && ItemUnderCursor() != m_nTipItem)
    ::SendMessageA(m_hItemTip, TTM_POP, 0, 0);
}

void CPreviewResultsDlg::ShowBusy() {
  // Any sweep, whoever started it, holds "Sweep Selected" back; so does a
  // table with no ticked row shown (the button would do nothing).
  if (m_pHost == nullptr || m_hWnd == nullptr) return;
  const bool on = !m_pHost->AnySweepRuns() && m_bSweepEnabled && !m_model.Selection().Empty();
  if (IsItemEnabled(IDC_RESULTS_SWEEP) != on) EnableItem(IDC_RESULTS_SWEEP, on);
}

void CPreviewResultsDlg::OnDestroy() {
  m_hItemTip = nullptr;  // a child of the window: it goes with it
  if (::IsWindowVisible(m_hWnd)) SavePlacement();
  if (g_bPlacement) SaveWindowPlacement(kPlacementWindow, g_placement);
}

bool CPreviewResultsDlg::OnMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) {
  switch (msg) {
    case WM_SIZE:
      if (w != SIZE_MINIMIZED) Layout();
      if (w != SIZE_MINIMIZED && ::IsWindowVisible(m_hWnd)) SavePlacement();
      *result = 0;
      return true;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(l);
      if (m_minSize.cx > 0) info->ptMinTrackSize = {m_minSize.cx, m_minSize.cy};
      *result = 0;
      return true;
    }
    case WM_CONTEXTMENU: {
      const HWND list = reinterpret_cast<HWND>(w);
      if (list != Rows() && list != Items()) return false;
      ContextMenu(list, l);
      *result = TRUE;
      return true;
    }
    case WM_EXITSIZEMOVE:
      StorePlacement();
      return false;
    case WM_MOVE:
      // Kept as it changes: at exit the window may already be on its way out.
      if (::IsWindowVisible(m_hWnd) && !::IsIconic(m_hWnd)) SavePlacement();
      return false;
    case WM_SHOWWINDOW:
      if (w)
        ::SetTimer(m_hWnd, kBusyTimer, 250, nullptr);
      else
        ::KillTimer(m_hWnd, kBusyTimer);
      return false;
    default:
      return false;
  }
}

bool CPreviewResultsDlg::OnNotify(NMHDR* header, LRESULT* result) {
  if (m_hItemTip != nullptr && header->hwndFrom == m_hItemTip) {
    if (header->code != TTN_GETDISPINFOA) return false;
    // The whole name and its fate; no tip away from the lines.
    auto* tip = reinterpret_cast<NMTTDISPINFOA*>(header);
    const int row = ItemsRow();
    m_nTipItem = ItemUnderCursor();
    m_tipText.clear();
    if (row >= 0 && m_nTipItem >= 0)
      m_tipText = m_model.ItemCellText(static_cast<size_t>(row), static_cast<size_t>(m_nTipItem), 0) + "\r\n" +
                  m_model.ItemCellText(static_cast<size_t>(row), static_cast<size_t>(m_nTipItem), 2);
    tip->lpszText = &m_tipText[0];
    tip->hinst = nullptr;
    return true;
  }
  if (header->idFrom == IDC_RESULTS_ITEMS) {
    switch (header->code) {
      case LVN_GETDISPINFOA:
        OnItemsDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
        return true;
      case LVN_ITEMCHANGED:
        ShowDetail();
        return true;
      default:
        return false;
    }
  }
  if (header->idFrom != IDC_RESULTS_ROWS) return false;
  switch (header->code) {
    case LVN_GETDISPINFOA:
      OnRowsDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
      return true;
    case LVN_COLUMNCLICK:
      ClickColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
      return true;
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(header);
      if (change->iItem >= 0 && (change->uNewState & LVIS_SELECTED) != 0 && (change->uOldState & LVIS_SELECTED) == 0)
        ShowItemsOf(change->iItem);
      return true;
    }
    case NM_CLICK:
    case NM_DBLCLK:
      OnRowsClick(reinterpret_cast<NMITEMACTIVATE*>(header));
      return true;
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
      if (key == VK_SPACE) {
        const int row = ListView_GetNextItem(Rows(), -1, LVNI_FOCUSED);
        if (row >= 0) ToggleRow(static_cast<size_t>(row));
      } else if (key == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
        // Ctrl+A ticks every row shown; again, when all are ticked, none.
        bool all = true;
        for (size_t i = 0; i < m_model.RowCount() && all; ++i)
          all = m_model.RowAt(i).ticked || !m_model.RowAt(i).Choosable();
        TickAll(!all);
      }
      return true;
    }
    case LVN_GETINFOTIPA: {
      auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(header);
      if (tip->iItem >= 0 && static_cast<size_t>(tip->iItem) < m_model.RowCount() && tip->cchTextMax > 0)
        lstrcpynA(tip->pszText, m_model.CellText(static_cast<size_t>(tip->iItem), PreviewTableModel::kEntry).c_str(),
                  tip->cchTextMax);
      return true;
    }
    default:
      return false;
  }
}

void CPreviewResultsDlg::OnRowsDispInfo(NMLVDISPINFOA* info) {
  LVITEMA& item = info->item;
  if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= m_model.RowCount()) return;
  const size_t row = static_cast<size_t>(item.iItem);
  if (item.mask & LVIF_TEXT) {
    m_text = m_model.CellText(row, item.iSubItem);
    PutText(item, m_text);
  }
  if (item.mask & LVIF_STATE) {
    // 1 is the empty box, 2 the ticked one; no box for a row that cannot be chosen.
    const PreviewRow& r = m_model.RowAt(row);
    const UINT image = !r.Choosable() ? 0 : r.ticked ? 2 : 1;
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

void CPreviewResultsDlg::OnItemsDispInfo(NMLVDISPINFOA* info) {
  LVITEMA& item = info->item;
  const int row = ItemsRow();
  if (row < 0 || item.iItem < 0 || !(item.mask & LVIF_TEXT)) return;
  m_text = m_model.ItemCellText(static_cast<size_t>(row), static_cast<size_t>(item.iItem), item.iSubItem);
  if (item.iSubItem == 0) m_text = ShortenedItem(m_text, ListView_GetColumnWidth(Items(), 0) - 12);
  PutText(item, m_text);
}

std::string CPreviewResultsDlg::ShortenedItem(const std::string& text, int width) const {
  if (m_hWnd == nullptr || width <= 0 || text.size() < 8) return text;
  HDC dc = ::GetDC(Items());
  if (dc == nullptr) return text;
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(Items(), WM_GETFONT, 0, 0)));
  SIZE size = {};
  std::string shown = text;
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (size.cx > width) {
    // Shortened in the middle, so the start, the nearest folder and the name
    // show: "C:\Users\...\Cache\f_00012a". Two files of like-named folders
    // then never read alike. Only where even that does not fit does the
    // folder give way to the name.
    const size_t slash = text.find_last_of("\\/");
    const size_t folder = slash == std::string::npos || slash == 0 ? std::string::npos
                                                                     : text.find_last_of("\\/", slash - 1);
    std::string tail = slash != std::string::npos ? text.substr(slash) : text.substr(text.size() / 2);
    if (folder != std::string::npos && folder > 2) {
      const std::string nearest = text.substr(folder);
      SIZE extent = {};
      const std::string least = "..." + nearest;
      ::GetTextExtentPoint32A(dc, least.c_str(), static_cast<int>(least.size()), &extent);
      if (extent.cx <= width) tail = nearest;
    }
    // The longest start that fits, by halving.
    auto fits = [&](size_t keep) {
      while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;  // whole characters
      const std::string candidate = text.substr(0, keep) + "..." + tail;
      SIZE extent = {};
      ::GetTextExtentPoint32A(dc, candidate.c_str(), static_cast<int>(candidate.size()), &extent);
      if (extent.cx > width) return false;
      shown = candidate;
      return true;
    };
    shown = "..." + tail;
    size_t low = 0, high = text.size() - tail.size();
    while (low < high) {
      const size_t mid = (low + high + 1) / 2;
      if (fits(mid))
        low = mid;
      else
        high = mid - 1;
    }
    if (low > 0) fits(low);
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(Items(), dc);
  return shown;
}

void CPreviewResultsDlg::OnRowsClick(NMITEMACTIVATE* click) {
  const int row = TickedByClick(Rows(), click);
  if (row >= 0) ToggleRow(static_cast<size_t>(row));
}

#include "ui/preview_results_dlg.h"

#include <algorithm>

#include "res/resource.h"
#include "ui/tick_list.h"
#include "winlib/file_dialog.h"
#include "winlib/platform_calls.h"
#include "winlib/unique_handle.h"

namespace {

const char kCaption[] = "Morvane";

struct ColumnInfo {
  const char* title;
  int share;  // of the width, in percent
  bool right;
};
const ColumnInfo kRowColumns[PreviewTableModel::kColumnCount] = {
    {"Category", 14, false}, {"Entry", 36, false}, {"Items", 9, true},      {"KB", 12, true},
    {"Left", 7, true},       {"Swept", 9, true},   {"Swept KB", 13, true},
};
const ColumnInfo kItemColumns[] = {{"Item", 62, false}, {"KB", 12, true}, {"What becomes of it", 26, false}};

template <size_t N>
void AddColumns(HWND list, const ColumnInfo (&columns)[N]) {
  RECT client = {};
  ::GetClientRect(list, &client);
  const int width = client.right - client.left - ::GetSystemMetrics(SM_CXVSCROLL);
  for (size_t i = 0; i < N; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = columns[i].right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.pszText = const_cast<char*>(columns[i].title);
    column.cx = width * columns[i].share / 100;
    column.iSubItem = static_cast<int>(i);
    ::SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
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
  ::ShowWindow(m_hWnd, SW_SHOW);
  ::SetForegroundWindow(m_hWnd);
  return true;
}

bool CPreviewResultsDlg::OnInitDialog() {
  const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
  ListView_SetExtendedListViewStyle(Rows(), extended | LVS_EX_CHECKBOXES);
  // The list keeps no state of its own: the window answers for the ticks too.
  ListView_SetCallbackMask(Rows(), LVIS_STATEIMAGEMASK);
  ListView_SetExtendedListViewStyle(Items(), extended);
  AddColumns(Rows(), kRowColumns);
  AddColumns(Items(), kItemColumns);
  ShowSortMark();
  SendItemMessage(IDC_RESULTS_FILTER, EM_LIMITTEXT, 200);
  EnableSweep(m_bSweepEnabled);
  Refill();
  return true;
}

void CPreviewResultsDlg::ShowPreview(std::vector<OutcomeRecord> records,
                                     const std::vector<std::pair<int, std::string>>& opened) {
  m_model.SetPreview(std::move(records), opened);
  m_bItemsShown = false;
  m_nItemsShown = static_cast<size_t>(-1);
  if (m_hWnd == nullptr) return;
  ShowSortMark();
  // The model starts without a filter: the edit must say so too.
  if (!GetItemText(IDC_RESULTS_FILTER).empty()) SetItemText(IDC_RESULTS_FILTER, "");
  Refill();
  if (m_model.RowCount() > 0) SelectRow(0);
}

void CPreviewResultsDlg::ShowSwept(const std::vector<OutcomeRecord>& records) {
  m_model.SetSwept(records, m_lastSelection);
  if (m_hWnd != nullptr) Refill();
}

void CPreviewResultsDlg::EnableSweep(bool on) {
  m_bSweepEnabled = on;
  if (m_hWnd != nullptr) EnableItem(IDC_RESULTS_SWEEP, on && m_model.AllRows() > 0);
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
  EnableItem(IDC_RESULTS_SAVE, m_model.TotalItems() > 0);
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
  if (row >= 0)
    label = "Items of \"" + m_model.CellText(static_cast<size_t>(row), PreviewTableModel::kEntry) + "\" (" +
            m_model.CellText(static_cast<size_t>(row), PreviewTableModel::kCategory) + "):";
  // The same row again (a sort, a keystroke that keeps it): nothing to redraw.
  if (label == m_itemsLabel && count == m_nItemsShown) return;
  m_itemsLabel = label;
  m_nItemsShown = count;
  ::SendMessageA(Items(), LVM_SETITEMCOUNT, count, 0);
  ::InvalidateRect(Items(), nullptr, FALSE);
  SetItemText(IDC_RESULTS_ITEMS_LABEL, label.c_str());
}

void CPreviewResultsDlg::ShowSummary() {
  std::string text = std::to_string(m_model.RowCount()) + " of " + std::to_string(m_model.AllRows()) +
                     " entries shown; " + std::to_string(m_model.TotalItems()) + " item(s), " +
                     FormatKB(m_model.TotalKB()) + " KB would be swept.";
  if (m_model.NothingCount() != 0)
    text += " " + std::to_string(m_model.NothingCount()) +
            (m_model.NothingCount() == 1 ? " entry would" : " entries would") + " remove nothing.";
  if (text == m_summary) return;
  m_summary = text;
  SetItemText(IDC_RESULTS_SUMMARY, text.c_str());
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
  if (m_hWnd != nullptr) ::SendMessageA(Rows(), LVM_REDRAWITEMS, row, row);
}

bool CPreviewResultsDlg::SweepSelected() {
  const EntrySelection selection = m_model.Selection();
  if (selection.Empty() || m_pHost == nullptr) return false;
  if (!m_pHost->SweepSelected(selection)) return false;
  m_lastSelection = selection;
  return true;
}

bool CPreviewResultsDlg::WriteList(const std::string& path) const {
  const std::string text = m_model.ListText();
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  if (!file.IsValid()) return false;
  size_t at = 0;
  while (at < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - at, 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(file.Get(), text.data() + at, chunk, &written, nullptr) || written == 0) return false;
    at += written;
  }
  return true;
}

bool CPreviewResultsDlg::SaveList() {
  CFileDialog dialog(false, "txt", "Morvane preview.txt", OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY,
                     "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||", m_hWnd);
  if (dialog.DoModal() != IDOK) return false;
  const std::string path = dialog.GetPathName();
  if (WriteList(path)) return true;
  g_platform.MessageBoxA(nullptr, ("The list could not be written to " + path + ".").c_str(), kCaption,
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
    default:
      return CDialog::OnCommand(id, code, control);
  }
}

void CPreviewResultsDlg::OnCancel() {
  // Modeless: "Close" and the title bar's X hide the window; the next preview shows it again.
  ::ShowWindow(m_hWnd, SW_HIDE);
}

bool CPreviewResultsDlg::OnNotify(NMHDR* header, LRESULT* result) {
  if (header->idFrom == IDC_RESULTS_ITEMS && header->code == LVN_GETDISPINFOA) {
    OnItemsDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
    return true;
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
    case LVN_KEYDOWN:
      if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_SPACE) {
        const int row = ListView_GetNextItem(Rows(), -1, LVNI_FOCUSED);
        if (row >= 0) ToggleRow(static_cast<size_t>(row));
      }
      return true;
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
  PutText(item, m_text);
}

void CPreviewResultsDlg::OnRowsClick(NMITEMACTIVATE* click) {
  const int row = TickedByClick(Rows(), click);
  if (row >= 0) ToggleRow(static_cast<size_t>(row));
}

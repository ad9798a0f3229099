// CPreviewResultsDlg: the preview table, a window of its own that the main
// window opens when a preview started from the Settings page ends. The rows
// (a tick, category, entry, items, KB, items left, and after "Sweep
// Selected" what the sweep removed) sort by a click on a column header and
// narrow with the filter; the selected row's items show in the lower list,
// with the reason for each item that would be left. "Save List..." writes the
// items through the file dialog; "Sweep Selected" asks the host to sweep the
// ticked rows.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/preview_table_model.h"
#include "winlib/dialog.h"

// What the window asks of the resident program around it.
class PreviewResultsHost {
 public:
  virtual ~PreviewResultsHost() = default;
  // Starts a one-off sweep of the selection; false when nothing started
  // (a sweep runs, or the selection is empty).
  virtual bool SweepSelected(const EntrySelection& selection) = 0;
  // True while any sweep or preview runs: "Sweep Selected" waits meanwhile.
  virtual bool IsSweeping() const { return false; }
  // Any sweep or preview runs, whoever started it (the schedule, the tray, a
  // browser that closed): "Sweep Selected" waits meanwhile.
  virtual bool AnySweepRuns() { return IsSweeping(); }
};

class CPreviewResultsDlg : public CDialog {
 public:
  explicit CPreviewResultsDlg(PreviewResultsHost* host);

  // Creates the window when needed (modeless, owned by owner) and shows it.
  bool Open(HWND owner);

  // A fresh table from a preview's records and the entries that ran
  // (cancelled: the preview stopped before its end).
  void ShowPreview(std::vector<OutcomeRecord> records, const std::vector<std::pair<int, std::string>>& opened,
                   bool cancelled = false);
  // "Sweep Selected" ended (cancelled: stopped before its end): the rows
  // show what it removed; opened: the entries it reached.
  void ShowSwept(const std::vector<OutcomeRecord>& records, bool cancelled = false,
                 const std::vector<std::pair<int, std::string>>& opened = {});
  // A sweep other than "Sweep Selected" ran since the preview (the tray's
  // Sweep Now, the schedule, a browser that closed): the summary says so.
  void NoteOtherSweep();
  // While a sweep or a preview runs, "Sweep Selected" waits.
  void EnableSweep(bool on);
  // Offers "Sweep Selected" only while no sweep runs (asked of the host).
  void ShowBusy();

  // What the user does, for tests and the handlers alike.
  void SetFilterText(const char* text);  // EN_CHANGE does the rest
  void ClickColumn(int column);
  void SelectRow(size_t row);
  void ToggleRow(size_t row);
  bool SweepSelected();
  // Ticks every row shown, or none.
  void TickAll(bool on);
  // The context menu's commands on a row (as shown now) or one of its items
  // (item -1: the row itself).
  bool SweepEntry(size_t row);
  // The folder that holds an item, or of the row's first file item; "" for
  // registry and database items.
  std::string FolderOf(size_t row, int item) const;
  bool OpenFolder(size_t row, int item);
  // The full name of the item (or every item of the row, a line each) on the clipboard.
  bool CopyItem(size_t row, int item);
  // Lays the controls out for the client area's size.
  void Layout();
  // The text the items list shows in its first column for an item: a long
  // path shortened in the middle to width pixels, so the name shows.
  std::string ShortenedItem(const std::string& text, int width) const;
  // Asks for a file name (the file dialog) and writes the list; false when
  // cancelled or the file could not be written (the user is told).
  bool SaveList();
  // Writes the list to path as CSV in UTF-8 with a byte-order mark; false
  // when it could not.
  bool WriteList(const std::string& path) const;
  bool WriteListTo(const std::wstring& path) const;
  // The summary as the model gives it; the control shows it broken into
  // lines that fit (FitSummary).
  std::string Summary() const { return m_summary; }

  PreviewTableModel& Model() { return m_model; }
  HWND Rows() const;
  HWND Items() const;
  // The row (as shown now) whose items the lower list holds; -1 for none.
  int ItemsRow() const;
  // The tip of the items list: the whole name and fate of the item under
  // the mouse, whose line may be shortened.
  HWND ItemTip() const { return m_hItemTip; }

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;
  void OnCancel() override;
  void OnOK() override;
  bool OnMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;
  void OnTimer(UINT_PTR id) override;
  void OnDestroy() override;

 private:
  void Refill();
  void ShowItemsOf(int row);
  void ShowSummary();
  // Breaks the summary into lines that fit its control's width and shows
  // them; lays the window out again when it needs another number of lines.
  void FitSummary();
  void ShowSortMark();
  void OnRowsDispInfo(NMLVDISPINFOA* info);
  void OnItemsDispInfo(NMLVDISPINFOA* info);
  void OnRowsClick(NMITEMACTIVATE* click);
  void ShowDetail();
  void FitDetailScrollBar();
  void ShowSweptColumns();
  void SizeColumns();
  int HeaderWidth(int column) const;  // the least width that shows a column's title whole
  void ContextMenu(HWND list, LPARAM where);
  void AddItemTip();
  int ItemUnderCursor() const;
  void SavePlacement();
  void StorePlacement();  // SavePlacement, and into the registry at once
  void RestorePlacement();

  PreviewResultsHost* m_pHost;
  PreviewTableModel m_model;
  EntrySelection m_lastSelection;
  // The row whose items show, by identity: sorting and the filter move it.
  std::pair<int, std::string> m_itemsKey;
  bool m_bItemsShown = false;
  // What the items list and the texts below show now, so an unchanged one is not redrawn.
  size_t m_nItemsShown = static_cast<size_t>(-1);
  std::string m_itemsLabel;
  std::string m_summary;
  int m_nSummaryLines = 3;  // the summary's height, in lines: never fewer than 3
  bool m_bSweepEnabled = true;
  std::string m_text;  // the text handed to a list for the last cell asked
  bool m_bSweptColumns = false;
  HWND m_hItemTip = nullptr;
  int m_nTipItem = -1;     // the item whose text the tip shows
  std::string m_tipText;
  SIZE m_minSize = {};
};

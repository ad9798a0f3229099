// PreviewTableModel: what the preview table shows, apart from any window. A
// row per target or rule entry the preview recorded something for (what it
// would remove, what it would leave and why), with the items behind it; the
// count of entries that ran and would remove nothing; sorting by any column,
// a filter on the rows, a tick per row; and, after "Sweep Selected", what the
// sweep removed per row beside what the preview found. Built from the
// ledger's records, never from log text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/entry_selection.h"
#include "engine/outcome_ledger.h"

// What the sweeps made of an item; kNotSwept until a sweep ran its row.
// kDone stays once reached: a later sweep that does not meet a removed item
// finds it gone, as it should. kNotMet: a sweep run to its end did not meet
// it; kNotReached: a cancelled sweep stopped before it.
enum class SweptFate : uint8_t { kNotSwept, kDone, kLeft, kNotMet, kNotReached };

struct PreviewItem {
  std::string item;
  double kb = 0.0;
  Outcome outcome = Outcome::kRemoved;
  std::string reason;
  // After "Sweep Selected": what became of it, and whether the sweep found
  // it only then (new since the preview).
  SweptFate fate = SweptFate::kNotSwept;
  Outcome sweptOutcome = Outcome::kRemoved;
  bool fresh = false;
};

struct PreviewRow {
  int category = -1;
  std::string entry;  // "" for records made outside any entry: such a row cannot be chosen
  std::vector<uint32_t> items;  // the preview's items, in the order they were met
  int count = 0;     // items the preview would remove (or schedule)
  double kb = 0.0;
  int left = 0;      // items it would leave: refused, held, guarded, failed
  bool ticked = true;
  bool swept = false;  // "Sweep Selected" ran this row
  bool notReached = false;  // chosen for the last sweep of the row, which was cancelled before it
  int sweptCount = 0;
  double sweptKb = 0.0;
  int sweptLeft = 0;
  // The sweeps since the preview, item by item: what they removed (an item
  // an earlier sweep removed stays removed), what the last one to meet an
  // item left, and what the last sweep of the row did not meet or reach.
  int sweptFresh = 0;  // items removed that the preview had not listed
  int sweptNotMet = 0;  // items listed that the last sweep of the row did not meet or did not reach
  std::string haystack;  // lower case "category\nentry"
  std::string sortKey;   // lower case entry

  bool Choosable() const { return !entry.empty() && category >= 0; }
};

class PreviewTableModel {
 public:
  enum Column : int { kCategory, kEntry, kItems, kKB, kLeft, kSweptItems, kSweptKB, kColumnCount };

  // A fresh table from a preview: its records and the entries that ran.
  // Ticks, filter and sweep results start over; rows sort largest first.
  // cancelled: the preview stopped before its end, and the table says so.
  void SetPreview(std::vector<OutcomeRecord> records, const std::vector<std::pair<int, std::string>>& opened,
                  bool cancelled = false);
  // What "Sweep Selected" did: each row it ran shows its removals beside
  // those of earlier sweeps; a row it did not run keeps what it showed.
  // cancelled: it stopped before its end: what it did not meet it never
  // reached, and the rows it ran are only those it opened (opened) or
  // recorded for; the other chosen rows stand as they were.
  void SetSwept(const std::vector<OutcomeRecord>& records, const EntrySelection& selection, bool cancelled = false,
                const std::vector<std::pair<int, std::string>>& opened = {});

  // Rows shown (filtered and sorted).
  size_t RowCount() const { return m_shown.size(); }
  const PreviewRow& RowAt(size_t shown) const { return m_rows[m_shown[shown]]; }
  const PreviewItem& ItemOf(size_t shown, size_t n) const { return m_items[RowAt(shown).items[n]]; }
  void SetTicked(size_t shown, bool on);
  // The text of a cell as the list shows it.
  std::string CellText(size_t shown, int column) const;
  // The text of an item's columns (item, KB, what becomes of it).
  std::string ItemCellText(size_t shown, size_t n, int column) const;

  // Sorts by a column; KB and counts sort largest first on the first click,
  // texts A to Z; the same column again turns the order round.
  void SortBy(int column);
  void SortBy(int column, bool descending);
  int SortColumn() const { return m_nSortColumn; }
  bool SortDescending() const { return m_bDescending; }
  // Rows whose category or entry holds the text (case ignored).
  void SetFilter(const std::string& text);

  // What the summary says: after a sweep, a line of what the last sweep did;
  // then the ticks and the filter in force.
  std::string SummaryText() const;
  // What the last sweep did: the entries chosen for it (and any it recorded
  // for), those it ran, and its items. notMet: items of the rows it ran it
  // did not meet; after a cancel, what it did not reach, chosen rows it
  // never opened included.
  struct SweepTotals {
    size_t chosen = 0, entries = 0;
    long long removed = 0, left = 0, notMet = 0, fresh = 0;
    double kb = 0.0;
    bool cancelled = false;
    // Rows this sweep did not run that an earlier cancelled sweep never
    // reached: their items still wait.
    long long earlierNotReached = 0;
    size_t earlierEntries = 0;
  };
  const SweepTotals& LastSweep() const { return m_lastSweep; }
  // A sweep the table did not take in ran since the preview: the summary
  // says so and no longer offers the preview's figures as what would be
  // swept. A new preview clears it.
  void SetStale() { m_bStale = true; }
  bool Stale() const { return m_bStale; }
  // Ticks every row shown, or none.
  void TickAll(bool on);

  // Totals of every row (the filter aside): what the preview's totals line says.
  int TotalItems() const { return m_nTotalItems; }
  double TotalKB() const { return m_fTotalKB; }
  size_t AllRows() const { return m_rows.size(); }
  // Entries that ran and recorded nothing.
  size_t NothingCount() const { return m_nNothing; }
  bool HasSweep() const { return m_bHasSweep; }

  // The ticked rows shown, as a one-off selection; empty when none.
  EntrySelection Selection() const;
  // Every item of the preview, those that would stay included, as CSV: a
  // header row, then category, entry, item, size in KB ("%.3f"), what
  // becomes of it and the reason; lines end in CR LF. No byte-order mark.
  std::string ListText() const;

 private:
  void Refilter();
  void Resort();

  std::vector<PreviewRow> m_rows;
  std::vector<PreviewItem> m_items;
  std::vector<size_t> m_shown;
  std::string m_filter;  // lower case
  int m_nSortColumn = kKB;
  bool m_bDescending = true;
  int m_nTotalItems = 0;
  double m_fTotalKB = 0.0;
  size_t m_nNothing = 0;
  // Those entries: their names, and their haystacks as a row's (the filter narrows them too).
  std::vector<std::pair<std::string, std::string>> m_nothing;
  bool m_bHasSweep = false;
  bool m_bPreviewCancelled = false;
  bool m_bStale = false;
  SweepTotals m_lastSweep;
};

// "Windows", "Internet", "Applications", or "" for no category.
const char* CategoryText(int category);
// A size in KB as the sweep log prints it ("%.3f").
std::string FormatKB(double kb);
// A size for people: "812 KB", "14.6 MB", "1.20 GB", with thousands
// separators ("1,024 KB"); "0 KB" for nothing, "< 0.1 KB" for a few bytes.
std::string FormatSize(double kb);
// The text of an outcome in the table: what would become of an item, or once
// swept what did.
const char* OutcomeText(Outcome outcome, bool swept);

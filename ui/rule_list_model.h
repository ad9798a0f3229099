// RuleListModel: what the "More Targets" page shows of a rule set, apart from
// any window: the rows (a heading per category, then its entries by name),
// the filter, whether entries for programs not found are shown, and the ticks
// with what was stored before, so that Apply writes only what changed.
// Stored choices are read when an entry is first needed, not all at once:
// the community file has thousands of entries and most are never shown.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "engine/sweep_worker.h"

class RuleSet;
struct RuleEntry;

class RuleListModel {
 public:
  // Builds the order of the entries and works out which apply (the rule set
  // caches that). The rule set must outlive the model.
  explicit RuleListModel(RuleSet& rules);

  // Rows shown: entries whose name, group or source holds the filter (case
  // ignored), the ones for programs not found only when ShowAll is on, each
  // category's heading before its first entry shown.
  void SetFilter(const std::string& text);
  void SetShowAll(bool on);
  bool ShowAll() const { return m_bShowAll; }

  size_t RowCount() const { return m_rows.size(); }
  bool IsHeading(size_t row) const;
  // The heading's category, or the entry's.
  SweepCategory CategoryAt(size_t row) const;
  // Entries of the heading's category that are shown.
  size_t ShownInCategory(SweepCategory category) const;
  // Null for a heading or a row out of range.
  const RuleEntry* EntryAt(size_t row) const;
  bool AppliesAt(size_t row) const;
  // An administrator's policy fixes the entry's choice.
  bool FixedAt(size_t row);
  // Only an applying entry that no policy fixes can be ticked: the sweep
  // passes over the others, and a fixed choice is the administrator's.
  bool CanTick(size_t row) { return AppliesAt(row) && !FixedAt(row); }
  bool TickedAt(size_t row);
  void SetTickedAt(size_t row, bool on);

  // Rows that CanTick, of the rows shown.
  std::vector<size_t> TickableRows();

  // (entry name, on) for every tick that differs from the stored choice.
  std::vector<std::pair<std::string, bool>> Changes();
  // Apply has stored the changes: they are the stored choices now.
  void CommitChanges();
  // Cancel: every tick goes back to the stored choice.
  void DropChanges();

  size_t EntryCount() const;
  size_t RefusedWhole() const { return m_nRefusedWhole; }
  size_t WithRefusedKeys() const { return m_nWithRefusedKeys; }

 private:
  // Tri-state per entry: -1 not read yet, 0 off, 1 on.
  bool Stored(size_t entry);
  bool Ticked(size_t entry);
  void Rebuild();

  RuleSet& m_rules;
  std::vector<size_t> m_order;          // entries by category, then name
  std::vector<std::string> m_haystack;  // lower-case "name\ngroup\nsource" per entry
  std::vector<bool> m_applies;
  std::vector<signed char> m_stored;
  std::vector<signed char> m_ticked;
  std::vector<signed char> m_fixed;  // -1 not read yet, 0 free, 1 fixed by policy
  // A row: an entry index, or kHeading + category.
  std::vector<size_t> m_rows;
  size_t m_shownPerCategory[SWEEP_CATEGORY_COUNT] = {};
  std::string m_filter;  // lower case
  bool m_bShowAll = false;
  size_t m_nRefusedWhole = 0;
  size_t m_nWithRefusedKeys = 0;
};

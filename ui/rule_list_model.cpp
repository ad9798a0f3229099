#include "ui/rule_list_model.h"

#include <algorithm>
#include <cctype>

#include "engine/path_text.h"
#include "rules/rule_set.h"
#include "settings/rule_choices.h"

namespace {

constexpr size_t kHeading = static_cast<size_t>(-1) - SWEEP_CATEGORY_COUNT;

// The order of the control panel's pages.
const SweepCategory kCategoryOrder[] = {SWEEP_CATEGORY_WINDOWS, SWEEP_CATEGORY_INTERNET,
                                        SWEEP_CATEGORY_APPLICATIONS};

int CategoryRank(SweepCategory category) {
  for (int i = 0; i < SWEEP_CATEGORY_COUNT; ++i)
    if (kCategoryOrder[i] == category) return i;
  return SWEEP_CATEGORY_COUNT;
}

std::string Lower(const std::string& text) { return LowerAscii(text); }

}  // namespace

RuleListModel::RuleListModel(RuleSet& rules) : m_rules(rules) {
  const std::vector<RuleEntry>& entries = m_rules.Entries();
  const size_t n = entries.size();
  m_haystack.resize(n);
  m_applies.resize(n);
  m_stored.assign(n, -1);
  m_ticked.assign(n, -1);
  m_fixed.assign(n, -1);
  std::vector<std::string> sortKeys(n);
  for (size_t i = 0; i < n; ++i) {
    const RuleEntry& e = entries[i];
    if (e.refusedWhole) {
      ++m_nRefusedWhole;
      continue;
    }
    if (!e.refused.empty()) ++m_nWithRefusedKeys;
    m_applies[i] = m_rules.Applies(i);
    m_haystack[i] = Lower(e.name + "\n" + e.group + "\n" + e.source);
    sortKeys[i] = Lower(e.name);
    m_order.push_back(i);
  }
  std::stable_sort(m_order.begin(), m_order.end(), [&](size_t a, size_t b) {
    const int ra = CategoryRank(entries[a].category), rb = CategoryRank(entries[b].category);
    return ra != rb ? ra < rb : sortKeys[a] < sortKeys[b];
  });
  Rebuild();
}

void RuleListModel::SetFilter(const std::string& text) {
  std::string lower = Lower(text);
  if (lower == m_filter) return;
  m_filter = lower;
  Rebuild();
}

void RuleListModel::SetShowAll(bool on) {
  if (on == m_bShowAll) return;
  m_bShowAll = on;
  Rebuild();
}

void RuleListModel::Rebuild() {
  const std::vector<RuleEntry>& entries = m_rules.Entries();
  m_rows.clear();
  std::fill(std::begin(m_shownPerCategory), std::end(m_shownPerCategory), 0);
  int lastRank = -1;
  for (size_t i : m_order) {
    if (!m_bShowAll && !m_applies[i]) continue;
    if (!m_filter.empty() && m_haystack[i].find(m_filter) == std::string::npos) continue;
    const SweepCategory category = entries[i].category;
    const int rank = CategoryRank(category);
    if (rank != lastRank) {
      m_rows.push_back(kHeading + static_cast<size_t>(category));
      lastRank = rank;
    }
    m_rows.push_back(i);
    if (category >= 0 && category < SWEEP_CATEGORY_COUNT) ++m_shownPerCategory[category];
  }
}

bool RuleListModel::IsHeading(size_t row) const { return row < m_rows.size() && m_rows[row] >= kHeading; }

SweepCategory RuleListModel::CategoryAt(size_t row) const {
  if (row >= m_rows.size()) return SWEEP_CATEGORY_APPLICATIONS;
  if (IsHeading(row)) return static_cast<SweepCategory>(m_rows[row] - kHeading);
  return m_rules.Entries()[m_rows[row]].category;
}

size_t RuleListModel::ShownInCategory(SweepCategory category) const {
  return category >= 0 && category < SWEEP_CATEGORY_COUNT ? m_shownPerCategory[category] : 0;
}

const RuleEntry* RuleListModel::EntryAt(size_t row) const {
  if (row >= m_rows.size() || IsHeading(row)) return nullptr;
  return &m_rules.Entries()[m_rows[row]];
}

bool RuleListModel::AppliesAt(size_t row) const { return EntryAt(row) != nullptr && m_applies[m_rows[row]]; }

bool RuleListModel::Stored(size_t entry) {
  if (m_stored[entry] < 0) m_stored[entry] = RuleEntryOn(m_rules.Entries()[entry]) ? 1 : 0;
  return m_stored[entry] == 1;
}

bool RuleListModel::Ticked(size_t entry) { return m_ticked[entry] < 0 ? Stored(entry) : m_ticked[entry] == 1; }

bool RuleListModel::TickedAt(size_t row) { return EntryAt(row) != nullptr && Ticked(m_rows[row]); }

void RuleListModel::SetTickedAt(size_t row, bool on) {
  if (!CanTick(row)) return;
  m_ticked[m_rows[row]] = on ? 1 : 0;
}

bool RuleListModel::FixedAt(size_t row) {
  if (EntryAt(row) == nullptr) return false;
  signed char& fixed = m_fixed[m_rows[row]];
  if (fixed < 0) fixed = RuleChoiceFixed(EntryAt(row)->name) ? 1 : 0;
  return fixed == 1;
}

std::vector<size_t> RuleListModel::TickableRows() {
  std::vector<size_t> rows;
  for (size_t row = 0; row < m_rows.size(); ++row)
    if (CanTick(row)) rows.push_back(row);
  return rows;
}

std::vector<std::pair<std::string, bool>> RuleListModel::Changes() {
  std::vector<std::pair<std::string, bool>> changes;
  const std::vector<RuleEntry>& entries = m_rules.Entries();
  for (size_t i = 0; i < m_ticked.size(); ++i) {
    if (m_ticked[i] < 0) continue;
    const bool on = m_ticked[i] == 1;
    if (on != Stored(i)) changes.emplace_back(entries[i].name, on);
  }
  return changes;
}

void RuleListModel::CommitChanges() {
  for (size_t i = 0; i < m_ticked.size(); ++i) {
    if (m_ticked[i] < 0) continue;
    m_stored[i] = m_ticked[i];
    m_ticked[i] = -1;
  }
}

void RuleListModel::DropChanges() { std::fill(m_ticked.begin(), m_ticked.end(), -1); }

size_t RuleListModel::EntryCount() const { return m_rules.Entries().size(); }

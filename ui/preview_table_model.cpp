#include "ui/preview_table_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "engine/sweep_worker.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

bool Removes(Outcome outcome) { return outcome == Outcome::kRemoved || outcome == Outcome::kScheduled; }

const char* OutcomeText(Outcome outcome) {
  switch (outcome) {
    case Outcome::kRemoved:
      return "would be removed";
    case Outcome::kScheduled:
      return "at the next restart";
    case Outcome::kGuarded:
      return "protected";
    case Outcome::kRefused:
      return "refused";
    case Outcome::kHeld:
      return "in use";
    case Outcome::kFailed:
      return "failed";
    case Outcome::kNotScheduled:
      return "cannot be removed";
  }
  return "";
}

// A field of the saved list: a registry name may hold a tab or a line break,
// which would shift the columns or split the line.
void AppendField(std::string& text, const std::string& field) {
  for (char c : field) text += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
}

bool TextColumn(int column) {
  return column == PreviewTableModel::kCategory || column == PreviewTableModel::kEntry;
}

}  // namespace

const char* CategoryText(int category) {
  if (category < 0 || category >= SWEEP_CATEGORY_COUNT) return "";
  return SweepCategoryName(static_cast<SweepCategory>(category));
}

std::string FormatKB(double kb) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", kb);
  return text;
}

void PreviewTableModel::SetPreview(std::vector<OutcomeRecord> records,
                                   const std::vector<std::pair<int, std::string>>& opened) {
  m_rows.clear();
  m_items.clear();
  m_items.reserve(records.size());
  m_nTotalItems = 0;
  m_fTotalKB = 0.0;
  m_bHasSweep = false;
  std::map<std::pair<int, std::string>, size_t> rowOf;
  for (OutcomeRecord& r : records) {
    auto key = std::make_pair(r.category, r.entry);
    auto found = rowOf.find(key);
    if (found == rowOf.end()) {
      found = rowOf.emplace(key, m_rows.size()).first;
      PreviewRow row;
      row.category = r.category;
      row.entry = r.entry;
      row.haystack = Lower(std::string(CategoryText(r.category)) + "\n" + r.entry);
      row.sortKey = Lower(r.entry);
      row.ticked = row.Choosable();
      m_rows.push_back(std::move(row));
    }
    PreviewRow& row = m_rows[found->second];
    // The count is the log's numbered lines, as the totals line counts; a
    // line may stand for several records (a key and its values) or for none
    // (rows inside a database), so records give the items and sizes only.
    if (r.numbered) {
      ++row.count;
      ++m_nTotalItems;
      continue;
    }
    if (Removes(r.outcome)) {
      row.kb += r.kb;
      m_fTotalKB += r.kb;
    } else {
      ++row.left;
    }
    row.items.push_back(static_cast<uint32_t>(m_items.size()));
    m_items.push_back(PreviewItem{std::move(r.item), r.kb, r.outcome, std::move(r.reason)});
  }
  std::set<std::pair<int, std::string>> silent;
  for (const auto& entry : opened)
    if (rowOf.count(entry) == 0) silent.insert(entry);
  m_nNothing = silent.size();
  m_filter.clear();
  m_nSortColumn = kKB;
  m_bDescending = true;
  Refilter();
}

void PreviewTableModel::SetSwept(const std::vector<OutcomeRecord>& records, const EntrySelection& selection) {
  std::map<std::pair<int, std::string>, size_t> rowOf;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    PreviewRow& row = m_rows[i];
    row.swept = row.Choosable() && selection.Contains(row.category, row.entry);
    row.sweptCount = 0;
    row.sweptKb = 0.0;
    row.sweptLeft = 0;
    rowOf.emplace(std::make_pair(row.category, row.entry), i);
  }
  for (const OutcomeRecord& r : records) {
    auto found = rowOf.find(std::make_pair(r.category, r.entry));
    if (found == rowOf.end()) continue;
    PreviewRow& row = m_rows[found->second];
    row.swept = true;  // whatever the selection said, this is what happened
    if (r.numbered) {
      ++row.sweptCount;
    } else if (Removes(r.outcome)) {
      row.sweptKb += r.kb;
    } else {
      ++row.sweptLeft;
    }
  }
  m_bHasSweep = true;
  Resort();
}

void PreviewTableModel::SetTicked(size_t shown, bool on) {
  if (shown >= m_shown.size()) return;
  PreviewRow& row = m_rows[m_shown[shown]];
  row.ticked = on && row.Choosable();
}

std::string PreviewTableModel::CellText(size_t shown, int column) const {
  if (shown >= m_shown.size()) return std::string();
  const PreviewRow& row = RowAt(shown);
  switch (column) {
    case kCategory:
      return CategoryText(row.category);
    case kEntry:
      return row.entry.empty() ? "(no entry)" : row.entry;
    case kItems:
      return std::to_string(row.count);
    case kKB:
      return FormatKB(row.kb);
    case kLeft:
      return row.left == 0 ? std::string() : std::to_string(row.left);
    case kSweptItems:
      return row.swept ? std::to_string(row.sweptCount) : std::string();
    case kSweptKB:
      return row.swept ? FormatKB(row.sweptKb) : std::string();
    default:
      return std::string();
  }
}

std::string PreviewTableModel::ItemCellText(size_t shown, size_t n, int column) const {
  if (shown >= m_shown.size() || n >= RowAt(shown).items.size()) return std::string();
  const PreviewItem& item = ItemOf(shown, n);
  switch (column) {
    case 0:
      return item.item;
    case 1:
      return FormatKB(item.kb);
    case 2:
      return item.reason.empty() ? OutcomeText(item.outcome)
                                 : std::string(OutcomeText(item.outcome)) + ": " + item.reason;
    default:
      return std::string();
  }
}

void PreviewTableModel::SortBy(int column) {
  if (column == m_nSortColumn)
    SortBy(column, !m_bDescending);
  else
    SortBy(column, !TextColumn(column));
}

void PreviewTableModel::SortBy(int column, bool descending) {
  if (column < 0 || column >= kColumnCount) return;
  m_nSortColumn = column;
  m_bDescending = descending;
  Resort();
}

void PreviewTableModel::SetFilter(const std::string& text) {
  m_filter = Lower(text);
  Refilter();
}

void PreviewTableModel::Refilter() {
  m_shown.clear();
  for (size_t i = 0; i < m_rows.size(); ++i)
    if (m_filter.empty() || m_rows[i].haystack.find(m_filter) != std::string::npos) m_shown.push_back(i);
  Resort();
}

void PreviewTableModel::Resort() {
  const int column = m_nSortColumn;
  // The value a numeric column sorts by; texts compare apart.
  auto number = [column](const PreviewRow& r) -> double {
    switch (column) {
      case kItems:
        return r.count;
      case kKB:
        return r.kb;
      case kLeft:
        return r.left;
      case kSweptItems:
        return r.swept ? r.sweptCount : -1;
      case kSweptKB:
        return r.swept ? r.sweptKb : -1;
      default:
        return 0;
    }
  };
  // Ties fall back to the largest first, then to the entry's name, so the
  // order never depends on the order the threads recorded in.
  auto less = [&](size_t a, size_t b) {
    const PreviewRow& x = m_rows[a];
    const PreviewRow& y = m_rows[b];
    int order = 0;
    if (column == kCategory)
      order = std::strcmp(CategoryText(x.category), CategoryText(y.category));
    else if (column == kEntry)
      order = x.sortKey.compare(y.sortKey);
    else
      order = number(x) < number(y) ? -1 : number(x) > number(y) ? 1 : 0;
    if (order != 0) return m_bDescending ? order > 0 : order < 0;
    if (x.kb != y.kb) return x.kb > y.kb;
    if (x.count != y.count) return x.count > y.count;
    if (x.entry != y.entry) return x.entry < y.entry;
    return x.category < y.category;
  };
  std::sort(m_shown.begin(), m_shown.end(), less);
}

EntrySelection PreviewTableModel::Selection() const {
  EntrySelection selection;
  for (size_t i : m_shown) {
    const PreviewRow& row = m_rows[i];
    if (row.ticked && row.Choosable()) selection.Add(row.category, row.entry);
  }
  return selection;
}

std::string PreviewTableModel::ListText() const {
  std::string text;
  text.reserve(m_items.size() * 96);
  for (const PreviewRow& row : m_rows) {
    for (uint32_t n : row.items) {
      const PreviewItem& item = m_items[n];
      if (!Removes(item.outcome)) continue;
      text += CategoryText(row.category);
      text += '\t';
      AppendField(text, row.entry);
      text += '\t';
      AppendField(text, item.item);
      text += '\t';
      text += FormatKB(item.kb);
      text += "\r\n";
    }
  }
  return text;
}

#include "ui/preview_table_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>
#include <cstdlib>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

bool Removes(Outcome outcome) { return outcome == Outcome::kRemoved || outcome == Outcome::kScheduled; }

// Items a row leaves: once swept, what the sweep left, as its summary and log
// say; before, what the preview would.
int LeftOf(const PreviewRow& row) { return row.swept ? row.sweptLeft : row.left; }

// An item a sweep has still to take: the preview said it would go, and no
// sweep since removed it, left it or missed it (one that never reached it
// does not count). Only such an item is "not reached" when a sweep is
// cancelled before it: what would stay keeps the preview's word and reason.
bool StillToGo(const PreviewItem& item) {
  return Removes(item.outcome) && (item.fate == SweptFate::kNotSwept || item.fate == SweptFate::kNotReached);
}

}  // namespace

const char* OutcomeText(Outcome outcome, bool swept) {
  switch (outcome) {
    case Outcome::kRemoved:
      return swept ? "removed" : "would be removed";
    case Outcome::kScheduled:
      return swept ? "removed at the next restart" : "would be removed at the next restart";
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
    case Outcome::kHoldsLeftItem:
      return swept ? "left" : "would be left";
  }
  return "";
}

namespace {

// A field of the saved list, quoted when it holds a separator, a quote or a
// line break (a registry name may hold any of them). A field that a
// spreadsheet would take for a formula (a name from a rule file may begin
// with "=", "+", "-" or "@") is written as text: a leading apostrophe, quoted.
void AppendField(std::string& text, const std::string& field) {
  const bool formula = !field.empty() && std::strchr("=+-@\t\r", field[0]) != nullptr;
  if (!formula && field.find_first_of(",\"\r\n") == std::string::npos) {
    text += field;
    return;
  }
  text += '"';
  if (formula) text += '\'';
  for (char c : field) {
    if (c == '"') text += '"';
    text += c;
  }
  text += '"';
}

std::string WithSeparators(unsigned long long n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

std::string Plural(long long n, const char* one, const char* many) {
  return WithSeparators(static_cast<unsigned long long>(n < 0 ? 0 : n)) + " " + (n == 1 ? one : many);
}

const char kCancelledText[] = "the sweep was cancelled";

// What the list says of an item the preview found and the sweep did not meet.
std::string NotMetText(SweptFate fate) {
  return fate == SweptFate::kNotReached ? std::string("not reached: ") + kCancelledText
                                         : std::string("not met by the sweep");
}

bool NotMet(SweptFate fate) { return fate == SweptFate::kNotMet || fate == SweptFate::kNotReached; }

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

std::string FormatSize(double kb) {
  // One way of writing a size: no size rounds to a zero with a decimal
  // ("0.0 KB" beside "0 KB" for files of a few bytes), and none rounds into
  // the next unit's form ("10.0 KB", "10,000.0 MB").
  if (!(kb > 0.0)) return "0 KB";
  if (kb < 0.05) return "< 0.1 KB";
  char text[64];
  if (kb < 9.95) {
    std::snprintf(text, sizeof text, "%.1f KB", kb);
    return text;
  }
  if (kb < 9999.5) return WithSeparators(static_cast<unsigned long long>(kb + 0.5)) + " KB";
  const double mb = kb / 1024.0;
  const bool inMB = mb < 9999.95;
  std::snprintf(text, sizeof text, inMB ? "%.1f" : "%.2f", inMB ? mb : mb / 1024.0);
  const std::string s = text;
  const size_t dot = s.find('.');
  return WithSeparators(static_cast<unsigned long long>(std::atoll(s.c_str()))) + s.substr(dot) +
         (inMB ? " MB" : " GB");
}

void PreviewTableModel::SetPreview(std::vector<OutcomeRecord> records,
                                   const std::vector<std::pair<int, std::string>>& opened, bool cancelled) {
  m_bPreviewCancelled = cancelled;
  m_rows.clear();
  m_items.clear();
  m_items.reserve(records.size());
  m_nTotalItems = 0;
  m_fTotalKB = 0.0;
  m_bHasSweep = false;
  m_bStale = false;
  m_lastSweep = SweepTotals();
  std::map<std::pair<int, std::string>, size_t> rowOf;
  // Records come in runs of one entry (a thread's entry records one item
  // after another): the row of the last record is tried first, which keeps
  // the table's build short at 50,000 items.
  size_t last = static_cast<size_t>(-1);
  for (OutcomeRecord& r : records) {
    if (last == static_cast<size_t>(-1) || m_rows[last].category != r.category || m_rows[last].entry != r.entry) {
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
      last = found->second;
    }
    PreviewRow& row = m_rows[last];
    // An item is what the log numbers, as the totals line counts, and each
    // numbered record names its item; an item that stays is listed with its
    // reason. A removal that is not numbered is part of a numbered item (a
    // value of a key that goes) and is not listed apart.
    if (r.numbered) {
      ++row.count;
      ++m_nTotalItems;
      row.kb += r.kb;
      m_fTotalKB += r.kb;
    } else if (Removes(r.outcome)) {
      continue;
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
  m_nothing.clear();
  for (const auto& entry : silent)
    m_nothing.emplace_back(entry.second, Lower(std::string(CategoryText(entry.first)) + "\n" + entry.second));
  m_filter.clear();
  m_nSortColumn = kKB;
  m_bDescending = true;
  Refilter();
}

void PreviewTableModel::SetSwept(const std::vector<OutcomeRecord>& records, const EntrySelection& selection,
                                 bool cancelled, const std::vector<std::pair<int, std::string>>& opened) {
  std::map<std::pair<int, std::string>, size_t> rowOf;
  // The rows chosen for this sweep, and those it reached: opened, or
  // recorded for. Only the rows it ran take its figures; the others keep
  // what they showed. A sweep run to its end ran every row chosen; a
  // cancelled one only those it reached.
  std::vector<char> chosen(m_rows.size(), 0), reached(m_rows.size(), 0);
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const PreviewRow& row = m_rows[i];
    chosen[i] = row.Choosable() && selection.Contains(row.category, row.entry);
    rowOf.emplace(std::make_pair(row.category, row.entry), i);
  }
  for (const auto& entry : opened) {
    auto found = rowOf.find(entry);
    if (found != rowOf.end()) reached[found->second] = 1;
  }
  // What the sweep made of each item, by row and name; an item met twice
  // (removed, then named as left) keeps the last word.
  // Names as views into the records, which outlive the maps: no copy of
  // 50,000 names on the GUI thread.
  std::vector<std::unordered_map<std::string_view, const OutcomeRecord*>> met(m_rows.size());
  size_t last = static_cast<size_t>(-1);  // the row of the last record: records come in runs
  for (const OutcomeRecord& r : records) {
    if (last == static_cast<size_t>(-1) || m_rows[last].category != r.category || m_rows[last].entry != r.entry) {
      auto found = rowOf.find(std::make_pair(r.category, r.entry));
      if (found == rowOf.end()) continue;
      last = found->second;
    }
    reached[last] = 1;  // whatever the selection said, this is what happened
    // A removal that is not numbered is part of a numbered item.
    if (!r.numbered && Removes(r.outcome)) continue;
    met[last][std::string_view(r.item)] = &r;
  }
  m_lastSweep = SweepTotals();
  m_lastSweep.cancelled = cancelled;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (!chosen[i] && !reached[i]) {
      long long waiting = 0;
      for (uint32_t n : m_rows[i].items)
        if (m_items[n].fate == SweptFate::kNotReached) ++waiting;
      m_lastSweep.earlierNotReached += waiting;
      if (waiting != 0) ++m_lastSweep.earlierEntries;
      continue;
    }
    ++m_lastSweep.chosen;
    PreviewRow& row = m_rows[i];
    row.notReached = cancelled && !reached[i];
    if (row.notReached) {
      // Never opened: what it lists that would go and is still there was
      // not reached, and its items say so as the summary counts them.
      for (uint32_t n : row.items) {
        PreviewItem& item = m_items[n];
        if (!StillToGo(item)) continue;
        item.fate = SweptFate::kNotReached;
        ++m_lastSweep.notMet;
      }
      continue;
    }
    row.swept = true;
    auto& names = met[i];
    for (uint32_t n : row.items) {
      PreviewItem& item = m_items[n];
      auto hit = names.find(std::string_view(item.item));
      if (hit == names.end()) {
        // Removed by an earlier sweep: gone, and not to be met again.
        if (item.fate == SweptFate::kDone) continue;
        if (cancelled) {
          // Not come to before the cancel: what would go was not reached;
          // what would stay, or what an earlier sweep left or missed,
          // stands as it was.
          if (StillToGo(item)) {
            item.fate = SweptFate::kNotReached;
            ++m_lastSweep.notMet;
          }
          continue;
        }
        // Gone before the sweep came, or no longer matched.
        item.fate = SweptFate::kNotMet;
        ++m_lastSweep.notMet;
        continue;
      }
      const OutcomeRecord& r = *hit->second;
      item.sweptOutcome = r.outcome;
      item.fate = r.numbered ? SweptFate::kDone : SweptFate::kLeft;
      if (r.numbered) {
        item.kb = r.kb;
        ++m_lastSweep.removed;
        m_lastSweep.kb += r.kb;
        m_lastSweep.fresh += item.fresh;
      } else {
        ++m_lastSweep.left;
      }
      if (!r.reason.empty()) item.reason = r.reason;
      names.erase(hit);
    }
    // What is left was found by the sweep alone.
    for (const auto& name : names) {
      const OutcomeRecord& r = *name.second;
      PreviewItem item{r.item, r.kb, r.outcome, r.reason};
      item.fate = r.numbered ? SweptFate::kDone : SweptFate::kLeft;
      item.sweptOutcome = r.outcome;
      item.fresh = true;
      if (r.numbered) {
        ++m_lastSweep.removed;
        m_lastSweep.kb += r.kb;
        ++m_lastSweep.fresh;
      } else {
        ++m_lastSweep.left;
      }
      row.items.push_back(static_cast<uint32_t>(m_items.size()));
      m_items.push_back(std::move(item));
    }
    // The figures are those of the items listed, so that they add up: every
    // item listed was removed, left, or not met.
    row.sweptCount = row.sweptLeft = row.sweptNotMet = row.sweptFresh = 0;
    row.sweptKb = 0.0;
    for (uint32_t n : row.items) {
      const PreviewItem& item = m_items[n];
      if (item.fate == SweptFate::kDone) {
        ++row.sweptCount;
        row.sweptKb += item.kb;
        if (item.fresh) ++row.sweptFresh;
      } else if (item.fate == SweptFate::kLeft || item.fate == SweptFate::kNotSwept) {
        // Left by a sweep, or what the preview said would stay and a
        // cancelled sweep never came to: it is still there.
        ++row.sweptLeft;
      } else {
        ++row.sweptNotMet;
      }
    }
    ++m_lastSweep.entries;
  }
  m_bHasSweep = true;
  Resort();
}

void PreviewTableModel::TickAll(bool on) {
  for (size_t i : m_shown) m_rows[i].ticked = on && m_rows[i].Choosable();
}

std::string PreviewTableModel::SummaryText() const {
  std::string text;
  // A sweep the table did not take in (the tray's Sweep Now, the schedule,
  // a browser that closed) may have removed what the rows list.
  if (m_bStale) text = "A sweep ran since this preview: preview again to see what is left.\r\n";
  if (m_bHasSweep) {
    const SweepTotals& t = m_lastSweep;
    // A cancelled sweep may never have opened most of what was chosen: it
    // says how far it came.
    text += t.cancelled ? std::string(kCancelledLine) + " Reached " + WithSeparators(t.entries) + " of " +
                             Plural(static_cast<long long>(t.chosen), "entry", "entries")
                       : "Swept " + Plural(static_cast<long long>(t.entries), "entry", "entries");
    text += ": " + Plural(t.removed, "item", "items") + ", " + FormatSize(t.kb) + " removed";
    if (t.fresh != 0) text += ", " + WithSeparators(static_cast<unsigned long long>(t.fresh)) + " of them new since the preview";
    if (t.left != 0) text += "; " + Plural(t.left, "item", "items") + " left";
    if (t.notMet != 0)
      text += "; " + Plural(t.notMet, "item", "items") + (t.cancelled ? " not reached" : " not met by the sweep");
    text += ".\r\n";
    if (t.earlierNotReached != 0)
      text += "An earlier cancelled sweep never reached " + Plural(t.earlierNotReached, "item", "items") + " in " +
              Plural(static_cast<long long>(t.earlierEntries), "entry", "entries") + ".\r\n";
  } else if (m_bPreviewCancelled) {
    // A preview stopped part of the way lists only what it met by then.
    text += "The preview was cancelled: it lists only what it met before the cancel.\r\n";
  }
  // A row swept since the preview no longer holds what the preview found:
  // its figures are not offered again as what a sweep would take.
  size_t choosable = 0, ticked = 0, sweptTicked = 0;
  long long items = 0;
  double kb = 0.0;
  for (size_t i : m_shown) {
    const PreviewRow& row = m_rows[i];
    if (!row.Choosable()) continue;
    ++choosable;
    if (!row.ticked) continue;
    ++ticked;
    if (row.swept) {
      ++sweptTicked;
      // A sweep cancelled before it reached an item left it as the preview found it.
      for (uint32_t n : row.items)
        if (m_items[n].fate == SweptFate::kNotReached && Removes(m_items[n].outcome)) {
          ++items;
          kb += m_items[n].kb;
        }
      continue;
    }
    items += row.count;
    kb += row.kb;
  }
  // A sweep takes a chosen entry whole: after a cancelled preview, an entry
  // it cut short holds more than it listed.
  text += WithSeparators(ticked) + " of " + Plural(static_cast<long long>(choosable), "entry", "entries") + " ticked";
  // Its figures are no longer what a sweep of the ticks would take.
  if (!m_bStale)
    text += std::string(": ") + (m_bPreviewCancelled && ticked != 0 ? "at least " : "") +
            Plural(items, "item", "items") + ", " + FormatSize(kb) + " would be swept";
  if (sweptTicked != 0 && !m_bStale)
    text += "; " + WithSeparators(sweptTicked) + (sweptTicked == 1 ? " of them was" : " of them were") +
            " swept since the preview (a new preview shows what they hold now)";
  text += ".";
  if (m_shown.size() != m_rows.size())
    text += " Filter: " + WithSeparators(m_shown.size()) + " of " + WithSeparators(m_rows.size()) + " shown.";
  // The entries that would remove nothing follow the filter as the rows do.
  // They have no row: the first few are named, so that a user can tell which.
  constexpr size_t kNamed = 3;
  size_t nothing = 0;
  std::string names;
  for (const auto& entry : m_nothing) {
    if (!m_filter.empty() && entry.second.find(m_filter) == std::string::npos) continue;
    if (nothing++ < kNamed) names += (names.empty() ? "" : ", ") + entry.first;
  }
  if (nothing != 0) {
    // After a cancel, an entry that had met nothing may have been cut short:
    // it is not said to hold nothing.
    text += " " + Plural(static_cast<long long>(nothing), "entry", "entries") +
            (m_bPreviewCancelled ? " had met nothing by the cancel: " : " would remove nothing: ") +
            names;
    if (nothing > kNamed) text += " and " + WithSeparators(nothing - kNamed) + " more";
    text += ".";
  }
  return text;
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
      return WithSeparators(static_cast<unsigned long long>(row.count));
    case kKB:
      return FormatSize(row.kb);
    case kLeft:
      return LeftOf(row) == 0 ? std::string() : WithSeparators(static_cast<unsigned long long>(LeftOf(row)));
    case kSweptItems:
      // A row no sweep has run, chosen for one that a cancel kept from it,
      // says so; one swept before keeps the figures of that sweep.
      if (row.notReached && !row.swept) return "not reached";
      return row.swept ? WithSeparators(static_cast<unsigned long long>(row.sweptCount)) : std::string();
    case kSweptKB:
      return row.swept ? FormatSize(row.sweptKb) : std::string();
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
      return FormatSize(item.kb);
    case 2: {
      std::string text;
      switch (item.fate) {
        case SweptFate::kNotSwept:
          text = OutcomeText(item.outcome, false);
          break;
        case SweptFate::kNotMet:
        case SweptFate::kNotReached:
          text = NotMetText(item.fate);
          break;
        default:
          text = OutcomeText(item.sweptOutcome, true);
          break;
      }
      if (item.fresh) text += " (new since the preview)";
      if (!item.reason.empty() && (item.fate == SweptFate::kNotSwept ? !Removes(item.outcome) : item.fate == SweptFate::kLeft))
        text += ": " + item.reason;
      return text;
    }
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
        return LeftOf(r);
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
  std::string text = "Category,Entry,Item,Size (KB),What becomes of it,Reason\r\n";
  text.reserve(m_items.size() * 128);
  for (const PreviewRow& row : m_rows) {
    for (uint32_t n : row.items) {
      const PreviewItem& item = m_items[n];
      const bool swept = item.fate == SweptFate::kDone || item.fate == SweptFate::kLeft;
      AppendField(text, CategoryText(row.category));
      text += ',';
      AppendField(text, row.entry);
      text += ',';
      AppendField(text, item.item);
      text += ',';
      text += FormatKB(item.kb);
      text += ',';
      std::string fate = NotMet(item.fate) ? NotMetText(item.fate)
                                           : OutcomeText(swept ? item.sweptOutcome : item.outcome, swept);
      if (item.fresh) fate += " (new since the preview)";
      AppendField(text, fate);
      text += ',';
      if (!Removes(swept ? item.sweptOutcome : item.outcome)) AppendField(text, item.reason);
      text += "\r\n";
    }
  }
  return text;
}

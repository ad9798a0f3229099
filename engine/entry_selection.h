// A one-off choice of entries: "Sweep Selected" sweeps the targets and rule
// entries the user ticked in the preview table, and only those, without
// touching the stored choices. The selection travels with the sweep request
// (SweepWorker::RequestSelected); the category thread puts it in force for
// itself (SelectionScope), and every step and rule entry asks EntryChosen
// before it runs. The stored choices still gate as usual: a selection can
// only narrow a sweep, never widen it.
#pragma once
#include <memory>
#include <set>
#include <string>
#include <utility>

class EntrySelection {
 public:
  void Add(int category, const std::string& entry) { m_entries.emplace(category, entry); }
  bool Contains(int category, const std::string& entry) const {
    return m_entries.count(std::make_pair(category, entry)) != 0;
  }
  bool Empty() const { return m_entries.empty(); }
  size_t Size() const { return m_entries.size(); }
  // The SweepBits of the categories that have a chosen entry.
  int CategoryBits() const;

 private:
  std::set<std::pair<int, std::string>> m_entries;
};

using SharedSelection = std::shared_ptr<const EntrySelection>;

// True when no selection is in force on this thread, or the entry is in it.
bool EntryChosen(int category, const std::string& entry);

// Puts a selection in force on this thread (null: none, every entry runs) and
// restores the previous one when it goes out of scope.
class SelectionScope {
 public:
  explicit SelectionScope(SharedSelection selection);
  ~SelectionScope();
  SelectionScope(const SelectionScope&) = delete;
  SelectionScope& operator=(const SelectionScope&) = delete;

 private:
  SharedSelection m_selection;
  const EntrySelection* m_previous;
};

#include "engine/entry_selection.h"

#include "engine/sweep_worker.h"

namespace {
// A plain pointer, owned by the scope that set it (see outcome_ledger.cpp on
// thread-locals with destructors).
thread_local const EntrySelection* t_selection = nullptr;
}  // namespace

int EntrySelection::CategoryBits() const {
  int bits = 0;
  for (const auto& chosen : m_entries) {
    switch (chosen.first) {
      case SWEEP_CATEGORY_WINDOWS:
        bits |= SWEEP_WINDOWS;
        break;
      case SWEEP_CATEGORY_INTERNET:
        bits |= SWEEP_INTERNET;
        break;
      case SWEEP_CATEGORY_APPLICATIONS:
        bits |= SWEEP_APPLICATIONS;
        break;
      default:
        break;
    }
  }
  return bits;
}

bool EntryChosen(int category, const std::string& entry) {
  return t_selection == nullptr || t_selection->Contains(category, entry);
}

SelectionScope::SelectionScope(SharedSelection selection)
    : m_selection(std::move(selection)), m_previous(t_selection) {
  t_selection = m_selection.get();
}

SelectionScope::~SelectionScope() { t_selection = m_previous; }

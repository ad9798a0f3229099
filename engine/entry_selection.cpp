#include "engine/entry_selection.h"

#include "engine/sweep_worker.h"

namespace {
thread_local SharedSelection t_selection;
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

SelectionScope::SelectionScope(SharedSelection selection) : m_previous(std::move(t_selection)) {
  t_selection = std::move(selection);
}

SelectionScope::~SelectionScope() { t_selection = std::move(m_previous); }

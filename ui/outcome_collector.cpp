#include "ui/outcome_collector.h"

void OutcomeCollector::Attach() {
  Detach();
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_records.clear();
    m_opened.clear();
  }
  AttachOutcomeSink(this);
  m_bAttached = true;
}

void OutcomeCollector::Detach() {
  if (!m_bAttached) return;
  DetachOutcomeSink(this);
  m_bAttached = false;
}

void OutcomeCollector::Record(const OutcomeRecord& record) {
  // A removal the log does not number is part of a numbered item (a value
  // of a key that goes) or counted nowhere: the table lists neither, and
  // keeping them would double what a large sweep holds. A folder left for
  // an item inside it is kept: the table shows it as left, not unmet.
  if (!record.numbered && !OutcomeNotRemoved(record.outcome) && record.outcome != Outcome::kGuarded &&
      record.outcome != Outcome::kHoldsLeftItem)
    return;
  std::lock_guard<std::mutex> hold(m_lock);
  m_records.push_back(record);
}

void OutcomeCollector::EntryOpened(int category, const std::string& entry, bool) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_opened.emplace_back(category, entry);
}

std::vector<OutcomeRecord> OutcomeCollector::TakeRecords() {
  std::lock_guard<std::mutex> hold(m_lock);
  return std::move(m_records);
}

std::vector<OpenedEntry> OutcomeCollector::TakeOpened() {
  std::lock_guard<std::mutex> hold(m_lock);
  return std::move(m_opened);
}

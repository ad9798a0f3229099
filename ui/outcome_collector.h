// OutcomeCollector: an outcome sink that keeps the records of items (numbered
// ones and those that stay) and every entry opened while it is attached, for
// the preview table. Records come from the
// category threads, several at once; Take hands them over once it is
// detached (the ledger's Detach waits for calls still inside).
#pragma once
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/outcome_ledger.h"

using OpenedEntry = std::pair<int, std::string>;

class OutcomeCollector : public OutcomeSink {
 public:
  OutcomeCollector() = default;
  ~OutcomeCollector() override { Detach(); }
  OutcomeCollector(const OutcomeCollector&) = delete;
  OutcomeCollector& operator=(const OutcomeCollector&) = delete;

  // Starts afresh: what was kept before is dropped.
  void Attach();
  void Detach();
  bool IsAttached() const { return m_bAttached; }

  void Record(const OutcomeRecord& record) override;
  void EntryOpened(int category, const std::string& entry, bool preview) override;

  // What was kept, moved out; call once detached.
  std::vector<OutcomeRecord> TakeRecords();
  std::vector<OpenedEntry> TakeOpened();

 private:
  std::mutex m_lock;
  std::vector<OutcomeRecord> m_records;
  std::vector<OpenedEntry> m_opened;
  bool m_bAttached = false;
};

// A one-off selection of entries travels with a sweep request: the category
// runs only the steps and entries chosen, the stored choices still gate, and
// the records of each step carry the step's name.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/entry_selection.h"
#include "engine/outcome_ledger.h"
#include "engine/sweep_worker.h"
#include "settings/settings_groups.h"
#include "support/sweep_table_swap.h"
#include "support/test_env.h"

namespace {

using Named = std::pair<int, std::string>;

// Keeps the records and the entries opened, from any thread.
struct Sink : OutcomeSink {
  std::mutex lock;
  std::vector<OutcomeRecord> records;
  std::set<Named> opened;
  void Record(const OutcomeRecord& r) override {
    std::lock_guard<std::mutex> hold(lock);
    records.push_back(r);
  }
  void EntryOpened(int category, const std::string& entry, bool) override {
    std::lock_guard<std::mutex> hold(lock);
    opened.emplace(category, entry);
  }
};

HANDLE g_done = nullptr;

void RemovesOne(SweepWorker*, int* count, float* kb) {
  RecordOutcome(Outcome::kRemoved, "an item", 1.0);
  ++*count;
  *kb += 1.0f;
}

// A step that names its own target, as the reader and player cleaner does.
void NamesItsOwn(SweepWorker*, int* count, float* kb) {
  if (!EntryChosen(SWEEP_CATEGORY_APPLICATIONS, "Own")) return;
  EntryScope scope(SWEEP_CATEGORY_APPLICATIONS, "Own");
  RemovesOne(nullptr, count, kb);
}

void SignalsDone(SweepWorker*, int*, float*) { ::SetEvent(g_done); }

class EntrySelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_saved = g_ApplicationSettings.m_nTargets;
    g_ApplicationSettings.m_nTargets = 0x03;  // A and B on, C off
    AttachOutcomeSink(&m_sink);
    m_worker = new SweepWorker;
    m_worker->Start();
  }
  void TearDown() override {
    m_worker->Quit();
    DetachOutcomeSink(&m_sink);
    ::CloseHandle(g_done);
    g_ApplicationSettings.m_nTargets = m_saved;
  }

  // Runs the Applications category as requested and returns the entries
  // whose items went.
  std::set<std::string> Run(const std::function<void(SweepWorker*)>& request) {
    const SweepStep steps[] = {{10, true, 0x01, &RemovesOne, "A"},
                               {20, true, 0x02, &RemovesOne, "B"},
                               {30, true, 0x04, &RemovesOne, "C"},
                               {-1, true, 0, &NamesItsOwn},
                               {100, false, 0, &SignalsDone}};
    SweepTableSwap swap(ApplicationsSweepTable(), steps, 5);
    m_worker->Lock();
    request(m_worker);
    m_worker->Unlock();
    EXPECT_EQ(::WaitForSingleObject(g_done, 20000), WAIT_OBJECT_0);
    while (m_worker->IsAnyRunning()) ::Sleep(5);
    std::set<std::string> swept;
    std::lock_guard<std::mutex> hold(m_sink.lock);
    for (const OutcomeRecord& r : m_sink.records) {
      EXPECT_EQ(r.category, SWEEP_CATEGORY_APPLICATIONS);
      EXPECT_TRUE(m_sink.opened.count(Named(r.category, r.entry))) << r.entry << " recorded without being opened";
      swept.insert(r.entry);
    }
    return swept;
  }

  static SharedSelection Choose(std::vector<Named> entries) {
    auto selection = std::make_shared<EntrySelection>();
    for (const Named& e : entries) selection->Add(e.first, e.second);
    return selection;
  }

  Sink m_sink;
  SweepWorker* m_worker = nullptr;
  int m_saved = 0;
};

constexpr int kApps = SWEEP_CATEGORY_APPLICATIONS;

TEST_F(EntrySelectionTest, OnlyTheChosenEntriesRunAndTheStoredChoicesStillGate) {
  const struct {
    const char* what;
    std::vector<Named> chosen;
    std::set<std::string> swept;
  } cases[] = {
      {"two of them", {{kApps, "A"}, {kApps, "Own"}}, {"A", "Own"}},
      {"one whose box is off", {{kApps, "C"}}, {}},
      {"the right name in another category", {{SWEEP_CATEGORY_WINDOWS, "B"}}, {}},
      {"a name no step has", {{kApps, "Nothing"}}, {}},
      {"nothing", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    {
      std::lock_guard<std::mutex> hold(m_sink.lock);
      m_sink.records.clear();
      m_sink.opened.clear();
    }
    ::ResetEvent(g_done);
    const SharedSelection selection = Choose(c.chosen);
    EXPECT_EQ(Run([&](SweepWorker* w) { w->RequestSelected(SWEEP_APPLICATIONS, selection); }), c.swept);
    EXPECT_EQ(m_worker->SelectionOf(kApps), selection);
    EXPECT_EQ(g_ApplicationSettings.m_nTargets, 0x03) << "a one-off changes no stored choice";
  }
}

TEST_F(EntrySelectionTest, APlainRequestBeforeTheStartMakesTheSweepWholeAgain) {
  const std::set<std::string> whole = {"A", "B", "Own"};
  EXPECT_EQ(Run([](SweepWorker* w) {
              w->RequestSelected(SWEEP_APPLICATIONS, Choose({{kApps, "A"}}));
              w->RequestSweep(SWEEP_APPLICATIONS);
            }),
            whole);
  EXPECT_EQ(m_worker->SelectionOf(kApps), nullptr);
}

TEST_F(EntrySelectionTest, ASelectionCoversItsOwnRunOnly) {
  EXPECT_EQ(Run([](SweepWorker* w) { w->RequestSelected(SWEEP_APPLICATIONS, Choose({{kApps, "B"}})); }),
            std::set<std::string>{"B"});
  {
    std::lock_guard<std::mutex> hold(m_sink.lock);
    m_sink.records.clear();
  }
  ::ResetEvent(g_done);
  EXPECT_EQ(Run([](SweepWorker* w) { w->RequestSweep(SWEEP_APPLICATIONS); }),
            (std::set<std::string>{"A", "B", "Own"}));
}

}  // namespace

namespace {

// The Internet line has a thread procedure of its own (it may also run for
// closed browsers alone); a selection holds there as on the other lines.
TEST_F(EntrySelectionTest, TheInternetLineRunsOnlyItsChosenEntries) {
  const SweepStep steps[] = {{10, true, 0x01, &RemovesOne, "A"},
                             {20, true, 0x02, &RemovesOne, "B"},
                             {100, false, 0, &SignalsDone}};
  SweepTableSwap swap(InternetSweepTable(), steps, 3);
  const int saved = g_InternetSettings.m_nTargets;
  g_InternetSettings.m_nTargets = 0x03;
  m_worker->Lock();
  m_worker->RequestSelected(SWEEP_INTERNET, Choose({{SWEEP_CATEGORY_INTERNET, "B"}}));
  m_worker->Unlock();
  EXPECT_EQ(::WaitForSingleObject(g_done, 20000), WAIT_OBJECT_0);
  while (m_worker->IsAnyRunning()) ::Sleep(5);
  g_InternetSettings.m_nTargets = saved;
  std::set<std::string> swept;
  std::lock_guard<std::mutex> hold(m_sink.lock);
  for (const OutcomeRecord& r : m_sink.records)
    if (!r.numbered) swept.insert(r.entry);
  EXPECT_EQ(swept, std::set<std::string>({"B"}));
}

}  // namespace

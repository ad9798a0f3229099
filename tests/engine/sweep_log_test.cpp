#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "engine/sweep_log.h"
#include "support/test_env.h"
#include "winlib/thread.h"

TEST(SweepLog, WithoutAWindowEveryCallIsHarmless) {
  DetachProgressSink();
  LogLine("x\n", IDC_STATUS_WINDOWS);
  LogStamped("x", 0);
  SetProgress(IDC_PROGRESS_WINDOWS, 50);
  AddTotals(3, 1.0f);
  ShowTotals();
  ResetProgress();
  int count = 0;
  LogItem(&count, IDC_STATUS_WINDOWS, "   ", "gone\n");
  EXPECT_EQ(count, 1) << "counting goes on without a window";
}

TEST(SweepLog, LinesStatusLinesStampsAndBars) {
  ProgressRecorder rec;
  LogLine("plain\n", 0);
  LogLine("shown\n", IDC_STATUS_INTERNET);
  LogStamped("Start a thread.", 0);
  SetProgress(IDC_PROGRESS_WINDOWS, 150);
  SetProgress(IDC_PROGRESS_INTERNET, 40);
  auto lines = rec.LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "plain\n");
  EXPECT_EQ(rec.ItemText(IDC_STATUS_INTERNET), "shown\n");
  EXPECT_EQ(rec.ItemText(IDC_STATUS_WINDOWS), "");
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("Start a thread\\. @ \\d\\d:\\d\\d - [A-Z][a-z]{2} \\d\\d \\d{4}\n")))
      << lines[2];
  EXPECT_EQ(rec.BarPos(IDC_PROGRESS_WINDOWS), 100);
  EXPECT_EQ(rec.BarPos(IDC_PROGRESS_INTERNET), 40);
}

// A line of any length names its item in full: 200 CJK characters take 600
// bytes in UTF-8, past any fixed line buffer.
TEST(SweepLog, LongLinesNameTheirItemInFull) {
  ProgressRecorder rec;
  int count = 0;
  std::string cjk;
  for (int i = 0; i < 200; ++i) cjk += "\xE6\x96\x87";  // U+6587
  const std::string longPath = "C:\\t\\" + cjk + ".txt";
  LogItem(&count, IDC_STATUS_WINDOWS, "   ", "Remove file: %s, size %.3f(KB).\n", longPath.c_str(), 1.0);
  LogItem(nullptr, IDC_STATUS_WINDOWS, "   ", "Remove file: %s, size %.3f(KB).\n", longPath.c_str(), 1.0);
  LogFormat(0, "  Skipped %s: %s.\n", longPath.c_str(), "why");
  const std::string tenThousand(10000, 'q');
  LogItem(&count, IDC_STATUS_WINDOWS, "   ", "%s\n", tenThousand.c_str());
  EXPECT_EQ(count, 2);
  const auto lines = rec.LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "   Item 1, Remove file: " + longPath + ", size 1.000(KB).\n");
  EXPECT_EQ(lines[1], "   Remove file: " + longPath + ", size 1.000(KB).\n");
  EXPECT_EQ(lines[2], "  Skipped " + longPath + ": why.\n");
  EXPECT_EQ(lines[3], "   Item 2, " + tenThousand + "\n");
  EXPECT_EQ(rec.ItemText(IDC_STATUS_WINDOWS), lines[3]);
}

TEST(SweepLog, CountedItemsAreNumberedAndEchoedUncountedOnesAreNot) {
  ProgressRecorder rec;
  int count = 4;
  LogItem(&count, IDC_STATUS_WINDOWS, "   ", "Remove file: %s, size %.3f(KB).\n", "C:\\t\\a.txt", 1.5);
  LogItem(nullptr, IDC_STATUS_WINDOWS, "  ", "Delete value: %s\n", "x");
  EXPECT_EQ(count, 5);
  auto lines = rec.LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "   Item 5, Remove file: C:\\t\\a.txt, size 1.500(KB).\n");
  EXPECT_EQ(lines[1], "  Delete value: x\n");
  EXPECT_EQ(rec.ItemText(IDC_STATUS_WINDOWS), lines[0]);
}

TEST(SweepLog, TotalsAccumulateShowAndReset) {
  ProgressRecorder rec;
  AddTotals(3, 1.25f);
  AddTotals(3, 0.1f);
  ShowTotals();
  EXPECT_EQ(rec.ItemText(IDC_TOTALS), "Total: 6 item(s) swept, 1.350 KB restored.");
  ResetProgress();
  for (int id : {IDC_STATUS_WINDOWS, IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS, IDC_TOTALS})
    EXPECT_EQ(rec.ItemText(id), "Waiting to start sweeping") << id;
  for (int id : {IDC_PROGRESS_WINDOWS, IDC_PROGRESS_INTERNET, IDC_PROGRESS_APPLICATIONS}) EXPECT_EQ(rec.BarPos(id), 0);
  EXPECT_EQ(rec.Caption(), "Sweeping Progress");
  EXPECT_EQ(rec.m_nTotalItems, 0);
  EXPECT_EQ(rec.m_fTotalKB, 0.0f);
  ShowTotals();
  EXPECT_EQ(rec.ItemText(IDC_TOTALS), "Total: 0 item(s) swept, 0.000 KB restored.");
}

TEST(SweepLog, NoTotalsLineMeansNoTotalsText) {
  ProgressRecorder rec;
  rec.m_hasTotalsLine = false;
  AddTotals(2, 0.0f);
  ShowTotals();
  EXPECT_EQ(rec.ItemText(IDC_TOTALS), "");
  EXPECT_EQ(rec.m_nTotalItems, 2);
}

namespace {
struct Writer {
  int id;
  int lines;
};

unsigned WriteNumbered(void* p) {
  auto* w = static_cast<Writer*>(p);
  for (int i = 0; i < w->lines; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "thread %d line %05d of a sweep\n", w->id, i);
    LogLine(buf, w->id == 0 ? 0 : IDC_STATUS_WINDOWS);
  }
  return 0;
}
}  // namespace

TEST(SweepLog, ThreeCategoriesAndTheGuiThreadLoseMixOrDoubleNoLine) {
  ProgressRecorder rec;
  const int kLines = 10000;
  Writer writers[3] = {{1, kLines}, {2, kLines}, {3, kLines}};
  Thread* threads[3];
  for (int i = 0; i < 3; ++i) threads[i] = Thread::Begin(&WriteNumbered, &writers[i], false);
  Writer gui{0, 2000};
  WriteNumbered(&gui);
  for (Thread* t : threads) {
    ASSERT_TRUE(t->Wait(60000));
    delete t;
  }
  std::map<int, int> next;  // per writer, the next line number expected
  const std::regex shape("thread (\\d) line (\\d{5}) of a sweep\n");
  size_t total = 0;
  for (const auto& line : rec.LogLines()) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << "mixed or cut line: " << line;
    int id = std::stoi(m[1]);
    int n = std::stoi(m[2]);
    EXPECT_EQ(n, next[id]) << "writer " << id << " out of order or doubled";
    next[id] = n + 1;
    ++total;
  }
  EXPECT_EQ(total, 3u * kLines + 2000u);
  EXPECT_EQ(next[1], kLines);
  EXPECT_EQ(next[0], 2000);
}

namespace {
std::atomic<bool> g_stopWriting{false};
unsigned WriteUntilStopped(void*) {
  while (!g_stopWriting.load()) {
    LogLine("busy\n", IDC_STATUS_APPLICATIONS);
    SetProgress(IDC_PROGRESS_APPLICATIONS, 10);
    AddTotals(1, 0.5f);
  }
  return 0;
}
}  // namespace

TEST(SweepLog, NothingReachesASinkAfterItWasDetached) {
  for (int round = 0; round < 20; ++round) {
    g_stopWriting = false;
    ProgressRecorder rec(/*attach=*/false);
    AttachProgressSink(&rec);
    Thread* threads[3];
    for (Thread*& t : threads) t = Thread::Begin(&WriteUntilStopped, nullptr, false);
    ::Sleep(round % 3);
    DetachProgressSink();
    size_t atDetach = rec.Events().size();
    ::Sleep(5);
    EXPECT_EQ(rec.Events().size(), atDetach) << "a write reached a detached sink in round " << round;
    g_stopWriting = true;
    for (Thread* t : threads) {
      ASSERT_TRUE(t->Wait(10000));
      delete t;
    }
  }
}

// The Windows category end to end: SweepWindows on the seeder's traces, in a
// private registry and private folders, checked line by line against the log
// and against what is left in the registry and on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "catalogue/windows_targets.h"
#include "engine/preview.h"
#include "engine/removal_guard.h"
#include "support/snapshot.h"
#include "windows_fixture.h"

namespace {

const std::string kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const std::string kNtWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// The lines that open each step, and where the custom location's lines go.
const std::vector<std::string> kHeadings = {
    "Start clean up document historical records.\n", "Start clean up finding historical records.\n",
    "Start clean up running historical records.\n",  "Start clean up network historical records.\n",
    "Start clean up temporary files.\n",             "Clean up default logon user name.\n",
};

size_t IndexOf(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) - log.begin();
}

class WindowsSweep : public WindowsBench {
 protected:
  void SetUp() override {
    WindowsBench::SetUp();
    if (HasFatalFailure()) return;
    Seed();
    g_WindowsSettings.m_locations = {CustomLocation(places.work, "*.tmp", 0)};
    WindowsFakeBin::items = 2;
    WindowsFakeBin::bytes = 3072;
    // The removal guard asks the shell for the system's folders once per
    // process, and on that first call Wine's shell writes its defaults into
    // the (private) machine hive: let that happen before any picture.
    RemovalRefusal(places.temp + "\\*.*");
  }

  // Every file below C:\ and both private hives.
  SnapshotMap Picture() {
    SnapshotMap m;
    // Every file is listed; the system's large ones by size and time only.
    SnapshotFolder("C:", "C:\\", m, 64 * 1024);
    SnapshotKey("HKCU", HKEY_CURRENT_USER, "", m);
    SnapshotKey("HKLM", HKEY_LOCAL_MACHINE, "", m);
    return m;
  }
};

TEST_F(WindowsSweep, AllSevenBoxesAndOneLocationRunInOrderAndRemoveTheTraces) {
  SweepWindows(nullptr);
  const auto log = m_progress.LogLines();
  ASSERT_GE(log.size(), 3u);

  // The recycle bin first, with what it held counted as it was.
  EXPECT_EQ("  Clean up 'Recycle Bin'. Items 2, Size 3.000(KB)\n", log[0]);
  EXPECT_EQ("  Cleaned up 'Recycle Bin'.\n", log[1]);
  EXPECT_EQ(1, WindowsFakeBin::emptied);
  EXPECT_EQ(7u, WindowsFakeBin::flags);

  // Then the Recent folder's shortcuts, numbered from 3, before the heading.
  const size_t docs = IndexOf(log, kHeadings[0]);
  ASSERT_LT(docs, log.size());
  std::vector<std::string> recentLines(log.begin() + 2, log.begin() + docs);
  std::set<std::string> recentNames;
  for (size_t i = 0; i < recentLines.size(); ++i) {
    const std::string number = "   Item " + std::to_string(i + 3) + ", ";
    EXPECT_EQ(number, recentLines[i].substr(0, number.size()));
    recentNames.insert(recentLines[i].substr(recentLines[i].find(',') + 2));
  }
  EXPECT_EQ((std::set<std::string>{"Remove file: " + places.recent + "\\Quarterly report.doc.lnk, size 0.103(KB).\n",
                                   "Remove file: " + places.recent + "\\holiday.jpg.lnk, size 0.098(KB).\n",
                                   "Remove file: " + places.recent + "\\notes.txt.lnk, size 0.092(KB).\n"}),
            recentNames);

  // The headings in step order, each once.
  size_t last = 0;
  for (const auto& h : kHeadings) {
    const size_t at = IndexOf(log, h);
    ASSERT_LT(at, log.size()) << h;
    EXPECT_GE(at, last) << h;
    EXPECT_EQ(1, std::count(log.begin(), log.end(), h)) << h;
    last = at;
  }
  // Both shell-folder values name the Recent folder that was swept already:
  // each is named, neither sweeps it again.
  EXPECT_EQ(2, std::count_if(log.begin(), log.end(), [&](const std::string& l) {
              return l == "  Clean up directory: " + places.recent + ".\n";
            }));
  // %TMP% and %TEMP% name one folder: swept once. %TMPDIR% is not set.
  EXPECT_EQ(1, std::count(log.begin(), log.end(), std::string("  Clean up directory: %TMP%.\n")));
  EXPECT_EQ(0, std::count(log.begin(), log.end(), std::string("  Clean up directory: %TEMP%.\n")));

  // The custom location's lines come last, after the logon lines.
  const auto items = ItemLines(log);
  ASSERT_GE(items.size(), 2u);
  const size_t logon = IndexOf(log, kHeadings.back());
  EXPECT_EQ(log.size() - 2, IndexOf(log, items[items.size() - 2]));
  EXPECT_GT(IndexOf(log, items[items.size() - 2]), logon);
  std::set<std::string> custom{items[items.size() - 2].substr(items[items.size() - 2].find(',')),
                               items.back().substr(items.back().find(','))};
  EXPECT_EQ((std::set<std::string>{", Remove file: " + places.work + "\\a.tmp, size 1.465(KB).\n",
                                   ", Remove file: " + places.work + "\\build.tmp, size 0.684(KB).\n"}),
            custom);
  EXPECT_EQ(0, std::count(log.begin(), log.end(), std::string("Finished cleaning up.\n")));

  // Counting: every numbered line once, plus the recycle bin's two items.
  EXPECT_EQ(static_cast<int>(items.size()) + 2, m_progress.m_nTotalItems);
  EXPECT_EQ("   Item " + std::to_string(items.size() + 2), items.back().substr(0, items.back().find(',')));

  // What is left: the lists are empty, their order values reset, survivors kept.
  for (const char* key : {"\\RunMRU", "\\Map Network Drive MRU", "\\Doc Find Spec MRU", "\\ComDlg32\\OpenSaveMRU\\txt"}) {
    EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kExplorer + key, "a")) << key;
    EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorer + key, "MRUList")) << key;
  }
  EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "DefaultUserName"));
  EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "Shell"));
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorer + "\\FileExts\\.txt\\OpenWithList", "a"));
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorer + "\\Advanced", "HideFileExt"));
  EXPECT_FALSE(FileExists(places.temp + "\\setup.log"));
  EXPECT_FALSE(FileExists(places.temp + "\\msi4f2a"));
  EXPECT_TRUE(FileExists(places.recent + "\\CustomDestinations\\keep.customDestinations-ms"));
  EXPECT_TRUE(FileExists(places.work + "\\keep.txt"));
  EXPECT_TRUE(FileExists(places.work + "\\sub\\b.tmp"));
  EXPECT_TRUE(FileExists(places.work + "\\cache.tmp\\inner.dat"));
  EXPECT_TRUE(FileExists(places.outside + "\\keep.txt"));
}

TEST_F(WindowsSweep, NothingOutsideTheSeededTracesChanges) {
  const SnapshotMap before = Picture();
  ASSERT_EQ("link", before.at("C:\\" + places.temp.substr(3) + "\\shared-docs")) << "the seeder made no folder link";
  SweepWindows(nullptr);
  const SnapshotDiff diff = CompareSnapshots(before, Picture());

  const std::string ex = "HKCU\\" + kExplorer;
  const std::string bar = "HKCU\\Software\\Microsoft\\Internet Explorer\\Explorer Bars\\"
                          "{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}";
  const std::string temp = "C:\\" + places.temp.substr(3);
  std::set<std::string> removed = {
      "C:\\" + places.recent.substr(3) + "\\Quarterly report.doc.lnk",
      "C:\\" + places.recent.substr(3) + "\\holiday.jpg.lnk",
      "C:\\" + places.recent.substr(3) + "\\notes.txt.lnk",
      temp + "\\~DF3A1B.tmp", temp + "\\setup.log", temp + "\\msi4f2a", temp + "\\msi4f2a\\part1.cab",
      temp + "\\msi4f2a\\inner", temp + "\\msi4f2a\\inner\\unpacked.dll",
      // A link may go as a link (the target below stays either way).
      temp + "\\shared-docs",
      "C:\\" + places.work.substr(3) + "\\a.tmp", "C:\\" + places.work.substr(3) + "\\build.tmp",
      ex + "\\FileExts\\text/plain", ex + "\\FileExts\\text/plain\\:Progid",
      ex + "\\RecentDocs\\:0", ex + "\\RecentDocs\\:MRUListEx", ex + "\\RecentDocs\\.txt\\:0",
      bar + "\\ContainingTextMRU\\:0", bar + "\\FilesNamedMRU\\:0", bar + "\\FilesNamedMRU\\:1",
      "HKLM\\" + kNtWinlogon + "\\:DefaultUserName", "HKLM\\" + kNtWinlogon + "\\:DefaultDomainName",
      "HKLM\\" + kNtWinlogon + "\\:AltDefaultUserName"};
  std::set<std::string> changed;
  for (const std::string key : {"\\ComDlg32\\LastVisitedMRU", "\\ComDlg32\\OpenSaveMRU", "\\ComDlg32\\OpenSaveMRU\\txt",
                                "\\ComDlg32\\OpenSaveMRU\\*", "\\Doc Find Spec MRU", "\\FindComputerMRU",
                                "\\RunMRU", "\\Map Network Drive MRU"}) {
    for (const char* v : {"a", "b", "c"}) removed.insert(ex + key + "\\:" + v);
    changed.insert(ex + key + "\\:MRUList");
  }
  const SnapshotDiff rest = Unexpected(diff, [&](const std::string& n) {
    return removed.count(n) != 0 || changed.count(n) != 0;
  });
  EXPECT_TRUE(rest.Empty()) << rest.Describe();
  for (const auto& n : diff.changed) EXPECT_TRUE(changed.count(n)) << n;
  EXPECT_TRUE(diff.added.empty()) << diff.Describe();
  EXPECT_NE(diff.removed.end(), std::find(diff.removed.begin(), diff.removed.end(), temp + "\\setup.log"));
}

TEST_F(WindowsSweep, PreviewListsWhatTheSweepThenRemovesAndChangesNothing) {
  const SnapshotMap before = Picture();
  std::vector<std::string> previewed;
  {
    WindowsWorker worker;
    worker->SetPreview(true);
    SweepWindows(worker.get());
    previewed = m_progress.LogLines();
  }
  const SnapshotDiff diff = CompareSnapshots(before, Picture());
  EXPECT_TRUE(diff.Empty()) << diff.Describe();
  EXPECT_EQ(0, WindowsFakeBin::emptied);
  EXPECT_FALSE(PreviewActive());

  ProgressRecorder real;  // a fresh log for the real sweep
  SweepWindows(nullptr);
  // The link's line may differ (a preview cannot know whether the system lets the link go).
  auto withoutLink = [](std::vector<std::string> lines) {
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.find("shared-docs") != std::string::npos; }),
                lines.end());
    return lines;
  };
  EXPECT_EQ(withoutLink(ItemLines(previewed)), withoutLink(ItemLines(real.LogLines())));
  EXPECT_GT(ItemLines(previewed).size(), 30u);
}

// A stop request during the Find step: the steps after it never run, and
// nothing is added to the totals.
SweepWorker* g_cancelWorker = nullptr;
void FindThenCancel(SweepWorker* worker, int* count, float* kb) {
  CleanFindHistory(worker, count, kb);
  g_cancelWorker->RequestCancel(SWEEP_WINDOWS);
}

TEST_F(WindowsSweep, CancelDuringFindStopsTheLaterSteps) {
  std::vector<SweepStep> steps(WindowsSweepTable().steps, WindowsSweepTable().steps + WindowsSweepTable().count);
  for (auto& s : steps)
    if (s.cleaner == &CleanFindHistory) s.cleaner = &FindThenCancel;
  SweepTable saved = WindowsSweepTable();
  WindowsSweepTable() = SweepTable{steps.data(), steps.size()};
  {
    WindowsWorker worker;
    g_cancelWorker = worker.get();
    SweepWindows(worker.get());
  }
  WindowsSweepTable() = saved;

  const auto log = m_progress.LogLines();
  EXPECT_LT(IndexOf(log, kHeadings[1]), log.size());
  for (size_t i = 2; i < kHeadings.size(); ++i) EXPECT_EQ(log.size(), IndexOf(log, kHeadings[i])) << kHeadings[i];
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorer + "\\RunMRU", "a"));
  EXPECT_TRUE(HasValue(HKEY_CURRENT_USER, kExplorer + "\\Map Network Drive MRU", "a"));
  EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "DefaultUserName"));
  EXPECT_TRUE(FileExists(places.temp + "\\setup.log"));
  EXPECT_TRUE(FileExists(places.work + "\\a.tmp"));
  // What went before the cancel is in the totals: at least every numbered item.
  int lastItem = 0;
  for (const auto& line : log) {
    const size_t at = line.find("Item ");
    if (at != std::string::npos) lastItem = std::max(lastItem, std::atoi(line.c_str() + at + 5));
  }
  EXPECT_GT(lastItem, 0);
  EXPECT_GE(m_progress.m_nTotalItems, lastItem);
  EXPECT_EQ(60, m_progress.BarPos(IDC_PROGRESS_WINDOWS)) << "stopped at the step after Find";
}

}  // namespace

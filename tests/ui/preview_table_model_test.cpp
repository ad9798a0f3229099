// The preview table's model: rows and sums from the ledger's records, the
// entries that would remove nothing, sorting, the filter, the ticks that make
// the one-off selection, the saved list, and a sweep's results beside the
// preview's.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "ui/preview_table_model.h"

namespace {

constexpr int kWin = SWEEP_CATEGORY_WINDOWS;
constexpr int kInet = SWEEP_CATEGORY_INTERNET;
constexpr int kApps = SWEEP_CATEGORY_APPLICATIONS;

OutcomeRecord Rec(int category, const char* entry, const std::string& item, double kb,
                  Outcome outcome = Outcome::kRemoved, const char* reason = "") {
  OutcomeRecord r;
  r.category = category;
  r.entry = entry;
  r.item = item;
  r.kb = kb;
  r.outcome = outcome;
  r.reason = reason;
  r.preview = true;
  return r;
}

// Records as a sweep makes them: each removal is followed by the log's
// numbered line, which is what the rows count.
std::vector<OutcomeRecord> Swept(std::vector<OutcomeRecord> records) {
  std::vector<OutcomeRecord> out;
  for (OutcomeRecord& r : records) {
    const bool removes = r.outcome == Outcome::kRemoved || r.outcome == Outcome::kScheduled;
    OutcomeRecord line;
    line.category = r.category;
    line.entry = r.entry;
    line.numbered = true;
    out.push_back(std::move(r));
    if (removes) out.push_back(std::move(line));
  }
  return out;
}

// Temp: 3 items, 30 KB; Word: 2 items, 5 KB and one held; Cookie Files: 1
// item, 12 KB; MSN: only a refusal; Recycle Bin and Excel ran and found nothing.
class PreviewTableModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<OutcomeRecord> records = {
        Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10),
        Rec(kApps, "MS Word", "HKCU\\Software\\Word\\File1", 2),
        Rec(kInet, "Cookie Files", "C:\\Cookies\\x.txt", 12),
        Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 15),
        Rec(kApps, "MS Word", "C:\\Recent\\held.doc", 0, Outcome::kHeld, "another program holds it"),
        Rec(kApps, "MS Word", "C:\\Recent\\r.lnk", 3, Outcome::kScheduled),
        Rec(kInet, "MSN", "HKCU\\Software\\MSN\\bad", 0, Outcome::kRefused, "damaged"),
        Rec(kWin, "Temporary File Folder", "C:\\T\\c.tmp", 5),
    };
    m_model.SetPreview(Swept(records), {{kWin, "Temporary File Folder"},
                                 {kWin, "Recycle Bin"},
                                 {kApps, "MS Word"},
                                 {kApps, "MS Excel"},
                                 {kInet, "Cookie Files"},
                                 {kInet, "MSN"},
                                 {kWin, "Recycle Bin"}});
  }

  std::vector<std::string> Shown() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < m_model.RowCount(); ++i) names.push_back(m_model.RowAt(i).entry);
    return names;
  }

  PreviewTableModel m_model;
};

TEST_F(PreviewTableModelTest, RowsAddUpToThePreviewTotals) {
  EXPECT_EQ(m_model.TotalItems(), 6);
  EXPECT_DOUBLE_EQ(m_model.TotalKB(), 47.0);
  EXPECT_EQ(m_model.NothingCount(), 2u) << "Recycle Bin (opened twice) and Excel";
  EXPECT_EQ(Shown(), (std::vector<std::string>{"Temporary File Folder", "Cookie Files", "MS Word", "MSN"}))
      << "largest first";
  const struct {
    size_t row;
    const char* items;
    const char* kb;
    const char* left;
  } cells[] = {{0, "3", "30.000", ""}, {1, "1", "12.000", ""}, {2, "2", "5.000", "1"}, {3, "0", "0.000", "1"}};
  for (const auto& c : cells) {
    EXPECT_EQ(m_model.CellText(c.row, PreviewTableModel::kItems), c.items) << c.row;
    EXPECT_EQ(m_model.CellText(c.row, PreviewTableModel::kKB), c.kb) << c.row;
    EXPECT_EQ(m_model.CellText(c.row, PreviewTableModel::kLeft), c.left) << c.row;
    EXPECT_EQ(m_model.CellText(c.row, PreviewTableModel::kSweptItems), "") << "no sweep yet";
    EXPECT_TRUE(m_model.RowAt(c.row).ticked) << "ticked by default";
  }
  // A refusal's reason shows beside its item.
  ASSERT_EQ(m_model.RowAt(2).items.size(), 3u);
  EXPECT_EQ(m_model.ItemCellText(2, 1, 0), "C:\\Recent\\held.doc");
  EXPECT_EQ(m_model.ItemCellText(2, 1, 2), "in use: another program holds it");
  EXPECT_EQ(m_model.ItemCellText(3, 0, 2), "refused: damaged");
}

TEST_F(PreviewTableModelTest, HeadersSortAndTheSameHeaderTurnsTheOrderRound) {
  using V = std::vector<std::string>;
  const struct {
    int column;
    V order;
  } clicks[] = {
      {PreviewTableModel::kEntry, {"Cookie Files", "MS Word", "MSN", "Temporary File Folder"}},
      {PreviewTableModel::kEntry, {"Temporary File Folder", "MSN", "MS Word", "Cookie Files"}},
      {PreviewTableModel::kItems, {"Temporary File Folder", "MS Word", "Cookie Files", "MSN"}},
      {PreviewTableModel::kItems, {"MSN", "Cookie Files", "MS Word", "Temporary File Folder"}},
      // Ties (Applications has one row, Internet two) fall back to the largest first.
      {PreviewTableModel::kCategory, {"MS Word", "Cookie Files", "MSN", "Temporary File Folder"}},
      {PreviewTableModel::kLeft, {"MS Word", "MSN", "Temporary File Folder", "Cookie Files"}},
      {PreviewTableModel::kKB, {"Temporary File Folder", "Cookie Files", "MS Word", "MSN"}},
  };
  for (const auto& c : clicks) {
    m_model.SortBy(c.column);
    EXPECT_EQ(Shown(), c.order) << "column " << c.column;
  }
}

TEST_F(PreviewTableModelTest, TheFilterNarrowsTheRowsAndTheSelectionToWhatIsShownAndTicked) {
  const struct {
    const char* filter;
    std::vector<std::string> shown;
  } cases[] = {
      {"", {"Temporary File Folder", "Cookie Files", "MS Word", "MSN"}},
      {"ms", {"MS Word", "MSN"}},
      {"INTERNET", {"Cookie Files", "MSN"}},  // the category counts, case ignored
      {"file", {"Temporary File Folder", "Cookie Files"}},
      {"nowhere", {}},
  };
  for (const auto& c : cases) {
    m_model.SetFilter(c.filter);
    EXPECT_EQ(Shown(), c.shown) << c.filter;
  }
  m_model.SetFilter("ms");
  m_model.SetTicked(1, false);  // MSN
  EntrySelection chosen = m_model.Selection();
  EXPECT_EQ(chosen.Size(), 1u);
  EXPECT_TRUE(chosen.Contains(kApps, "MS Word"));
  EXPECT_EQ(chosen.CategoryBits(), SWEEP_APPLICATIONS);
  m_model.SetFilter("");
  chosen = m_model.Selection();
  EXPECT_EQ(chosen.Size(), 3u) << "the untick stays with its row";
  EXPECT_FALSE(chosen.Contains(kInet, "MSN"));
}

TEST_F(PreviewTableModelTest, TheListHoldsEveryItemThatWouldGoOnceWithItsColumns) {
  std::istringstream lines(m_model.ListText());
  std::vector<std::string> got;
  std::string line;
  while (std::getline(lines, line)) got.push_back(line);
  const std::vector<std::string> expected = {
      "Windows\tTemporary File Folder\tC:\\T\\a.tmp\t10.000\r",
      "Windows\tTemporary File Folder\tC:\\T\\b.tmp\t15.000\r",
      "Windows\tTemporary File Folder\tC:\\T\\c.tmp\t5.000\r",
      "Applications\tMS Word\tHKCU\\Software\\Word\\File1\t2.000\r",
      "Applications\tMS Word\tC:\\Recent\\r.lnk\t3.000\r",
      "Internet\tCookie Files\tC:\\Cookies\\x.txt\t12.000\r",
  };
  EXPECT_EQ(got, expected);

  // A registry name may hold a tab or a line break: the columns stay put.
  PreviewTableModel odd;
  odd.SetPreview(Swept({Rec(kWin, "Run\tHistory", "HKCU\\Run\\a\tb\r\nc", 0)}), {});
  EXPECT_EQ(odd.ListText(), "Windows\tRun History\tHKCU\\Run\\a b  c\t0.000\r\n");
}

TEST_F(PreviewTableModelTest, ASweepShowsWhatItRemovedBesideWhatThePreviewFound) {
  m_model.SetTicked(1, false);  // Cookie Files is left out
  const EntrySelection chosen = m_model.Selection();
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10),
                          Rec(kWin, "Temporary File Folder", "C:\\T\\new.tmp", 1),
                          Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 15), Rec(kApps, "MS Word", "x", 2)}),
                   chosen);
  EXPECT_TRUE(m_model.HasSweep());
  const struct {
    const char* entry;
    const char* swept;
    const char* sweptKb;
  } rows[] = {{"Temporary File Folder", "3", "26.000"},
              {"Cookie Files", "", ""},
              {"MS Word", "1", "2.000"},
              {"MSN", "0", "0.000"}};
  for (size_t i = 0; i < m_model.RowCount(); ++i) {
    EXPECT_EQ(m_model.RowAt(i).entry, rows[i].entry);
    EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kSweptItems), rows[i].swept) << rows[i].entry;
    EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kSweptKB), rows[i].sweptKb) << rows[i].entry;
  }
}

}  // namespace

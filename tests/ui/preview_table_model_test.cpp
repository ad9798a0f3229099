// The preview table's model: rows and sums from the ledger's records, the
// entries that would remove nothing, sorting, the filter, the ticks that make
// the one-off selection, the saved list, and a sweep's results beside the
// preview's.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "engine/sweep_worker.h"
#include "ui/outcome_collector.h"
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

// Records as a sweep makes them: each removal is recorded by the primitive,
// then numbered by the log, whose record names the item; the rows count and
// list the numbered ones. They reach the table through the window's collector.
std::vector<OutcomeRecord> Swept(std::vector<OutcomeRecord> records) {
  OutcomeCollector collector;
  for (OutcomeRecord& r : records) {
    const bool removes = r.outcome == Outcome::kRemoved || r.outcome == Outcome::kScheduled;
    OutcomeRecord line = r;
    line.numbered = true;
    collector.Record(r);
    if (removes) collector.Record(line);
  }
  return collector.TakeRecords();
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
  } cells[] = {{0, "3", "30 KB", ""}, {1, "1", "12 KB", ""}, {2, "2", "5.0 KB", "1"}, {3, "0", "0 KB", "1"}};
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

TEST_F(PreviewTableModelTest, TheListHoldsEveryItemOnceWithItsColumnsAndTheReasonsOfThoseThatStay) {
  std::istringstream lines(m_model.ListText());
  std::vector<std::string> got;
  std::string line;
  while (std::getline(lines, line)) got.push_back(line);
  const std::vector<std::string> expected = {
      "Category,Entry,Item,Size (KB),What becomes of it,Reason\r",
      "Windows,Temporary File Folder,C:\\T\\a.tmp,10.000,would be removed,\r",
      "Windows,Temporary File Folder,C:\\T\\b.tmp,15.000,would be removed,\r",
      "Windows,Temporary File Folder,C:\\T\\c.tmp,5.000,would be removed,\r",
      "Applications,MS Word,HKCU\\Software\\Word\\File1,2.000,would be removed,\r",
      "Applications,MS Word,C:\\Recent\\held.doc,0.000,in use,another program holds it\r",
      "Applications,MS Word,C:\\Recent\\r.lnk,3.000,would be removed at the next restart,\r",
      "Internet,Cookie Files,C:\\Cookies\\x.txt,12.000,would be removed,\r",
      "Internet,MSN,HKCU\\Software\\MSN\\bad,0.000,refused,damaged\r",
  };
  EXPECT_EQ(got, expected);

  // A registry name may hold a comma, a quote, a tab or a line break: the
  // field is quoted, so the columns and lines stay put.
  const struct {
    const char* entry;
    const char* item;
    const char* line;
  } odd[] = {
      {"Run\tHistory", "HKCU\\Run\\a\tb", "Windows,Run\tHistory,HKCU\\Run\\a\tb,0.000,would be removed,\r\n"},
      {"Run", "HKCU\\a,b", "Windows,Run,\"HKCU\\a,b\",0.000,would be removed,\r\n"},
      {"Run", "say \"hi\"\r\nthere", "Windows,Run,\"say \"\"hi\"\"\r\nthere\",0.000,would be removed,\r\n"},
  };
  for (const auto& c : odd) {
    PreviewTableModel model;
    model.SetPreview(Swept({Rec(kWin, c.entry, c.item, 0)}), {});
    const std::string text = model.ListText();
    EXPECT_EQ(text.substr(text.find("\r\n") + 2), c.line) << c.item;
  }
}

TEST(FormatSize, SizesReadInKbMbAndGbWithSeparators) {
  const struct {
    double kb;
    const char* text;
  } cases[] = {{0, "0 KB"},          {0.4, "0.4 KB"},         {9.96, "10 KB"},         {812.4, "812 KB"},
               {9999, "9,999 KB"},   {14923.139, "14.6 MB"},  {1048576, "1,024.0 MB"}, {5e7, "47.68 GB"},
               {-3, "0 KB"},
               // A file of a few bytes never reads as a zero of another form,
               // and no size rounds into the next unit's form.
               {0.001, "< 0.1 KB"},  {0.049, "< 0.1 KB"},     {0.05, "0.1 KB"},        {9999.6, "9.8 MB"},
               {10240000, "9.77 GB"}};
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.kb), c.text) << c.kb;
}

TEST_F(PreviewTableModelTest, TheSummaryFollowsTheTicksAndTheFilterAndThenSaysWhatTheSweepDid) {
  const char kNothing[] = " 2 entries would remove nothing: Recycle Bin, MS Excel.";
  EXPECT_EQ(m_model.SummaryText(), std::string("4 of 4 entries ticked: 6 items, 47 KB would be swept.") + kNothing);
  m_model.SetTicked(0, false);  // Temporary File Folder
  EXPECT_EQ(m_model.SummaryText(), std::string("3 of 4 entries ticked: 3 items, 17 KB would be swept.") + kNothing);
  // The filter narrows the entries that would remove nothing too: "ms" keeps
  // MS Excel, not the Recycle Bin.
  m_model.SetFilter("ms");
  const char kNothingShown[] = " 1 entry would remove nothing: MS Excel.";
  EXPECT_EQ(m_model.SummaryText(),
            std::string("2 of 2 entries ticked: 2 items, 5.0 KB would be swept. Filter: 2 of 4 shown.") + kNothingShown);
  m_model.TickAll(false);
  EXPECT_EQ(m_model.SummaryText(),
            std::string("0 of 2 entries ticked: 0 items, 0 KB would be swept. Filter: 2 of 4 shown.") + kNothingShown);
  m_model.SetFilter("cookie");
  EXPECT_EQ(m_model.SummaryText().find("would remove nothing"), std::string::npos);
  m_model.SetFilter("");
  m_model.TickAll(true);
  EXPECT_EQ(m_model.Selection().Size(), 4u);
  // Many such entries: the first few by name, and how many more.
  PreviewTableModel many;
  many.SetPreview({}, {{kWin, "E1"}, {kWin, "E2"}, {kWin, "E3"}, {kWin, "E4"}, {kWin, "E5"}});
  EXPECT_EQ(many.SummaryText(),
            "0 of 0 entries ticked: 0 items, 0 KB would be swept. 5 entries would remove nothing: E1, E2, E3 and 2 more.");
}

// However the records fall (parts of items, items that stay, numbered lines
// with their names), the Items column, the items listed and the saved lines
// agree, row by row and in all.
TEST(PreviewTableOneCount, ItemsColumnListedItemsAndSavedLinesAgree) {
  unsigned seed = 7;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  const char* const entries[] = {"A", "B", "C", "D"};
  for (int round = 0; round < 20; ++round) {
    std::vector<OutcomeRecord> records;
    int numbered = 0, left = 0;
    for (int i = 0; i < 60; ++i) {
      const char* entry = entries[next(4)];
      const std::string name = "item" + std::to_string(i);
      switch (next(4)) {
        case 0: {  // an item removed: the primitive's record, then the numbered one
          records.push_back(Rec(kWin, entry, name, 1));
          OutcomeRecord line = Rec(kWin, entry, name, 1);
          line.numbered = true;
          records.push_back(line);
          ++numbered;
          break;
        }
        case 1:  // a part of an item (a value of a key that goes): not an item
          records.push_back(Rec(kWin, entry, name + "\\part", 0));
          break;
        case 2:  // a row inside a database: numbered, no record of its own
        {
          OutcomeRecord line = Rec(kApps, entry, "cookie of host" + std::to_string(i), 0);
          line.numbered = true;
          records.push_back(line);
          ++numbered;
          break;
        }
        default:
          records.push_back(Rec(kInet, entry, name, 0, Outcome::kHeld, "held"));
          ++left;
      }
    }
    PreviewTableModel model;
    model.SetPreview(records, {});
    EXPECT_EQ(model.TotalItems(), numbered);
    int listedGoing = 0, listed = 0, column = 0;
    for (size_t r = 0; r < model.RowCount(); ++r) {
      const PreviewRow& row = model.RowAt(r);
      column += std::stoi(model.CellText(r, PreviewTableModel::kItems));
      int going = 0;
      for (size_t n = 0; n < row.items.size(); ++n)
        if (model.ItemOf(r, n).outcome == Outcome::kRemoved) ++going;
      EXPECT_EQ(going, row.count) << "row " << row.entry;
      listedGoing += going;
      listed += static_cast<int>(row.items.size());
    }
    EXPECT_EQ(column, numbered);
    EXPECT_EQ(listedGoing, numbered);
    EXPECT_EQ(listed, numbered + left);
    const std::string text = model.ListText();
    EXPECT_EQ(static_cast<int>(std::count(text.begin(), text.end(), '\n')), 1 + numbered + left);
  }
}

TEST_F(PreviewTableModelTest, ASweepShowsWhatItRemovedBesideWhatThePreviewFound) {
  m_model.SetTicked(1, false);  // Cookie Files is left out
  const EntrySelection chosen = m_model.Selection();
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10),
                          Rec(kWin, "Temporary File Folder", "C:\\T\\new.tmp", 1),
                          Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 15), Rec(kApps, "MS Word", "x", 2),
                          Rec(kInet, "MSN", "HKCU\\Software\\MSN\\bad", 0, Outcome::kRefused, "damaged")}),
                   chosen);
  EXPECT_TRUE(m_model.HasSweep());
  // Left says what the sweep left where it ran (MS Word's held file is gone,
  // MSN's value still refused), the preview's figure elsewhere.
  const struct {
    const char* entry;
    const char* swept;
    const char* sweptKb;
    const char* left;
  } rows[] = {{"Temporary File Folder", "3", "26 KB", ""},
              {"Cookie Files", "", "", ""},
              {"MS Word", "1", "2.0 KB", ""},
              {"MSN", "0", "0 KB", "1"}};
  for (size_t i = 0; i < m_model.RowCount(); ++i) {
    EXPECT_EQ(m_model.RowAt(i).entry, rows[i].entry);
    EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kSweptItems), rows[i].swept) << rows[i].entry;
    EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kSweptKB), rows[i].sweptKb) << rows[i].entry;
    EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kLeft), rows[i].left) << rows[i].entry;
  }
  // The texts say what happened, and what the sweep found that the preview
  // had not listed is named so.
  EXPECT_EQ(m_model.SummaryText(),
            "Swept 3 entries: 4 items, 28 KB removed, 2 of them new since the preview; 1 item left; 4 items not met "
            "by the sweep.\r\n3 of 4 entries ticked: 0 items, 0 KB would be swept; 3 of them were swept since the "
            "preview (a new preview shows what they hold now). 2 entries would remove nothing: Recycle Bin, MS Excel.");
  m_model.SetTicked(1, true);  // Cookie Files, not swept: its preview figures stand
  EXPECT_EQ(m_model.SummaryText().substr(m_model.SummaryText().find('\n') + 1, 52),
            "4 of 4 entries ticked: 1 item, 12 KB would be swept;");
  std::vector<std::string> fates;
  for (size_t n = 0; n < m_model.RowAt(0).items.size(); ++n)
    fates.push_back(m_model.ItemCellText(0, n, 0) + " " + m_model.ItemCellText(0, n, 2));
  EXPECT_EQ(fates, (std::vector<std::string>{"C:\\T\\a.tmp removed", "C:\\T\\b.tmp removed",
                                             "C:\\T\\c.tmp not met by the sweep",
                                             "C:\\T\\new.tmp removed (new since the preview)"}));
}

// A sweep cancelled part of the way: what it did not meet it never reached,
// and the summary, each such item and the saved list say why. A preview
// cancelled part of the way says it lists only what it met.
TEST_F(PreviewTableModelTest, ACancelledSweepSaysWhatItNeverReached) {
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10)}), m_model.Selection(),
                   /*cancelled=*/true);
  // It reached one of the four entries chosen; the items of the other
  // three it never reached either.
  EXPECT_EQ(m_model.SummaryText().substr(0, m_model.SummaryText().find('\r')),
            "Sweeping cancelled. Reached 1 of 4 entries: 1 item, 10 KB removed; 5 items not reached.");
  ASSERT_EQ(m_model.RowAt(0).entry, "Temporary File Folder");
  EXPECT_EQ(m_model.ItemCellText(0, 2, 2), "not reached: the sweep was cancelled");
  EXPECT_NE(m_model.ListText().find("C:\\T\\c.tmp,5.000,not reached: the sweep was cancelled,"), std::string::npos);
  // What the sweep never reached is still there, and still offered to the
  // ticks (b and c, Word's two, the cookie; not what would stay).
  EXPECT_NE(m_model.SummaryText().find("ticked: 5 items, 37 KB"), std::string::npos) << m_model.SummaryText();
  // The next sweep of the row, run to its end, speaks of what it did not meet again.
  EntrySelection temp;
  temp.Add(kWin, "Temporary File Folder");
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 15)}), temp);
  EXPECT_EQ(m_model.SummaryText().substr(0, m_model.SummaryText().find('\r')),
            "Swept 1 entry: 1 item, 15 KB removed; 1 item not met by the sweep.");

  PreviewTableModel cut;
  cut.SetPreview(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10)}), {{kWin, "Recycle Bin"}},
                 /*cancelled=*/true);
  // A sweep takes each chosen entry whole, and the entry the cancel cut
  // short holds more; an entry that had met nothing by the cancel may have
  // been cut short too, and is not said to hold nothing.
  EXPECT_EQ(cut.SummaryText(),
            "The preview was cancelled: it lists only what it met before the cancel.\r\n"
            "1 of 1 entry ticked: at least 1 item, 10 KB would be swept. 1 entry had met nothing by the cancel: "
            "Recycle Bin.");
  cut.TickAll(false);
  EXPECT_EQ(cut.SummaryText().substr(cut.SummaryText().find('\n') + 1, 53),
            "0 of 1 entry ticked: 0 items, 0 KB would be swept. 1 ");
}

// After a cancelled sweep, one figure of what it never reached: the
// summary's, the ticks line's, the items that say so and the saved lines.
// Only what the preview said would go is "not reached": what would stay keeps
// its reason and its place in Left, and what an earlier sweep left or did not
// meet is not counted again, in a row the sweep opened or in one it never did.
TEST_F(PreviewTableModelTest, ACancelledSweepCountsWhatItNeverReachedOneWayEverywhere) {
  EntrySelection word;
  word.Add(kApps, "MS Word");
  // Word to its end: File1 gone, held.doc held again, r.lnk removed.
  m_model.SetSwept(Swept({Rec(kApps, "MS Word", "C:\\Recent\\held.doc", 0, Outcome::kHeld, "another program holds it"),
                          Rec(kApps, "MS Word", "C:\\Recent\\r.lnk", 3, Outcome::kScheduled)}),
                   word);
  // Every row, cancelled in Temp: MSN opened and met nothing, Word and Cookie Files never opened.
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10)}), m_model.Selection(),
                   /*cancelled=*/true, {{kWin, "Temporary File Folder"}, {kInet, "MSN"}});
  const std::string summary = m_model.SummaryText();
  EXPECT_EQ(summary.substr(0, summary.find('\r')),
            "Sweeping cancelled. Reached 2 of 4 entries: 1 item, 10 KB removed; 3 items not reached.");
  EXPECT_EQ(summary.find("4 of 4 entries ticked: 3 items, 32 KB would be swept"), summary.find('\n') + 1) << summary;
  size_t listed = 0;
  for (size_t i = 0; i < m_model.RowCount(); ++i)
    for (size_t n = 0; n < m_model.RowAt(i).items.size(); ++n)
      listed += m_model.ItemCellText(i, n, 2).rfind("not reached", 0) == 0;
  EXPECT_EQ(listed, 3u);
  const std::string list = m_model.ListText();
  size_t saved = 0;
  for (size_t at = list.find(",not reached"); at != std::string::npos; at = list.find(",not reached", at + 1)) ++saved;
  EXPECT_EQ(saved, 3u) << list;
  // A row the cancel kept the sweep from says so in its Swept cell, unless
  // an earlier sweep's figures stand there.
  const struct {
    const char* entry;
    const char* left;
    const char* swept;
    std::vector<std::string> fates;
  } rows[] = {
      {"Cookie Files", "", "not reached", {"not reached: the sweep was cancelled"}},
      {"MSN", "1", "0", {"refused: damaged"}},
      {"MS Word", "1", "1",
       {"not met by the sweep", "in use: another program holds it", "removed at the next restart"}},
  };
  for (const auto& want : rows)
    for (size_t i = 0; i < m_model.RowCount(); ++i) {
      if (m_model.RowAt(i).entry != want.entry) continue;
      std::vector<std::string> fates;
      for (size_t n = 0; n < m_model.RowAt(i).items.size(); ++n) fates.push_back(m_model.ItemCellText(i, n, 2));
      EXPECT_EQ(fates, want.fates) << want.entry;
      EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kLeft), want.left) << want.entry;
      EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kSweptItems), want.swept) << want.entry;
      const PreviewRow& row = m_model.RowAt(i);
      if (row.swept) {
        EXPECT_EQ(row.items.size(), static_cast<size_t>(row.sweptCount + row.sweptLeft + row.sweptNotMet)) << want.entry;
      }
    }
  // A later sweep of another row, run to its end: what the cancel never
  // reached is still said, as the items and the CSV still say it.
  EntrySelection msn;
  msn.Add(kInet, "MSN");
  m_model.SetSwept(Swept({}), msn);
  const std::string after = m_model.SummaryText();
  EXPECT_EQ(after.substr(0, after.find("\r\n", after.find('\n'))),
            "Swept 1 entry: 0 items, 0 KB removed; 1 item not met by the sweep.\r\n"
            "An earlier cancelled sweep never reached 3 items in 2 entries.")
      << after;
}

// A sweep the table did not take in (the tray's Sweep Now) ran since the
// preview: the summary says so and offers no figures as what would be swept,
// until a new preview.
TEST_F(PreviewTableModelTest, AnotherSweepSinceThePreviewIsSaidAndItsFiguresAreNotOffered) {
  m_model.SetStale();
  EXPECT_EQ(m_model.SummaryText(),
            "A sweep ran since this preview: preview again to see what is left.\r\n4 of 4 entries ticked. "
            "2 entries would remove nothing: Recycle Bin, MS Excel.");
  m_model.SetSwept(Swept({Rec(kInet, "Cookie Files", "C:\\Cookies\\x.txt", 12)}), m_model.Selection());
  EXPECT_EQ(m_model.SummaryText().find("would be swept"), std::string::npos) << m_model.SummaryText();
  EXPECT_EQ(m_model.SummaryText().rfind("A sweep ran since this preview", 0), 0u);
  m_model.SetPreview(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\z.tmp", 1)}), {});
  EXPECT_EQ(m_model.SummaryText(), "1 of 1 entry ticked: 1 item, 1.0 KB would be swept.");
}

// A later sweep of other rows leaves a row's figures and its items' fates; a
// later sweep of the same row gives its own word on what it meets or misses,
// but what an earlier one removed (what it found on its own included) stays
// removed. Every row swept lists as many items as it removed, left and did
// not meet; the first line of the summary is the last sweep's, the second
// follows the ticks.
TEST_F(PreviewTableModelTest, EachRowKeepsWhatEverySweepRemovedAndItsItemsAddUp) {
  auto only = [](int category, const char* entry) {
    EntrySelection s;
    s.Add(category, entry);
    return s;
  };
  // A folder the sweep could not remove for a file held inside it: it stays, and says why.
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10),
                          Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 15, Outcome::kHeld, "another program holds it"),
                          Rec(kWin, "Temporary File Folder", "C:\\T\\new.tmp", 1)}),
                   only(kWin, "Temporary File Folder"));
  m_model.SetSwept(Swept({Rec(kInet, "Cookie Files", "C:\\Cookies\\x.txt", 12)}), only(kInet, "Cookie Files"));
  m_model.TickAll(false);
  const struct {
    const char* entry;
    const char* swept;
    const char* left;
    std::vector<std::string> fates;
  } after2[] = {
      {"Temporary File Folder", "2", "1",
       {"removed", "in use: another program holds it", "not met by the sweep", "removed (new since the preview)"}},
      {"Cookie Files", "1", "", {"removed"}},
      {"MS Word", "", "1", {"would be removed", "in use: another program holds it", "would be removed at the next restart"}},
  };
  auto check = [&](const char* when, const std::vector<std::string>& tempFates, const char* tempSwept) {
    SCOPED_TRACE(when);
    for (const auto& want : after2) {
      for (size_t i = 0; i < m_model.RowCount(); ++i) {
        if (m_model.RowAt(i).entry != want.entry) continue;
        const bool temp = std::string(want.entry) == "Temporary File Folder";
        std::vector<std::string> fates;
        for (size_t n = 0; n < m_model.RowAt(i).items.size(); ++n) fates.push_back(m_model.ItemCellText(i, n, 2));
        EXPECT_EQ(fates, temp ? tempFates : want.fates) << want.entry;
        EXPECT_EQ(m_model.CellText(i, PreviewTableModel::kSweptItems), temp ? tempSwept : want.swept) << want.entry;
        const PreviewRow& row = m_model.RowAt(i);
        if (row.swept)
          EXPECT_EQ(row.items.size(), static_cast<size_t>(row.sweptCount + row.sweptLeft + row.sweptNotMet)) << want.entry;
      }
    }
  };
  check("after the second sweep", after2[0].fates, "2");
  EXPECT_EQ(m_model.SummaryText(),
            "Swept 1 entry: 1 item, 12 KB removed.\r\n0 of 4 entries ticked: 0 items, 0 KB would be swept. "
            "2 entries would remove nothing: Recycle Bin, MS Excel.");
  // The same row again (a.tmp made anew since): what was left and is gone
  // now is not met; what the first sweep removed stays removed.
  m_model.SetSwept(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10)}), only(kWin, "Temporary File Folder"));
  check("after the third sweep",
        {"removed", "not met by the sweep", "not met by the sweep", "removed (new since the preview)"}, "2");
  EXPECT_EQ(m_model.SummaryText().substr(0, m_model.SummaryText().find('\r')),
            "Swept 1 entry: 1 item, 10 KB removed; 2 items not met by the sweep.");
}

// Sweeps one after another, some cancelled, then a new preview. After each:
// the fates of Temporary File Folder's items (what an earlier sweep removed
// never turns into "not met"), its Swept cell, the last sweep's line and the
// ticks line; and in every row swept, the items listed add up to what it
// removed, left and did not meet or reach.
TEST_F(PreviewTableModelTest, SweepsInAnyOrderKeepEveryRemovalAndTheFiguresAddUp) {
  using Names = std::vector<std::pair<int, std::string>>;
  const Names temp = {{kWin, "Temporary File Folder"}};
  const struct Step {
    const char* what;
    Names chosen;
    std::vector<OutcomeRecord> records;
    bool cancelled;
    Names opened;
    std::vector<std::string> tempFates;
    const char* tempSwept;
    const char* lastSweep;
    const char* ticks;
  } steps[] = {
      {"Temp swept: one held, one gone, one new",
       temp,
       {Rec(kWin, "Temporary File Folder", "C:\\T\\a.tmp", 10),
        Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 0, Outcome::kHeld, "another program holds it"),
        Rec(kWin, "Temporary File Folder", "C:\\T\\n.tmp", 1)},
       false,
       temp,
       {"removed", "in use: another program holds it", "not met by the sweep", "removed (new since the preview)"},
       "2",
       "Swept 1 entry: 2 items, 11 KB removed, 1 of them new since the preview; 1 item left; 1 item not met by the "
       "sweep.",
       "4 of 4 entries ticked: 3 items, 17 KB would be swept; 1 of them was swept"},
      {"Temp and Word, cancelled in Temp: Word never opened",
       {{kWin, "Temporary File Folder"}, {kApps, "MS Word"}},
       {Rec(kWin, "Temporary File Folder", "C:\\T\\b.tmp", 15)},
       true,
       temp,
       {"removed", "removed", "not met by the sweep", "removed (new since the preview)"},
       "3",
       "Sweeping cancelled. Reached 1 of 2 entries: 1 item, 15 KB removed; 2 items not reached.",
       "4 of 4 entries ticked: 3 items, 17 KB would be swept; 1 of them was swept"},
      {"Cookie Files alone",
       {{kInet, "Cookie Files"}},
       {Rec(kInet, "Cookie Files", "C:\\Cookies\\x.txt", 12)},
       false,
       {{kInet, "Cookie Files"}},
       {"removed", "removed", "not met by the sweep", "removed (new since the preview)"},
       "3",
       "Swept 1 entry: 1 item, 12 KB removed.",
       "4 of 4 entries ticked: 2 items, 5.0 KB would be swept; 2 of them were swept"},
      {"Temp again, to its end, finding nothing",
       temp,
       {},
       false,
       temp,
       {"removed", "removed", "not met by the sweep", "removed (new since the preview)"},
       "3",
       "Swept 1 entry: 0 items, 0 KB removed; 1 item not met by the sweep.",
       "4 of 4 entries ticked: 2 items, 5.0 KB would be swept; 2 of them were swept"},
      {"cancelled before it opened anything",
       {{kWin, "Temporary File Folder"}, {kInet, "MSN"}},
       {},
       true,
       {},
       {"removed", "removed", "not met by the sweep", "removed (new since the preview)"},
       "3",
       "Sweeping cancelled. Reached 0 of 2 entries: 0 items, 0 KB removed.",
       "4 of 4 entries ticked: 2 items, 5.0 KB would be swept; 2 of them were swept"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    EntrySelection chosen;
    for (const auto& entry : step.chosen) chosen.Add(entry.first, entry.second);
    m_model.SetSwept(Swept(step.records), chosen, step.cancelled, step.opened);
    m_model.SortBy(PreviewTableModel::kEntry, true);  // Temporary File Folder first
    ASSERT_EQ(m_model.RowAt(0).entry, "Temporary File Folder");
    std::vector<std::string> fates;
    for (size_t n = 0; n < m_model.RowAt(0).items.size(); ++n) fates.push_back(m_model.ItemCellText(0, n, 2));
    EXPECT_EQ(fates, step.tempFates);
    EXPECT_EQ(m_model.CellText(0, PreviewTableModel::kSweptItems), step.tempSwept);
    const std::string summary = m_model.SummaryText();
    EXPECT_EQ(summary.substr(0, summary.find('\r')), step.lastSweep);
    // What the cancelled sweep never reached in Word is said while no sweep reaches it.
    const std::string earlier = &step > &steps[1] ? "An earlier cancelled sweep never reached 2 items in 1 entry.\r\n" : "";
    EXPECT_EQ(summary.find(earlier + step.ticks), summary.find('\n') + 1) << summary;
    for (size_t i = 0; i < m_model.RowCount(); ++i) {
      const PreviewRow& row = m_model.RowAt(i);
      if (!row.swept) continue;
      int removed = 0;
      for (size_t n = 0; n < row.items.size(); ++n) removed += m_model.ItemOf(i, n).fate == SweptFate::kDone;
      EXPECT_EQ(removed, row.sweptCount) << row.entry;
      EXPECT_EQ(row.items.size(), static_cast<size_t>(row.sweptCount + row.sweptLeft + row.sweptNotMet)) << row.entry;
    }
  }
  // A new preview starts over: no sweep, every item as it now finds it.
  m_model.SetPreview(Swept({Rec(kWin, "Temporary File Folder", "C:\\T\\z.tmp", 1)}), {});
  EXPECT_FALSE(m_model.HasSweep());
  EXPECT_EQ(m_model.SummaryText(), "1 of 1 entry ticked: 1 item, 1.0 KB would be swept.");
}

// A folder that stays for a file left inside it reads "left", with its
// reason, as the sweep recorded it; never "not met by the sweep".
TEST(PreviewTableSweep, AFolderThatStaysForAnItemInsideIsLeft) {
  PreviewTableModel model;
  model.SetPreview(Swept({Rec(kInet, "Content", "C:\\Cache\\IE5\\index.dat", 1), Rec(kInet, "Content", "C:\\Cache\\IE5", 0)}),
                   {{kInet, "Content"}});
  EntrySelection all;
  all.Add(kInet, "Content");
  model.SetSwept(Swept({Rec(kInet, "Content", "C:\\Cache\\IE5\\index.dat", 0, Outcome::kFailed, "refused"),
                        Rec(kInet, "Content", "C:\\Cache\\IE5", 0, Outcome::kHoldsLeftItem, "it holds an item")}),
                 all);
  ASSERT_EQ(model.RowCount(), 1u);
  std::vector<std::string> fates;
  for (size_t n = 0; n < model.RowAt(0).items.size(); ++n) fates.push_back(model.ItemCellText(0, n, 2));
  std::sort(fates.begin(), fates.end());
  EXPECT_EQ(fates, (std::vector<std::string>{"failed: refused", "left: it holds an item"}));
}

// A name that a spreadsheet would read as a formula is saved as text.
TEST(PreviewTableList, FieldsThatLookLikeFormulasAreWrittenAsText) {
  const struct {
    const char* entry;
    const char* item;
    const char* line;
  } cases[] = {
      {"=HYPERLINK(\"http://x\")", "C:\\a.tmp", "Windows,\"'=HYPERLINK(\"\"http://x\"\")\",C:\\a.tmp,"},
      {"+Cache", "@file", "Windows,\"'+Cache\",\"'@file\","},
      {"-Logs", "C:\\b-c.tmp", "Windows,\"'-Logs\",C:\\b-c.tmp,"},
      {"Plain, with a comma", "C:\\=d.tmp", "Windows,\"Plain, with a comma\",C:\\=d.tmp,"},
  };
  for (const auto& c : cases) {
    PreviewTableModel model;
    OutcomeRecord r = Rec(kWin, c.entry, c.item, 1);
    r.numbered = true;
    model.SetPreview({r}, {});
    const std::string text = model.ListText();
    const std::string second = text.substr(text.find("\r\n") + 2);
    EXPECT_EQ(second.rfind(c.line, 0), 0u) << second;
  }
}

}  // namespace

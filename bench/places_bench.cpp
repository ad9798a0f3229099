// Firefox history benchmark: CleanFirefoxPlaces on a places.sqlite of
// 100,000 visits and 20,000 pages, every other page bookmarked, against the
// same deletion written as plain SQL in one transaction on the same seed.
//   bench_places_bench.exe [pages=20000] [visits=100000] [runs=5]
// Each run copies the seed afresh for each variant; the variants alternate
// within a run so that drift of a shared machine hits them alike. A third
// variant runs the cleaner with the Shredder on (secure_delete and VACUUM).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "catalogue/browser_db_targets.h"
#include "engine/sqlite_db.h"
#include "settings/settings_groups.h"
#include "tools/seed/seed_databases.h"

namespace {

std::string TempFolder() {
  char path[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, path);
  std::string folder = std::string(path) + "morvane-places-bench";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void Fresh(const std::string& seed, const std::string& folder) {
  const std::string places = folder + "\\places.sqlite";
  for (const char* suffix : {"-wal", "-shm", "-journal"}) ::DeleteFileA((places + suffix).c_str());
  ::CopyFileA(seed.c_str(), places.c_str(), FALSE);
}

double TimeCleaner(const std::string& folder, bool shredder) {
  if (shredder)
    g_GeneralSettings.m_nTargets |= GENERAL_SHREDDER;
  else
    g_GeneralSettings.m_nTargets &= ~GENERAL_SHREDDER;
  int count = 0;
  const double start = Now();
  const DbSweep result = CleanFirefoxPlaces(folder, "bench", &count, nullptr);
  const double seconds = Now() - start;
  if (result != DbSweep::kCleaned) std::printf("  cleaner did not clean (%d)\n", static_cast<int>(result));
  return seconds;
}

// The same rows removed by hand: no checks, no counting, no logging.
double TimePlainSql(const std::string& folder) {
  const double start = Now();
  SqliteDb db;
  db.OpenForWriting(folder + "\\places.sqlite");
  const bool ok = db.Exec(
      "BEGIN;"
      "DELETE FROM moz_historyvisits; DELETE FROM moz_inputhistory;"
      "DELETE FROM moz_places WHERE id NOT IN (SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL "
      "  UNION SELECT place_id FROM moz_keywords);"
      "DELETE FROM moz_origins WHERE id NOT IN (SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL);"
      "UPDATE moz_places SET visit_count = 0, frecency = 0, last_visit_date = NULL;"
      "COMMIT;");
  db.Close();
  const double seconds = Now() - start;
  if (!ok) std::printf("  plain SQL failed\n");
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int visits = argc > 2 ? std::atoi(argv[2]) : 100000;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  const std::string folder = TempFolder();
  const std::string seed = folder + "\\seed.sqlite";
  {
    CreatePlacesDatabase(seed);
    SqliteDb db;
    if (!db.OpenForWriting(seed) || !FillPlaces(db, pages, visits)) {
      std::printf("cannot build the seed database\n");
      return 1;
    }
  }
  std::vector<double> cleaner, plain, shredded;
  for (int run = 0; run < runs; ++run) {
    Fresh(seed, folder);
    cleaner.push_back(TimeCleaner(folder, false));
    Fresh(seed, folder);
    plain.push_back(TimePlainSql(folder));
    Fresh(seed, folder);
    shredded.push_back(TimeCleaner(folder, true));
  }
  const double c = Median(cleaner), p = Median(plain), s = Median(shredded);
  std::printf("places.sqlite: %d pages (half bookmarked), %d visits; %d runs, medians\n", pages, visits, runs);
  std::printf("  CleanFirefoxPlaces            %.3f s\n", c);
  std::printf("  plain SQL, one transaction    %.3f s   (cleaner / plain = %.2f)\n", p, p > 0 ? c / p : 0.0);
  std::printf("  CleanFirefoxPlaces, Shredder  %.3f s   (secure_delete + VACUUM)\n", s);
  return 0;
}

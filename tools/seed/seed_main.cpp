// SeedTraces.exe [windows] [internet] [applications] [databases]: plants the
// traces of the named categories (all of them when none is named). Exit code
// 1 when any could not be planted in full. "SeedTraces.exe check-databases"
// says whether the bookmarks and the friendly cookie survived a sweep.
// "SeedTraces.exe friendly-hosts HOST..." makes those hosts the whole
// friendly list and ticks the Internet "Cookie Files" box (the real-browser
// test sweeps every cookie but one host's). "SeedTraces.exe census" prints
// the census of browser profiles, one item a line, its fields separated by
// tabs: family, place, kind, name, what the sweep does, entry, what it
// records, why (the real-browser test reads it).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/browser_census.h"
#include "tools/seed/seed.h"
#include "tools/seed/seed_databases.h"
#include "tools/seed/seed_modern.h"

namespace {

int PrintCensus() {
  size_t count = 0;
  const CensusItem* items = BrowserCensus(&count);
  for (size_t i = 0; i < count; ++i) {
    const CensusItem& c = items[i];
    static const char* const kPlaces[] = {"profile", "user data", "local"};
    static const char* const kKinds[] = {"file", "folder", "table"};
    std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", c.family == BrowserFamily::kChromium ? "Chromium" : "Firefox",
                kPlaces[static_cast<int>(c.place)], kKinds[static_cast<int>(c.kind)], c.name, CensusActionText(c.action),
                c.entry != nullptr ? c.entry : "", c.what, c.why != nullptr ? c.why : "");
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  struct Category {
    const char* name;
    bool (*seed)();
  };
  const Category categories[] = {
      {"windows", &SeedWindowsTraces},
      {"internet", &SeedInternetTraces},
      {"applications", &SeedApplicationsTraces},
      // Today's browser profiles first: the database seeder then fills the
      // Chrome profile's cookie database and makes a Firefox profile of its own.
      {"modern", &SeedModernTraces},
      {"databases", &SeedBrowserDatabases},
      {"rules", &SeedRuleTraces},
  };
  if (argc == 2 && _stricmp(argv[1], "census") == 0) return PrintCensus();
  if (argc == 2 && _stricmp(argv[1], "check-databases") == 0) return CheckBrowserDatabases() ? 0 : 1;
  if (argc >= 2 && _stricmp(argv[1], "friendly-hosts") == 0)
    return SeedCookieSweep(std::vector<std::string>(argv + 2, argv + argc)) ? 0 : 1;
  bool ok = true;
  for (const Category& c : categories) {
    bool wanted = argc <= 1;
    for (int i = 1; i < argc; ++i) wanted = wanted || _stricmp(argv[i], c.name) == 0;
    if (!wanted) continue;
    if (!c.seed()) {
      std::fprintf(stderr, "Could not plant every %s trace.\n", c.name);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}

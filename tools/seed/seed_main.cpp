// SeedTraces.exe [windows] [internet] [applications] [databases]: plants the
// traces of the named categories (all of them when none is named). Exit code
// 1 when any could not be planted in full. "SeedTraces.exe check-databases"
// says whether the bookmarks and the friendly cookie survived a sweep.
// "SeedTraces.exe friendly-hosts HOST..." makes those hosts the whole
// friendly list and ticks the Internet "Cookie Files" box (the real-browser
// test sweeps every cookie but one host's).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/seed/seed.h"
#include "tools/seed/seed_databases.h"
#include "tools/seed/seed_modern.h"

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

// What a browser that has closed leaves, swept.
#include "shell/browser_sweep.h"

#include "catalogue/browser_db_targets.h"
#include "engine/browsers.h"
#include "catalogue/held_database_sweep.h"
#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "rules/rule_set.h"

int BrowserBit(const BrowserInfo* browser) {
  size_t count = 0;
  const BrowserInfo* all = Browsers(&count);
  for (size_t i = 0; i < count; ++i)
    if (&all[i] == browser) return 1 << i;
  return 0;
}

void SweepClosedBrowsers(SweepWorker* worker, int browsers, int* count, float* kb) {
  if (browsers & kRememberedDatabasesOnly) CleanHeldDatabasesAlone(count, kb);
  size_t known = 0;
  const BrowserInfo* all = Browsers(&known);
  for (size_t i = 0; i < known; ++i) {
    if ((browsers & (1 << i)) == 0) continue;
    if (worker != nullptr && worker->IsCancelled(SWEEP_INTERNET | SWEEP_ALL)) return;
    const BrowserInfo& browser = all[i];
    LogFormat(0, "Start clean up %s: the browser has closed.\n", browser.name);
    CleanRememberedDatabases(&browser, count, kb);
    SweepRuleGroup(worker, browser.group, count, kb);
    if (worker != nullptr && worker->IsCancelled(SWEEP_INTERNET | SWEEP_ALL)) return;
    CleanBrowserDatabases(browser, count, kb);
  }
}

// Sweeping the databases that were held at an earlier sweep, each by its own
// cleaner and behind its entry.
#pragma once

struct BrowserInfo;
class SweepWorker;

// Sweeps the remembered databases of one browser (all of them when browser
// is null) as their cleaner would, each behind its rule choice: a record
// whose profile folder is gone, or whose entry is switched off, is dropped;
// one the browser still holds stays. Unless alone, the sweep's own pass over
// the same databases follows, and a database still held is left to it, so
// that it is counted once in the sweep.
void CleanRememberedDatabases(const BrowserInfo* browser, int* count, float* kb, bool alone = false);

// The Internet category's first step: every remembered database, with an
// opening line when there is any.
void CleanHeldDatabases(SweepWorker* worker, int* count, float* kb);
// The same in a sweep of nothing else (the resident program's start): a
// database still held gets its line and count here.
void CleanHeldDatabasesAlone(int* count, float* kb);

// The sweep of browsers that have closed: for each, the databases it held at
// an earlier sweep, the switched-on rule entries of its group (built-in files
// and the user's own entries alike) and its history and cookies inside its
// databases; nothing else. Runs on the Internet line through the worker's
// BrowserSweep hook.
#pragma once

class SweepWorker;
struct BrowserInfo;

// Beside the browsers' bits: the databases remembered as held, of every
// browser, and nothing more (the resident program's start).
constexpr int kRememberedDatabasesOnly = 0x100;

// The bit of a browser in the catalogue's table; 0 when it is not in it.
int BrowserBit(const BrowserInfo* browser);

void SweepClosedBrowsers(SweepWorker* worker, int browsers, int* count, float* kb);

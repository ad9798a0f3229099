// The browsers whose profiles Morvane knows by name: where each keeps its
// data, the process that holds it, and the rule entries that carry the
// user's choices for it. One table, read by the database cleaners, the
// built-in rules' checks and the watch for a browser that closes: it lives
// below all three of them, as data that none of them owns.
#pragma once
#include <cstddef>

enum class BrowserFamily { kChromium, kFirefox };

struct BrowserInfo {
  const char* name;           // as lines name it: "Chrome", "Edge", "Brave", "Vivaldi", "Firefox"
  const char* group;          // the rule entries' Section: "Google Chrome", "Microsoft Edge", "Brave", "Vivaldi", "Firefox"
  BrowserFamily family;
  const char* process;        // the executable's file name: "chrome.exe", "msedge.exe", ...
  const char* dataRoot;       // CSIDL_LOCAL_APPDATA-relative user-data folder (Chromium);
                              // CSIDL_APPDATA-relative profiles folder (Firefox)
  const char* historyChoice;  // the built-in entry that sweeps its history
  const char* cookieChoice;   // the built-in entry that cleans its cookies, friendly sites kept
  const char* keepsRunning;   // the browser's own setting that keeps it running with no window open
};

// Chrome, Edge, Brave, Vivaldi, Firefox, in that order.
const BrowserInfo* Browsers(size_t* count);
// The browser of that name or group, or null.
const BrowserInfo* FindBrowser(const char* nameOrGroup);

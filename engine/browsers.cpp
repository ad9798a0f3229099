#include "engine/browsers.h"

#include <cstring>

namespace {
const BrowserInfo kBrowsers[] = {
    {"Chrome", "Google Chrome", BrowserFamily::kChromium, "chrome.exe", "Google\\Chrome\\User Data",
     "Google Chrome history", "Google Chrome cookies (friendly sites kept)",
     "\"Continue running background apps when Google Chrome is closed\" (Settings, System)"},
    {"Edge", "Microsoft Edge", BrowserFamily::kChromium, "msedge.exe", "Microsoft\\Edge\\User Data",
     "Microsoft Edge history", "Microsoft Edge cookies (friendly sites kept)",
     "\"Startup boost\" and \"Continue running background extensions and apps when Microsoft Edge is closed\" "
     "(Settings, System and performance)"},
    {"Brave", "Brave", BrowserFamily::kChromium, "brave.exe", "BraveSoftware\\Brave-Browser\\User Data",
     "Brave history", "Brave cookies (friendly sites kept)",
     "\"Continue running background apps when Brave is closed\" (Settings, System)"},
    {"Vivaldi", "Vivaldi", BrowserFamily::kChromium, "vivaldi.exe", "Vivaldi\\User Data", "Vivaldi history",
     "Vivaldi cookies (friendly sites kept)", "a background task or extension that keeps Vivaldi open"},
    {"Firefox", "Firefox", BrowserFamily::kFirefox, "firefox.exe", "Mozilla\\Firefox\\Profiles",
     "Firefox history (bookmarks kept)", "Firefox cookies (friendly sites kept)",
     "a background task or extension that keeps Firefox open"},
};
}  // namespace

const BrowserInfo* Browsers(size_t* count) {
  if (count != nullptr) *count = sizeof kBrowsers / sizeof kBrowsers[0];
  return kBrowsers;
}

const BrowserInfo* FindBrowser(const char* nameOrGroup) {
  if (nameOrGroup == nullptr) return nullptr;
  for (const BrowserInfo& browser : kBrowsers)
    if (_stricmp(browser.name, nameOrGroup) == 0 || _stricmp(browser.group, nameOrGroup) == 0) return &browser;
  return nullptr;
}

// The cleaners of each category, in the order a sweep runs them, with the
// progress step before each and the "Targets" bit that enables it.
#include "catalogue/autocomplete.h"
#include "catalogue/browser_db_targets.h"
#include "catalogue/firefox_targets.h"
#include "catalogue/held_database_sweep.h"
#include "catalogue/ie_targets.h"
#include "catalogue/media_targets.h"
#include "catalogue/office_targets.h"
#include "catalogue/windows_targets.h"
#include "engine/sweep_worker.h"

namespace {

// The Yahoo toolbar keeps nothing worth removing; its check box stays for the
// stored bit, and its cleaner does nothing on purpose.
void CleanYahooToolbar(SweepWorker*, int*, float*) {}

constexpr int kAlways = 0;
constexpr int kNoStep = -1;

// Each step carries its target's caption as the category page shows it: the
// preview table's rows and "Sweep Selected" go by it.
const SweepStep kWindowsSteps[] = {
    {5, true, 0x02, &CleanRecycleBin, "Recycle Bin"},
    {20, true, 0x01, &CleanDocumentHistory, "Document History"},
    {40, true, 0x10, &CleanFindHistory, "Windows Find History"},
    {60, true, 0x20, &CleanRunHistory, "Windows Run History"},
    {70, true, 0x40, &CleanNetworkHistory, "Network History"},
    {85, true, 0x08, &CleanTempFiles, "Temporary File Folder"},
    {95, true, 0x04, &CleanLogonUser, "Last Logon User"},
    {100, true, kAlways, &CleanCustomLocations, "Custom Sweeping Locations"},
};

// The other browsers' cookies go behind the same "Cookie Files" box as
// Internet Explorer's; they, the browsers' history and the databases held at
// the last sweep name each browser's entry themselves.
const SweepStep kInternetSteps[] = {
    {kNoStep, true, kAlways, &CleanHeldDatabases},
    {20, true, 0x02, &CleanIeContent, "Content Temporary Files"},
    {40, true, 0x01, &CleanIeCookies, "Cookie Files"},
    {kNoStep, true, 0x01, &CleanBrowserCookies},
    {60, true, 0x04, &CleanIeHistory, "History Files"},
    {70, true, 0x08, &CleanIntelliForms, "Auto-Complete Password"},
    {80, true, 0x10, &CleanFormData, "Auto-Complete Form Data"},
    {90, true, 0x20, &CleanMsnToolbar, "MSN"},
    {kNoStep, false, 0x100, &CleanGoogleToolbar, "Google Bar"},
    {kNoStep, false, 0x200, &CleanYahooToolbar, "Yahoo Bar"},
    {kNoStep, false, 0x400, &CleanFirefox, "FireFox"},
    {kNoStep, true, kAlways, &CleanBrowserHistory},
    {100, true, 0x40, &CleanAol, "AOL"},
};

// The reader and player cleaner runs whatever the bits, tests them itself,
// moves the bar itself and names each of its three targets; only a
// cancellation check stands before it.
const SweepStep kApplicationsSteps[] = {
    {20, true, 0x02, &CleanWord, "MS Word"},
    {40, true, 0x01, &CleanExcel, "MS Excel"},
    {60, true, 0x08, &CleanAccess, "MS Access"},
    {80, true, 0x04, &CleanPowerPoint, "Power Point"},
    {kNoStep, true, kAlways, &CleanOtherApplications},
};

template <size_t N>
SweepTable MakeTable(const SweepStep (&steps)[N]) {
  return SweepTable{steps, N};
}

}  // namespace

SweepTable& WindowsSweepTable() {
  static SweepTable table = MakeTable(kWindowsSteps);
  return table;
}

SweepTable& InternetSweepTable() {
  static SweepTable table = MakeTable(kInternetSteps);
  return table;
}

SweepTable& ApplicationsSweepTable() {
  static SweepTable table = MakeTable(kApplicationsSteps);
  return table;
}

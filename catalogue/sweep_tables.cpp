// The cleaners of each category, in the order a sweep runs them, with the
// progress step before each and the "Targets" bit that enables it.
#include "catalogue/autocomplete.h"
#include "catalogue/browser_db_targets.h"
#include "catalogue/firefox_targets.h"
#include "catalogue/held_databases.h"
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

const SweepStep kWindowsSteps[] = {
    {5, true, 0x02, &CleanRecycleBin},       {20, true, 0x01, &CleanDocumentHistory},
    {40, true, 0x10, &CleanFindHistory},     {60, true, 0x20, &CleanRunHistory},
    {70, true, 0x40, &CleanNetworkHistory},  {85, true, 0x08, &CleanTempFiles},
    {95, true, 0x04, &CleanLogonUser},       {100, true, kAlways, &CleanCustomLocations},
};

const SweepStep kInternetSteps[] = {
    {kNoStep, true, kAlways, &CleanHeldDatabases},
    {20, true, 0x02, &CleanIeContent},
    {40, true, 0x01, &CleanIeCookies},
    {kNoStep, true, 0x01, &CleanBrowserCookies},
    {60, true, 0x04, &CleanIeHistory},
    {70, true, 0x08, &CleanIntelliForms},
    {80, true, 0x10, &CleanFormData},
    {90, true, 0x20, &CleanMsnToolbar},
    {kNoStep, false, 0x100, &CleanGoogleToolbar},
    {kNoStep, false, 0x200, &CleanYahooToolbar},
    {kNoStep, false, 0x400, &CleanFirefox},
    {kNoStep, true, kAlways, &CleanBrowserHistory},
    {100, true, 0x40, &CleanAol},
};

// The reader and player cleaner runs whatever the bits, tests them itself and
// moves the bar itself; only a cancellation check stands before it.
const SweepStep kApplicationsSteps[] = {
    {20, true, 0x02, &CleanWord},
    {40, true, 0x01, &CleanExcel},
    {60, true, 0x08, &CleanAccess},
    {80, true, 0x04, &CleanPowerPoint},
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

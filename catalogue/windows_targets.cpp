// Windows history targets: recycle bin, document, find, run and network history, temporary files, last logon name, custom locations.
// Placeholders until the Windows targets issue fills them: each removes nothing yet.
#include "catalogue/windows_targets.h"

void CleanRecycleBin(SweepWorker*, int*, float*) {}
void CleanDocumentHistory(SweepWorker*, int*, float*) {}
void CleanFindHistory(SweepWorker*, int*, float*) {}
void CleanRunHistory(SweepWorker*, int*, float*) {}
void CleanNetworkHistory(SweepWorker*, int*, float*) {}
void CleanTempFiles(SweepWorker*, int*, float*) {}
void CleanLogonUser(SweepWorker*, int*, float*) {}
void CleanCustomLocations(SweepWorker*, int*, float*) {}

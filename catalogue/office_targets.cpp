// Office recent-file lists (Word, Excel, Access, PowerPoint).
// Placeholders until the Office targets issue fills them: each removes nothing yet.
#include "catalogue/office_targets.h"

void CleanWord(SweepWorker*, int*, float*) {}
void CleanExcel(SweepWorker*, int*, float*) {}
void CleanAccess(SweepWorker*, int*, float*) {}
void CleanPowerPoint(SweepWorker*, int*, float*) {}

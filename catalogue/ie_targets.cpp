// Internet Explorer targets: content cache, cookies, history, IntelliForms, the MSN and Google toolbars, AOL.
// Placeholders until the Internet Explorer targets issue fills them: each removes nothing yet.
#include "catalogue/ie_targets.h"

void CleanIeContent(SweepWorker*, int*, float*) {}
void CleanIeCookies(SweepWorker*, int*, float*) {}
void CleanIeHistory(SweepWorker*, int*, float*) {}
void CleanIntelliForms(SweepWorker*, int*, float*) {}
void CleanMsnToolbar(SweepWorker*, int*, float*) {}
void CleanGoogleToolbar(SweepWorker*, int*, float*) {}
void CleanAol(SweepWorker*, int*, float*) {}

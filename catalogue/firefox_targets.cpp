// Firefox profile targets.
// Placeholders until the Firefox targets issue fills them: each removes nothing yet.
#include "catalogue/firefox_targets.h"

void CleanFirefox(SweepWorker*, int*, float*) {}

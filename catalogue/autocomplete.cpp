// Stored auto-complete form data.
// Placeholders until the auto-complete issue fills them: each removes nothing yet.
#include "catalogue/autocomplete.h"

void CleanFormData(SweepWorker*, int*, float*) {}

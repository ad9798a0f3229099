// Traces of the Applications category.
#include "tools/seed/seed.h"

bool SeedApplicationsTraces() { return true; }

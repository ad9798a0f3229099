// Traces of the Windows category.
#include "tools/seed/seed.h"

bool SeedWindowsTraces() { return true; }

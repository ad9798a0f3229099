// Traces of the Internet category.
#include "tools/seed/seed.h"

bool SeedInternetTraces() { return true; }

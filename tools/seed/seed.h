// The trace seeder: plants, in the prefix it runs in, a realistic set of the
// traces each sweep category removes, and next to them things that must
// survive the sweep (sibling files and folders, sibling values and keys, a
// folder link inside a swept folder that leads outside it). Used by the demo
// (`make run`) and by the end-to-end tests.
#pragma once

// Each returns false when something could not be planted (the trace says what).
bool SeedWindowsTraces();
bool SeedInternetTraces();
bool SeedApplicationsTraces();
bool SeedRuleTraces();  // a rule file of the user's own, its entries on, and their traces

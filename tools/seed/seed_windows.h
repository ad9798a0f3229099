// Where the Windows traces are planted. The demo takes the prefix's own
// places; tests point them at folders of their own so that a sweep of the
// seeded traces can never reach another test's files.
#pragma once
#include <string>

struct WindowsSeedPlaces {
  std::string recent;   // the Recent folder; empty: the shell's
  std::string temp;     // the temporary folder; empty: %TEMP%
  std::string work;     // the custom sweeping location; empty: C:\Work
  std::string outside;  // a folder no sweep names, reached by a link from temp; empty: C:\Shared
  bool recycleBin = true;      // move a file to the recycle bin
  bool settings = true;        // switch the Windows boxes on and list work (*.tmp) as a custom location
};

// Plants the traces at the given places (see seed.h for what and why).
bool SeedWindowsTracesAt(const WindowsSeedPlaces& places);

// Removes a folder link the seeder made (never what it leads to). Under Wine,
// where the system cannot remove such a link without reaching through it,
// the host's rm does. False when path is no link or it stays.
bool RemoveFolderLink(const std::string& link);

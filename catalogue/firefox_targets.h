// Firefox profile targets, and the profile walk the database cleaners share.
#pragma once
#include <functional>
#include <string>

class SweepWorker;

void CleanFirefox(SweepWorker* worker, int* count, float* kb);

// A folder value of the current user's "User Shell Folders" key ("AppData",
// "Local AppData"), environment strings expanded; empty when it cannot be had.
std::string UserShellFolder(const char* valueName);

// Calls visit with every Firefox profile folder below the roaming
// application-data folder (AppData\Mozilla\Firefox*\profiles\*); links are
// never followed.
void ForEachFirefoxProfile(const std::function<void(const std::string& profile)>& visit);
// Calls visit with every subfolder (no links) directly in folder.
void ForEachSubfolder(const std::string& folder, const std::function<void(const std::string& subfolder)>& visit);

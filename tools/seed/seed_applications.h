// The Applications traces, planted below folders the caller chooses, so that
// a test can keep them out of the shared profile.
#pragma once
#include <string>

// Plants the Office, Acrobat Reader, Media Player and RealPlayer traces and
// their neighbours that must survive. localAppData is written as the user's
// "Local AppData" shell folder (the Office Recent folder lives below it);
// RealOne's user data folder is appData + "\Real\RealOne Player".
bool SeedApplicationsTracesIn(const std::string& localAppData, const std::string& appData);

// RealOne's user data folder as the seeder makes it (no trailing backslash).
std::string RealOneDataFolder(const std::string& appData);

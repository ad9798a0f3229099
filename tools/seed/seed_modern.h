// Today's traces, for the built-in rules: Chrome and Edge profiles ("Default"
// and "Profile 1"), a Firefox profile, the Office 2016 lists, the Windows 10
// Explorer and dialog lists, Acrobat Reader DC and Media Player. Next to them,
// what must survive every sweep: Bookmarks, Preferences, Login Data, the
// cookie databases, places.sqlite and its bookmark backups.
#pragma once
#include <string>
#include <vector>

// Plants below the two folders given (the user's local and roaming
// application data) and in HKEY_CURRENT_USER.
bool SeedModernTracesIn(const std::string& localAppData, const std::string& appData);
// The same below the shell's folders of this prefix.
bool SeedModernTraces();

// The files that must never be removed, relative to localAppData ("L\...")
// or appData ("R\..."), for tests that check they survive.
const std::vector<std::string>& ModernKeptFiles();

// The Windows version found at start-up, as one small code that the
// protected-storage cleaner tests for the NT family (4, 6, 7).
#pragma once
#include <windows.h>

enum OsKind : int {
  OS_UNKNOWN_VERSION = -1,  // the version could not be asked for at all
  OS_OTHER = 0,
  OS_WIN95 = 1,
  OS_WIN98 = 2,
  OS_WINME = 3,
  OS_WINNT4 = 4,
  OS_WIN2000 = 6,
  OS_WINXP = 7,
  OS_WIN32S = 8,
};

extern int g_nOsKind;

// The code for a platform id and version; OS_OTHER for anything unlisted.
int OsKindFromVersion(DWORD platformId, DWORD major, DWORD minor);

// Asks GetVersionExA with the extended structure, then with the basic one when
// that fails; stores the code in g_nOsKind and returns it.
int DetermineOsKind();

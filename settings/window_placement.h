// Where a window of the program was last (its size, place and whether it was
// maximised), kept per user below the program's key as a "Placement" value,
// so that it opens there again.
#pragma once
#include <windows.h>

// The stored placement of the window named window (a subkey name, such as
// "Preview Results"); false when none is stored or what is stored is not a
// placement (another type, another size, a wrong length field).
bool LoadWindowPlacement(const char* window, WINDOWPLACEMENT* placement);
// Stores it; false when the key cannot be created or the value written.
bool SaveWindowPlacement(const char* window, const WINDOWPLACEMENT& placement);

// Registry changes of the cleaners that are not tables (toolbar boxes, the
// protected-storage data keys): one value written, one value deleted, one key
// deleted with everything below it. Each asks the preview switch first and
// writes its failures to the diagnostic trace.
#pragma once
#include <windows.h>

#include <string>

class RegKey;

// Deletes the value from the open key. False when it stays (or in a preview,
// where nothing is deleted: callers step their cursor back only on true).
bool DeleteRegValue(RegKey& key, const char* name);
// Writes the value. In a preview nothing is written and the result is true.
bool SetRegValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size);
// Deletes root\path with all its subkeys. In a preview nothing is deleted and
// the result is false. An empty path is refused: it would name the root.
bool DeleteKeyTree(HKEY root, const std::string& path);

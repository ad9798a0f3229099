// Removal of one named registry value, for cleaners that know exactly which
// values they remove (the last logon name) instead of walking a key.
#pragma once

class RegKey;

// Deletes the value `name` of the open key. True when it was there and is
// gone; in preview, true when it is there (nothing is deleted). A value that
// is absent gives false and no trace; any other failure is traced.
bool RemoveRegistryValue(RegKey& key, const char* name);

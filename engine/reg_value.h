// Removal of one named registry value, for cleaners that know exactly which
// values they remove (the last logon name) instead of walking a key.
#pragma once

class RegKey;

// Deletes the value `name` of the open key. True when it was there and is
// gone; in preview, true when it is there (nothing is deleted). A value that
// is absent gives false and nothing else; a refusal gives false and is
// recorded as not removed, with its line.
bool RemoveRegistryValue(RegKey& key, const char* name);

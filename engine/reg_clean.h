// Registry cleaning: the routines that empty most-recently-used lists,
// typed-path lists, per-extension lists and whole value sets. Each walks an
// open key with its cursors, logs and counts an item before the registry
// call, and steps the cursor back only after a successful deletion. None
// changes kb. Every change goes through the preview switch.
#pragma once
#include <string>

#include "settings/reg_key.h"

// Every value except "(Default)". With a keep name: values with empty data
// stay, and the value named keepName is reset to an empty REG_SZ.
void DeleteValues(RegKey& key, const char* keepName, int statusId, int* count, float* kb);
// Values whose name starts with prefix (case-sensitive), except "(Default)";
// a null prefix deletes nothing.
void DeleteValuesByPrefix(RegKey& key, const char* prefix, int statusId, int* count, float* kb);
// Values starting with either prefix; logs plain lines echoed to statusId and
// never counts. A null first prefix deletes nothing.
void DeleteValuesByPrefixes(RegKey& key, const char* prefix1, const char* prefix2, int statusId, int* count,
                            float* kb);
// Subkeys (with all below) whose name starts with prefix.
void DeleteSubKeysByPrefix(RegKey& key, const char* prefix, int statusId, int* count, float* kb);
// DeleteValues with keepName on each direct subkey; subkeys stay.
void DeleteValuesInSubKeys(RegKey& key, const char* keepName, int statusId, int* count, float* kb);

// Logs a value deleted from key as one item ("Delete Value: name=data.",
// the data shortened), numbered and counted when count is given.
void LogDeleteValue(const RegKey& key, int* count, int statusId, const std::string& name, const char* data);

// Sets a value that holds something to an empty REG_SZ and logs and counts
// it as one item ("Reset Value: name=data to empty."); a missing or already
// empty value is no item and stays as it is. True when it was reset.
bool ResetValueToEmpty(RegKey& key, const char* name, int statusId, int* count);

// Table operations (the kind code has no effect).
void CleanRegKey(int kind, RegKey& key, int statusId, int* count, float* kb);
void CleanRegKeyTree(int kind, RegKey& key, int statusId, int* count, float* kb);
void CleanMRU(int kind, RegKey& key, int statusId, int* count, float* kb);
void CleanSubKeyMRU(int kind, RegKey& key, int statusId, int* count, float* kb);
void CleanFileExt(int kind, RegKey& key, int statusId, int* count, float* kb);
// Always echoes to the Applications status line (1066), whatever statusId says.
void CleanOfficeCommon(int kind, RegKey& key, int statusId, int* count, float* kb);

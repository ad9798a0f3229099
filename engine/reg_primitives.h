// The registry changes a sweep makes: value delete, value set (the "MRUList"
// and "Value" resets), subkey delete and key delete. Every registry cleaner
// changes the registry only through these, so that a preview (PreviewActive)
// logs and counts as a real sweep does and leaves the registry untouched.
// Each records its outcome in the outcome ledger after the call: a change
// made (or previewed) as removed, a refusal as not removed, with a line.
// Settings are saved through RegKey directly: they are never previewed.
#pragma once
#include <windows.h>

#include <string>

#include "settings/reg_key.h"

// What became of one change.
enum class RegChange {
  kFailed,     // the registry refused it; nothing changed
  kDone,       // the change was made
  kPreviewed,  // preview: it would have been made; nothing changed
  kAbsent,     // there was nothing to delete; nothing recorded
};

// Cursor rule for enumerating callers: step the cursor back only when the
// item really went away. A previewed deletion leaves the item where it was,
// so the walk moves on to the next one exactly as the real walk meets it.
inline bool ItemGone(RegChange change) { return change == RegChange::kDone; }
// Logging and counting rule: an item is logged and counted when the change
// was made or, in a preview, would have been.
inline bool ChangeMade(RegChange change) { return change == RegChange::kDone || change == RegChange::kPreviewed; }

// "HKEY_CURRENT_USER\path\name" as the ledger and the log name an item;
// a null name names the key, an empty one the unnamed value "(Default)".
std::string RegItemText(HKEY root, const std::string& path, const char* name);

// Deletes the value `name` of key ("" is the unnamed default value).
RegChange SweepDeleteValue(RegKey& key, const char* name);
// Sets the value `name` of key to `size` bytes of `data` of the given type.
RegChange SweepSetValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size);
// Deletes the subkey `name` of key with everything below it.
RegChange SweepDeleteSubKey(RegKey& key, const char* name);
// Deletes root\path with everything below it. An empty or null path is
// refused: it would name root itself.
RegChange SweepDeleteKey(HKEY root, const char* path);

// The registry changes a sweep makes: value delete, value set (the "MRUList"
// and "Value" resets), subkey delete and key delete. Every registry cleaner
// changes the registry only through these, so that a preview (PreviewActive)
// logs and counts as a real sweep does and leaves the registry untouched.
// Each records its outcome in the outcome ledger after the call: a change
// made (or previewed) as removed, a refusal as not removed, with a line.
// Settings are saved through RegKey directly: they are never previewed.
#pragma once
#include <windows.h>

#include <functional>
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
// The same for a value (or, name null, the key itself) of an open key, by its
// hive and whole path (RegKey::NameBelow).
std::string RegItemText(const RegKey& key, const char* name);

// Deletes the value `name` of key ("" is the unnamed default value).
RegChange SweepDeleteValue(RegKey& key, const char* name);
// Sets the value `name` of key to `size` bytes of `data` of the given type.
RegChange SweepSetValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size);

// One item a key deletion removed, for the caller's log line.
struct RegRemoved {
  std::string path;   // the key, below the root the deletion was given
  bool isValue = false;
  std::string value;  // the value's name (isValue)
  std::string data;   // a text value's data, to show; empty for other types
};
using RegRemovedFn = std::function<void(const RegRemoved&)>;

// Opens sub below the open key parent (root\\path names the result) for a
// cleaner to clean a fixed key's values or subkeys: one segment at a time,
// never through a registry link. Null when it is not there or will not open.
// A key that is a link, or is reached through one, is not followed: what it
// leads to is not the target. It stays and counts as not removed (and
// *link, when given, is set).
HKEY OpenTargetKey(HKEY parent, const std::string& sub, HKEY root, const std::string& path, bool* link = nullptr);

// Set before the key is opened (a base is made before the next one).
struct TargetKeyLink {
  bool m_bLink = false;  // not opened: a link, already counted as not removed
};

// A fixed key a cleaner cleans, opened by OpenTargetKey and named root\\path
// for the ledger and the log.
class TargetKey : public TargetKeyLink, public RegKey {
 public:
  TargetKey(const std::string& path, HKEY root);
  // sub below an open base key (closed when base is).
  TargetKey(const RegKey& base, const std::string& sub);
};

// Deletes the subkey `name` of key with everything below it (see SweepDeleteKey).
RegChange SweepDeleteSubKey(RegKey& key, const char* name, const RegRemovedFn& removed = nullptr);
// Deletes root\path with everything below it. An empty or null path is
// refused: it would name root itself.
//
// The tree is walked here, never by a call that walks it by itself: each key
// is opened without following a link (REG_OPTION_OPEN_LINK), and a link is
// deleted as a link, its target never reached. Each key is judged before its
// values or subkeys are touched: a protected key (RegistryHandleRefusal) is
// left, recorded as guarded and named in the log; a key the running rule
// entry keeps (RegistryKeyKept) is left silently; a key holding a kept value
// or key loses everything else and stays. Deleting a key deletes the key
// handle that was judged (NtDeleteKey), never a name looked up again. A key
// that cannot be opened or deleted is recorded as not removed.
//
// What went is recorded in the ledger and handed to `removed` for the log:
// the key itself when it went whole, otherwise each value and each key
// below it that went. kDone / kPreviewed when the key itself went; kAbsent
// when it was not there; kFailed when it stays.
RegChange SweepDeleteKey(HKEY root, const char* path, const RegRemovedFn& removed = nullptr);

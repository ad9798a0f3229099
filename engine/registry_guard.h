// What a registry sweep keeps, besides the protected keys (RegistryRefusal in
// removal_guard.h): the places the running rule entry keeps (its "REG"
// exclusions). Both are judged in registry_guard.cpp with one normaliser, so a
// key is kept whichever spelling of its hive (HKCU, HKEY_CURRENT_USER,
// HKU\<sid>, HKU\<sid>_Classes, HKCR, HKCC) or registry view (Wow6432Node)
// the rule and the key are written in, and whatever name the registry itself
// gives the key.
//
// How to use it: the rule cleaner opens a RegistryKeptScope per entry; the
// registry primitives (SweepDeleteKey's walk, SweepDeleteValue's callers) ask
// RegistryKeyKept / RegistryValueKept before they touch a key or a value.
// Outside a scope nothing is kept by these two.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// One kept place: a key with everything below it, or (hasValue) one value
// of a key. path is below root; its segments may hold the wildcards '*'
// and '?'.
struct RegistryKeptPlace {
  HKEY root = nullptr;
  std::string path;
  bool hasValue = false;
  std::string value;
};

// Puts kept places in force on this thread while it lives (the places of an
// enclosing scope are set aside meanwhile, and return after it).
class RegistryKeptScope {
 public:
  explicit RegistryKeptScope(std::vector<RegistryKeptPlace> kept);
  ~RegistryKeptScope();
  RegistryKeptScope(const RegistryKeptScope&) = delete;
  RegistryKeptScope& operator=(const RegistryKeptScope&) = delete;

  const std::vector<RegistryKeptPlace>& Places() const { return m_kept; }

 private:
  std::vector<RegistryKeptPlace> m_kept;
  const RegistryKeptScope* m_previous;
};

// How much of a key the kept places in force keep.
enum class RegistryKeeping {
  kNone,   // nothing: the key may go whole
  kWhole,  // the key with everything below it stays
  kPart,   // a value of it or a key below it stays: the key stays, the rest may go
};

// Judges root\path, as written and (key: an open handle of it, or null to
// open it here, following links) as the key the registry names it.
RegistryKeeping RegistryKeyKept(HKEY root, const std::string& path, HKEY key = nullptr);
// The value `value` of root\path is kept (by itself, or with its key).
bool RegistryValueKept(HKEY root, const std::string& path, const std::string& value, HKEY key = nullptr);

// The protected-key judgement (as RegistryRefusal) of a key already open:
// root\path as written (when root is a predefined key), and the name the
// registry gives the handle. A key opened with REG_OPTION_OPEN_LINK is judged
// as the link itself. Null when it may go; otherwise why.
const char* RegistryHandleRefusal(HKEY root, const std::string& path, HKEY key, bool wholeKey);

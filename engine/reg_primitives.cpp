// Registry changes of a sweep, each behind the preview switch and each
// recorded in the outcome ledger after the call, with what happened.
#include "engine/reg_primitives.h"

#include <algorithm>
#include <vector>

#include "engine/outcome_ledger.h"
#include "engine/preview.h"
#include "engine/registry_guard.h"
#include "engine/removal_guard.h"
#include "winlib/reg_tree.h"
#include "winlib/trace.h"

namespace {

const char* RootName(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

// The error is the registry's answer; a key or value that is not there was
// not ours to remove and is not recorded.
RegChange Settle(LONG error, const std::string& item) {
  if (error == ERROR_SUCCESS) {
    RecordOutcome(Outcome::kRemoved, item, 0.0);
    return RegChange::kDone;
  }
  if (error == ERROR_FILE_NOT_FOUND) return RegChange::kAbsent;
  RecordLeft(OutcomeOfError(static_cast<unsigned long>(error)), item, ErrorReason(static_cast<unsigned long>(error)));
  return RegChange::kFailed;
}

RegChange Previewed(const std::string& item) {
  RecordOutcome(Outcome::kRemoved, item, 0.0);
  return RegChange::kPreviewed;
}

std::string Below(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }

// Records a key that stays because it is a registry link, or is reached
// through one: it was set out to go, so it counts as not removed.
void LeftAsLink(HKEY root, const std::string& path, const char* why) {
  const std::string item = RegItemText(root, path, nullptr);
  RecordLeft(Outcome::kRefused, item, why);
}

// One key deletion through the shared tree walk: each key is judged by the
// guard and the running entry's exclusions before it is touched; what went is
// collected, a key that goes whole standing for all it held.
class TreeRemoval : public KeyTreeRemoval {
 public:
  TreeRemoval(HKEY root, bool preview) : m_root(root), m_preview(preview) {}

  REGSAM Access() const override { return m_preview ? KEY_READ : KEY_READ | KEY_SET_VALUE | DELETE; }

  // Records what went, in order, and hands each item to removed.
  void Settle(const RegRemovedFn& removed) {
    for (const RegRemoved& r : m_gone) {
      RecordOutcome(Outcome::kRemoved, RegItemText(m_root, r.path, r.isValue ? r.value.c_str() : nullptr), 0.0);
      if (removed) removed(r);
    }
  }

  void Left(LONG error, const std::string& item) {
    RecordLeft(OutcomeOfError(static_cast<unsigned long>(error)), item, ErrorReason(static_cast<unsigned long>(error)));
  }

 protected:
  Visit Judge(HKEY key, const std::string& path, bool link) override {
    const RegistryKeeping keep = RegistryKeyKept(m_root, path, key);
    if (keep == RegistryKeeping::kWhole) return Visit::kLeave;
    // A link is judged by its own name like any key first: a value named as
    // a link's can be written into any key, so "link" is never a pass.
    if (const char* why = RegistryHandleRefusal(m_root, path, key, keep == RegistryKeeping::kNone)) {
      const std::string item = RegItemText(m_root, path, nullptr);
      RecordOutcome(RefusedOutcome(why), item, 0.0, why);
      LogRegistryRefusal(item, why);
      return Visit::kLeave;
    }
    // What a link points at is not ours to judge or touch; a link the entry
    // keeps something "below" stays with it.
    if (link) return keep == RegistryKeeping::kNone ? Visit::kRemove : Visit::kLeave;
    if (keep == RegistryKeeping::kPart) RemoveValues(key, path);
    return keep == RegistryKeeping::kNone ? Visit::kRemove : Visit::kEmptyAndLeave;
  }

  void OpenFailed(LONG error, const std::string& path) override { Left(error, RegItemText(m_root, path, nullptr)); }

  // Deletes the key behind the handle that was judged; what went below it is
  // then stood for by the key.
  bool Delete(HKEY key, const std::string& path) override {
    if (!m_preview) {
      const LONG error = DeleteOpenedKey(key);
      if (error != ERROR_SUCCESS) {
        Left(error, RegItemText(m_root, path, nullptr));
        return false;
      }
    }
    const std::string below = path + "\\";
    m_gone.erase(std::remove_if(m_gone.begin(), m_gone.end(),
                                [&](const RegRemoved& r) {
                                  return r.path == path || r.path.compare(0, below.size(), below) == 0;
                                }),
                 m_gone.end());
    RegRemoved r;
    r.path = path;
    m_gone.push_back(r);
    return true;
  }

 private:
  // Every value but the kept ones.
  void RemoveValues(HKEY key, const std::string& path) {
    std::vector<std::pair<std::string, std::string>> values;  // name, text data
    std::vector<char> name(16384);
    std::vector<BYTE> data(4096);
    for (DWORD i = 0;; ++i) {
      DWORD cch = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size() - 2), type = 0;
      LONG rc = ::RegEnumValueA(key, i, name.data(), &cch, nullptr, &type, data.data(), &size);
      if (rc == ERROR_MORE_DATA) {
        cch = static_cast<DWORD>(name.size());
        size = 0;
        rc = ::RegEnumValueA(key, i, name.data(), &cch, nullptr, &type, nullptr, nullptr);
      }
      if (rc != ERROR_SUCCESS) break;
      std::string shown;
      if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < data.size() - 1) {
        data[size] = 0;
        shown = reinterpret_cast<const char*>(data.data());
      }
      values.emplace_back(std::string(name.data(), cch), shown);
    }
    for (const auto& v : values) {
      if (RegistryValueKept(m_root, path, v.first, key)) continue;
      const LONG rc = m_preview ? ERROR_SUCCESS : ::RegDeleteValueA(key, v.first.c_str());
      if (rc == ERROR_FILE_NOT_FOUND) continue;
      if (rc != ERROR_SUCCESS) {
        Left(rc, RegItemText(m_root, path, v.first.c_str()));
        continue;
      }
      RegRemoved r;
      r.path = path;
      r.isValue = true;
      r.value = v.first;
      r.data = v.second;
      m_gone.push_back(r);
    }
  }

  HKEY m_root;
  bool m_preview;
  std::vector<RegRemoved> m_gone;
};

// Deletes root\\path, opened as name below parent (the same key).
RegChange DeleteTree(HKEY root, const std::string& path, HKEY parent, const std::string& name,
                     const RegRemovedFn& removed) {
  TreeRemoval walk(root, PreviewActive());
  HKEY key = nullptr;
  const LONG rc = OpenKeyNoLink(parent, name, walk.Access(), &key);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return RegChange::kAbsent;
  if (rc == kLinkOnTheWay) {
    LeftAsLink(root, path, "a key on its way is a registry link");
    return RegChange::kFailed;
  }
  if (rc != ERROR_SUCCESS) {
    // A key behind an access list that a real sweep opens first is there
    // all the same.
    if (PreviewActive() && rc == ERROR_ACCESS_DENIED) return Previewed(RegItemText(root, path, nullptr));
    walk.Left(rc, RegItemText(root, path, nullptr));
    return RegChange::kFailed;
  }
  const bool gone = walk.Remove(key, path);
  ::RegCloseKey(key);
  walk.Settle(removed);
  if (!gone) return RegChange::kFailed;
  return PreviewActive() ? RegChange::kPreviewed : RegChange::kDone;
}

}  // namespace

std::string RegItemText(HKEY root, const std::string& path, const char* name) {
  std::string text;
  if (const char* rootName = RootName(root)) text = rootName;
  if (!path.empty()) text += (text.empty() ? "" : "\\") + path;
  if (name != nullptr) text += std::string(text.empty() ? "" : "\\") + (*name == '\0' ? "(Default)" : name);
  return text;
}

std::string RegItemText(const RegKey& key, const char* name) { return RegItemText(key.Hive(), key.FullPath(), name); }

RegChange SweepDeleteValue(RegKey& key, const char* name) {
  if (!key.IsOpen()) return RegChange::kFailed;
  const std::string item = RegItemText(key, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::RegDeleteValueA(key.IsOpen(), name), item);
}

RegChange SweepSetValue(RegKey& key, const char* name, DWORD type, const void* data, DWORD size) {
  if (!key.IsOpen()) return RegChange::kFailed;
  const std::string item = RegItemText(key, name);
  if (PreviewActive()) return Previewed(item);
  return Settle(::RegSetValueExA(key.IsOpen(), name, 0, type, static_cast<const BYTE*>(data), size), item);
}

HKEY OpenTargetKey(HKEY parent, const std::string& sub, HKEY root, const std::string& path, bool* link) {
  if (link != nullptr) *link = false;
  if (parent == nullptr) return nullptr;
  HKEY key = nullptr;
  LONG rc = OpenKeyNoLink(parent, sub, KEY_ALL_ACCESS, &key);
  // A key the user may only read still shows what it holds; its changes
  // then fail one by one, where the caller sees them.
  if (rc == ERROR_ACCESS_DENIED) rc = OpenKeyNoLink(parent, sub, KEY_READ, &key);
  const bool isLink = rc == ERROR_SUCCESS && IsRegistryLink(key);
  if (isLink) ::RegCloseKey(key);
  if (link != nullptr) *link = isLink || rc == kLinkOnTheWay;
  if (rc == kLinkOnTheWay) LeftAsLink(root, path, "a key on its way is a registry link");
  if (isLink) LeftAsLink(root, path, "the key is a registry link");
  if (rc != ERROR_SUCCESS || isLink) return nullptr;
  return key;
}

TargetKey::TargetKey(const std::string& path, HKEY root) : RegKey(OpenTargetKey(root, path, root, path, &m_bLink)) {
  m_hRoot = root;
  m_strPath = path;
}

TargetKey::TargetKey(const RegKey& base, const std::string& sub)
    : RegKey(OpenTargetKey(base.m_hKey, sub, base.m_hRoot, Below(base.m_strPath, sub), &m_bLink)) {
  m_hRoot = base.m_hRoot;
  m_strPath = Below(base.m_strPath, sub);
}

RegChange SweepDeleteSubKey(RegKey& key, const char* name, const RegRemovedFn& removed) {
  // An empty name would name the key itself: never what a cleaner that
  // names a subkey means.
  if (!key.IsOpen() || name == nullptr || *name == '\0') return RegChange::kFailed;
  return DeleteTree(key.Hive(), Below(key.FullPath(), name), key.IsOpen(), name, removed);
}

RegChange SweepDeleteKey(HKEY root, const char* path, const RegRemovedFn& removed) {
  if (root == nullptr || path == nullptr || *path == '\0') {
    Trace("Refused to delete a registry root.\n");
    return RegChange::kFailed;
  }
  return DeleteTree(root, path, root, path, removed);
}

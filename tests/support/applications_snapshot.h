// A before/after listing for end-to-end sweep tests: every file and folder
// below chosen folders (files with size and a content hash) and every key and
// value of both registry hives as this process sees them (inside a
// RegistrySandbox: the scratch keys only). Comparing two listings shows
// exactly what a sweep removed, changed or added.
#pragma once
#include <map>
#include <string>
#include <vector>

class ApplicationsSnapshot {
 public:
  // Lists the folders (recursively; links are listed, never entered) and both hives.
  explicit ApplicationsSnapshot(const std::vector<std::string>& folders);

  // Entry names: "file:<path>", "dir:<path>", "key:HKCU\<path>", "value:HKLM\<path>|<name>".
  // Descriptions: size and hash for files, type and hash for values, empty otherwise.
  const std::map<std::string, std::string>& Entries() const { return m_entries; }
  bool Has(const std::string& entry) const { return m_entries.count(entry) != 0; }

  struct Diff {
    std::vector<std::string> removed, changed, added;
    bool Empty() const { return removed.empty() && changed.empty() && added.empty(); }
  };
  // What differs in later compared with this listing.
  Diff Compare(const ApplicationsSnapshot& later) const;

 private:
  void ListFolder(const std::string& folder);
  void ListKey(void* root, const std::string& rootName, const std::string& path);
  std::map<std::string, std::string> m_entries;
};

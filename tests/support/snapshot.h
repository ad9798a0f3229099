// Before/after pictures of the machine for the "nothing else changed" tests:
// every file below a folder (name, size, content hash), every folder and link
// (links are listed, never entered), and every key and value below a registry
// key (type, size, data hash). Compare two pictures to get what was removed,
// added and changed.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// Entry name -> what it is. Names carry the label the caller gave the place:
//   files:    "<label>\rel\path"          -> "file <size> <hash>", "dir", "link"
//   registry: "<label>\rel\key"           -> "key"
//             "<label>\rel\key\\:<value>" -> "value <type> <size> <hash>"
// (an unnamed default value shows as ":").
using SnapshotMap = std::map<std::string, std::string>;

// Adds every entry below folder (not the folder itself). A missing folder adds
// nothing. Names longer than MAX_PATH are reached through the "\\?\" form.
// Files larger than hashUpTo bytes are pictured by size and last-write time
// instead of a hash ("file <size> w<time>"): a whole prefix holds hundreds of
// megabytes of system files that no sweep may touch, and reading them all
// twice per test costs seconds.
void SnapshotFolder(const std::string& label, const std::string& folder, SnapshotMap& out,
                    unsigned long long hashUpTo = ~0ULL);
// Adds the key itself ("<label>" -> "key"), its values and everything below.
// A key that cannot be opened adds nothing.
void SnapshotKey(const std::string& label, HKEY root, const std::string& path, SnapshotMap& out);

struct SnapshotDiff {
  std::vector<std::string> removed;  // in before, not in after
  std::vector<std::string> added;    // in after, not in before
  std::vector<std::string> changed;  // in both, described differently
  bool Empty() const { return removed.empty() && added.empty() && changed.empty(); }
  // One line per entry ("- name", "+ name", "~ name"), for failure messages.
  std::string Describe() const;
};

SnapshotDiff CompareSnapshots(const SnapshotMap& before, const SnapshotMap& after);

// The same diff without the entries `expected` accepts (for example the
// traces a sweep was meant to remove), so what is left is what must not be.
SnapshotDiff Unexpected(const SnapshotDiff& diff, const std::function<bool(const std::string& name)>& expected);

// The content hash the pictures use (64-bit FNV-1a, as 16 hex digits); empty
// when the file cannot be read.
std::string HashFileContent(const std::string& path);

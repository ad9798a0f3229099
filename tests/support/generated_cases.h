// Seeded random safety cases for the rule cleaner: a folder tree and a
// registry tree with second names (folder and file links, registry links,
// 8.3 names, drive letters that are folders, names in several scripts), a
// rule entry with random FileKeys, RegKeys and ExcludeKeys over them in
// every spelling of the same place, one sweep, and a checker that pictures
// the folders and keys before and after on its own (it never asks the code
// under test what a name means) and judges two things:
//   - nothing outside the targets, less what the rule keeps and the
//     protected folder, changed;
//   - every item the entry set out to remove that stayed is counted as not
//     removed (so the exit code says 1).
// The same seed always builds the same case; Describe() prints what it takes
// to build it again as an ordinary test.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

struct GeneratedCase;

struct GeneratedResult {
  unsigned seed = 0;
  std::vector<std::string> outside;    // changed, but no target reached it (or a kept one)
  std::vector<std::string> uncounted;  // set out to be removed, stayed, and "Not removed" was 0
  std::vector<std::string> features;   // what the case held ("folder link", "8.3 name", ...)
  size_t removed = 0;                  // names that went
  size_t mustGo = 0;                   // names the entry set out to remove
  int notRemoved = 0;                  // the ledger's count
  std::string description;             // the case, to build it again
  std::string log;                     // the sweep's lines
  std::string timing;                  // where the case's time went
  bool Failed() const { return !outside.empty() || !uncounted.empty(); }
  std::string Report() const;
};

// What a run may change on purpose, for the checker's own control test.
enum class GeneratedTamper { kNone, kTouchOutside, kRestoreTarget };

// Builds the case of seed in a folder and registry key of its own (below
// D:\fixtures\generated and a sandboxed HKEY_CURRENT_USER, which the caller
// provides), sweeps it, checks it and removes it again.
GeneratedResult RunGeneratedCase(unsigned seed, GeneratedTamper tamper = GeneratedTamper::kNone);

// Makes a Unix symbolic link at link (a Windows path) to target (a Windows
// path), as ln -s does: Win32 code cannot make one under Wine.
bool MakeUnixLink(const std::string& link, const std::string& target);

// Runs a /bin/sh command line; true when it exits 0. UnixPathOf gives the
// Unix path of a Windows one (empty when there is none).
bool RunUnixCommand(const std::string& script);
std::string UnixPathOf(const std::string& windowsPath);

// Waits until Wine has read its drive letters again after one was made or
// removed (it does so once the clock's second has turned).
void SettleDriveLetters();
// The Unix path of the link in the prefix's "dosdevices" folder that makes
// the drive letter (lower case), as Wine keeps its drives; empty when
// WINEPREFIX is not set.
std::string DriveLetterLink(char letter);

// Removes a folder the way rm -rf does (links go as links, never followed).
bool RemoveGeneratedFolder(const std::string& folder);

// Whether the Unix side can be reached for links (false: the case cannot be built here).
bool GeneratedCasesSupported(std::string* why);

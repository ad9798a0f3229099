// The one mask matcher: names against masks of '*' and '?', and paths
// against patterns whose segments are such masks. Files, folders, registry
// keys, exclusions and the removal guard all match through it. It sits at
// the bottom of the engine and includes nothing of it.
//
// It never backtracks: the runs between stars are placed greedily, each at
// its leftmost place, so its time is bounded by the name's length times the
// mask's, and runs longer together than the name fail at once: a rule
// file's pattern cannot stall a sweep.
#pragma once
#include <string>

// True when name matches the mask as a folder search reads it: '*' any run
// of characters, '?' any one, case ignored as the system folds names; "*",
// "*.*" and an empty mask match every name, and a mask ending in ".*" also
// matches a name without an extension ("~*.*" matches "~temp").
bool MaskMatches(const std::wstring& name, const std::wstring& mask);
// The same on text in the system's code page.
bool MaskMatches(const std::string& name, const std::string& mask);
// The same on texts the caller has already folded (FoldCase): no folding.
bool FoldedMaskMatches(const std::wstring& foldedName, const std::wstring& foldedMask);

// Segment-wise matching of a path against a pattern whose segments may hold
// '*' and '?' (case ignored; '\' and '/' separate, empty segments dropped).
// below: the path may continue past the pattern.
bool SegmentsMatch(const std::string& pattern, const std::string& path, bool below);

// The older name of MaskMatches, kept for callers written against it.
inline bool MatchesFileMask(const std::wstring& name, const std::wstring& mask) { return MaskMatches(name, mask); }

// Path text: how the program takes a path apart (its folder, its leaf) and
// compares names as the system compares them (case ignored, any script).
// Every caller that splits or compares path text uses these.
#pragma once
#include <string>

// Everything before the last '\' or '/'; empty when there is none.
std::string FolderOf(const std::string& path);
// Everything after the last '\' or '/'; the whole text when there is none.
std::string LeafOf(const std::string& path);

// The text upper-cased as the system folds names: two names are the same
// name when their folded forms are equal. Plain ASCII takes a quick path.
std::wstring FoldCase(const std::string& text);
std::wstring FoldCase(std::wstring text);
// a and b name the same thing, case ignored.
bool SameNoCase(const std::string& a, const std::string& b);
bool SameNoCase(const std::wstring& a, const std::wstring& b);
// ASCII letters made lower case; other bytes stay (file extensions, key words).
std::string LowerAscii(std::string s);

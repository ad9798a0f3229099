// Folder cleaners: turn a registry value or an environment string into a
// search pattern, pass it through the removal guard, and hand it to a
// DirWalker loop. Every failure ends the operation for that folder silently
// (the trace learns why); a walker exception never escapes.
#pragma once
#include <string>

#include "settings/settings_groups.h"

class RegKey;

// Table operations (folder rows): the folder is read from key\valueName.
void CleanDirByValue(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId, int* count,
                     float* kb, std::string* doneFolder, const char* subfolder);
void CleanDirTreeByValue(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId,
                         int* count, float* kb, std::string* doneFolder, const char* subfolder);
void CleanSubDirByValue(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId,
                        int* count, float* kb, std::string* doneFolder, const char* subfolder);
void CleanDirQuiet(int kind, RegKey& key, const char* valueName, const char* pattern, int statusId, int* count,
                   float* kb, std::string* doneFolder, const char* subfolder);

// Table operations (environment rows): folder holds environment references.
void CleanEnvDir(int kind, const char* folder, const char* pattern, int statusId, int* count, float* kb);
void CleanEnvDirGuarded(int kind, const char* folder, const char* pattern, int statusId, int* count, float* kb);

// Removes the plain files of the folder named by key\valueName except
// "index.dat" and the friendly cookies in keepList; never schedules a file
// for restart. Skipped when the folder's pattern equals *doneFolder.
void CleanCookieDirExcept(const StringPairList& keepList, RegKey& key, const char* valueName, int statusId,
                          int* count, float* kb, std::string* doneFolder);
// Fills list with the current cookie files: the shell's cookie folder, or
// else the "Cookies" values of the two shell-folder keys.
void CollectCurrentCookies(StringPairList& list);

// Where the benchmarks find the community rule file: the build copies it to
// <build>\rule-files\winapp2.ini, one folder above the benchmarks.
#pragma once
#include <windows.h>

#include <string>

inline std::string DefaultRuleFile() {
  char exe[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string dir(exe, n);
  dir = dir.substr(0, dir.find_last_of('\\'));
  return dir.substr(0, dir.find_last_of('\\')) + "\\rule-files\\winapp2.ini";
}

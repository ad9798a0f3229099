// RuleSet: loading rule files from the places the user controls, and
// detection (whether an entry applies on this machine), worked out once per
// entry and cached.
#include "rules/rule_set.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <mutex>

#include "engine/nt_calls.h"
#include "rules/rule_keys.h"
#include "settings/rule_choices.h"
#include "winlib/unique_handle.h"

namespace {

// Larger than any rule file we know of by far; a bigger file is not one.
constexpr uint64_t kMaxRuleFileBytes = 64ull * 1024 * 1024;

// Guards the detection caches of every set: the page and a sweep may ask at once.
std::mutex& DetectLock() {
  static std::mutex lock;
  return lock;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* why) {
  ScopedFile file(::CreateFileW(nt::LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) {
    *why = "it cannot be read (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) {
    *why = "its size cannot be read";
    return false;
  }
  if (static_cast<uint64_t>(size.QuadPart) > kMaxRuleFileBytes) {
    *why = "it is larger than 64 MB, so not a rule file";
    return false;
  }
  bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
  size_t got = 0;
  while (got < bytes->size()) {
    DWORD n = 0;
    if (!::ReadFile(file.Get(), &(*bytes)[got], static_cast<DWORD>(bytes->size() - got), &n, nullptr)) {
      *why = "it cannot be read (error " + std::to_string(::GetLastError()) + ")";
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  bytes->resize(got);
  return true;
}

bool Detected(const RuleEntryKeys& keys) {
  if (keys.hasOsRange) {
    const unsigned v = RuleOsVersion();
    if (v < keys.osMin || v > keys.osMax) return false;
  }
  if (!keys.hasDetection) return true;
  for (const auto& place : keys.detect) {
    if (HasWildcard(place.path)) {
      if (!ExpandRuleRegPath(place).empty()) return true;
      continue;
    }
    // The 64-bit view, then the 32-bit programs' view of the two hives
    // Windows redirects (HKLM\Software and the classes).
    if (RuleRegKeyExists(place.root, place.path)) return true;
    if ((place.root == HKEY_LOCAL_MACHINE || place.root == HKEY_CLASSES_ROOT) &&
        RuleRegKeyExists(place.root, place.path, KEY_WOW64_32KEY))
      return true;
  }
  for (const auto& file : keys.detectFiles)
    if (RuleFileExists(file)) return true;
  return false;
}

}  // namespace

RuleSet::RuleSet() = default;
RuleSet::~RuleSet() = default;

void RuleSet::LoadText(const std::string& bytes, const std::string& source, bool builtin) {
  LoadOwnedText(bytes, source, builtin);
}

void RuleSet::LoadOwnedText(std::string bytes, const std::string& source, bool builtin) {
  RuleFileReport report;
  report.path = source;
  if (!DecodeRuleBytes(&bytes, &report.skipped)) {
    m_files.push_back(report);
    return;
  }
  // Names stay unique across files: the reader sees the entries held.
  report.entries = ParseRuleText(bytes, source, builtin, &m_entries);
  std::string().swap(bytes);
  m_entries.shrink_to_fit();
  if (report.entries == 0) report.skipped = "not a rule file (no [section] in it)";
  std::lock_guard<std::mutex> hold(DetectLock());
  m_applies.resize(m_entries.size(), -1);
  m_files.push_back(report);
}

bool RuleSet::LoadFile(const std::string& path) {
  const size_t entriesBefore = m_entries.size();
  const size_t filesBefore = m_files.size();
  try {
    std::string bytes, why;
    if (!ReadWholeFile(path, &bytes, &why)) {
      m_files.push_back(RuleFileReport{path, 0, why});
      return false;
    }
    LoadOwnedText(std::move(bytes), LeafOf(path), false);
  } catch (const std::exception& e) {
    // A file the program cannot hold is skipped whole; the program starts
    // with the rules it has.
    m_entries.resize(entriesBefore);
    m_files.resize(filesBefore);
    {
      std::lock_guard<std::mutex> hold(DetectLock());
      m_applies.resize(m_entries.size(), -1);
    }
    m_files.push_back(RuleFileReport{path, 0, std::string("it could not be read whole (") + e.what() + ")"});
    return false;
  }
  RuleFileReport& report = m_files.back();
  if (m_files.size() > filesBefore) report.path = path;
  return report.skipped.empty();
}

void RuleSet::LoadStandard() {
  if (HRSRC res = ::FindResourceA(nullptr, "BUILTIN_RULES", MAKEINTRESOURCEA(10) /* RT_RCDATA */)) {
    HGLOBAL loaded = ::LoadResource(nullptr, res);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(nullptr, res);
    if (data != nullptr) LoadText(std::string(static_cast<const char*>(data), size), "Built-in", true);
  }
  // The user's own rule files, in name order so that the first of two
  // entries of the same name is always the same one.
  const std::vector<std::string> appData = RuleVariableValues("AppData");
  if (!appData.empty()) {
    const std::string folder = appData[0] + "\\Morvane\\Rules";
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(nt::LongPathForm(folder + "\\*.ini").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(nt::Narrow(fd.cFileName));
      } while (::FindNextFileW(h, &fd));
      ::FindClose(h);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    for (const auto& name : names) LoadFile(folder + "\\" + name);
  }
  wchar_t exe[MAX_PATH * 2];
  const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
  if (n > 0 && n < MAX_PATH * 2) {
    std::string beside = nt::Narrow(std::wstring(exe, n));
    beside = beside.substr(0, beside.find_last_of('\\') + 1) + "winapp2.ini";
    if (::GetFileAttributesW(nt::LongPathForm(beside).c_str()) != INVALID_FILE_ATTRIBUTES) LoadFile(beside);
  }
}

bool RuleSet::Applies(size_t i) {
  {
    std::lock_guard<std::mutex> hold(DetectLock());
    if (i >= m_entries.size()) return false;
    if (m_applies[i] >= 0) return m_applies[i] == 1;
  }
  const RuleEntry& e = m_entries[i];
  const bool applies = !e.refusedWhole && e.keys != nullptr && Detected(*e.keys);
  std::lock_guard<std::mutex> hold(DetectLock());
  m_applies[i] = applies ? 1 : 0;
  return applies;
}

void RuleSet::DetectAll() {
  RuleAttributeCache cache;
  for (size_t i = 0; i < m_entries.size(); ++i) Applies(i);
}

RuleSet& ProgramRules() {
  static RuleSet rules;
  return rules;
}

bool RuleEntryOn(const RuleEntry& entry) { return RuleChoiceOn(entry.name, entry.defaultOn); }

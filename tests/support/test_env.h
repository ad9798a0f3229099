// Fixtures every test uses: registry isolation, a private temporary folder,
// a trace recorder and a progress recorder.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/sweep_log.h"
#include "winlib/trace.h"

// Maps HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process to fresh
// scratch keys for its lifetime, and removes them afterwards.
class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;
  // Paths of the scratch keys below the real HKEY_CURRENT_USER.
  const std::string& UserPath() const { return m_userPath; }
  const std::string& MachinePath() const { return m_machinePath; }

 private:
  std::string m_root, m_userPath, m_machinePath;
  HKEY m_user = nullptr, m_machine = nullptr;
};

// A fresh folder below the prefix's temporary folder, removed with its
// contents afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& Path() const { return m_path; }
  // Path of a name inside the folder.
  std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

 private:
  std::string m_path;
};

// Records trace lines while it lives.
class TraceRecorder : public TraceSink {
 public:
  TraceRecorder();
  ~TraceRecorder() override;
  void Write(const char* line) override;
  std::vector<std::string> Lines();
  bool Contains(const std::string& text);

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
  TraceSink* m_previous;
};

// A progress sink that records everything the sweep log sends it; attached
// while it lives.
class ProgressRecorder : public ProgressSink {
 public:
  struct Event {
    enum Kind { kLog, kText, kRange, kPos, kCaption } kind;
    int id;
    std::string text;
    int a, b;
  };

  explicit ProgressRecorder(bool attach = true);
  ~ProgressRecorder() override;

  void AppendLog(const char* text) override;
  void SetItemText(int id, const char* text) override;
  bool HasItem(int id) const override;
  void SetBarRange(int id, int low, int high) override;
  void SetBarPos(int id, unsigned pos) override;
  void SetCaption(const char* text) override;

  std::vector<Event> Events();
  std::vector<std::string> LogLines();
  std::string ItemText(int id);
  int BarPos(int id);
  std::vector<int> BarHistory(int id);
  std::string Caption();

  bool m_hasTotalsLine = true;

 private:
  mutable std::mutex m_mutex;
  std::vector<Event> m_events;
  bool m_attached;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Creates a file holding the given bytes; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// The link fixtures of the safety tests come from tools/make-fixtures.sh (Win32
// code cannot make a link under Wine). A test whose fixture is missing fails,
// unless the run was started with MORVANE_FIXTURES_ABSENT=1: then it skips,
// with a marker that makes tools/run-tests.sh fail the run all the same.
bool FixturesMayBeAbsent();
#define REQUIRE_FIXTURE(present, what)                                                                     \
  do {                                                                                                     \
    if (!(present)) {                                                                                      \
      if (FixturesMayBeAbsent())                                                                           \
        GTEST_SKIP() << "MORVANE-FIXTURE-MISSING " << (what);                                            \
      else                                                                                                 \
        FAIL() << "fixture " << (what) << " missing: run tools/make-fixtures.sh (or tools/run-tests.sh), " \
               << "or set MORVANE_FIXTURES_ABSENT=1 to skip the tests that need it";                      \
    }                                                                                                      \
  } while (0)

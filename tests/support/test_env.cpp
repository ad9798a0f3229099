#include "test_env.h"

#include <shlwapi.h>

#include "engine/file_removal.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<unsigned> g_serial{0};

std::string UniqueName(const char* stem) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s-%lu-%u", stem, (unsigned long)::GetCurrentProcessId(), g_serial++);
  return buf;
}

void RemoveTreeQuietly(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      const bool isLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink) {
        RemoveTreeQuietly(full);
      } else if (isLink) {
        // Never RemoveDirectoryA on a link: under Wine it removes an empty target.
        RemoveLink(full);
      } else {
        ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(full.c_str());
      }
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryA(path.c_str());
}
}  // namespace

RegistrySandbox::RegistrySandbox() {
  m_root = "Software\\MorvaneTests\\" + UniqueName("reg");
  m_userPath = m_root + "\\HKCU";
  m_machinePath = m_root + "\\HKLM";
  // Make sure no earlier override is in force while the scratch keys are made.
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  ::RegCreateKeyExA(HKEY_CURRENT_USER, m_userPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_user, nullptr);
  ::RegCreateKeyExA(HKEY_CURRENT_USER, m_machinePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_machine,
                    nullptr);
  if (m_user == nullptr || m_machine == nullptr) {
    ADD_FAILURE() << "cannot create the scratch registry keys";
    return;
  }
  ::RegOverridePredefKey(HKEY_CURRENT_USER, m_user);
  ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine);
}

RegistrySandbox::~RegistrySandbox() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  if (m_user) ::RegCloseKey(m_user);
  if (m_machine) ::RegCloseKey(m_machine);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, m_root.c_str());
}

TempFolder::TempFolder() {
  char tmp[MAX_PATH];
  DWORD n = ::GetTempPathA(MAX_PATH, tmp);
  std::string base(tmp, n);
  if (!base.empty() && base.back() == '\\') base.pop_back();
  m_path = base + "\\" + UniqueName("morvane-test");
  if (!::CreateDirectoryA(m_path.c_str(), nullptr)) ADD_FAILURE() << "cannot create " << m_path;
}

TempFolder::~TempFolder() { RemoveTreeQuietly(m_path); }

TraceRecorder::TraceRecorder() : m_previous(SetTraceSink(this)) {}
TraceRecorder::~TraceRecorder() { SetTraceSink(m_previous); }
void TraceRecorder::Write(const char* line) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_lines.emplace_back(line);
}
std::vector<std::string> TraceRecorder::Lines() {
  std::lock_guard<std::mutex> hold(m_mutex);
  return m_lines;
}
bool TraceRecorder::Contains(const std::string& text) {
  for (const auto& l : Lines())
    if (l.find(text) != std::string::npos) return true;
  return false;
}

ProgressRecorder::ProgressRecorder(bool attach) : m_attached(attach) {
  if (attach) AttachProgressSink(this);
}
ProgressRecorder::~ProgressRecorder() {
  if (m_attached) DetachProgressSink();
}
void ProgressRecorder::AppendLog(const char* text) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_events.push_back({Event::kLog, IDC_SWEEP_LOG, text, 0, 0});
}
void ProgressRecorder::SetItemText(int id, const char* text) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_events.push_back({Event::kText, id, text, 0, 0});
}
bool ProgressRecorder::HasItem(int id) const { return id != IDC_TOTALS || m_hasTotalsLine; }
void ProgressRecorder::SetBarRange(int id, int low, int high) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_events.push_back({Event::kRange, id, std::string(), low, high});
}
void ProgressRecorder::SetBarPos(int id, unsigned pos) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_events.push_back({Event::kPos, id, std::string(), static_cast<int>(pos), 0});
}
void ProgressRecorder::SetCaption(const char* text) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_events.push_back({Event::kCaption, 0, text, 0, 0});
}
std::vector<ProgressRecorder::Event> ProgressRecorder::Events() {
  std::lock_guard<std::mutex> hold(m_mutex);
  return m_events;
}
std::vector<std::string> ProgressRecorder::LogLines() {
  std::vector<std::string> lines;
  for (const auto& e : Events())
    if (e.kind == Event::kLog) lines.push_back(e.text);
  return lines;
}
std::string ProgressRecorder::ItemText(int id) {
  std::string text;
  for (const auto& e : Events())
    if (e.kind == Event::kText && e.id == id) text = e.text;
  return text;
}
std::vector<int> ProgressRecorder::BarHistory(int id) {
  std::vector<int> positions;
  for (const auto& e : Events())
    if (e.kind == Event::kPos && e.id == id) positions.push_back(e.a);
  return positions;
}
int ProgressRecorder::BarPos(int id) {
  auto h = BarHistory(id);
  return h.empty() ? -1 : h.back();
}
std::string ProgressRecorder::Caption() {
  std::string text;
  for (const auto& e : Events())
    if (e.kind == Event::kCaption) text = e.text;
  return text;
}

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  ::CloseHandle(h);
  return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (::WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr) &&
                              written == bytes.size());
  ::CloseHandle(h);
  return ok;
}

bool FileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FixturesMayBeAbsent() {
  char value[8] = {};
  const DWORD n = ::GetEnvironmentVariableA("MORVANE_FIXTURES_ABSENT", value, sizeof value);
  return n > 0 && n < sizeof value && std::string(value) == "1";
}

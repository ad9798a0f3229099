#include "shell/console_report.h"

#include <string>
#include <vector>

#include "winlib/format_line.h"

ConsoleReport::ConsoleReport(HANDLE out) : m_hOut(out), m_bConsole(false) {
  ::InitializeCriticalSection(&m_cs);
  DWORD mode = 0;
  m_bConsole = CanWrite() && ::GetConsoleMode(m_hOut, &mode);
}

ConsoleReport::~ConsoleReport() { ::DeleteCriticalSection(&m_cs); }

HANDLE ConsoleReport::FindStandardOutput() {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return out;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return nullptr;
  out = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
  return out != INVALID_HANDLE_VALUE ? out : nullptr;
}

void ConsoleReport::Write(const char* text, size_t length) {
  if (!CanWrite() || length == 0) return;
  if (m_bConsole) {
    // A console shows its own code page; wide output shows UTF-8 names right.
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
    if (wide > 0) {
      std::vector<wchar_t> buffer(static_cast<size_t>(wide));
      ::MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), buffer.data(), wide);
      DWORD written = 0;
      ::WriteConsoleW(m_hOut, buffer.data(), static_cast<DWORD>(wide), &written, nullptr);
      return;
    }
  }
  const char* p = text;
  while (length > 0) {
    DWORD written = 0;
    if (!::WriteFile(m_hOut, p, static_cast<DWORD>(length), &written, nullptr) || written == 0) return;
    p += written;
    length -= written;
  }
}

void ConsoleReport::AppendLog(const char* text) {
  if (text == nullptr) return;
  std::string line = text;
  if (line.empty() || line.back() != '\n') line += '\n';
  ::EnterCriticalSection(&m_cs);
  Write(line.data(), line.size());
  ::LeaveCriticalSection(&m_cs);
}

void ConsoleReport::WriteTotals() {
  char line[128];
  {
    TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
    FormatTotalsLine(line, sizeof line, m_nTotalItems, m_fTotalKB, m_bPreview);
  }
  AppendLog(line);
}

void ConsoleReport::WriteNotRemoved(int items) {
  char line[128];
  FormatLine(line, sizeof line, "Not removed: %d item(s) could not be removed or scheduled for restart.\n", items);
  AppendLog(line);
}

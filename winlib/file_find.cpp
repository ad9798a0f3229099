#include "winlib/file_find.h"

bool FileFind::FindFile(const std::string& pattern) {
  Close();
  const size_t cut = pattern.find_last_of("\\/");
  m_root = cut == std::string::npos ? std::string() : pattern.substr(0, cut);
  m_find.Attach(::FindFirstFileA(pattern.c_str(), &m_next));
  m_hasNext = m_find.IsValid();
  return m_hasNext;
}

bool FileFind::FindNextFile() {
  if (!m_hasNext) return false;
  m_current = m_next;
  m_hasCurrent = true;
  m_hasNext = ::FindNextFileA(m_find.Get(), &m_next) != FALSE;
  if (!m_hasNext) m_find.Close();
  return m_hasNext;
}

void FileFind::Close() {
  m_find.Close();
  m_hasNext = false;
  m_hasCurrent = false;
}

bool FileFind::IsDots() const {
  if (!m_hasCurrent || !IsDirectory()) return false;
  const char* n = m_current.cFileName;
  return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

uint64_t FileFind::GetLength() const {
  return (static_cast<uint64_t>(m_current.nFileSizeHigh) << 32) | m_current.nFileSizeLow;
}

std::string FileFind::GetFilePath() const {
  if (!m_hasCurrent) return std::string();
  return m_root + "\\" + m_current.cFileName;
}

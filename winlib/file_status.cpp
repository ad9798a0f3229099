#include "winlib/file_status.h"

#include "winlib/platform_calls.h"

bool GetFileStatus(const std::string& path, FileStatus& status) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!g_platform.GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  status.m_attribute = data.dwFileAttributes;
  status.m_size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool SetFileAttributesTo(const std::string& path, DWORD attributes) {
  // Zero means "no change" to the system; a file with no attributes left is normal.
  return ::SetFileAttributesA(path.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) != FALSE;
}

FileException::FileException(std::string fileName, DWORD osError)
    : std::runtime_error("file operation failed: " + fileName), m_strFileName(std::move(fileName)),
      m_lOsError(osError) {}

void RemoveFileOrThrow(const std::string& path) {
  if (!::DeleteFileA(path.c_str())) throw FileException(path, ::GetLastError());
}

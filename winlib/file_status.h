// File status and the file exception: what the removal code needs to know
// about one file (attributes, 64-bit size) and how a failed removal is
// reported to the loop that asked for it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

struct FileStatus {
  DWORD m_attribute = 0;
  uint64_t m_size = 0;  // bytes; files of 4 GiB and more keep their full size
};

// Reads the status of the file at path. False (status untouched) on failure.
bool GetFileStatus(const std::string& path, FileStatus& status);
// Writes the attributes back. False on failure.
bool SetFileAttributesTo(const std::string& path, DWORD attributes);

// A failed file operation. m_strFileName is the name the file has now, which
// differs from the name asked for when the file was renamed before it failed.
class FileException : public std::runtime_error {
 public:
  FileException(std::string fileName, DWORD osError);
  std::string m_strFileName;
  DWORD m_lOsError;
};

// Deletes the file; throws FileException (with GetLastError) when it stays.
void RemoveFileOrThrow(const std::string& path);

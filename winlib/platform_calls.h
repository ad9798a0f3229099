// Platform calls that tests must be able to replace: ones Wine lacks, ones
// whose failure a test has to force, and ones that would wait for a person
// (message boxes, modal dialogs). Everything else calls the API directly.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

struct PlatformCalls {
  int(WINAPI* MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
  INT_PTR(WINAPI* DialogBoxParamA)(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
  BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA info);
  BOOL(WINAPI* ShellExecuteExA)(SHELLEXECUTEINFOA* info);
  // Reading a file's status: a test forces its failure (a file whose status
  // cannot be read is still removed).
  BOOL(WINAPI* GetFileAttributesExA)(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info);

  // Removal at the next restart: it fails for a standard user (the list of
  // pending removals belongs to the machine), and tests force that failure.
  BOOL(WINAPI* MoveFileExW)(LPCWSTR existing, LPCWSTR replacement, DWORD flags);

  // The recycle bin: Wine's works on the host's trash, which tests must never empty.
  HRESULT(WINAPI* SHQueryRecycleBinA)(LPCSTR rootPath, LPSHQUERYRBINFO info);
  HRESULT(WINAPI* SHEmptyRecycleBinA)(HWND owner, LPCSTR rootPath, DWORD flags);

  // The URL cache: Wine lacks the Ex search, and tests force refusals and
  // short buffers.
  HANDLE(WINAPI* FindFirstUrlCacheEntryExA)(LPCSTR searchPattern, DWORD flags, DWORD filter, GROUPID groupId,
                                            LPINTERNET_CACHE_ENTRY_INFOA entry, LPDWORD entrySize, LPVOID reserved,
                                            LPDWORD reserved2, LPVOID reserved3);
  BOOL(WINAPI* FindNextUrlCacheEntryExA)(HANDLE find, LPINTERNET_CACHE_ENTRY_INFOA entry, LPDWORD entrySize,
                                         LPVOID reserved, LPDWORD reserved2, LPVOID reserved3);
  HANDLE(WINAPI* FindFirstUrlCacheEntryA)(LPCSTR searchPattern, LPINTERNET_CACHE_ENTRY_INFOA entry,
                                          LPDWORD entrySize);
  BOOL(WINAPI* FindNextUrlCacheEntryA)(HANDLE find, LPINTERNET_CACHE_ENTRY_INFOA entry, LPDWORD entrySize);
  BOOL(WINAPI* FindCloseUrlCache)(HANDLE find);
  BOOL(WINAPI* DeleteUrlCacheEntryA)(LPCSTR url);
  BOOL(WINAPI* CreateUrlCacheEntryA)(LPCSTR url, DWORD expectedSize, LPCSTR extension, LPSTR fileName,
                                     DWORD reserved);
  BOOL(WINAPI* CommitUrlCacheEntryA)(LPCSTR url, LPCSTR localFile, FILETIME expires, FILETIME lastModified,
                                     DWORD entryType, LPBYTE header, DWORD headerSize, LPCSTR extension,
                                     LPCSTR originalUrl);

  // The notification area: tests watch what is added, changed and removed.
  BOOL(WINAPI* Shell_NotifyIconA)(DWORD message, PNOTIFYICONDATAA data);
};

// Set to the real API; tests swap single entries and restore them.
extern PlatformCalls g_platform;

// Restores every entry to the real API.
void ResetPlatformCalls();

// Platform calls that tests must be able to replace: ones Wine lacks, ones
// whose failure a test has to force, and ones that would wait for a person
// (message boxes, modal dialogs). Everything else calls the API directly.
#pragma once
#include <windows.h>
#include <shellapi.h>

struct PlatformCalls {
  int(WINAPI* MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
  INT_PTR(WINAPI* DialogBoxParamA)(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
  BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA info);
  BOOL(WINAPI* ShellExecuteExA)(SHELLEXECUTEINFOA* info);
  // Reading a file's status: a test forces its failure (a file whose status
  // cannot be read is still removed).
  BOOL(WINAPI* GetFileAttributesExA)(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info);
};

// Set to the real API; tests swap single entries and restore them.
extern PlatformCalls g_platform;

// Restores every entry to the real API.
void ResetPlatformCalls();

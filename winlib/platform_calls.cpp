#include "winlib/platform_calls.h"

namespace {
PlatformCalls RealCalls() {
  PlatformCalls calls;
  calls.MessageBoxA = &::MessageBoxA;
  calls.DialogBoxParamA = &::DialogBoxParamA;
  calls.GetVersionExA = &::GetVersionExA;
  calls.ShellExecuteExA = &::ShellExecuteExA;
  calls.GetFileAttributesExA = &::GetFileAttributesExA;
  calls.MoveFileExW = &::MoveFileExW;
  calls.SHQueryRecycleBinA = &::SHQueryRecycleBinA;
  calls.SHEmptyRecycleBinA = &::SHEmptyRecycleBinA;
  calls.FindFirstUrlCacheEntryExA = &::FindFirstUrlCacheEntryExA;
  calls.FindNextUrlCacheEntryExA = &::FindNextUrlCacheEntryExA;
  calls.FindFirstUrlCacheEntryA = &::FindFirstUrlCacheEntryA;
  calls.FindNextUrlCacheEntryA = &::FindNextUrlCacheEntryA;
  calls.FindCloseUrlCache = &::FindCloseUrlCache;
  calls.DeleteUrlCacheEntryA = &::DeleteUrlCacheEntryA;
  calls.CreateUrlCacheEntryA = &::CreateUrlCacheEntryA;
  calls.CommitUrlCacheEntryA = &::CommitUrlCacheEntryA;
  calls.Shell_NotifyIconA = &::Shell_NotifyIconA;
  return calls;
}
}  // namespace

PlatformCalls g_platform = RealCalls();

void ResetPlatformCalls() { g_platform = RealCalls(); }

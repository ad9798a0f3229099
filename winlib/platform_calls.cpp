#include "winlib/platform_calls.h"

namespace {
PlatformCalls RealCalls() {
  PlatformCalls calls;
  calls.MessageBoxA = &::MessageBoxA;
  calls.DialogBoxParamA = &::DialogBoxParamA;
  calls.GetVersionExA = &::GetVersionExA;
  calls.ShellExecuteExA = &::ShellExecuteExA;
  calls.GetFileAttributesExA = &::GetFileAttributesExA;
  return calls;
}
}  // namespace

PlatformCalls g_platform = RealCalls();

void ResetPlatformCalls() { g_platform = RealCalls(); }

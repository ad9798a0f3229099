#include "winlib/os_kind.h"

#include "winlib/platform_calls.h"
#include "winlib/trace.h"

int g_nOsKind = 0;

int OsKindFromVersion(DWORD platformId, DWORD major, DWORD minor) {
  switch (platformId) {
    case VER_PLATFORM_WIN32s:
      return OS_WIN32S;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (major != 4) return OS_OTHER;
      if (minor == 0) return OS_WIN95;
      if (minor == 10) return OS_WIN98;
      if (minor == 90) return OS_WINME;
      return OS_OTHER;
    case VER_PLATFORM_WIN32_NT:
      if (major <= 4) return OS_WINNT4;
      if (major == 5 && minor == 0) return OS_WIN2000;
      if (major == 5 && minor == 1) return OS_WINXP;
      return OS_OTHER;
    default:
      return OS_OTHER;
  }
}

int DetermineOsKind() {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  auto* basic = reinterpret_cast<OSVERSIONINFOA*>(&info);
  if (!g_platform.GetVersionExA(basic)) {
    // Systems before the extended structure only know the basic one.
    info = OSVERSIONINFOEXA{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!g_platform.GetVersionExA(basic)) {
      g_nOsKind = OS_UNKNOWN_VERSION;
      return g_nOsKind;
    }
  }
  info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
  if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
    Trace("version %d.%d %s (Build %d)\n", static_cast<int>(info.dwMajorVersion),
          static_cast<int>(info.dwMinorVersion), info.szCSDVersion, static_cast<int>(info.dwBuildNumber & 0xFFFF));
  else
    Trace("%s (Build %d)\n", info.szCSDVersion, static_cast<int>(info.dwBuildNumber & 0xFFFF));
  g_nOsKind = OsKindFromVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
  return g_nOsKind;
}

#include "shell/help_page.h"

#include <windows.h>
#include <shellapi.h>

#include "res/resource.h"
#include "winlib/dialog.h"
#include "winlib/platform_calls.h"

void OpenHelpPage() {
  char address[256] = {};
  if (::LoadStringA(ResourceInstance(), IDS_HELP_ADDRESS, address, sizeof address) <= 0) return;
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.lpFile = address;
  info.nShow = SW_SHOWMAXIMIZED;
  g_platform.ShellExecuteExA(&info);
}

// Morvane's entry point: start-up, then either the resident message loop or
// the end of a one-shot run.
#include <windows.h>

#include "shell/main_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CMainApp app;
  if (app.InitInstance(::GetCommandLineA())) app.Run();
  return app.ExitInstance();
}

// Morvane's entry point: start-up, then either the resident message loop or
// the end of a one-shot run.
#include <windows.h>

#include "shell/main_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CMainApp app;
  if (app.InitInstance(::GetCommandLineA())) {
    // The resident message loop comes with the main window; InitInstance does
    // not ask for it yet.
  }
  return app.ExitInstance();
}

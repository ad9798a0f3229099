// Morvane's entry point. Start-up (command line, settings, worker, one-shot
// and resident modes) is added by the start-up work; until then the program
// ends at once.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }

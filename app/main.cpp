#include <windows.h>

#include "framework/win_app.h"

// The process-wide objects (app/process_objects.cpp) are constructed before this
// runs: the drive list is complete before any window exists.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunApplication(instance); }

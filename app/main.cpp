#include <windows.h>

// Everything up to here happened in the static construction of the process-wide
// objects (app/process_objects.cpp).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }

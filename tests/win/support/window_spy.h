// Watching what a window is told: every message it receives, seen on its own thread
// before its own procedure runs (texts set from a worker arrive here as WM_SETTEXT).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

using WindowWatch = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

// Calls `watch` for every message `window` receives, for the rest of the window's
// life. Call it on the window's own thread (in OnInitDialog, say); what `watch`
// refers to must outlive the window. Answers false when the window cannot be watched.
bool WatchWindow(HWND window, WindowWatch watch);

// The text of a WM_SETTEXT that `window` received, in the ANSI code page: a Unicode
// window (the dialogs' controls) receives it as UTF-16 even when it was sent as ANSI.
std::string SetTextArgument(HWND window, LPARAM lParam);

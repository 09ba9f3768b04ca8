// Driving windows from a test thread: find a window, read it, answer it.
#pragma once

#include <windows.h>

#include <future>
#include <string>

// Windows are looked for among those of one process: by default this one, so that
// tests running side by side never answer each other's boxes.
constexpr DWORD kThisProcess = 0;
constexpr DWORD kAnyProcess = 0xFFFFFFFF;

// Waits for a visible top-level window of `className` (nullptr: any) whose caption
// equals `caption` (nullptr: any). Answers nullptr after `timeoutMs`.
HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs, DWORD processId = kThisProcess);

std::string WindowText(HWND window);

// The text of a standard message box (its static control, id 0xFFFF).
std::string MessageBoxText(HWND box);

// Posts a click of button `id` to a dialog.
void ClickButton(HWND dialog, int id);

// What a message box showed before the test answered it.
struct AnsweredBox {
    bool seen = false;
    std::string text;
};

// On a thread of its own: waits for a message box captioned `caption` and presses
// button `answerId` (IDOK, IDYES, IDNO, ...).
std::future<AnsweredBox> AnswerMessageBox(const std::string& caption, int answerId, DWORD timeoutMs = 20000,
                                         DWORD processId = kThisProcess);

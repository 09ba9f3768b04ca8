// Driving windows from a test thread: find a window, read it, answer it.
#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <string>
#include <vector>

// Windows are looked for among those of one process: by default this one, so that
// tests running side by side never answer each other's boxes.
constexpr DWORD kThisProcess = 0;
constexpr DWORD kAnyProcess = 0xFFFFFFFF;

// The caption of the program's message boxes: its title.
inline constexpr char kAppTitle[] = "ZOrix Online Flash Update Program";

// Waits for a visible top-level window of `className` (nullptr: any) whose caption
// equals `caption` (nullptr: any). Answers nullptr after `timeoutMs`.
HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs, DWORD processId = kThisProcess);

std::string WindowText(HWND window);

// The text of a standard message box (its static control, id 0xFFFF).
std::string MessageBoxText(HWND box);

// Posts a click of button `id` to a dialog.
void ClickButton(HWND dialog, int id);

// Posts a key press (down and up) to the control that has the focus in `window`'s
// thread, as a user's key would arrive; the dialog manager sees it in its loop.
void PressKey(HWND window, UINT virtualKey);

// Waits until `window` no longer exists; answers false after `timeoutMs`.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = 20000);

// The visible dialogs and message boxes (class #32770) of this process.
std::vector<HWND> VisibleDialogs();

// Cancels (IDCANCEL) every visible dialog of this process until none is left or
// `timeoutMs` has passed, so that a test that failed half way still ends its modal runs.
void CancelOpenDialogs(DWORD timeoutMs = 20000);

// Runs `showModal` (a DoModal, say) on this thread while a second thread waits for a
// dialog of this process captioned `caption` and hands it to `inspect`, which ends it.
// Whatever is still open afterwards is cancelled. Answers what `showModal` answered;
// `seen` tells whether the dialog came at all.
template <class ShowModal>
auto InspectModal(ShowModal showModal, const char* caption, const std::function<void(HWND)>& inspect,
                  bool* seen = nullptr) {
    auto inspector = std::async(std::launch::async, [caption, &inspect] {
        HWND dialog = WaitForWindow("#32770", caption, 20000);
        if (dialog != nullptr) inspect(dialog);
        CancelOpenDialogs();
        return dialog != nullptr;
    });
    auto result = showModal();
    const bool appeared = inspector.get();
    if (seen != nullptr) *seen = appeared;
    return result;
}

// What a message box showed before the test answered it.
struct AnsweredBox {
    bool seen = false;
    std::string text;
};

// On a thread of its own: waits for a message box captioned `caption` and presses
// button `answerId` (IDOK, IDYES, IDNO, ...).
std::future<AnsweredBox> AnswerMessageBox(const std::string& caption, int answerId, DWORD timeoutMs = 20000,
                                         DWORD processId = kThisProcess);

// How the user answers while a click's handler runs.
struct ClickUser {
    // The button pressed on the click's n-th message box (from 0), which shows `text`.
    // Unset: No to a question, OK to anything else.
    std::function<int(HWND box, size_t n, const std::string& text)> answer;
    // Called on every pass while the latest transfer dialog of the click is up.
    std::function<void(HWND transfer)> duringTransfer;
};

// In AnswersInTurn: the box's default button, as Enter would press it.
constexpr int kDefaultButton = 0;

// No to a question, OK to any other box: ClickUser's answer when none is set.
int NoToQuestions(HWND box);

// Answers the boxes with `answers` in turn, and OK beyond them.
ClickUser AnswersInTurn(std::vector<int> answers);

// What one click showed until its handler returned.
struct Clicked {
    std::vector<std::string> boxes;  // the program's message boxes, in the order they came
    int transfers = 0;               // transfer dialogs (those with the animation) created
};

// Clicks `button` of `dialog` (sent from a thread of its own, so that this returns once
// the handler has) and answers every message box of the program as `user` does. The
// transfer dialogs are counted as the dialog's thread creates them, at their
// WM_INITDIALOG: one that ends before it is ever shown, or while the box above it is
// answered, still counts. Each pass reads every box it sees before it answers one.
Clicked ClickAndAnswer(HWND dialog, int button, const ClickUser& user = {});

// The application object, the program's entry into the framework, and the one
// message-box call that every message of the program goes through.
#pragma once

#include <windows.h>

#include <string>

class CDialog;

// String resource of the application title (the caption of every message box).
constexpr UINT kAppTitleStringId = 0xE000;
// The standard Help command.
constexpr UINT kHelpCommandId = 0xE146;

class CWinApp {
public:
    // Without a name the title is string kAppTitleStringId, loaded at start-up.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once by RunApplication. FALSE: no message loop, the process ends.
    virtual BOOL InitInstance() { return FALSE; }

    // The application's command map: commands that no dialog handled come here.
    // Answers whether the command was handled.
    virtual bool OnCommand(UINT /*id*/) { return false; }

    // Default help handling: the program ships no help content, so nothing is shown.
    void OnHelp() {}

    // Controls are drawn in 3-D by every system this program runs on (major version 4
    // and later), so there is nothing to do; kept so start-up reads as designed.
    void Enable3dControlsStatic() {}

    const std::string& Title() const { return m_Title; }

    HINSTANCE m_hInstance = nullptr;
    CDialog* m_pMainWnd = nullptr;  // owner of dialogs and message boxes shown without one

private:
    friend int RunApplication(HINSTANCE instance);
    std::string m_Title;
};

// The one application object, or nullptr (test programs have none).
CWinApp* GetApp();

// The application title: the application's, or string kAppTitleStringId when there
// is no application object.
std::string GetAppTitle();

// Called by WinMain: loads the title, calls InitInstance, catches whatever escapes it.
// Answers the process exit code.
int RunApplication(HINSTANCE instance);

// The window that a dialog or message box shown without an owner gets: the main
// window's (or else the active window's) last active pop-up. nullptr when there is none.
HWND DefaultOwner();

// Shows a message box captioned with the application title. A box with OK, OK and
// Cancel, Yes and No, or Yes, No and Cancel that names no icon gets the exclamation
// mark. Answers the button pressed (IDOK, IDYES, ...).
int AppMessageBox(const std::string& text, UINT type = MB_OK);

// Reports an exception that reached a window procedure or the entry point, in a
// message box. Called only from inside a catch block; never throws.
void ReportCurrentException() noexcept;

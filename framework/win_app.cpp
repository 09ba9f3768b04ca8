#include "framework/win_app.h"

#include <exception>

#include "framework/dialog.h"
#include "framework/resource_string.h"

namespace {

CWinApp* theAppObject = nullptr;

}  // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName != nullptr) m_Title = appName;
    theAppObject = this;
}

CWinApp::~CWinApp() {
    if (theAppObject == this) theAppObject = nullptr;
}

CWinApp* GetApp() { return theAppObject; }

std::string GetAppTitle() {
    if (theAppObject != nullptr && !theAppObject->Title().empty()) return theAppObject->Title();
    return LoadResString(kAppTitleStringId);
}

int RunApplication(HINSTANCE instance) {
    CWinApp* app = GetApp();
    if (app == nullptr) return 0;
    try {
        app->m_hInstance = instance;
        if (app->m_Title.empty()) app->m_Title = LoadResString(kAppTitleStringId);
        // There is no message loop of the program's own: a FALSE from InitInstance
        // ends the process, as it does after the main dialog has closed.
        if (!app->InitInstance()) return 0;
    } catch (...) {
        ReportCurrentException();
    }
    return 0;
}

HWND DefaultOwner() {
    HWND window = nullptr;
    if (CWinApp* app = GetApp(); app != nullptr && app->m_pMainWnd != nullptr) {
        window = app->m_pMainWnd->GetSafeHwnd();
    }
    if (window == nullptr || !IsWindow(window)) window = GetActiveWindow();
    if (window == nullptr) return nullptr;
    window = GetAncestor(window, GA_ROOT);
    return window != nullptr ? GetLastActivePopup(window) : nullptr;
}

int AppMessageBox(const std::string& text, UINT type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
        case MB_YESNO:
        case MB_YESNOCANCEL:
            type |= MB_ICONEXCLAMATION;
            break;
        }
    }
    return MessageBoxA(DefaultOwner(), text.c_str(), GetAppTitle().c_str(), type);
}

void ReportCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& error) {
            AppMessageBox(error.what(), MB_OK | MB_ICONSTOP);
        } catch (...) {
            AppMessageBox("An unexpected error occurred.", MB_OK | MB_ICONSTOP);
        }
    } catch (...) {
        // Not even the report could be shown; nothing may leave a Windows callback.
    }
}

#include "framework/dialog.h"

#include <commctrl.h>

#include "framework/resource_string.h"
#include "framework/win_app.h"

namespace {

void InitCommonControlsOnce() {
    static const bool done = [] {
        // Only classes that version 4.70 knows (Windows 98, Internet Explorer 4 on NT 4.0):
        // the standard controls need no bit of their own.
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
        return InitCommonControlsEx(&classes) != FALSE;
    }();
    (void)done;
}

// A dialog procedure answers most messages through DWLP_MSGRESULT; these few answer
// with the procedure's own return value.
INT_PTR AnswerMessage(HWND window, UINT message, LRESULT result) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

// DialogBoxParamW, looked up: the Windows 98 family lacks it, and its loader would
// refuse a program that imports it even though only the NT family calls it.
using DialogBoxParamWFunction = INT_PTR(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);

DialogBoxParamWFunction UnicodeDialogBox() {
    static const auto entry = reinterpret_cast<DialogBoxParamWFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("USER32.DLL"), "DialogBoxParamW")));
    return entry;
}

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent) : m_TemplateId(templateId), m_Parent(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    InitCommonControlsOnce();
    HWND owner = m_Parent != nullptr ? m_Parent : DefaultOwner();
    // The templates' texts are UTF-16; a Unicode dialog shows them as they are (the
    // About box's Chinese OK button whatever the ANSI code page). The 98 family has
    // only the ANSI form, which converts them to the system's code page.
    const bool windows98Family = (GetVersion() & 0x80000000) != 0;
    const DialogBoxParamWFunction unicodeDialogBox = windows98Family ? nullptr : UnicodeDialogBox();
    const INT_PTR result =
        unicodeDialogBox == nullptr
            ? DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(m_TemplateId), owner, DialogProc,
                              reinterpret_cast<LPARAM>(this))
            : unicodeDialogBox(ResourceInstance(), MAKEINTRESOURCEW(m_TemplateId), owner, DialogProc,
                               reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return false;  // also the code of menu and accelerator commands
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        default:
            return GetApp() != nullptr && GetApp()->OnCommand(LOWORD(wParam));
        }
    case WM_CLOSE:
        OnClose();
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;  // the system's own clean-up runs as well
    default:
        return false;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        dialog->m_hWnd = window;
    } else {
        dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT)

    INT_PTR answer = FALSE;
    try {
        LRESULT result = 0;
        if (dialog->OnMessage(message, wParam, lParam, result)) answer = AnswerMessage(window, message, result);
    } catch (...) {
        ReportCurrentException();
        // A dialog whose initialisation failed half way is not shown.
        if (message == WM_INITDIALOG) ::EndDialog(window, -1);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        dialog->m_hWnd = nullptr;
    }
    return answer;
}

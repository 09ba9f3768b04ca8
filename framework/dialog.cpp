#include "framework/dialog.h"

#include <commctrl.h>

#include "framework/placement.h"
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

// The monitor calls, looked up: the 98 family and 2000 and later have them, NT 4.0
// (one monitor only) lacks them. The floor's headers do not declare them.
struct MonitorInfo {
    DWORD size;
    RECT monitor;
    RECT work;
    DWORD flags;
};
constexpr DWORD kMonitorDefaultToPrimary = 1, kMonitorDefaultToNearest = 2;
using MonitorFromWindowFunction = HMONITOR(WINAPI*)(HWND, DWORD);
using GetMonitorInfoFunction = BOOL(WINAPI*)(HMONITOR, MonitorInfo*);

// The work area (the monitor without the task bar) of the monitor that holds most of
// `window`, or, when none does, the one that `fallback` names; the primary monitor's
// where the system has no monitor calls.
RECT WorkAreaOf(HWND window, DWORD fallback) {
    HMODULE user = GetModuleHandleA("USER32.DLL");
    static const auto monitorFromWindow = reinterpret_cast<MonitorFromWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromWindow")));
    static const auto getMonitorInfo = reinterpret_cast<GetMonitorInfoFunction>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    MonitorInfo info{sizeof info, {}, {}, 0};
    HMONITOR monitor = monitorFromWindow != nullptr ? monitorFromWindow(window, fallback) : nullptr;
    if (monitor != nullptr && getMonitorInfo != nullptr && getMonitorInfo(monitor, &info)) return info.work;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

PlaceRect Place(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

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

void CDialog::CenterWindow() {
    RECT own{};
    if (!GetWindowRect(m_hWnd, &own)) return;
    // Over a shown owner on the owner's monitor; otherwise on the dialog's own monitor.
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    const bool overOwner = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);
    const RECT area =
        overOwner ? WorkAreaOf(owner, kMonitorDefaultToNearest) : WorkAreaOf(m_hWnd, kMonitorDefaultToPrimary);
    RECT around = area;
    if (overOwner) GetWindowRect(owner, &around);
    const PlacePoint place = CentredPlace(Place(own), Place(around), Place(area));
    SetWindowPos(m_hWnd, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialog::TemplatePlacesItself() const {
    HINSTANCE instance = ResourceInstance();
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(m_TemplateId), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    const auto* words = found != nullptr ? static_cast<const WORD*>(LockResource(LoadResource(instance, found))) : nullptr;
    if (words == nullptr || SizeofResource(instance, found) < 16) return false;
    // DLGTEMPLATEEX (dlgVer 1, signature 0xFFFF) has its style after the help id and
    // the extended style; DLGTEMPLATE begins with it.
    const WORD* style = words[1] == 0xFFFF ? words + 6 : words;
    const DWORD bits = style[0] | (static_cast<DWORD>(style[1]) << 16);
    return (bits & (DS_ABSALIGN | DS_CENTER | DS_CENTERMOUSE)) != 0;
}

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG: {
        RECT before{};
        GetWindowRect(m_hWnd, &before);
        result = OnInitDialog();
        // The dialog manager creates every dialog hidden: visible now means shown by
        // OnInitDialog.
        RECT after{};
        const bool placed = (GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) != 0 || IsWindowVisible(m_hWnd) ||
                            !GetWindowRect(m_hWnd, &after) || after.left != before.left || after.top != before.top ||
                            TemplatePlacesItself();
        if (!placed) CenterWindow();
        return true;
    }
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

// The four dialog templates as the running dialogs show them: caption, size, font,
// styles, and every control in template order with its class, id, text and place.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/update_dlg.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "tests/win/support/gui_driver.h"

namespace {

enum Size { kSized, kWidthOnly, kSizesItself };  // icon, bitmap and clip controls size themselves

struct ControlLayout {
    const char* className;
    int id;
    const wchar_t* text;  // nullptr: not compared
    RECT dialogUnits;     // x, y, width, height
    Size size;
    DWORD styleMask;
    DWORD style;
    bool border = false;  // true: drawn with a border or an edge
};

struct DialogLayout {
    UINT id;
    const wchar_t* caption;
    const wchar_t* face;
    int points;
    SIZE dialogUnits;
    DWORD styleMask;
    DWORD style;
    DWORD exStyle;
    std::vector<ControlLayout> controls;
};

constexpr DWORD kFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME;
constexpr DWORD kStatic = SS_TYPEMASK | SS_NOPREFIX | SS_CENTERIMAGE | SS_SUNKEN;
constexpr DWORD kButton = BS_TYPEMASK | WS_TABSTOP;

const DialogLayout kAbout{
    IDD_ABOUTBOX, L"About Nimbrel", L"Arial", 9, {235, 55}, kFrame, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0,
    {
        {"Static", -1, nullptr, {11, 17, 20, 20}, kSizesItself, SS_TYPEMASK, SS_ICON},
        {"Static", -1, L"ZOrix Nimbrel Ver. 1.0.0", {40, 10, 119, 8}, kSized, kStatic, SS_LEFT | SS_NOPREFIX},
        {"Static", -1, nullptr, {40, 25, 119, 8}, kSized, kStatic, SS_LEFT},
        {"Button", IDOK, L"\x78BA\x5B9A", {178, 7, 50, 14}, kSized, kButton, BS_DEFPUSHBUTTON | WS_TABSTOP},
    }};

const DialogLayout kMain{
    IDD_MAIN, L"Nimbrel Ver. 1.0.0", L"Arial", 10, {382, 199}, kFrame | WS_VISIBLE,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE, WS_EX_APPWINDOW,
    {
        {"Static", -1, nullptr, {7, 7, 74, 37}, kSizesItself, SS_TYPEMASK, SS_BITMAP},
        {"Static", -1, L"ZOrix CD/DVD Drive F/W Online Update Program", {80, 7, 199, 26}, kSized, kStatic,
         SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN, true},
        {"SysListView32", IDC_FIRMWARE_LIST, nullptr, {7, 82, 292, 98}, kSized,
         LVS_TYPEMASK | LVS_SINGLESEL | LVS_SORTASCENDING | LVS_SORTDESCENDING | WS_TABSTOP, LVS_REPORT | WS_TABSTOP,
         true},
        {"Button", IDC_CHECK_UPDATES, L"Check updates", {309, 86, 65, 21}, kSized, kButton, BS_PUSHBUTTON | WS_TABSTOP},
        {"Static", -1, L"Select target drive", {7, 51, 114, 10}, kSized, kStatic, SS_LEFT},
        {"ComboBox", IDC_DRIVE_BOX, nullptr, {7, 63, 290, 30}, kWidthOnly, 3 | CBS_SORT | WS_TABSTOP,
         CBS_DROPDOWN | WS_TABSTOP},
        {"Button", IDCANCEL, L"Close", {309, 151, 65, 21}, kSized, kButton, BS_PUSHBUTTON | WS_TABSTOP},
        {"Button", IDC_UPDATE_SELECTED, L"Update selected", {309, 119, 65, 21}, kSized, kButton,
         BS_PUSHBUTTON | WS_TABSTOP},
        // Its border is the visual style's own frame, not a window style.
        {"msctls_progress32", IDC_PROGRESS, nullptr, {7, 184, 292, 8}, kSized, 0, 0},
    }};

constexpr DWORD kTransferFrame = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
constexpr DWORD kClip = ACS_TRANSPARENT | ACS_AUTOPLAY;

const DialogLayout kHttp{
    IDD_HTTP_DOWNLOAD, L"", L"System", 10, {197, 141}, kFrame, kTransferFrame, 0,
    {
        {"SysAnimate32", IDC_ANIMATION, nullptr, {36, 3, 126, 30}, kSizesItself, kClip, ACS_TRANSPARENT},
        {"Static", IDC_STATUS, L"", {22, 36, 157, 11}, kSized, kStatic, SS_LEFT},
        {"Static", IDC_FILE_LINE, L"", {22, 52, 157, 19}, kSized, kStatic, SS_LEFT},
        {"msctls_progress32", IDC_PROGRESS, nullptr, {21, 87, 158, 8}, kSized, 0, 0},
        {"Static", IDC_TIME_LEFT, L"", {96, 100, 84, 8}, kSized, kStatic, SS_LEFT, true},
        {"Static", IDC_TRANSFER_RATE, L"", {96, 120, 82, 8}, kSized, kStatic, SS_LEFT, true},
        {"Static", -1, L"Progress", {22, 74, 42, 8}, kSized, kStatic, SS_LEFT},
        {"Static", -1, L"Estimated progress", {21, 99, 70, 11}, kSized, kStatic, SS_LEFT},
        {"Static", -1, L"Transfer rate", {21, 119, 62, 8}, kSized, kStatic, SS_LEFT},
    }};

const DialogLayout kFtp{
    IDD_FTP_TRANSFER, L"", L"System", 10, {208, 149}, kFrame, kTransferFrame, 0,
    {
        {"SysAnimate32", IDC_ANIMATION, nullptr, {30, 7, 138, 24}, kSizesItself, kClip, ACS_TRANSPARENT},
        {"Static", IDC_STATUS, L"", {30, 36, 138, 8}, kSized, kStatic, SS_LEFT},
        {"Static", IDC_FILE_LINE, L"", {21, 50, 161, 22}, kSized, kStatic, SS_LEFT},
        {"msctls_progress32", IDC_PROGRESS, nullptr, {7, 87, 181, 9}, kSized, 0, 0},
        {"Static", IDC_TIME_LEFT, L"", {79, 99, 89, 8}, kSized, kStatic, SS_LEFT, true},
        {"Static", IDC_TRANSFER_RATE, L"", {79, 133, 89, 9}, kSized, kStatic, SS_LEFT, true},
        {"Static", -1, L"Progress: ", {7, 76, 35, 8}, kSized, kStatic, SS_LEFT},
        {"Static", -1, L"Estimated time left:", {7, 99, 68, 8}, kSized, kStatic, SS_LEFT},
        {"Static", -1, L"Transfer rate:", {7, 114, 59, 8}, kSized, kStatic, SS_LEFT},
    }};

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return text.c_str();
}

RECT InDialog(HWND dialog, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The dialog manager converts a control's origin and its size each on their own.
RECT ToPixels(HWND dialog, const RECT& units) {
    RECT rect = units;
    MapDialogRect(dialog, &rect);
    return {rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

// A border in the template (WS_BORDER) may be drawn as an edge by the dialog manager.
bool HasBorder(HWND control) {
    return (GetWindowLongPtrA(control, GWL_STYLE) & WS_BORDER) != 0 ||
           (GetWindowLongPtrA(control, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0;
}

void ExpectTemplate(HWND dialog, const DialogLayout& layout) {
    EXPECT_EQ(TextOf(dialog), layout.caption);
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE));
    EXPECT_EQ(style & layout.styleMask, layout.style) << std::hex << style;
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE));
    EXPECT_EQ(exStyle & WS_EX_APPWINDOW, layout.exStyle);

    RECT client;
    GetClientRect(dialog, &client);
    const RECT size = ToPixels(dialog, {0, 0, layout.dialogUnits.cx, layout.dialogUnits.cy});
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_STREQ(font.lfFaceName, layout.face);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(layout.points, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    HWND control = GetWindow(dialog, GW_CHILD);
    for (const ControlLayout& expected : layout.controls) {
        SCOPED_TRACE(testing::Message() << "control " << expected.id << " " << expected.className);
        ASSERT_NE(control, nullptr) << "fewer controls than expected";
        char className[64] = {};
        GetClassNameA(control, className, sizeof className);
        EXPECT_EQ(lstrcmpiA(className, expected.className), 0) << className;
        EXPECT_EQ(GetDlgCtrlID(control), expected.id);
        if (expected.text != nullptr) {
            EXPECT_EQ(TextOf(control), expected.text);
        }

        const RECT actual = InDialog(dialog, control);
        const RECT wanted = ToPixels(dialog, expected.dialogUnits);
        EXPECT_EQ(actual.left, wanted.left);
        EXPECT_EQ(actual.top, wanted.top);
        if (expected.size != kSizesItself) {
            EXPECT_EQ(actual.right, wanted.right);
        }
        if (expected.size == kSized) {
            EXPECT_EQ(actual.bottom, wanted.bottom);
        }

        const auto controlStyle = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
        EXPECT_EQ(controlStyle & expected.styleMask, expected.style) << std::hex << controlStyle;
        if (expected.border) {
            EXPECT_TRUE(HasBorder(control));
        }
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than expected";
}

void RunAndCheck(CDialog& dialog, const DialogLayout& layout) {
    bool seen = false;
    const std::string caption(layout.caption, layout.caption + wcslen(layout.caption));
    InspectModal([&] { return dialog.DoModal(); }, caption.c_str(), [&](HWND window) { ExpectTemplate(window, layout); },
                 &seen);
    EXPECT_TRUE(seen);
}

TEST(Templates, AboutBox) {
    CAboutDlg about;
    RunAndCheck(about, kAbout);
}

TEST(Templates, MainDialog) {
    CUpdateDlg main;
    RunAndCheck(main, kMain);
}

TEST(Templates, TransferDialogs) {
    for (const DialogLayout* layout : {&kHttp, &kFtp}) {
        SCOPED_TRACE(layout->id);
        CDialog transfer(layout->id);
        RunAndCheck(transfer, *layout);
    }
}

// A transfer dialog that opens and plays its clip as the transfer dialogs do.
class ClipDialog : public CDialog {
public:
    ClipDialog(UINT templateId, UINT clipId) : CDialog(templateId), m_ClipId(clipId) {}

    bool m_Opened = false;
    bool m_Played = false;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_Animation.Attach(GetDlgItem(IDC_ANIMATION));
        m_Opened = m_Animation.Open(m_ClipId);
        m_Played = m_Animation.Play(0, static_cast<UINT>(-1), static_cast<UINT>(-1));
        return TRUE;
    }

private:
    UINT m_ClipId;
    CAnimateCtrl m_Animation;
};

// The control sizes itself to the clip's frames when it can read the clip.
TEST(Templates, TransferClipsOpenAndPlay) {
    struct {
        UINT dialog;
        UINT clip;
        SIZE frame;
    } cases[] = {
        {IDD_HTTP_DOWNLOAD, IDR_HTTP_CLIP, {224, 48}},
        {IDD_FTP_TRANSFER, IDR_FTP_CLIP, {256, 40}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clip);
        ClipDialog dialog(c.dialog, c.clip);
        InspectModal([&] { return dialog.DoModal(); }, "", [&](HWND window) {
            RECT rect;
            GetClientRect(GetDlgItem(window, IDC_ANIMATION), &rect);
            EXPECT_EQ(rect.right, c.frame.cx);
            EXPECT_EQ(rect.bottom, c.frame.cy);
        });
        EXPECT_TRUE(dialog.m_Opened);
        EXPECT_TRUE(dialog.m_Played);
    }
}

}  // namespace

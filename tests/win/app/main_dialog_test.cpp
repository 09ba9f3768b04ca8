// The main dialog and the About box, run modally on this thread while a second
// thread reads and drives them. Drives are put into this process's registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "drives/drive_registry.h"
#include "res/resource.h"
#include "tests/win/support/gui_driver.h"

extern DriveRegistry theDriveRegistry;

namespace {

using namespace std::string_literals;

constexpr char kMainCaption[] = "Nimbrel Ver. 1.0.0";
constexpr char kAboutCaption[] = "About Nimbrel";

std::vector<std::string> DriveBoxEntries(HWND dialog) {
    HWND box = GetDlgItem(dialog, IDC_DRIVE_BOX);
    std::vector<std::string> entries;
    const auto count = static_cast<int>(SendMessageA(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::string text(static_cast<size_t>(SendMessageA(box, CB_GETLBTEXTLEN, i, 0)) + 1, '\0');
        SendMessageA(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        entries.emplace_back(text.c_str());
    }
    return entries;
}

int DriveBoxSelection(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageA(dialog, IDC_DRIVE_BOX, CB_GETCURSEL, 0, 0));
}

// Runs a main dialog; `inspect` reads it on the second thread, then it is cancelled.
INT_PTR RunMainDialog(CUpdateDlg& dialog, const std::function<void(HWND)>& inspect) {
    bool seen = false;
    const INT_PTR result = InspectModal([&] { return dialog.DoModal(); }, kMainCaption, inspect, &seen);
    EXPECT_TRUE(seen) << "the main dialog did not show";
    return result;
}

void AddDrive(const std::string& identity) {
    ASSERT_EQ(identity.size(), 28u);
    theDriveRegistry.AddDrive(identity.data(), 'D', 0, 0, 0, 1);
}

std::string OtherDrive(int number) {
    char identity[29];
    snprintf(identity, sizeof identity, "OTHER   CD-ROM UNIT %-4d0%03d", number, number);
    return identity;
}

// The registry only grows, so this one test takes it from no drive to more than the
// dialog can list, checking the box at each stage.
TEST(MainDialog, DriveBoxFollowsTheRegistryInNumberOrderUpToTwentyDrives) {
    ASSERT_EQ(GetDriveCount(), 0u) << "no other test may add drives";

    {  // No drive: the dialog opens with an empty box and no selection.
        CUpdateDlg dialog;
        RunMainDialog(dialog, [&](HWND window) {
            EXPECT_TRUE(DriveBoxEntries(window).empty());
            EXPECT_EQ(DriveBoxSelection(window), CB_ERR);
            EXPECT_EQ(dialog.SelectedDrive(), -1);
        });
        EXPECT_EQ(dialog.ListedDrives(), 0);
    }

    // Three drives: each entry is the prefix, 24 identity characters, a blank and the
    // revision; a short product name keeps its blanks; a NUL ends what the box shows.
    AddDrive("ZORIX   DVD-RW XR-1000  1.02");
    AddDrive("ZOrix   CDR             0100");
    AddDrive("zor\0x   DVD+RW X5       2.10"s);
    {
        CUpdateDlg dialog;
        RunMainDialog(dialog, [&](HWND window) {
            EXPECT_EQ(DriveBoxEntries(window), (std::vector<std::string>{
                                                   "cdrom1 :  ZORIX   DVD-RW XR-1000   1.02",
                                                   "cdrom2 :  ZOrix   CDR              0100",
                                                   "cdrom3 :  zor",
                                               }));
            EXPECT_EQ(DriveBoxSelection(window), 0);
            EXPECT_EQ(dialog.SelectedDrive(), 0);
        });
        EXPECT_EQ(dialog.m_DriveModel[1], "ZOrix   CDR             ");
        EXPECT_EQ(dialog.m_DriveModel[2], "zor\0x   DVD+RW X5       "s);
        EXPECT_EQ(dialog.m_DriveRevision[2], "2.10");
        EXPECT_EQ(dialog.m_DriveModel[3], "");
    }

    // Ten drives: drive 10 follows drive 9, the box does not sort.
    for (int number = 4; number <= 10; ++number) AddDrive(OtherDrive(number));
    {
        CUpdateDlg dialog;
        RunMainDialog(dialog, [&](HWND window) {
            const auto entries = DriveBoxEntries(window);
            ASSERT_EQ(entries.size(), 10u);
            EXPECT_EQ(entries[8], "cdrom9 :  OTHER   CD-ROM UNIT 9    0009");
            EXPECT_EQ(entries[9], "cdrom10 :  OTHER   CD-ROM UNIT 10   0010");
        });
    }

    // More than twenty: the first twenty are listed, the slots are never overrun.
    for (int number = 11; number <= 22; ++number) AddDrive(OtherDrive(number));
    {
        CUpdateDlg dialog;
        RunMainDialog(dialog, [&](HWND window) {
            const auto entries = DriveBoxEntries(window);
            ASSERT_EQ(entries.size(), 20u);
            EXPECT_EQ(entries[19], "cdrom20 :  OTHER   CD-ROM UNIT 20   0020");
        });
        EXPECT_EQ(dialog.ListedDrives(), 20);
        EXPECT_EQ(dialog.m_DriveModel[19], "OTHER   CD-ROM UNIT 20  ");
    }

    {  // Text typed into the edit field leaves no drive chosen.
        CUpdateDlg dialog;
        RunMainDialog(dialog, [&](HWND window) {
            HWND edit = FindWindowExA(GetDlgItem(window, IDC_DRIVE_BOX), nullptr, "Edit", nullptr);
            ASSERT_NE(edit, nullptr);
            SendMessageA(edit, EM_SETSEL, 0, -1);
            SendMessageA(edit, WM_CHAR, 'x', 1);
            EXPECT_EQ(dialog.SelectedDrive(), -1);
        });
    }
}

TEST(MainDialog, ListHasFourColumnsNoRowsAndTheFocus) {
    CUpdateDlg dialog;
    RunMainDialog(dialog, [](HWND window) {
        HWND list = GetDlgItem(window, IDC_FIRMWARE_LIST);
        struct {
            const char* title;
            int format;
            int width;
        } columns[] = {
            {"ModelName", LVCFMT_LEFT, 200},
            {"HOST Ver", LVCFMT_CENTER, 100},
            {"Firmware Ver", LVCFMT_LEFT, 95},
            {"ReleaseDate", LVCFMT_LEFT, 110},
        };
        int index = 0;
        for (const auto& expected : columns) {
            SCOPED_TRACE(expected.title);
            char title[64] = {};
            LVCOLUMNA column{};
            column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
            column.pszText = title;
            column.cchTextMax = sizeof title;
            ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, index++, reinterpret_cast<LPARAM>(&column)));
            EXPECT_STREQ(title, expected.title);
            EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, expected.format);
            EXPECT_EQ(column.cx, expected.width);
        }
        LVCOLUMNA none{};
        none.mask = LVCF_WIDTH;
        EXPECT_FALSE(SendMessageA(list, LVM_GETCOLUMNA, 4, reinterpret_cast<LPARAM>(&none)));

        EXPECT_TRUE(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
        EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 0);
        EXPECT_EQ(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0), -1);
        EXPECT_EQ(SendDlgItemMessageA(window, IDC_PROGRESS, PBM_GETPOS, 0, 0), 0);

        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread));
        EXPECT_EQ(thread.hwndFocus, list);
    });
}

TEST(MainDialog, DragIconAndWindowIconsAreTheApplicationIcon) {
    CUpdateDlg dialog;
    ASSERT_NE(dialog.m_AppIcon, nullptr);
    RunMainDialog(dialog, [&](HWND window) {
        // WM_QUERYDRAGICON answers through the dialog procedure's return value.
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(window, WM_QUERYDRAGICON, 0, 0)), dialog.m_AppIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0)), dialog.m_AppIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0)), dialog.m_AppIcon);
    });
}

TEST(MainDialog, EndsOnCloseEscapeEnterAndTheCloseBox) {
    struct {
        const char* what;
        std::function<void(HWND)> end;
        INT_PTR result;
    } cases[] = {
        {"Close button", [](HWND w) { ClickButton(w, IDCANCEL); }, IDCANCEL},
        {"Escape", [](HWND w) { PressKey(w, VK_ESCAPE); }, IDCANCEL},
        {"Enter (no default button: OK)", [](HWND w) { PressKey(w, VK_RETURN); }, IDOK},
        {"close box", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CUpdateDlg dialog;
        HWND shown = nullptr;
        const INT_PTR result = RunMainDialog(dialog, [&](HWND window) {
            shown = window;
            c.end(window);
            EXPECT_TRUE(WaitForWindowGone(window));
        });
        EXPECT_EQ(result, c.result);
        EXPECT_FALSE(IsWindow(shown));
    }
}

// The last two items of the system menu: a separator and the About item.
TEST(AboutBox, SystemMenuEndsWithTheAboutItem) {
    CUpdateDlg dialog;
    RunMainDialog(dialog, [](HWND window) {
        HMENU menu = GetSystemMenu(window, FALSE);
        ASSERT_NE(menu, nullptr);
        const int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        char text[128] = {};
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, "About Firmware Online Update Program");
    });
}

TEST(AboutBox, OpensForSystemCommandsSixteenToThirtyOneOnly) {
    CUpdateDlg dialog;
    RunMainDialog(dialog, [](HWND window) {
        // Commands whose id, low four bits cleared, is 16: the About box opens over the
        // disabled main dialog; each way of closing it returns to the main dialog.
        struct {
            UINT command;
            const char* closedBy;
            std::function<void(HWND)> close;
        } opening[] = {
            {IDM_ABOUTBOX, "OK", [](HWND about) { ClickButton(about, IDOK); }},
            {31, "Escape", [](HWND about) { PressKey(about, VK_ESCAPE); }},
            {23, "close box", [](HWND about) { PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        };
        for (const auto& c : opening) {
            SCOPED_TRACE(c.command);
            PostMessageA(window, WM_SYSCOMMAND, c.command, 0);
            HWND about = WaitForWindow("#32770", kAboutCaption, 20000);
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(GetWindow(about, GW_OWNER), window);
            EXPECT_FALSE(IsWindowEnabled(window));
            c.close(about);
            ASSERT_TRUE(WaitForWindowGone(about)) << c.closedBy;
            EXPECT_TRUE(IsWindowEnabled(window));
            EXPECT_EQ(DriveBoxEntries(window).size(), GetDriveCount() > 20 ? 20u : GetDriveCount());
        }

        // Other ids go to the system's handling; the call returns and nothing opens.
        for (UINT command : {15u, 32u, 0xF120u /* SC_RESTORE */}) {
            SCOPED_TRACE(command);
            DWORD_PTR answer = 0;
            EXPECT_TRUE(SendMessageTimeoutA(window, WM_SYSCOMMAND, command, 0, SMTO_NORMAL, 10000, &answer));
            EXPECT_EQ(WaitForWindow("#32770", kAboutCaption, 0), nullptr);
        }
    });
}

}  // namespace

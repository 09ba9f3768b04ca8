// The whole road of one update with the real program: nimbrel.exe started in a
// folder of its own as Windows 98, with the simulated ASPI library beside it
// describing two drives (tests/peers/aspi/two_drives.txt), the update-list server
// and the FTP server on 127.0.0.1:21. The test drives the program's windows the way
// a user would (choose the drive, "Check updates", click a row, "Update selected",
// OK to each message) and checks what it leaves behind: Kernel.log, FirmUpdate.EXE
// and the record of the stand-in flasher that it started.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win/app/road.h"
#include "tests/win/support/gui_driver.h"
#include "tests/win/support/list_view.h"
#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"
#include "tests/win/support/wine_app_defaults.h"

namespace {

const std::string kRule = std::string(44, '=') + "\r\n";

// Waits for the program's next message box, presses OK and answers its text.
std::string AnswerNextBox(DWORD processId) {
    HWND box = WaitForWindow("#32770", kAppTitle, 60000, processId);
    if (box == nullptr) return "(no message box)";
    const std::string text = MessageBoxText(box);
    ClickButton(box, IDOK);
    WaitForWindowGone(box);
    return text;
}

// A control's text, asked of the control itself (another process's edit field keeps
// its text to itself; GetWindowText would not ask it).
std::string ControlText(HWND control) {
    char text[256] = {};
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST(WholeRoad, FromTheDriveToTheFlasher) {
    ASSERT_TRUE(RoadServersUp());
    const std::string served = ServeFirmware();
    FtpCommands();

    // The program in a folder of its own, the simulated library and its machine beside it.
    ScratchDir scratch;
    ASSERT_TRUE(CopyFileA(BuildPath("nimbrel.exe").c_str(), scratch.File("nimbrel.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildPath("peers/aspi/wnaspi32.dll").c_str(), scratch.File("wnaspi32.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildPath("peers/aspi/two_drives.txt").c_str(), scratch.File("wnaspi32.txt").c_str(), FALSE));
    WineAppDefaults settings("nimbrel.exe");
    ASSERT_TRUE(settings.SetVersion("win98"));
    ASSERT_TRUE(settings.SetDllOverride("wnaspi32", "native"));

    RunningProgram program(scratch.File("nimbrel.exe"), "", scratch.Path());
    ASSERT_TRUE(program.Started());
    const DWORD pid = program.ProcessId();
    HWND window = WaitForWindow("#32770", kMainCaption, 60000, pid);
    ASSERT_NE(window, nullptr) << "the main dialog did not show";

    // Discovery is logged before the window exists.
    EXPECT_EQ(ReadFileBytes(scratch.File("Kernel.log")),
              "OS: Windows 98\r\n" + kRule +
                  "Load ASPI driver ok!\r\n"
                  "Drive D: ,Parameters: 0/0/0 ,BusType: 2\r\n"
                  "OTHER   DVD-ROM 16X     0200\r\n"
                  "Drive E: ,Parameters: 0/1/0 ,BusType: 2\r\n"
                  "ZORIX   DVD-RW XR-1680  1.02\r\n" +
                  kRule);

    // The maker's drive is the second one.
    HWND driveBox = GetDlgItem(window, IDC_DRIVE_BOX);
    ASSERT_EQ(SendMessageA(driveBox, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(ControlText(driveBox), "cdrom1 :  OTHER   DVD-ROM 16X      0200");
    SendMessageA(driveBox, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(ControlText(driveBox), "cdrom2 :  ZORIX   DVD-RW XR-1680   1.02");

    ClickButton(window, IDC_CHECK_UPDATES);
    EXPECT_EQ(AnswerNextBox(pid), kListDownloaded);
    HWND list = GetDlgItem(window, IDC_FIRMWARE_LIST);
    ListRows rows;
    for (DWORD start = GetTickCount(); rows.size() < kRoadRows && GetTickCount() - start < 20000; Sleep(50)) {
        rows = ListViewRows(list);
    }
    ASSERT_EQ(rows, RoadListRows());
    EXPECT_FALSE(FileExists(scratch.File("FirmwareUpdate.XML")));

    ASSERT_TRUE(ClickListViewRow(list, kLowerCaseExe));
    ASSERT_TRUE(WaitForSelection(list, 1, kLowerCaseExe));
    ClickButton(window, IDC_UPDATE_SELECTED);
    EXPECT_EQ(AnswerNextBox(pid), kDownloaded);

    // The flasher ran from the program's folder as FirmUpdate.EXE, with no arguments.
    const std::vector<FlasherRun> runs = WaitForFlasherRuns(scratch.Path(), 1);
    ASSERT_EQ(runs.size(), 1u) << "the flasher did not start";
    EXPECT_EQ(lstrcmpiA(runs[0].folder.c_str(), scratch.Path().c_str()), 0) << runs[0].folder;
    EXPECT_EQ(lstrcmpiA(runs[0].program.c_str(), scratch.File(kFirmwareFile).c_str()), 0) << runs[0].program;
    EXPECT_EQ(runs[0].arguments, "");
    EXPECT_EQ(ReadFileBytes(scratch.File(kFirmwareFile)), served);
    EXPECT_EQ(Downloads(FtpCommands()), std::vector<std::string>{std::string("RETR /") + kRoadUrls[kLowerCaseExe]});

    // The main dialog stays open until the user closes it.
    ASSERT_TRUE(IsWindow(window));
    ClickButton(window, IDCANCEL);
    EXPECT_NE(program.Wait(30000), STILL_ACTIVE);
    DeleteSoon(scratch.File(kFirmwareFile));
}

}  // namespace

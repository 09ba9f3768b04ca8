// The whole road of one update with the real program, as a table over program and
// platform: the program started in a folder of its own as Windows 98, with the
// simulated ASPI library beside it describing three drives
// (tests/peers/aspi/three_drives.txt), the update-list server, which also serves the
// releases of the web drive, and the FTP server on port 21; or as Windows XP or 2000,
// where it finds its drives through SCSI pass-through: started by the launcher of
// tests/peers/ntscsi, whose stand-in answers for the drives that the machine beside
// the program describes (ntscsi.txt) and writes what the program did wrong to
// ntscsi-violations.txt, which must stay empty; or as Windows XP by itself, where no
// drive answers under Wine. The test drives the
// program's windows the way a user would (choose the drive, "Check updates", click a
// row, "Update selected", OK to each message, Close) and checks what it leaves
// behind: Kernel.log, FirmUpdate.EXE and the record of the stand-in flasher. Rows
// whose flasher gave the drive new firmware, or none, start the program a second time
// and read what it says of the update it remembered.
//
// Four programs walk it: this tree's 64-bit nimbrel.exe (rows "TestBuild64/...") and
// the release's own 32-bit nimbrel.exe, unpacked from the zip users download (rows
// "Release32/..."), with the 32-bit stand-ins, both built without list keys; and the
// 64-bit and 32-bit programs built with the test tree's list key (rows "Signed64/..."
// and "Signed32/..."), whose lists the list server signs. The release asks the update-list
// server it was built with: its rows run in a namespace of their own, where that
// host is 127.0.0.1 (tests/peers/in_namespace.sh), and NIMBREL_RELEASE_SERVER names it.
// The rows on a full disk run there too, on its small disk NIMBREL_SMALL_DISK; the row
// "...FromNginx" with nginx on this tree's update-list port (tests/peers/nginx).
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/system_clock.h"
#include "list/update_record.h"
#include "app/update_store.h"
#include "res/resource.h"
#include "tests/win/app/road.h"
#include "tests/win/support/gui_driver.h"
#include "tests/win/support/list_signing.h"
#include "tests/win/support/list_view.h"
#include "tests/win/support/peers.h"
#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"
#include "tests/win/support/wine_app_defaults.h"

namespace {

const std::string kRule = std::string(44, '=') + "\r\n";
constexpr char kDiskFullDownload[] = "An error occurred while downloading the file, Error:112";
constexpr char kNotOnTheWebServer[] = "Failed to receive a valid HTTP response from the server, Response Code:404";

enum class Program { kTestBuild64, kRelease32, kSigned64, kSigned32 };

// Where a program and the stand-ins of its bitness lie in the build tree.
struct ProgramFiles {
    std::string exe, aspiLibrary, flasher, ntLauncher;
};

bool Is32Bit(Program program) { return program == Program::kRelease32 || program == Program::kSigned32; }

ProgramFiles FilesOf(Program program) {
    const char* const exes[] = {"nimbrel.exe", "release/unpacked/nimbrel.exe", "signed/nimbrel.exe",
                                "program32/nimbrel.exe"};
    const std::string standIns = Is32Bit(program) ? "program32/" : "";
    return {BuildPath(exes[static_cast<int>(program)]), BuildPath(standIns + "peers/aspi/wnaspi32.dll"),
            BuildPath(standIns + "tests/peers/flasher/flasher.exe"), BuildPath(standIns + "peers/ntscsi/ntstart.exe")};
}

// The folder the program is started in; its files go there, or beside the program.
enum class Start {
    kOwnFolder,
    kSystemFolder,  // as "Run as administrator" starts a program
    kSmallDisk,     // a disk of 1 MB: the log and the list fit on it, the release does not
};

enum class Outcome {
    kStartAndClose,   // the dialog shows; Close ends the program
    kFlasherStarted,  // the release is downloaded, checked and started
    kNotListed,       // the release's digest is another file's: deleted, nothing started
    kDiskFull,        // the download fails: nothing left, nothing started
    kListRefused,     // the list is not the maker's: no rows, nothing to download
    kNotCheckable,    // the release has no SHA256 in the signed list: not downloaded
    kNotFound,        // the web server has no such file: nothing left, nothing started
    kListedByNginx,   // the list as nimbrel-list publishes it, served by nginx (tests/peers/nginx): the rows
};

// Whose releases: the maker's drive whose list names the FTP server, or the one whose
// list names a web server.
enum class Drive { kFtpSite, kWebSite };

// What the program says at a second start of an update it started, the flasher having
// set the drive's revision as the row says (tests/peers/flasher: flasher-sets.txt).
enum class Later {
    kNotStartedAgain,
    kInstalled,        // the drive reports the version started
    kBeforeARestart,   // it reports the revision before, and the computer has not restarted
    kAfterARestart,    // the same after a restart (the record's tick count ahead of the ticks now, as
                       // a restart leaves them on the 98 family)
    kAnotherVersion,   // it reports another version
};

struct Road {
    const char* name;
    Program program;
    const char* platform;  // Wine's version for the program
    Start start;
    Outcome outcome;
    int release;  // the row clicked, for a download
    Drive drive = Drive::kFtpSite;
    const char* signing = "";  // how the list server signs (its /_signing settings)
    std::string asked = {};    // the question before the download, answered Yes
    Later later = Later::kNotStartedAgain;
    std::string revision = "1.02";  // the revision the drive E: reports at first (on Windows 98)
    const char* ntMachine = nullptr;  // the NT machine (tests/peers/ntscsi) the launcher starts it on
};

const Road kRoads[] = {
    {"Win98FromTheDriveToTheFlasher", Program::kTestBuild64, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kInstalled},
    {"Win98UpdateBeforeARestart", Program::kTestBuild64, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kBeforeARestart},
    {"Win98UpdateWithoutEffectAfterARestart", Program::kTestBuild64, "win98", Start::kOwnFolder,
     Outcome::kFlasherStarted, kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kAfterARestart},
    {"Win98UpdateToAnotherVersion", Program::kTestBuild64, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kAnotherVersion},
    // Regression guard: a revision the version rule cannot read once read as another version.
    {"Win98BlankRevisionBeforeARestart", Program::kTestBuild64, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kBeforeARestart, "    "},
    {"WinXpStartedInTheSystemFolder", Program::kTestBuild64, "winxp", Start::kSystemFolder, Outcome::kStartAndClose, 0},
    // On the simulated NT machine: the three drives, one that does not answer, failing
    // address requests.
    {"WinXpFromTheDriveToTheFlasher", Program::kTestBuild64, "winxp", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kInstalled, "1.02", "three_drives.txt"},
    {"WinXpDrivesThatNeverAnswer", Program::kTestBuild64, "winxp", Start::kOwnFolder, Outcome::kStartAndClose, 0,
     Drive::kFtpSite, "", {}, Later::kNotStartedAgain, "1.02", "never_answers.txt"},
    {"Win2000AddressRequestsThatFail", Program::kTestBuild64, "win2k", Start::kOwnFolder, Outcome::kStartAndClose, 0,
     Drive::kFtpSite, "", {}, Later::kNotStartedAgain, "1.02", "address_fails.txt"},
    {"Win98FullDiskStartsNothing", Program::kTestBuild64, "win98", Start::kSmallDisk, Outcome::kDiskFull, kLowerCaseExe},
    {"Win98FromTheWebToTheFlasher", Program::kTestBuild64, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kWebExe, Drive::kWebSite},
    {"Win98MissingOnTheWebStartsNothing", Program::kTestBuild64, "win98", Start::kOwnFolder, Outcome::kNotFound,
     kWebMissing, Drive::kWebSite},
    {"Win98FromTheDriveToTheFlasher", Program::kRelease32, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kInstalled},
    {"Win98DigestOfAnotherFileStartsNothing", Program::kRelease32, "win98", Start::kOwnFolder, Outcome::kNotListed,
     kOtherFile, Drive::kFtpSite, "", OlderQuestion("1.02", "1.00")},
    {"Win98FromTheWebToTheFlasher", Program::kRelease32, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kWebExe, Drive::kWebSite},
    {"WinXpStartedInTheSystemFolder", Program::kRelease32, "winxp", Start::kSystemFolder, Outcome::kStartAndClose, 0},
    {"WinXpFromTheDriveToTheFlasher", Program::kRelease32, "winxp", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe, Drive::kFtpSite, "", {}, Later::kInstalled, "1.02", "three_drives.txt"},
    {"WinXpDrivesThatNeverAnswer", Program::kRelease32, "winxp", Start::kOwnFolder, Outcome::kStartAndClose, 0,
     Drive::kFtpSite, "", {}, Later::kNotStartedAgain, "1.02", "never_answers.txt"},
    {"Win2000AddressRequestsThatFail", Program::kRelease32, "win2k", Start::kOwnFolder, Outcome::kStartAndClose, 0,
     Drive::kFtpSite, "", {}, Later::kNotStartedAgain, "1.02", "address_fails.txt"},
    {"Win98VerifiedListToTheFlasher", Program::kSigned64, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe},
    {"Win98ListOfAnotherKeyListsNothing", Program::kSigned64, "win98", Start::kOwnFolder, Outcome::kListRefused, 0,
     Drive::kFtpSite, "key=wrong"},
    {"Win98ListsFromNginx", Program::kSigned64, "win98", Start::kOwnFolder, Outcome::kListedByNginx, 0,
     Drive::kWebSite},
    {"Win98ReleaseWithoutDigestIsNotDownloaded", Program::kSigned64, "win98", Start::kOwnFolder,
     Outcome::kNotCheckable, kUpperCaseExe},
    {"Win98VerifiedListToTheFlasher", Program::kSigned32, "win98", Start::kOwnFolder, Outcome::kFlasherStarted,
     kLowerCaseExe},
    {"Win98ListOfAnotherKeyListsNothing", Program::kSigned32, "win98", Start::kOwnFolder, Outcome::kListRefused, 0,
     Drive::kFtpSite, "key=wrong"},
};

constexpr size_t kBeyondTheSmallDisk = 2 * 1024 * 1024;

// A failing row names itself, not its bytes.
void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

std::vector<Road> RoadsOf(Program program) {
    std::vector<Road> roads;
    for (const Road& road : kRoads) {
        if (road.program == program) roads.push_back(road);
    }
    return roads;
}

// Waits for the program's next message box, presses OK (Yes to a question) and
// answers its text.
std::string AnswerNextBox(DWORD processId, DWORD timeoutMs = 60000) {
    HWND box = WaitForWindow("#32770", kAppTitle, timeoutMs, processId);
    if (box == nullptr) return "(no message box)";
    const std::string text = MessageBoxText(box);
    ClickButton(box, GetDlgItem(box, IDYES) != nullptr ? IDYES : IDOK);
    WaitForWindowGone(box);
    return text;
}

// Closes the program (process `pid`) with its Close button and answers every box it
// shows until it has ended; answers their texts. A box of the dialog's start may come
// before or after the click: either way it is answered first.
std::vector<std::string> CloseAnswering(HWND window, RunningProgram& program, DWORD pid) {
    ClickButton(window, IDCANCEL);
    std::vector<std::string> boxes;
    for (const DWORD start = GetTickCount(); program.Wait(0) == STILL_ACTIVE && GetTickCount() - start < 30000;) {
        if (const std::string text = AnswerNextBox(pid, 20); text != "(no message box)") {
            boxes.push_back(text);
        }
    }
    return boxes;
}

const std::string kDriveD = "Drive D: ,Parameters: 0/0/0 ,BusType: 2\r\nOTHER   DVD-ROM 16X     0200\r\n";
const std::string kDriveF = "Drive F: ,Parameters: 1/0/0 ,BusType: 2\r\nZORIX   DVD-RW XR-2080  2.00\r\n";
std::string DriveE(const std::string& revision) {
    return "Drive E: ,Parameters: 0/1/0 ,BusType: 2\r\nZORIX   DVD-RW XR-1680  " + revision + "\r\n";
}

// Kernel.log of the row's start on its drives, the maker's first reporting `revision`:
// the three drives as Windows 98 (tests/peers/aspi/three_drives.txt) or on an NT
// machine (tests/peers/ntscsi), or no drive at all as Windows NT under Wine.
std::string RoadLog(const Road& road, const std::string& revision) {
    if (std::string(road.platform) == "win98") {
        return "OS: Windows 98\r\n" + kRule + "Load ASPI driver ok!\r\n" + kDriveD + DriveE(revision) + kDriveF + kRule;
    }
    const std::string machine = road.ntMachine != nullptr ? road.ntMachine : "";
    std::string lines;
    if (machine == "three_drives.txt") lines = kDriveD + DriveE(revision) + kDriveF;
    // The INQUIRY of D: and the bus type query of F: wait 4 s each and are given up.
    if (machine == "never_answers.txt") {
        lines = "Issue Inquiry failed on 0:0:0, Letter D:. Error 0x3e5\r\n" + DriveE(revision) +
                "Failed to find bus type on 1:0:0, Letter F:. Error 0x3e5\r\n"
                "Drive F: ,Parameters: 1/0/0 ,BusType: 0\r\nZORIX   DVD-RW XR-2080  2.00\r\n";
    }
    // D: skipped for its short address, E: at 0:0:0, F: without its revision.
    if (machine == "address_fails.txt") {
        lines = "Drive E: ,Parameters: 0/0/0 ,BusType: 2\r\nZORIX   DVD-RW XR-1680  " + revision +
                "\r\nDrive F: ,Parameters: 1/0/0 ,BusType: 7\r\nZORIX   DVD-RW XR-2080  " + std::string(4, '\0') + "\r\n";
    }
    return "OS: Windows NT\r\n" + kRule + lines + kRule;
}

// The program that the NT machine's launcher started; 0 when none came.
DWORD LaunchedProgram(RunningProgram& launcher) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 60000 && launcher.Wait(50) == STILL_ACTIVE;) {
        const HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        DWORD child = 0;
        for (BOOL more = Process32First(processes, &entry); more && child == 0; more = Process32Next(processes, &entry)) {
            if (entry.th32ParentProcessID == launcher.ProcessId() && lstrcmpiA(entry.szExeFile, "nimbrel.exe") == 0) {
                child = entry.th32ProcessID;
            }
        }
        CloseHandle(processes);
        if (child != 0) return child;
    }
    return 0;
}

constexpr char kStoredName[] = "0/1/0 ZORIX   DVD-RW XR-1680";

// The record of the update started on the drive E:, or "" when there is none.
std::string StoredRecord() {
    for (const StoredUpdate& value : StoredUpdates()) {
        if (value.name == kStoredName) return value.data;
    }
    return {};
}

// A control's text, asked of the control itself (another process's edit field keeps
// its text to itself; GetWindowText would not ask it).
std::string ControlText(HWND control) {
    char text[256] = {};
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, sizeof folder);
    return folder;
}

std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
}

class WholeRoad : public ::testing::TestWithParam<Road> {};

TEST_P(WholeRoad, Walk) {
    const Road& road = GetParam();
    std::string updateServer = NIMBREL_UPDATE_SERVER;
    const char* portVariable = "NIMBREL_UPDATE_PORT";
    if (Is32Bit(road.program)) {
        if (const char* reason = std::getenv("NIMBREL_NO_32BIT")) GTEST_SKIP() << reason;
    }
    if (road.program == Program::kRelease32) {
        const char* server = std::getenv("NIMBREL_RELEASE_SERVER");
        ASSERT_NE(server, nullptr) << "run the release's rows through ctest: they need a namespace of their own";
        updateServer = server;
        portVariable = "NIMBREL_RELEASE_UPDATE_PORT";
        if (updateServer.rfind("https://", 0) == 0) {
            GTEST_SKIP() << "the release asks " << server << ": its rows serve plain HTTP only";
        }
    }
    const char* smallDisk = std::getenv("NIMBREL_SMALL_DISK");
    if (road.start == Start::kSmallDisk) {
        ASSERT_NE(smallDisk, nullptr) << "run through ctest: this row needs a small disk";
    }
    const ProgramFiles programFiles = FilesOf(road.program);
    std::string served;
    const bool nginx = road.outcome == Outcome::kListedByNginx;
    if (nginx) {
        ASSERT_TRUE(FileExists(PeerScratch() + "\\nginx\\nginx.conf")) << "run through ctest: nginx_road_test";
        ForgetAcceptedLists();
    } else if (road.outcome != Outcome::kStartAndClose) {
        ASSERT_TRUE(RoadServersUp(updateServer, portVariable));
        served = ServeFirmware(programFiles.flasher, road.start == Start::kSmallDisk ? kBeyondTheSmallDisk : 0);
        FtpCommands();
        ASSERT_TRUE(SetListSigning(PeerPort(portVariable), road.signing));
        ForgetAcceptedLists();
    }

    ForgetStartedUpdates();
    // The program in a folder of its own; as Windows 98 the simulated library and its
    // machine beside it.
    ScratchDir scratch;
    ASSERT_TRUE(CopyFileA(programFiles.exe.c_str(), scratch.File("nimbrel.exe").c_str(), FALSE)) << programFiles.exe;
    WineAppDefaults settings("nimbrel.exe");
    ASSERT_TRUE(settings.SetVersion(road.platform));
    const bool aspi = std::string(road.platform) == "win98";
    const bool nt = road.ntMachine != nullptr;
    if (nt) {
        ASSERT_TRUE(CopyFileA(BuildPath(std::string("peers/ntscsi/") + road.ntMachine).c_str(),
                              scratch.File("ntscsi.txt").c_str(), FALSE));
    }
    if (aspi) {
        ASSERT_TRUE(CopyFileA(programFiles.aspiLibrary.c_str(), scratch.File("wnaspi32.dll").c_str(), FALSE));
        std::string machine = ReadFileBytes(BuildPath("peers/aspi/three_drives.txt"));
        machine.replace(machine.find("|DVD-RW XR-1680  |1.02") + 18, 4, road.revision);
        WriteFileBytes(scratch.File("wnaspi32.txt"), machine);
        ASSERT_TRUE(settings.SetDllOverride("wnaspi32", "native"));
    }
    // A 32-bit program's system folder is SysWOW64, whatever its name says.
    const std::string systemFolder = SystemFolder();
    const std::string strayLogs[] = {systemFolder + "\\Kernel.log", WindowsFolder() + "\\SysWOW64\\Kernel.log"};
    for (const std::string& log : strayLogs) DeleteFileA(log.c_str());

    // Where the program's files go: the folder it starts in, unless that is the system's.
    const std::string folder = road.start == Start::kSmallDisk ? WinePath(smallDisk) : scratch.Path();
    const auto file = [&](const std::string& name) { return folder + "\\" + name; };
    // On the NT machine the launcher starts it and ends with it.
    const std::string exe = nt ? programFiles.ntLauncher : scratch.File("nimbrel.exe");
    const std::string arguments = nt ? "\"" + scratch.File("nimbrel.exe") + "\"" : "";
    RunningProgram program(exe, arguments, road.start == Start::kSystemFolder ? systemFolder : folder);
    ASSERT_TRUE(program.Started());
    const DWORD pid = nt ? LaunchedProgram(program) : program.ProcessId();
    ASSERT_NE(pid, 0u) << "the launcher started no program";
    HWND window = WaitForWindow("#32770", kMainCaption, 60000, pid);
    ASSERT_NE(window, nullptr) << "the main dialog did not show";

    // Discovery is logged before the window exists.
    EXPECT_EQ(ReadFileBytes(file("Kernel.log")), RoadLog(road, road.revision));
    for (const std::string& log : strayLogs) EXPECT_FALSE(FileExists(log)) << log;
    // Named here too, so that a row stopped below still says what discovery did wrong.
    EXPECT_EQ(ReadFileBytes(scratch.File("ntscsi-violations.txt")), "") << "by the end of discovery";

    if (road.outcome != Outcome::kStartAndClose) {
        // The maker's drives are the second and the third.
        const bool web = road.drive == Drive::kWebSite;
        HWND driveBox = GetDlgItem(window, IDC_DRIVE_BOX);
        ASSERT_EQ(SendMessageA(driveBox, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(ControlText(driveBox), "cdrom1 :  OTHER   DVD-ROM 16X      0200");
        SendMessageA(driveBox, CB_SETCURSEL, web ? 2 : 1, 0);
        EXPECT_EQ(ControlText(driveBox),
                  web ? "cdrom3 :  ZORIX   DVD-RW XR-2080   2.00"
                      : "cdrom2 :  ZORIX   DVD-RW XR-1680   " + road.revision);

        ClickButton(window, IDC_CHECK_UPDATES);
        const bool refused = road.outcome == Outcome::kListRefused;
        EXPECT_EQ(AnswerNextBox(pid), refused ? kListNotSigned : kListDownloaded);
        HWND list = GetDlgItem(window, IDC_FIRMWARE_LIST);
        ListRows listed = web ? WebListRows() : RoadListRows();
        for (std::vector<std::string>& row : listed) row[1] = web ? row[1] : road.revision;
        ListRows rows;
        for (DWORD start = GetTickCount(); rows.size() < listed.size() && GetTickCount() - start < 20000; Sleep(50)) {
            rows = ListViewRows(list);
            if (refused) break;
        }
        ASSERT_EQ(rows, refused ? ListRows{} : listed);
        EXPECT_FALSE(FileExists(file("FirmwareUpdate.XML")));
    }
    if (nginx) {
        // The list and its signature, asked as Wine's WinInet asks and answered by the published map.
        const std::string log = ReadFileBytes(PeerScratch() + "\\nginx\\access.log");
        for (const char* path : {"/downloads/downloadxml.aspx?", "/downloads/downloadxml.aspx.minisig?"}) {
            EXPECT_NE(log.find(std::string("\"GET ") + path + "ModelName=DVD-RW%20XR-2080 HTTP/1.1\" 200 "),
                      std::string::npos) << log;
        }
    } else if (road.outcome != Outcome::kStartAndClose && road.outcome != Outcome::kListRefused) {
        HWND list = GetDlgItem(window, IDC_FIRMWARE_LIST);
        ASSERT_TRUE(ClickListViewRow(list, road.release));
        ASSERT_TRUE(WaitForSelection(list, 1, road.release));
        // The stand-in flasher gives the drive the version of the release, or another.
        const char* const setBy[] = {nullptr, "E|1.10", nullptr, nullptr, "E|1.08"};
        if (const char* sets = setBy[static_cast<int>(road.later)]) WriteFileBytes(file("flasher-sets.txt"), sets);
        ClickButton(window, IDC_UPDATE_SELECTED);
        if (!road.asked.empty()) {
            EXPECT_EQ(AnswerNextBox(pid), road.asked);
        }
        if (road.outcome == Outcome::kFlasherStarted) {
            EXPECT_EQ(AnswerNextBox(pid), kDownloaded);
            // The flasher ran from the program's folder as FirmUpdate.EXE, with no arguments.
            const std::vector<FlasherRun> runs = WaitForFlasherRuns(folder, 1);
            ASSERT_EQ(runs.size(), 1u) << "the flasher did not start";
            EXPECT_EQ(lstrcmpiA(runs[0].folder.c_str(), folder.c_str()), 0) << runs[0].folder;
            EXPECT_EQ(lstrcmpiA(runs[0].program.c_str(), file(kFirmwareFile).c_str()), 0) << runs[0].program;
            EXPECT_EQ(runs[0].arguments, "");
            EXPECT_EQ(ReadFileBytes(file(kFirmwareFile)), served);
        } else {
            const char* told = road.outcome == Outcome::kNotListed   ? kNotListedFile
                               : road.outcome == Outcome::kDiskFull ? kDiskFullDownload
                               : road.outcome == Outcome::kNotFound ? kNotOnTheWebServer
                                                                    : kReleaseNotCheckable;
            EXPECT_EQ(AnswerNextBox(pid), told);
            EXPECT_FALSE(FileExists(file(kFirmwareFile)));
            EXPECT_TRUE(FlasherRuns(folder).empty());
        }
    }
    if (road.outcome != Outcome::kStartAndClose && !nginx) {
        // A web drive's release never comes over FTP; a refused list or release not at all.
        const bool fetched = road.drive == Drive::kFtpSite && road.outcome != Outcome::kListRefused &&
                             road.outcome != Outcome::kNotCheckable;
        EXPECT_EQ(Downloads(FtpCommands()),
                  std::vector<std::string>(fetched, std::string("RETR /") + kRoadUrls[road.release]));
    }

    // The main dialog stays open until the user closes it.
    ASSERT_TRUE(IsWindow(window));
    ClickButton(window, IDCANCEL);
    EXPECT_EQ(program.Wait(30000), 0u);
    DeleteSoon(file(kFirmwareFile));
    // The NT machine's stand-in changed the program in memory only.
    const std::string violations = scratch.File("ntscsi-violations.txt");
    EXPECT_EQ(ReadFileBytes(violations), "");
    EXPECT_TRUE(ReadFileBytes(scratch.File("nimbrel.exe")) == ReadFileBytes(programFiles.exe));
    if (road.later == Later::kNotStartedAgain) return;

    // The update started is remembered with the drive's revision and, as Windows 98,
    // the tick count; on the NT family, the boot key.
    const DWORD ticks = GetTickCount();
    std::optional<StartedUpdate> stored = ParseStartedUpdate(StoredRecord());
    ASSERT_TRUE(stored) << "no record of the update: \"" << StoredRecord() << "\"";
    EXPECT_EQ(stored->before + "|" + stored->started, road.revision + "|1.10");
    EXPECT_EQ(stored->sign.kind, aspi ? RestartSign::Kind::kTicks : RestartSign::Kind::kBootKey);
    if (aspi) {
        EXPECT_LE(stored->sign.value, ticks);
    }
    if (road.later == Later::kAfterARestart) {
        // Ticks ten minutes on; not within an hour and a half of their wrap at 2^32 ms,
        // where lower ticks are no sure sign.
        if (ticks > 0xFFFFFFFFu - 90 * 60000u) GTEST_SKIP() << "Wine's tick count is about to wrap";
        stored->sign.value = ticks + 10 * 60000u;
        ASSERT_TRUE(StoreUpdate(kStoredName, FormatStartedUpdate(*stored)));
    }

    // Started again, the program finds the drives anew and says what the drive reports.
    const std::string revisions[] = {"", "1.10", road.revision, "1.02", "1.08"};
    const std::string revision = revisions[static_cast<int>(road.later)];
    RunningProgram again(exe, arguments, folder);
    ASSERT_TRUE(again.Started());
    const DWORD againPid = nt ? LaunchedProgram(again) : again.ProcessId();
    window = WaitForWindow("#32770", kMainCaption, 60000, againPid);
    ASSERT_NE(window, nullptr) << "the main dialog did not show again";
    const std::string drive = "the drive E: ZORIX DVD-RW XR-1680";
    const std::vector<std::string> told[] = {
        {},
        {"The firmware update of " + drive + " to 1.10 is installed: the drive now reports 1.10."},
        {},
        {"The firmware update of " + drive + " to 1.10 did not take effect: the drive still reports 1.02 after a "
         "restart of the computer."},
        {"The drive E: ZORIX DVD-RW XR-1680 now reports firmware 1.08, not 1.10, the version of the update that was "
         "started."},
    };
    EXPECT_EQ(CloseAnswering(window, again, againPid), told[static_cast<int>(road.later)]);
    EXPECT_EQ(again.Wait(30000), 0u);
    EXPECT_EQ(ReadFileBytes(file("Kernel.log")), RoadLog(road, revision));
    EXPECT_EQ(ReadFileBytes(violations), "");
    // Told once; kept until the drive has had its restart.
    EXPECT_EQ(!StoredRecord().empty(), road.later == Later::kBeforeARestart);
}

// On the NT family (this test, as Wine runs it) a restart takes the volatile boot key
// with it. Wine keeps volatile keys while its wineserver lives, which the tests keep
// up: the key is deleted here as a restart would delete it. (Wine honours the volatile
// option as Windows 98 too, which ignores it: the family is chosen by GetVersion.)
TEST(RestartSign, TheBootKeyGoesWithARestart) {
    ASSERT_EQ(GetVersion() & 0x80000000, 0u) << "not the NT family";
    const RestartSign taken = TakeRestartSign();
    ASSERT_EQ(taken.kind, RestartSign::Kind::kBootKey);
    EXPECT_FALSE(RestartedSince(taken, RestartSignNow()));
    EXPECT_FALSE(RestartedSince(taken, TakeRestartSign()));
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Nimbrel\\Boot"), ERROR_SUCCESS);
    EXPECT_TRUE(RestartedSince(taken, RestartSignNow()));
    EXPECT_TRUE(RestartedSince(taken, TakeRestartSign()));
}

std::string RoadName(const ::testing::TestParamInfo<Road>& info) { return info.param.name; }

// The rows of each program run where its servers are: this tree's in the test's own
// network, the release's (and those on a full disk) in a namespace of their own; the
// ctest entries filter by their names.
INSTANTIATE_TEST_SUITE_P(TestBuild64, WholeRoad, ::testing::ValuesIn(RoadsOf(Program::kTestBuild64)), RoadName);
INSTANTIATE_TEST_SUITE_P(Release32, WholeRoad, ::testing::ValuesIn(RoadsOf(Program::kRelease32)), RoadName);
INSTANTIATE_TEST_SUITE_P(Signed64, WholeRoad, ::testing::ValuesIn(RoadsOf(Program::kSigned64)), RoadName);
INSTANTIATE_TEST_SUITE_P(Signed32, WholeRoad, ::testing::ValuesIn(RoadsOf(Program::kSigned32)), RoadName);

}  // namespace

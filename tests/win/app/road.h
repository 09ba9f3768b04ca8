// What the firmware-download tests share: the update list of the drive
// "ZORIX   DVD-RW XR-1680  1.02" (tests/peers/http/lists/DVD-RW XR-1680.xml), the
// FTP server on 127.0.0.1:21 that serves its releases, the list of the drive
// "ZORIX   DVD-RW XR-2080  2.00", whose releases the list server serves itself from
// the same folder, and the records of the stand-in flasher (tests/peers/flasher)
// that the releases are.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/support/list_view.h"

constexpr char kMainCaption[] = "Nimbrel Ver. 1.0.0";
constexpr char kFirmwareFile[] = "FirmUpdate.EXE";

constexpr char kListDownloaded[] = "The latest firmware update list was downloaded successfully!";
constexpr char kNoSelection[] = "Please selected a firmware to update!";
constexpr char kDownloaded[] =
    "Firmware file had been downloaded sucessfully. \n System will automatically execute it to update your device. ";
constexpr char kUpdateManually[] = "You had downloaded this firmware successfully, you must update it manually.";
constexpr char kReplace[] = "The file 'FirmUpdate.EXE' already exists.\nDo you want to replace it?";
// The questions before a release older than the drive's firmware, or the same.
inline std::string OlderQuestion(const std::string& drive, const std::string& release) {
    return "The drive has firmware " + drive + ", and this release, " + release +
           ", is older. Do you want to install the older firmware?";
}
inline std::string SameQuestion(const std::string& drive) {
    return "The drive already has firmware " + drive + ", the version of this release. Do you want to install it again?";
}
// The question before a release whose update was started already in this run.
inline std::string StartedAgain(const std::string& release) {
    return "An update of the drive to " + release + " has already been started; the drive may report it only after "
           "a restart of the computer. Do you want to install it again?";
}
constexpr char kNotListedFile[] =
    "The downloaded file does not match the update list. It has been deleted and was not started.";

// The rows of the list, in its order. The first lists the SHA256 of the file served,
// the last three an upper-case one, that of another file, and one digit too many.
enum RoadRow { kLowerCaseExe, kUpperCaseExe, kZip, kExeFolder, kMixedCaseExe, kMissing, kCutShort,
               kUpperCaseDigest, kOtherFile, kLongDigest, kRoadRows };
extern const char* const kRoadUrls[kRoadRows];
// The rows "Check updates" shows for that drive.
ListRows RoadListRows();

// The rows of the web drive's list: the first lists the SHA256 of the file served,
// the second is not there.
enum WebRow { kWebExe, kWebMissing, kWebRows };
extern const char* const kWebUrls[kWebRows];
ListRows WebListRows();

// Fails unless the test runs with its servers (through ctest): the update-list
// server at `updateServer` (host[:port], http:// or https://; by default the one this
// tree was built to ask), its port in `portVariable`, and the FTP server on port 21.
::testing::AssertionResult RoadServersUp(const std::string& updateServer = NIMBREL_UPDATE_SERVER,
                                         const char* portVariable = "NIMBREL_UPDATE_PORT");

// A release that the FTP server of update_selected_test sends, and then zeros without end.
constexpr char kEndlessUrl[] = "fw/xr1680/XR1680_110_endless.exe";

// Puts the stand-in flasher `flasher` (this tree's when empty), padded with zeros to
// at least `size` bytes (it still runs), in the FTP server's root under the name of
// every release of both lists but the missing ones, and of kEndlessUrl, and answers
// its bytes.
std::string ServeFirmware(const std::string& flasher = {}, size_t size = 0);

// The commands the FTP server received since the last call, one per line.
std::vector<std::string> FtpCommands();
// Of those, the downloads ("RETR <path>").
std::vector<std::string> Downloads(const std::vector<std::string>& commands);

struct FlasherRun {
    std::string folder, program, arguments;
};
// The starts that the flasher recorded in `folder`, oldest first.
std::vector<FlasherRun> FlasherRuns(const std::string& folder);
// Waits up to `timeoutMs` until at least `count` starts are recorded; answers them.
std::vector<FlasherRun> WaitForFlasherRuns(const std::string& folder, size_t count, DWORD timeoutMs = 30000);

// Waits until the list shows `count` selected rows and the selection mark `mark`
// (clicks are posted, and take effect when the list's thread gets to them).
::testing::AssertionResult WaitForSelection(HWND list, int count, int mark, DWORD timeoutMs = 20000);

// Deletes a file that a program just started from it may still hold; false when it
// is still there after `timeoutMs`.
bool DeleteSoon(const std::string& path, DWORD timeoutMs = 20000);

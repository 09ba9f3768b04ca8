// "Update selected" in the real main dialog, run modally on this thread, after a real
// "Check updates" of the drive "ZORIX   DVD-RW XR-1680  1.02": the releases come from
// the FTP server on 127.0.0.1:21 as the stand-in flasher, which records every start.
// The other drives' lists name other sites: web servers (the list server itself, and
// HTTPS peers for 127.0.0.1 and for localhost), the FTP server as an ftp:// address,
// a second FTP server on 127.0.0.2:21 that refuses passive mode, and a site of another
// scheme. A second thread clicks rows and buttons and answers the boxes.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "drives/drive_registry.h"
#include "res/resource.h"
#include "tests/win/app/road.h"
#include "tests/win/support/gui_driver.h"
#include "tests/win/support/list_signing.h"
#include "tests/win/support/list_view.h"
#include "tests/win/support/peers.h"
#include "tests/win/support/scratch_dir.h"
#include "tests/win/support/trusted_authority.h"

extern DriveRegistry theDriveRegistry;

namespace {

using Texts = std::vector<std::string>;

// The drives of this process, in the drive box's order; each model has its list in
// tests/peers/http/lists.
enum Drive { kFtpDrive, kWebDrive, kHttpsDrive, kFtpUrlDrive, kActiveFtpDrive, kGopherDrive, kSignedFtp, kSignedWeb };
const char* const kIdentities[] = {
    "ZORIX   DVD-RW XR-1680  1.02", "ZORIX   DVD-RW XR-2080  2.00", "ZORIX   XR-WEBTLS       1.00",
    "ZORIX   XR-FTPURL       1.00", "ZORIX   XR-ACTIVE       1.00", "ZORIX   XR-GOPHER       1.00",
    "ZORIX   XR-SIGNFTP      1.00", "ZORIX   XR-SIGNWEB      1.00",
};
// The rows of XR-WEBTLS.xml.
enum HttpsRow { kHttpsExe, kHttpsCutShort, kToTheOtherName, kDownToHttp, kOverTheCap };

constexpr char kHttpNotFound[] = "Failed to receive a valid HTTP response from the server, Response Code:404";
constexpr char kRefusedRedirect[] = "An error occurred connecting to the server, Error:12156";
constexpr char kUnusableSite[] =
    "The firmware cannot be downloaded: the update list gives its server as \"gopher://127.0.0.1\", which is "
    "neither a host name nor an ftp://, http:// or https:// address.";

// The requests for releases that the web servers received since the last call: the
// list server (the lists themselves left out) and the two HTTPS release peers.
Texts WebRequests() {
    Texts requests;
    for (const std::string& line : PeerRequests(PeerPort("NIMBREL_UPDATE_PORT"))) {
        if (line.find(" /downloads/") == std::string::npos) requests.push_back(line);
    }
    for (const char* peer : {"release-https", "release-localhost"}) {
        const std::string log = PeerScratch() + "\\" + peer + ".log";
        for (const std::string& line : RequestLines(ReadFileBytes(log))) requests.push_back(line);
        WriteFileBytes(log, "");
    }
    return requests;
}

std::string Retrieve(int row) { return std::string("RETR /") + kRoadUrls[row]; }

class UpdateSelected : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (GetDriveCount() != 0) return;
        for (const char* identity : kIdentities) theDriveRegistry.AddDrive(identity, 'D', 0, 0, 0, 1);
    }

    void SetUp() override {
        ASSERT_TRUE(RoadServersUp());
        ForgetStartedUpdates();
        served_ = ServeFirmware();
        FtpCommands();
    }

    // Runs a main dialog; `drive` runs on the second thread, then the dialog is cancelled.
    void WithDialog(const std::function<void(HWND window, HWND list)>& drive,
                    const std::vector<std::string>& listKeys = BuiltListKeys()) {
        CUpdateDlg dialog(nullptr, BuiltUpdateServer(), listKeys);
        bool seen = false;
        InspectModal([&] { return dialog.DoModal(); }, kMainCaption,
                     [&](HWND window) { drive(window, GetDlgItem(window, IDC_FIRMWARE_LIST)); }, &seen);
        EXPECT_TRUE(seen) << "the main dialog did not show";
    }

    static void CheckUpdates(HWND window, HWND list, Drive drive = kFtpDrive) {
        SendDlgItemMessageA(window, IDC_DRIVE_BOX, CB_SETCURSEL, drive, 0);
        EXPECT_EQ(ClickAndAnswer(window, IDC_CHECK_UPDATES).boxes, Texts{kListDownloaded});
        WebRequests();
        if (drive == kFtpDrive) {
            ASSERT_EQ(ListViewRows(list), RoadListRows());
        } else if (drive == kWebDrive) {
            ASSERT_EQ(ListViewRows(list), WebListRows());
        }
        FtpCommands();
    }

    std::string FirmwareFile() const { return scratch_.File(kFirmwareFile); }

    // What each start of the flasher must have been: FirmUpdate.EXE of the current
    // folder, started there, with nothing after its name.
    void ExpectStarts(size_t count) const {
        const std::vector<FlasherRun> runs = WaitForFlasherRuns(scratch_.Path(), count);
        ASSERT_EQ(runs.size(), count) << "flasher starts";
        for (const FlasherRun& run : runs) {
            EXPECT_EQ(lstrcmpiA(run.folder.c_str(), scratch_.Path().c_str()), 0) << run.folder;
            EXPECT_EQ(lstrcmpiA(run.program.c_str(), FirmwareFile().c_str()), 0) << run.program;
            EXPECT_EQ(run.arguments, "");
        }
    }

    ScratchDir scratch_;
    std::string served_;
};

TEST_F(UpdateSelected, EachReleaseIsDownloadedAndStartedWhenItNamesAProgram) {
    constexpr char kOld[] = "an earlier download";
    const std::string size = std::to_string(served_.size()), sizePlus1 = std::to_string(served_.size() + 1);
    enum After { kServed, kGone, kKept };
    struct Case {
        const char* what;
        int row;
        bool existing;  // FirmUpdate.EXE is there before the click
        std::vector<int> answers;
        Texts boxes;
        int fetches;  // RETR commands the FTP server on 127.0.0.1 saw
        bool started;
        After file;
        Drive drive = kFtpDrive;  // whose list the row is of
        int webFetches = 0;       // requests the web servers saw
        bool keyed = false;       // the dialog has the test key: the lists are signed
        const char* url = nullptr;  // fetched over FTP, when not the road's row
    } cases[] = {
        // "EXE" or "exe" anywhere in the location marks a program; nothing else does.
        {"a program, its SHA256 listed", kLowerCaseExe, false, {}, {kDownloaded}, 1, true, kServed},
        {"a program, upper case, another Size unsigned", kUpperCaseExe, false, {}, {kDownloaded}, 1, true, kServed},
        {"exe only in a folder name", kExeFolder, false, {}, {kDownloaded}, 1, true, kServed},
        {"another extension", kZip, false, {}, {kDownloaded, kUpdateManually}, 1, false, kServed},
        {"Exe in mixed case", kMixedCaseExe, false, {}, {kDownloaded, kUpdateManually}, 1, false, kServed},
        // Failures are the transfer dialog's to report; nothing follows them. A file
        // missing in passive mode is asked for once more in active mode, and told once.
        {"a missing file", kMissing, false, {},
         {"An error occurred while attempting to open the specified remote file, Error:\n550 No such file or directory."},
         2, false, kGone},
        // Regression guard: the server cuts the file short and reports success.
        {"a transfer cut short", kCutShort, false, {IDYES},
         {SameQuestion("1.02"), "An error occurred while downloading the file, Error:12030"}, 1, false, kGone},
        // A listed SHA256 must match, in either case; the file that does not is never started.
        {"upper-case SHA256 digits", kUpperCaseDigest, false, {IDYES}, {OlderQuestion("1.02", "1.01"), kDownloaded},
         1, true, kServed},
        {"the server holds another file", kOtherFile, false, {IDYES}, {OlderQuestion("1.02", "1.00"), kNotListedFile},
         1, false, kGone},
        {"a SHA256 a digit too long", kLongDigest, false, {IDYES}, {OlderQuestion("1.02", "0.99"), kNotListedFile},
         1, false, kGone},
        // Older firmware, or the same, goes on only after a Yes; Enter says No to older.
        {"older firmware declined", kUpperCaseDigest, true, {kDefaultButton}, {OlderQuestion("1.02", "1.01")}, 0,
         false, kKept},
        // An earlier download is replaced only after a Yes. The release was started
        // above, which the drive list does not show: that is asked about first.
        {"replacing an earlier download", kLowerCaseExe, true, {IDYES, IDYES}, {StartedAgain("1.10"), kReplace,
         kDownloaded}, 1, true, kServed},
        {"keeping an earlier download", kLowerCaseExe, true, {IDYES, IDNO}, {StartedAgain("1.10"), kReplace}, 0, false,
         kKept},
        {"started again declined", kLowerCaseExe, true, {kDefaultButton}, {StartedAgain("1.10")}, 0, false, kKept},
        // An ftp:// site is the FTP server too, the scheme in any case. A server that
        // refuses passive mode is asked once more in active mode.
        {"ftp://host", 0, false, {}, {kDownloaded}, 1, true, kServed, kFtpUrlDrive},
        {"ftp://host refusing passive mode", 0, false, {}, {kDownloaded}, 0, true, kServed, kActiveFtpDrive},
        // Web sites: the release goes through the HTTP dialog and is then checked and
        // started as one from FTP. Its failures leave no file, whatever was there.
        {"http://", kWebExe, false, {}, {kDownloaded}, 0, true, kServed, kWebDrive, 1},
        {"http://, not there", kWebMissing, true, {IDYES}, {kReplace, kHttpNotFound}, 0, false, kGone, kWebDrive, 1},
        {"http://, an earlier download kept", kWebExe, true, {IDYES, IDNO}, {StartedAgain("2.10"), kReplace}, 0, false,
         kKept, kWebDrive},
        {"https://", kHttpsExe, false, {}, {kDownloaded}, 0, true, kServed, kHttpsDrive, 1},
        {"https://, cut short", kHttpsCutShort, false, {},
         {"An error occurred while downloading the file, Error:12031"}, 0, false, kGone, kHttpsDrive, 1},
        // A release may move to another host, with a certificate of its own, but never
        // down from https: WinInet follows the redirect, and the answer is refused.
        {"https:// moved to another host", kToTheOtherName, false, {}, {kDownloaded}, 0, true, kServed, kHttpsDrive,
         2},
        {"https:// moved to http://", kDownToHttp, true, {IDYES}, {kReplace, kRefusedRedirect}, 0, false, kGone,
         kHttpsDrive, 2},
        // Every release is held to the cap.
        {"https://, larger than any release", kOverTheCap, false, {}, {"The file was not downloaded: the server gives its "
         "size as 67108865 bytes, more than the 67108864 bytes accepted for it."}, 0, false, kGone, kHttpsDrive, 1},
        // Nothing is fetched from a site of another scheme, and nothing is asked.
        {"gopher://", 0, true, {}, {kUnusableSite}, 0, false, kKept, kGopherDrive},
        // A signed list's release is held to its Size too.
        {"signed: sent without end", 0, false, {}, {"The download was stopped: the server sent at least " + sizePlus1 +
         " bytes of a file that should be " + size + " bytes long."}, 1, false, kGone, kSignedFtp, 0, true, kEndlessUrl},
        {"signed: cut short", 1, false, {}, {"The download failed: the server sent 3000 bytes of a file that should be " +
         size + " bytes long."}, 1, false, kGone, kSignedFtp, 0, true, kRoadUrls[kCutShort]},
        // Refused before anything is asked: an earlier download stays.
        {"signed: a Size over the cap", 2, true, {}, {"The file was not downloaded: its size is given as 67108865 bytes, "
         "more than the 67108864 bytes accepted for it."}, 0, false, kKept, kSignedFtp, 0, true},
        {"signed: longer from the web", 0, false, {}, {"The download was stopped: the server sent at least 1001 bytes of "
         "a file that should be 1000 bytes long."}, 0, false, kGone, kSignedWeb, 1, true},
    };
    const TrustedAuthority authority(ReadFileBytes(PeerScratch() + "\\tls\\ca.der"));
    size_t starts = 0;
    bool keyed = false;
    const auto table = [&](HWND window, HWND list) {
        int checked = -1;
        for (const Case& c : cases) {
            if (c.keyed != keyed) continue;
            SCOPED_TRACE(c.what);
            if (c.drive != checked) CheckUpdates(window, list, c.drive);
            checked = c.drive;
            ASSERT_TRUE(DeleteSoon(FirmwareFile()));
            if (c.existing) WriteFileBytes(FirmwareFile(), kOld);
            ASSERT_TRUE(ClickListViewRow(list, c.row));
            ASSERT_TRUE(WaitForSelection(list, 1, c.row));

            const Clicked seen = ClickAndAnswer(window, IDC_UPDATE_SELECTED, AnswersInTurn(c.answers));
            EXPECT_EQ(seen.boxes, c.boxes);
            EXPECT_EQ(Downloads(FtpCommands()), Texts(c.fetches, c.url ? std::string("RETR /") + c.url : Retrieve(c.row)));
            EXPECT_EQ(WebRequests().size(), static_cast<size_t>(c.webFetches));
            EXPECT_EQ(seen.transfers, c.file == kKept ? 0 : 1);
            switch (c.file) {
            case kServed:
                EXPECT_EQ(ReadFileBytes(FirmwareFile()), served_);
                break;
            case kGone:
                EXPECT_FALSE(FileExists(FirmwareFile()));
                break;
            case kKept:
                EXPECT_EQ(ReadFileBytes(FirmwareFile()), kOld);
                break;
            }
            if (c.started) ++starts;
            ExpectStarts(starts);
        }
        // The handler leaves the main dialog as it was.
        EXPECT_EQ(ListViewRows(list), (ListRows{{keyed ? "XR-SIGNWEB" : "XR-GOPHER", "1.00", "1.10", "2005/03/01"}}));
        EXPECT_EQ(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0), 0);
    };
    WithDialog(table);
    keyed = true;
    ASSERT_TRUE(SetListSigning(PeerPort("NIMBREL_UPDATE_PORT")));
    ForgetAcceptedLists();
    WithDialog(table, {TestListKey()});
}

TEST_F(UpdateSelected, WithoutASelectedRowNothingIsFetched) {
    struct Case {
        const char* what;
        std::function<void(HWND window, HWND list)> before;
    } cases[] = {
        {"right after start, no rows", [](HWND, HWND) {}},
        {"rows listed, none clicked", [](HWND window, HWND list) { CheckUpdates(window, list); }},
    };
    WithDialog([&](HWND window, HWND list) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            c.before(window, list);
            const Clicked seen = ClickAndAnswer(window, IDC_UPDATE_SELECTED);
            EXPECT_EQ(seen.boxes, Texts{kNoSelection});
            EXPECT_EQ(seen.transfers, 0);
            EXPECT_EQ(FtpCommands(), Texts{});
            EXPECT_FALSE(FileExists(FirmwareFile()));
        }
    });
    ExpectStarts(0);
}

TEST_F(UpdateSelected, WithSeveralRowsSelectedTheAnchorOfTheLatestSelectionIsFetched) {
    struct Case {
        const char* what;
        RoadRow first, second;
        WPARAM keys;  // held on the second click
        int selected;
        RoadRow anchor;
        Texts boxes;
    } cases[] = {
        {"shift-click above the first row", kExeFolder, kUpperCaseExe, MK_SHIFT, 3, kExeFolder, {kDownloaded}},
        {"ctrl-click below the first row", kLowerCaseExe, kZip, MK_CONTROL, 2, kZip, {kDownloaded, kUpdateManually}},
    };
    size_t starts = 0;
    WithDialog([&](HWND window, HWND list) {
        CheckUpdates(window, list);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_TRUE(DeleteSoon(FirmwareFile()));
            ASSERT_TRUE(ClickListViewRow(list, c.first));
            ASSERT_TRUE(WaitForSelection(list, 1, c.first));
            ASSERT_TRUE(ClickListViewRow(list, c.second, c.keys));
            ASSERT_TRUE(WaitForSelection(list, c.selected, c.anchor));

            EXPECT_EQ(ClickAndAnswer(window, IDC_UPDATE_SELECTED).boxes, c.boxes);
            EXPECT_EQ(Downloads(FtpCommands()), Texts{Retrieve(c.anchor)});
            if (c.boxes.size() == 1) ++starts;
            ExpectStarts(starts);
        }
    });
}

}  // namespace

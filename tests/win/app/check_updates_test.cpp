// "Check updates" in the real main dialog, run modally on this thread, against the
// update-list test server at the loopback address this tree was built to ask. A
// second thread chooses a drive, clicks the button, answers every message box and
// reads the list; the server's request log shows what went over the wire.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "drives/drive_registry.h"
#include "res/resource.h"
#include "tests/win/support/gui_driver.h"
#include "tests/win/support/list_signing.h"
#include "tests/win/support/peers.h"
#include "tests/win/support/scratch_dir.h"
#include "tests/win/support/trusted_authority.h"

extern DriveRegistry theDriveRegistry;

namespace {

constexpr char kMainCaption[] = "Nimbrel Ver. 1.0.0";
constexpr char kListFile[] = "FirmwareUpdate.XML";
const std::string kListsFolder = WinePath(NIMBREL_SOURCE_DIR "/tests/peers/http/lists/");

constexpr char kChooseMaker[] = "Please choose any ZOrix product to update. Thank you!";
constexpr char kDownloaded[] = "The latest firmware update list was downloaded successfully!";
constexpr char kCannotOpen[] = "Unable to open file.";
constexpr char kCannotLoad[] = "Error loading file and conventing it to string.";
constexpr char kBusy[] = "Sorry, system is busy, please try it again!";
constexpr char kNoFirmware[] = "Sorry, system can not find any firmware updates!";
constexpr char kCorrupt[] = "Imported XML file is corrupt, please click Checkupdates  button to download again.";

// Positions in the drive box; each model has its list in tests/peers/http/lists.
enum Drive {
    kThree, kThreeMixedCase, kLowerCaseOnly, kMakerInProduct, kNoMaker, kBusyServer, kUnknownModel, kUnquoted,
    kAnsiTwin, kUtf16Twin, kFtpFirst, kMany, kCut, kEmpty, kEarlyNul, kNotFound, kSlow, kToHttps, kToOtherHost,
    kToHttp,
};
const char* const kIdentities[] = {
    "ZORIX   XR-THREE        1.02", "ZOrix   XR-THREE        0.99", "zorix   XR-THREE        2.00",
    "OTHER   ZORIX XR-THREE  1.00", "OTHER   CD-ROM          1.00", "ZORIX   XR-BUSY         1.00",
    "ZORIX   XR-NONE         1.00", "ZORIX   XR-UNQUOTED     1.00", "ZORIX   XR-ANSI         1.00",
    "ZORIX   XR-UTF16        1.00", "ZORIX   XR-FTPFIRST     1.00", "ZORIX   XR-MANY         1.00",
    "ZORIX   XR-CORRUPT      1.00", "ZORIX   XR-EMPTY        1.00", "ZORIX   XR-NUL          1.00",
    "ZORIX   XR-FAIL         1.00", "ZORIX   XR-SLOW         1.00", "ZORIX   XR-TOTLS        1.00",
    "ZORIX   XR-ELSEWHERE    1.00", "ZORIX   XR-TOPLAIN      1.00",
};
constexpr int kNoDrive = -1;

using Rows = std::vector<std::vector<std::string>>;

// The three releases of XR-THREE.xml as the drive of revision `host` lists them.
Rows ThreeRows(const std::string& host) {
    return {{"XR-THREE", host, "1.00", "2003/05/20"},
            {"XR-THREE", host, "1.02", "2003/09/01"},
            {"XR-THREE", host, "1.10", "2004/01/15"}};
}

int ServerPort() {
    const std::string server = NIMBREL_UPDATE_SERVER;
    return std::stoi(server.substr(server.rfind(':') + 1));
}

std::vector<std::string> ServerRequests() { return PeerRequests(ServerPort()); }

Rows ListRows(const CUpdateDlg& dialog) {
    Rows rows(static_cast<size_t>(dialog.m_FirmwareList.GetItemCount()));
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int column = 0; column < 4; ++column) {
            rows[r].push_back(dialog.m_FirmwareList.GetItemText(static_cast<int>(r), column));
        }
    }
    return rows;
}

// What the user does besides answering the boxes.
struct User {
    bool cancelDownload = false;  // once the body is being read
    std::function<void(const std::string& box)> beforeAnswer;
};

// What one click showed.
struct Check {
    std::vector<std::string> boxes;  // in order
    Rows rows;
    std::vector<std::string> requests;
};

std::string StatusLine(HWND download) {
    char text[256] = {};
    GetDlgItemTextA(download, IDC_STATUS, text, sizeof text);
    return text;
}

// Chooses `drive`, clicks "Check updates" and answers every box (OK; No to a question)
// until the handler returns.
Check RunCheck(CUpdateDlg& dialog, int drive, const User& user = {}) {
    HWND window = dialog.GetSafeHwnd();
    SendDlgItemMessageA(window, IDC_DRIVE_BOX, CB_SETCURSEL, static_cast<WPARAM>(drive), 0);
    ClickUser clicking;
    clicking.answer = [&user](HWND box, size_t, const std::string& text) {
        if (user.beforeAnswer) user.beforeAnswer(text);
        return NoToQuestions(box);
    };
    bool cancelled = false;
    if (user.cancelDownload) {
        clicking.duringTransfer = [&cancelled](HWND download) {
            if (cancelled || StatusLine(download) != "Retrieving the file") return;
            ClickButton(download, IDCANCEL);
            cancelled = true;
        };
    }
    Check seen;
    seen.boxes = ClickAndAnswer(window, IDC_CHECK_UPDATES, clicking).boxes;
    seen.rows = ListRows(dialog);
    seen.requests = ServerRequests();
    return seen;
}

// The model name goes into the address with its blanks. Wine's WinInet drops the
// trailing ones (InternetCanonicalizeUrlA does, even in browser mode) and sends the
// inner ones as %20; the server ignores trailing blanks either way.
std::string Request(const std::string& query) {
    return "GET /downloads/downloadxml.aspx?ModelName=" + query + " HTTP/1.1";
}

class CheckUpdates : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (GetDriveCount() != 0) return;
        for (const char* identity : kIdentities) theDriveRegistry.AddDrive(identity, 'D', 0, 0, 0, 1);
    }

    void SetUp() override {
        ASSERT_EQ(PeerPort("NIMBREL_UPDATE_PORT"), ServerPort()) << "run this test through ctest";
        ASSERT_TRUE(SetListSigning(ServerPort()));
        ForgetAcceptedLists();
        ServerRequests();
    }

    // Runs a main dialog; `drive` runs on the second thread, then the dialog is cancelled.
    void WithDialog(const std::function<void(CUpdateDlg&)>& drive, const std::string& server = BuiltUpdateServer(),
                    const std::vector<std::string>& listKeys = BuiltListKeys()) {
        CUpdateDlg dialog(nullptr, server, listKeys);
        bool seen = false;
        InspectModal([&] { return dialog.DoModal(); }, kMainCaption, [&](HWND) { drive(dialog); }, &seen);
        EXPECT_TRUE(seen) << "the main dialog did not show";
    }

    ScratchDir scratch_;
};

TEST_F(CheckUpdates, MakerTestAndModelNameDecideTheRequest) {
    struct Case {
        const char* what;
        int drive;
        std::vector<std::string> boxes;
        std::vector<std::string> requests;  // none: nothing else changes either
        std::string model, host;
        Rows rows;
    } cases[] = {
        {"\"ZORIX   \" vendor: the padded product field is the model", kThree, {kDownloaded},
         {Request("XR-THREE")}, "XR-THREE        ", "1.02", ThreeRows("1.02")},
        {"\"ZOrix   \" vendor", kThreeMixedCase, {kDownloaded}, {Request("XR-THREE")}, "XR-THREE        ",
         "0.99", ThreeRows("0.99")},
        {"no maker", kNoMaker, {kChooseMaker}, {}, "XR-THREE        ", "0.99", ThreeRows("0.99")},
        {"no drive chosen", kNoDrive, {kChooseMaker}, {}, "XR-THREE        ", "0.99", ThreeRows("0.99")},
        // Passes, keeps the name, and the server knows no such model.
        {"lower-case only", kLowerCaseOnly, {kDownloaded, kNoFirmware}, {Request("zorix%20%20%20XR-THREE")},
         "zorix   XR-THREE        ", "2.00", {}},
        {"maker in the product field", kMakerInProduct, {kDownloaded, kNoFirmware},
         {Request("OTHER%20%20%20ZORIX%20XR-THREE")}, "OTHER   ZORIX XR-THREE  ", "1.00", {}},
    };
    WithDialog([&](CUpdateDlg& dialog) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            const Check seen = RunCheck(dialog, c.drive);
            EXPECT_EQ(seen.boxes, c.boxes);
            EXPECT_EQ(seen.requests, c.requests);
            EXPECT_EQ(dialog.m_ModelName, c.model);
            EXPECT_EQ(dialog.m_HostVersion, c.host);
            EXPECT_EQ(seen.rows, c.rows);
            EXPECT_FALSE(FileExists(kListFile));
        }
    });
}

TEST_F(CheckUpdates, ListsFillTheRowsAndTables) {
    Rows many;
    for (int i = 1; i <= 30; ++i) {
        char version[8];
        snprintf(version, sizeof version, "5.%02d", i);
        many.push_back({"XR-MANY", "1.00", version, "2007/" + std::string(version + 2)});
    }
    const Rows twin = {{"XR-TWIN Gr\xFCn", "1.00", "3.00\xE9", "2005/01/01 & later"},
                       {"XR-TWIN Gr\xFCn", "1.00", "3.01", "\xBD 2005"}};
    const auto twinTables = [](const CUpdateDlg& d) {
        EXPECT_EQ(d.m_Firmware[0].URL, "fw/tw\xE9n300.exe");
        EXPECT_EQ(d.m_FtpSites[0], "ftp.twin.invalid");
    };
    struct Case {
        const char* what;
        int drive;
        std::vector<std::string> boxes;
        Rows rows;
        std::function<void(const CUpdateDlg&)> tables;
    } cases[] = {
        {"three releases, in document order", kThree, {kDownloaded}, ThreeRows("1.02"),
         [](const CUpdateDlg& d) {
             const FirmwareEntry& last = d.m_Firmware[2];
             EXPECT_EQ(last.Version + "|" + last.Release + "|" + last.URL + "|" + last.Size,
                       "1.10|2004/01/15|fw/xr-three/v110.zip|530000");
             EXPECT_EQ(d.m_FtpSites[0], "ftp1.zorix.invalid");
             EXPECT_EQ(d.m_FtpSites[1], "ftp2.zorix.invalid");
         }},
        // The list is emptied, the tables keep the earlier list.
        {"server busy", kBusyServer, {kDownloaded, kBusy}, {},
         [](const CUpdateDlg& d) {
             EXPECT_EQ(d.m_Firmware[0].Version, "1.00");
             EXPECT_EQ(d.m_FtpSites[0], "ftp1.zorix.invalid");
         }},
        {"an unquoted Version", kUnquoted, {kDownloaded},
         {{"XR-UNQUOTED", "1.00", "2.00", "2004/02/02"}, {"XR-UNQUOTED", "1.00", "", "2004/03/03"}},
         [](const CUpdateDlg& d) {
             EXPECT_EQ(d.m_Firmware[1].URL, "fw/u201.exe");
             EXPECT_EQ(d.m_Firmware[2].Version, "1.10");  // slots beyond the list keep theirs
             EXPECT_EQ(d.m_FtpSites[0], "ftp1.zorix.invalid");
         }},
        {"no firmware for the model", kUnknownModel, {kDownloaded, kNoFirmware}, {},
         [](const CUpdateDlg& d) { EXPECT_EQ(d.m_Firmware[0].Version, "2.00"); }},
        // An "Ftp" before the releases is not looked at.
        {"servers before the releases", kFtpFirst, {kDownloaded},
         {{"XR-FTPFIRST", "1.00", "4.00", "2006/01/01"}, {"XR-FTPFIRST", "1.00", "4.01", "2006/02/01"}},
         [](const CUpdateDlg& d) { EXPECT_EQ(d.m_FtpSites[0], "ftp1.zorix.invalid"); }},
        {"an empty list file, silently", kEmpty, {kDownloaded}, {},
         [](const CUpdateDlg& d) { EXPECT_EQ(d.m_Firmware[0].Version, "4.00"); }},
        // Regression: 33 releases and 12 servers ran past the tables.
        {"more than 30 releases and 10 servers", kMany, {kDownloaded}, many,
         [](const CUpdateDlg& d) {
             EXPECT_EQ(d.m_Firmware[29].URL, "fw/m530.exe");
             EXPECT_EQ(d.m_FtpSites[9], "ftp10.many.invalid");
         }},
        // Regression: a list that does not parse emptied the list without a word.
        {"a list cut short", kCut, {kDownloaded, kCorrupt}, {},
         [](const CUpdateDlg& d) { EXPECT_EQ(d.m_Firmware[0].Version, "5.01"); }},
        // A UTF-16 list reads as its ANSI twin (code page 1252 here).
        {"UTF-16 with the byte-order mark", kUtf16Twin, {kDownloaded}, twin, twinTables},
        {"its ANSI twin", kAnsiTwin, {kDownloaded}, twin, twinTables},
    };
    WithDialog([&](CUpdateDlg& dialog) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            const Check seen = RunCheck(dialog, c.drive);
            EXPECT_EQ(seen.boxes, c.boxes);
            EXPECT_EQ(seen.rows, c.rows);
            c.tables(dialog);
            EXPECT_FALSE(FileExists(kListFile));
        }
    });
}

TEST_F(CheckUpdates, FailedChecksKeepTheRows) {
    WithDialog([&](CUpdateDlg& dialog) {
        ASSERT_EQ(RunCheck(dialog, kThree).rows, ThreeRows("1.02"));
        struct Case {
            const char* what;
            int drive;
            User user;
            std::vector<std::string> boxes;
            size_t oldList = 0;  // bytes of a FirmwareUpdate.XML there before, not to be replaced
            const char* served = "";  // the model whose list the server sends instead (the box holds 20 drives)
        } cases[] = {
            {"download failed", kNotFound, {},
             {"Failed to receive a valid HTTP response from the server, Response Code:404", kCannotOpen}},
            {"download cancelled", kSlow, {true, {}}, {kCannotOpen}},
            // No list is longer than 1 MB: the download stops there, and a file kept is not read.
            {"a list that never ends", kThree, {},
             {"The download was stopped: the file is larger than 1048576 bytes, the most accepted for it.", kCannotOpen},
             0, "XR-ENDLESS"},
            {"a list announced longer", kThree, {},
             {"The file was not downloaded: the server gives its size as 1048577 bytes, more than the 1048576 bytes "
              "accepted for it.", kCannotOpen}, 0, "XR-LARGE"},
            {"a longer list kept", kThree, {}, {"The file 'FirmwareUpdate.XML' already exists.\nDo you want to replace it?",
             kCannotLoad}, 1048577},
            {"a zero byte early in the file", kEarlyNul, {}, {kDownloaded, kCannotLoad}},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            if (c.oldList) WriteFileBytes(kListFile, std::string(c.oldList, ' '));
            ASSERT_TRUE(SetListSigning(ServerPort(), *c.served ? std::string("model=") + c.served : ""));
            const Check seen = RunCheck(dialog, c.drive, c.user);
            EXPECT_EQ(seen.boxes, c.boxes);
            EXPECT_EQ(seen.rows, ThreeRows("1.02"));
            EXPECT_EQ(dialog.m_Firmware[2].Version, "1.10");
            EXPECT_EQ(dialog.m_FtpSites[1], "ftp2.zorix.invalid");
            if (c.drive == kEarlyNul) continue;  // that file stays, below
            EXPECT_EQ(FileExists(kListFile), c.oldList != 0);
            DeleteFileA(kListFile);
        }
        // That file stays for a look.
        EXPECT_EQ(ReadFileBytes(kListFile), ReadFileBytes(kListsFolder + "XR-NUL.xml"));
    });
}

std::string SignatureRequest(const std::string& query) {
    return "GET /downloads/downloadxml.aspx.minisig?ModelName=" + query + " HTTP/1.1";
}

// With keys, a list is read only once its signature from the same server says that
// the maker signed it for this model, that it has not expired and that it is not older
// than one accepted before; any other answer leaves nothing of it, nor of the list
// before. The peer signs each list as it is asked to at the time.
TEST_F(CheckUpdates, SignedListsAreVerifiedBeforeTheyAreRead) {
    const auto now = static_cast<long long>(std::time(nullptr));
    const std::string issued = "issued=" + std::to_string(now);
    const std::vector<std::string> signedThree = {Request("XR-THREE"), SignatureRequest("XR-THREE")};
    const auto refused = [](const char* why) { return std::vector<std::string>{why}; };
    struct Case {
        const char* what;
        std::string signing;
        int drive;
        std::vector<std::string> boxes;
        Rows rows;
        std::vector<std::string> requests;
    } cases[] = {
        {"signed with the maker's key", issued, kThree, {kDownloaded}, ThreeRows("1.02"), signedThree},
        {"the same list again", issued, kThree, {kDownloaded}, ThreeRows("1.02"), signedThree},
        {"signed with the second key", "key=second", kThree, {kDownloaded}, ThreeRows("1.02"), signedThree},
        // A failed download of the list is no answer to verify: the rows stay.
        {"the list not found", "", kNotFound,
         {"Failed to receive a valid HTTP response from the server, Response Code:404", kCannotOpen}, ThreeRows("1.02"),
         {Request("XR-FAIL"), "GET /status/404 HTTP/1.1"}},
        // Every answer is verified, the ones without releases too.
        {"no firmware for the model", "", kUnknownModel, {kDownloaded, kNoFirmware}, {},
         {Request("XR-NONE"), SignatureRequest("XR-NONE")}},
        {"a busy server's answer, unsigned", "answer=list", kBusyServer, refused(kListNotSigned), {},
         {Request("XR-BUSY"), SignatureRequest("XR-BUSY")}},
        // Not the maker's list as it was signed for this model.
        {"the list itself for a signature", "answer=list", kThree, refused(kListNotSigned), {}, signedThree},
        {"signed with a key the program lacks", "key=wrong", kThree, refused(kListNotSigned), {}, signedThree},
        {"changed after signing", "tamper=1", kThree, refused(kListNotSigned), {}, signedThree},
        {"another model's list and signature", "model=XR-UNQUOTED", kThree, refused(kListNotSigned), {}, signedThree},
        {"a signature past 4 KB", "answer=large", kThree, refused(kListNotSigned), {}, signedThree},
        {"no signature on the server", "answer=404", kThree,
         {"Failed to receive a valid HTTP response from the server, Response Code:404", kListNotSigned}, {},
         signedThree},
        {"expired", "expires=" + std::to_string(now - 60), kThree, refused(kListExpired), {}, signedThree},
        {"older than the one accepted before", "issued=" + std::to_string(now - 3600), kThree,
         refused(kListOlder), {}, signedThree},
    };
    const std::vector<std::string> keys = {TestListKey(), PeerListKey("second")};
    ASSERT_EQ(keys[1].size(), 56u);
    WithDialog([&](CUpdateDlg& dialog) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_TRUE(SetListSigning(ServerPort(), c.signing));
            const Check seen = RunCheck(dialog, c.drive);
            EXPECT_EQ(seen.boxes, c.boxes);
            EXPECT_EQ(seen.rows, c.rows);
            EXPECT_EQ(seen.requests, c.requests);
            EXPECT_FALSE(FileExists(kListFile));
            // Nothing of a refused list, or of the one before, can be downloaded.
            if (c.boxes.back() == kListNotSigned || c.boxes.back() == kListExpired || c.boxes.back() == kListOlder) {
                EXPECT_EQ(dialog.m_FtpSites[0], "");
                EXPECT_EQ(dialog.m_Firmware[0].URL, "");
            }
        }
    }, BuiltUpdateServer(), keys);
}

// Over https the system's certificate checks decide: a certificate that fails one is
// the download's failure with WinInet's code, and nothing is listed. A redirect leads
// to https only on the same host (the list decides what program starts), never back.
TEST_F(CheckUpdates, ListsOverHttps) {
    const TrustedAuthority authority(ReadFileBytes(PeerScratch() + "\\tls\\ca.der"));
    const auto https = [](const char* port) { return "https://127.0.0.1:" + std::to_string(PeerPort(port)); };
    const std::string http = "http://127.0.0.1:" + std::to_string(ServerPort());
    const auto failed = [](int code) {
        return std::vector<std::string>{"An error occurred connecting to the server, Error:" + std::to_string(code),
                                        kCannotOpen};
    };
    struct Case {
        const char* what;
        std::string server;
        int drive;
        std::vector<std::string> boxes;
        Rows rows;
    } cases[] = {
        {"https", https("NIMBREL_HTTPS_PORT"), kThree, {kDownloaded}, ThreeRows("1.02")},
        {"http redirected to https on the same host", http, kToHttps, {kDownloaded}, ThreeRows("1.00")},
        {"a certificate for another host", https("NIMBREL_OTHER_HOST_PORT"), kThree, failed(12038), {}},
        {"an expired certificate", https("NIMBREL_EXPIRED_PORT"), kThree, failed(12037), {}},
        {"an authority nobody trusts", https("NIMBREL_UNTRUSTED_PORT"), kThree, failed(12045), {}},
        {"http redirected to https on another host", http, kToOtherHost, failed(12156), {}},
        {"https redirected to http", https("NIMBREL_HTTPS_PORT"), kToHttp, failed(12156), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WithDialog([&](CUpdateDlg& dialog) {
            const Check seen = RunCheck(dialog, c.drive);
            EXPECT_EQ(seen.boxes, c.boxes);
            EXPECT_EQ(seen.rows, c.rows);
        }, c.server);
    }
}

// Regression: a list file that could not be deleted ended the check with the
// framework's report of an exception, not a word of what it was about.
TEST_F(CheckUpdates, UndeletableListFileIsReported) {
    WithDialog([&](CUpdateDlg& dialog) {
        User user;
        user.beforeAnswer = [](const std::string& box) {
            if (box == kDownloaded) SetFileAttributesA(kListFile, FILE_ATTRIBUTE_READONLY);
        };
        const Check seen = RunCheck(dialog, kThree, user);
        EXPECT_EQ(seen.boxes, (std::vector<std::string>{kDownloaded, "Unable to delete the file FirmwareUpdate.XML, Error:5"}));
        EXPECT_EQ(seen.rows, ThreeRows("1.02"));
        ASSERT_TRUE(FileExists(kListFile));

        // The dialog goes on, and the next check asks before replacing the file.
        const Check next = RunCheck(dialog, kThreeMixedCase);
        EXPECT_EQ(next.boxes, (std::vector<std::string>{
                                  "The file 'FirmwareUpdate.XML' already exists.\nDo you want to replace it?",
                                  "Unable to delete the file FirmwareUpdate.XML, Error:5"}));
        EXPECT_EQ(next.rows, ThreeRows("0.99"));
        SetFileAttributesA(kListFile, FILE_ATTRIBUTE_NORMAL);
    });
}

}  // namespace

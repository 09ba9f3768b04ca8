// The HTTP download dialog against the scripted HTTP peer on 127.0.0.1, run under
// Wine with its real WinInet.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/win/support/gui_driver.h"
#include "tests/win/transfer/http_dialog_probe.h"

namespace {

using HttpDownload = HttpPeerTest;

// First of all: WinInet keeps connections for the process, and only a new one shows
// the connection's steps.
TEST_F(HttpDownload, StatusLineFollowsTheConnectionAndRedirects) {
    const Outcome seen = RunDownload({Url("/redirect?to=/gen%3Fsize%3D10")});
    ASSERT_EQ(seen.result, IDOK);
    const std::vector<std::string> expected = {
        "Connecting to 127.0.0.1",
        "Connected to 127.0.0.1",
        "Redirecting to " + Url("/gen?size=10"),
        "Getting file information",
        "Retrieving the file",
    };
    auto next = seen.status.begin();
    for (const std::string& text : expected) {
        next = std::find(next, seen.status.end(), text);
        ASSERT_NE(next, seen.status.end()) << "no \"" << text << "\" in its place among\n"
                                           << ::testing::PrintToString(seen.status);
    }
}

TEST_F(HttpDownload, WholeBodiesAreSavedAndShown) {
    struct Case {
        const char* what;
        std::string url;
        size_t size;
        std::string fileName;  // file line and caption
        int barHigh, barPos;   // kilobytes: (size + 512) / 1024 and size / 1024; -1: no length
    } cases[] = {
        {"with a length", Url("/gen?size=3000"), 3000, "gen?size=3000", 3, 2},
        {"many write blocks", Url("/gen?size=200000"), 200000, "gen?size=200000", 195, 195},
        {"chunked, no length", Url("/gen?size=3000&framing=chunked"), 3000, "gen?size=3000&framing=chunked", -1, -1},
        {"ended by closing", Url("/gen?size=70000&framing=close"), 70000, "gen?size=70000&framing=close", -1, -1},
        {"without a scheme", "127.0.0.1:" + std::to_string(port_) + "/gen?size=3000", 3000, "gen?size=3000", 3, 2},
        {"redirected", Url("/redirect?to=/gen%3Fsize%3D3000"), 3000, "gen%3Fsize%3D3000", 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome seen = RunDownload({c.url});
        EXPECT_EQ(seen.result, IDOK);
        EXPECT_TRUE(seen.boxes.empty()) << seen.boxes.front();
        EXPECT_TRUE(FileHolds(kLocalFile, Generated(c.size)));
        EXPECT_EQ(seen.endMessages, 1);
        EXPECT_EQ(seen.fileLine, c.fileName + " from 127.0.0.1");
        if (c.barHigh >= 0) {
            EXPECT_EQ(seen.caption, "100% of " + c.fileName + " Completed");
            EXPECT_EQ(seen.barHigh, c.barHigh);
            EXPECT_EQ(seen.barPos, c.barPos);
        } else {
            EXPECT_EQ(seen.caption, "");  // no percentage without a total
            EXPECT_EQ(seen.barPos, 0);
        }
        ASSERT_FALSE(seen.status.empty());
        EXPECT_EQ(seen.status.back(), "Retrieving the file");
        DeleteFileA(kLocalFile);
    }
}

// Every failure once the transfer ran: its message, IDCANCEL, no file left behind
// but for a status that cannot be read.
TEST_F(HttpDownload, FailuresAreReportedAndTheFileDropped) {
    const int closedPort = UnusedLoopbackPort();
    // Wine's WinInet reads a status from any answer (none, "HTTP/1.1" alone, garbage);
    // the query that fails stands for a WinInet that cannot.
    TransferPlatform statusUnread;
    statusUnread.httpQueryInfo = [](HINTERNET request, DWORD query, void* buffer, DWORD* length, DWORD* index) {
        if (query != HTTP_QUERY_STATUS_CODE) return HttpQueryInfoA(request, query, buffer, length, index);
        SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return FALSE;
    };
    struct Case {
        const char* what;
        std::string url;
        std::string message;
        std::vector<std::string> logins;
        TransferPlatform platform = {};
        bool keptEmpty = false;
        DownloadBound bound = {};
    } cases[] = {
        {"not found", Url("/status/404"),
         "Failed to receive a valid HTTP response from the server, Response Code:404", {}},
        {"server error", Url("/status/500"),
         "Failed to receive a valid HTTP response from the server, Response Code:500", {}},
        {"refused", LoopbackUrl(closedPort, "/gen?size=10"), "An error occurred connecting to the server, Error:12029",
         {}},
        // Regression: a connection closed early read as a whole, shorter file.
        {"cut short", Url("/cut?size=10000&send=3000"), "An error occurred while downloading the file, Error:12031",
         {}},
        // Regression: a dismissed login ended as a success with an empty file.
        {"login dismissed", Url("/auth/401?size=3000&user=nobody"),
         "Failed to receive a valid HTTP response from the server, Response Code:401", {kServerLogin}},
        // A proxy challenge from a server reached directly: no login to ask for.
        {"proxy challenge without a proxy", Url("/auth/407?size=3000"),
         "Failed to receive a valid HTTP response from the server, Response Code:407", {}},
        // Regression guard: dropping this failure went unnoticed.
        {"status unreadable", Url("/gen?size=3000"), "Failed to receive a valid response from the server, Error:12150",
         {}, statusUnread, true},
        // Beyond the bound: the most it may have, or the length it should have.
        {"a body that never ends", Url("/gen?size=endless&framing=chunked"),
         "The download was stopped: the file is larger than 4096 bytes, the most accepted for it.", {}, {}, false, {4096}},
        {"a length announced past the most", Url("/gen?size=4097"), "The file was not downloaded: the server gives its "
         "size as 4097 bytes, more than the 4096 bytes accepted for it.", {}, {}, false, {4096}},
        {"longer than it should be", Url("/gen?size=3001&framing=close"), "The download was stopped: the server sent at "
         "least 3001 bytes of a file that should be 3000 bytes long.", {}, {}, false, {4096, 3000}},
        {"shorter than it should be", Url("/gen?size=2999&framing=chunked"), "The download failed: the server sent 2999 "
         "bytes of a file that should be 3000 bytes long.", {}, {}, false, {4096, 3000}},
        // Regression: the body of a challenge was drained for as long as it came.
        {"a challenge that never ends", Url("/auth/401?body=endless"),
         "Failed to receive a valid HTTP response from the server, Response Code:401", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Request request(c.url);
        request.bound = c.bound;
        const Outcome seen = RunDownload(request, {}, c.platform);
        EXPECT_EQ(seen.result, IDCANCEL);
        EXPECT_EQ(seen.boxes, std::vector<std::string>{c.message});
        EXPECT_EQ(seen.logins, c.logins);
        EXPECT_EQ(FileExists(kLocalFile), c.keptEmpty);
        EXPECT_EQ(ReadFileBytes(kLocalFile), "");
        EXPECT_EQ(seen.endMessages, 1);
        DeleteFileA(kLocalFile);
    }
}

// Server logins. Wine keeps the Basic login of a host and realm for the process and
// offers it again, so each case asks for a login of its own.
TEST_F(HttpDownload, ServerLoginsAreGivenOrAskedFor) {
    struct Case {
        const char* what;
        std::string path;
        std::string userName, password;  // given by the caller
        std::vector<std::string> logins;
    } cases[] = {
        {"given by the caller", "/auth/401?size=3000&user=caller&password=given", "caller", "given", {}},
        {"typed into the login dialog", "/auth/401?size=3000&user=user&password=secret", "", "", {kServerLogin}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        User user;
        user.logIn = true;
        const Outcome seen = RunDownload({Url(c.path), kLocalFile, c.userName, c.password}, user);
        EXPECT_EQ(seen.result, IDOK);
        EXPECT_EQ(seen.logins, c.logins);
        EXPECT_TRUE(seen.boxes.empty());
        EXPECT_TRUE(FileHolds(kLocalFile, Generated(3000)));
        EXPECT_EQ(seen.endMessages, 1);
        DeleteFileA(kLocalFile);
    }
}

// Before any transfer: the local file decides, and no worker starts when it ends here.
TEST_F(HttpDownload, LocalFileIsAskedForAndChecked) {
    const std::string question = "The file 'download.bin' already exists.\nDo you want to replace it?";
    struct Case {
        const char* what;
        std::string url;
        const char* existing;  // nullptr: no such file before
        std::string localFile;
        int replace;
        INT_PTR result;
        std::vector<std::string> boxes;
        const char* after;  // nullptr: no file after
        int endMessages;
    } cases[] = {
        {"existing file kept", Url("/gen?size=3000"), "old", kLocalFile, IDNO, IDCANCEL, {question}, "old", 0},
        {"existing file replaced", Url("/gen?size=3000"), "old", kLocalFile, IDYES, IDOK, {question}, nullptr, 1},
        {"folder missing", Url("/gen?size=3000"), nullptr, "missing\\download.bin", IDNO, IDCANCEL,
         {"An error occured while opening the file to be downloaded, Error:3"}, nullptr, 0},
        {"not a URL even with http://", "", nullptr, kLocalFile, IDNO, IDCANCEL, {}, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.existing != nullptr) WriteFileBytes(kLocalFile, c.existing);
        User user;
        user.replace = c.replace;
        const Outcome outcome = RunDownload({c.url, c.localFile}, user);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.boxes, c.boxes);
        EXPECT_EQ(outcome.endMessages, c.endMessages);
        if (c.result == IDOK) {
            EXPECT_TRUE(FileHolds(kLocalFile, Generated(3000)));
        } else if (c.after != nullptr) {
            EXPECT_TRUE(FileHolds(kLocalFile, c.after));
        } else {
            EXPECT_FALSE(FileExists(c.localFile));
        }
        DeleteFileA(kLocalFile);
    }
}

// A body kept in memory: up to its limit, whether its length is announced or not; a
// longer one is dropped without a word (the caller says what that means). The local
// file is neither asked about nor touched.
TEST_F(HttpDownload, MemoryTargetTakesTheBodyUpToItsLimit) {
    struct Case {
        const char* what;
        std::string url;
        INT_PTR result;
        std::string body;
        std::vector<std::string> boxes;
    } cases[] = {
        {"as long as the limit", Url("/gen?size=4096"), IDOK, Generated(4096), {}},
        {"a byte more, announced", Url("/gen?size=4097"), IDCANCEL, "", {}},
        {"a byte more, chunked", Url("/gen?size=4097&framing=chunked"), IDCANCEL, "", {}},
        {"not found", Url("/status/404"), IDCANCEL, "",
         {"Failed to receive a valid HTTP response from the server, Response Code:404"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(kLocalFile, "old");
        Request request(c.url);
        request.toMemory = true;
        request.bound.most = 4096;
        const Outcome seen = RunDownload(request);
        EXPECT_EQ(seen.result, c.result);
        EXPECT_TRUE(seen.body == c.body) << seen.body.size() << " bytes kept";
        EXPECT_EQ(seen.boxes, c.boxes);
        EXPECT_EQ(seen.endMessages, 1);
        EXPECT_TRUE(FileHolds(kLocalFile, "old"));
    }
    DeleteFileA(kLocalFile);
}

// Esc, or a close request, while the body arrives: the file goes, and no message.
TEST_F(HttpDownload, CancelDuringTheBodyDeletesTheFile) {
    struct Case {
        const char* what;
        std::function<void(HWND)> cancel;
    } cases[] = {
        {"Esc", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
        {"close request", [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        User user;
        user.act = [&](HWND dialog, const Running& running) {
            // Once some of the body has arrived (the caption shows a percentage), the
            // user cancels.
            const DWORD start = GetTickCount();
            while (GetTickCount() - start < 60000 && !(running.statusSeen("Retrieving the file") && !WindowText(dialog).empty())) {
                Sleep(20);
            }
            c.cancel(dialog);
        };
        // 400 pieces of 1 KB, 50 ms apart: about 20 s unless cancelled.
        const Outcome seen = RunDownload({Url("/slow?size=409600&piece=1024&delay=50")}, user);
        EXPECT_EQ(seen.result, IDCANCEL);
        EXPECT_TRUE(seen.boxes.empty());
        EXPECT_FALSE(FileExists(kLocalFile));
        EXPECT_EQ(seen.endMessages, 1);
        EXPECT_NE(std::find(seen.status.begin(), seen.status.end(), "Aborting transfer"), seen.status.end());
    }
}

// Regression: Enter ended the dialog with IDOK in the middle of the body (and its
// destroy handler then waited for the worker forever). It must change nothing.
TEST_F(HttpDownload, EnterDuringTheBodyChangesNothing) {
    bool stayed = false;
    User user;
    user.act = [&](HWND dialog, const Running& running) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 60000 && !running.statusSeen("Retrieving the file")) Sleep(20);
        PressKey(dialog, VK_RETURN);
        // Taken while the dialog still ran, and not as a cancel.
        stayed = running.drained() && !running.statusSeen("Aborting transfer");
        PressKey(dialog, VK_ESCAPE);
    };
    const Outcome seen = RunDownload({Url("/slow?size=409600&piece=1024&delay=50")}, user);
    EXPECT_TRUE(stayed) << "Enter ended the dialog before its transfer";
    EXPECT_EQ(seen.result, IDCANCEL);
    EXPECT_TRUE(seen.boxes.empty());
    EXPECT_FALSE(FileExists(kLocalFile));
    EXPECT_EQ(seen.endMessages, 1);
}

}  // namespace

// Running the HTTP download dialog from a test against the scripted HTTP peer,
// whose port comes from NIMBREL_HTTP_PORT: what the dialog showed, the answers of
// its user, and the body the peer generates.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/win/support/peers.h"
#include "tests/win/support/scratch_dir.h"
#include "transfer/transfer_dialog.h"

inline constexpr char kLocalFile[] = "download.bin";

// Wine's login dialogs (InternetErrorDlg): their captions.
inline constexpr char kServerLogin[] = "Authentication Required";
inline constexpr char kProxyLogin[] = "Enter Network Password";

// The peer's generated body (/gen, /slow, /cut, /auth): byte i is (i + i / 251) % 256.
std::string Generated(size_t size);

// Whether `path` holds exactly `expected`; a mismatch is described, not printed.
::testing::AssertionResult FileHolds(const std::string& path, const std::string& expected);

// What the caller sets before DoModal.
struct Request {
    Request(std::string url_, std::string localFile_ = kLocalFile, std::string userName_ = {},
            std::string password_ = {})
        : url(std::move(url_)), localFile(std::move(localFile_)), userName(std::move(userName_)),
          password(std::move(password_)) {}
    std::string url, localFile, userName, password;
    bool toMemory = false;  // the body into memory instead of localFile
    DownloadBound bound;
};

// What the user can learn of the running dialog: whether its status line has shown
// a text, and whether it has taken what was posted to it so far while still running
// (EndWatch::Drain).
struct Running {
    std::function<bool(const std::string& status)> statusSeen;
    std::function<bool()> drained;
};

// How the user answers the replace question and the login dialog, and what the
// user does to the running dialog (`act` runs on a thread of its own).
struct User {
    int replace = IDNO;
    bool logIn = false;  // false: dismiss the login dialog
    std::string user = "user", password = "secret";
    std::function<void(HWND dialog, const Running& running)> act;
};

// What one run of the dialog showed.
struct Outcome {
    INT_PTR result = 0;
    int endMessages = -1;             // end messages the worker posted
    int received = 0;                 // and the dialog received
    std::vector<std::string> boxes;   // our message boxes, in order
    std::vector<std::string> logins;  // captions of the login dialogs that came up
    std::vector<std::string> status;  // every text the status line was given
    // The display as the end message found it.
    std::string caption, fileLine;
    int barHigh = -1, barPos = -1;
    std::string body;  // of a memory target
};

// Runs one CHttpDownloadDlg on `platform` modally, answering as `user` does.
Outcome RunDownload(const Request& request, const User& user = {}, TransferPlatform platform = {});

// A test with its own current folder and the HTTP peer's port.
class HttpPeerTest : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = PeerPort("NIMBREL_HTTP_PORT");
        ASSERT_NE(port_, 0) << "NIMBREL_HTTP_PORT is not set: run this test through ctest";
    }

    std::string Url(const std::string& path) const { return LoopbackUrl(port_, path); }

    ScratchDir scratch_;
    int port_ = 0;
};

// The HTTP download dialog: fetches one URL with WinInet on a worker thread and
// writes the response body into one local file, showing progress on template 130.
//
// The caller sets m_Url and m_LocalFile (and m_UserName/m_Password when the server
// needs them) and runs DoModal, which returns only after the worker has ended and
// every handle is closed. IDOK: the whole body was written to m_LocalFile.
// IDCANCEL: anything else, with any error already shown to the user.
//
// A small answer can be kept in memory instead: with m_ToMemory, the body goes into
// m_Body and m_LocalFile is not looked at. It is bounded by m_Bound as a file is, but a
// body beyond it ends the dialog with IDCANCEL and no message (the caller knows what it
// was for), m_Body empty.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "transfer/transfer_dialog.h"

class CHttpDownloadDlg : public CTransferDialog {
public:
    explicit CHttpDownloadDlg(TransferPlatform platform = {});

    std::string m_Url;        // gains a leading "http://" when it cannot be parsed by itself
    std::string m_LocalFile;  // the file to create (relative names: the current directory)
    std::string m_UserName;   // empty: none
    std::string m_Password;   // used only with a user name
    bool m_ToMemory = false;  // the body into m_Body
    std::string m_Body;
    bool m_PromptOverwrite = true;  // ask before replacing an existing m_LocalFile
    // Where WinInet's redirects may lead. Never from https:// to plain http://.
    // false (an update list, which decides what is started): https only on the
    // address's host. true (a release, which its listed digest vouches for): any host.
    bool m_RedirectsToAnyHost = false;

    // The code shown (message 114) when the connection closed before Content-Length
    // bytes had arrived: "the connection with the server was reset".
    static constexpr DWORD kShortBodyError = ERROR_INTERNET_CONNECTION_RESET;

protected:
    BOOL OnInitDialog() override;
    // Enter does nothing: ending the dialog here would report a transfer still under
    // way as done, and the destroy handler would then wait for a worker that is itself
    // waiting for the dialog's thread to draw its progress.
    void OnOK() override {}
    // Esc (the template has no buttons) and, through the base's OnClose, WM_CLOSE.
    void OnCancel() override;

private:
    // Canonicalises and splits m_Url into the members below; false when it is not a
    // URL with a scheme and a host.
    bool CrackUrl();
    // After a send: whether WinInet's own redirects stayed where m_RedirectsToAnyHost
    // allows (transfer/redirect_rule.h: the makers' tool judges by the same rule).
    bool AnswerFromAllowedPlace(HINTERNET request) const;

    bool Transfer() override;
    void DiscardDownload() noexcept override;
    bool Cancelled() const override { return m_Abort; }
    // Drains a 401 or 407 answer; true when the user then gave a login and the
    // request is to be sent again. A body past kMaxChallengeBody, or a cancel, ends it
    // without a login.
    bool AskForLogin(HINTERNET internet, HINTERNET request, DWORD statusCode);
    // A header as text (status code, Content-Length): the decimal number at its start.
    bool QueryHeader(HINTERNET request, DWORD query, uint64_t& number) const;
    // Fails with message `id` (0: none) and `code`, the local file closed and deleted.
    bool FailDeleting(UINT id, DWORD code);
    // After KeepsToBound failed: the local file deleted, and for the memory target
    // nothing to tell.
    bool FailBeyondBound();

    std::string m_Server;    // host of the URL
    std::string m_Object;    // path of the URL, query included
    std::string m_FileName;  // last segment of m_Object: the file line and the caption
    INTERNET_PORT m_Port = 0;
    DWORD m_ServiceType = 0;  // INTERNET_SERVICE_HTTP for http and https
    bool m_Secure = false;    // https: TLS, with the system's certificate checks
    std::atomic<bool> m_Abort{false};  // set by the dialog's thread, polled by the worker
};

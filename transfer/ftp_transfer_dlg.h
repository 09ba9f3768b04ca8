// The FTP transfer dialog: moves one file between the local disk and an FTP server
// on a worker thread, with progress, an optional resume offset ("REST"), an
// optional rate limit and a time limit on making the connection.
//
// DoModal answers IDOK when the whole file was moved and IDCANCEL otherwise, any
// error already shown. The user cannot stop a transfer: Esc, Enter and close
// requests do nothing until the worker has ended.
//
// Threads: the dialog's own runs the handlers; the worker runs the conversation
// and writes the progress display; a short-lived connection thread runs only
// InternetConnectA, so that the worker can bound it by m_ConnectTimeout. The
// worker's last act is to post WM_TRANSFER_END, exactly once.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>

#include "transfer/ftp_command_entry.h"
#include "transfer/internet_handle.h"
#include "transfer/transfer_dialog.h"

class CFTPTransferDlg : public CTransferDialog {
public:
    // `commandEntry`: where a resume finds FtpCommandA.
    explicit CFTPTransferDlg(const FtpCommandEntry& commandEntry = theFtpCommandEntry, TransferPlatform platform = {});

    // Settings, set by the caller before DoModal.
    bool m_Download = true;        // false: upload m_LocalFile to m_RemoteFile
    std::string m_Server;          // host name
    std::string m_RemoteFile;      // path on the server, passed on unchanged
    std::string m_LocalFile;
    std::string m_UserName;        // empty: anonymous
    std::string m_Password;        // used only with a user name
    INTERNET_PORT m_Port = INTERNET_DEFAULT_FTP_PORT;
    bool m_Binary = true;          // false: ASCII
    bool m_PromptOverwrite = true;  // ask before replacing an existing target
    bool m_Passive = false;        // passive mode, and a failed open once more in active mode
    bool m_UsePreconfig = true;    // the system's configured Internet access
    bool m_UseProxy = false;       // m_Proxy, when not preconfigured
    std::string m_Proxy;
    double m_BandwidthLimit = 0.0;  // bytes per millisecond on average; 0 or less: none
    int32_t m_ResumeOffset = 0;     // continue at this byte; 0: from the start
    DWORD m_ConnectTimeout = 15000;  // milliseconds to make the connection

    // Runs the transfer on a session and connection that the caller opened: the dialog
    // neither opens, connects nor closes them, and gives the session back its own
    // status callback. The connection keeps the mode it was made with: m_Passive does
    // not apply, and a failed open is not tried again.
    void Attach(HINTERNET internet, HINTERNET connection);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    struct ConnectAttempt;

    bool PrepareLocalFile();

    // The whole conversation; a failed download's local file is discarded.
    bool Transfer() override;
    // The conversation, on handles that are closed when it ends. false: failed, as
    // recorded (nothing to tell when the user declined to replace the remote file).
    bool Exchange();
    InternetHandle OpenSession() const;
    // Makes a new `connection` on `internet`, in passive or active mode, within
    // m_ConnectTimeout; a time-out closes `internet`. false: failed, as recorded.
    bool Connect(InternetHandle& internet, InternetHandle& connection, bool passive);
    static UINT ConnectThread(void* attempt);
    // What the server lists for the remote file: its size, and whether the entry
    // found is that file (a listing may name another, e.g. for a folder).
    struct Listing {
        uint64_t size = 0;
        bool sameName = false;
    };
    std::optional<Listing> ListRemoteFile(HINTERNET connection);
    bool RequestResume(HINTERNET connection);
    bool Download(InternetHandle& remote, ProgressTracker& tracker, DWORD startTick, std::optional<Listing> listing);
    bool Upload(InternetHandle& remote, ProgressTracker& tracker, DWORD startTick);
    bool CloseRemoteFile(InternetHandle& remote, UINT errorId);
    void Throttle(DWORD startTick, uint64_t done) const;
    // A failed download leaves the local file as it was before this transfer.
    void DiscardDownload() noexcept override;

    // Fails with message `id` and WinInet's `code`; for its extended error, with the
    // server's reply, which WinInet keeps for the calling thread only.
    bool Report(UINT id, DWORD code);
    // The context value of our WinInet handles: the dialog, for the status callback;
    // none on an attached connection.
    DWORD_PTR Context();

    const FtpCommandEntry& m_CommandEntry;
    HINTERNET m_AttachedInternet = nullptr;  // the caller's (Attach), never closed here
    HINTERNET m_AttachedConnection = nullptr;
    bool m_Attached = false;
    bool m_LocalFileExisted = false;
};

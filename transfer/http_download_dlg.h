// The HTTP download dialog: fetches one URL with WinInet on a worker thread and
// writes the response body into one local file, showing progress on template 130.
//
// The caller sets m_Url and m_LocalFile (and m_UserName/m_Password when the server
// needs them) and runs DoModal, which returns only after the worker has ended and
// every handle is closed. IDOK: the whole body was written to m_LocalFile.
// IDCANCEL: anything else, with any error already shown to the user.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/file.h"
#include "framework/thread.h"
#include "transfer/transfer_dialog.h"

class CHttpDownloadDlg : public CTransferDialog {
public:
    CHttpDownloadDlg();
    ~CHttpDownloadDlg() override;

    std::string m_Url;        // gains a leading "http://" when it cannot be parsed by itself
    std::string m_LocalFile;  // the file to create (relative names: the current directory)
    std::string m_UserName;   // empty: none
    std::string m_Password;   // used only with a user name

    // How often the worker posted its end message: 1 once a worker has run, 0 when the
    // dialog ended before starting one. Read after DoModal (tests, the benchmark).
    int EndMessagesPosted() const { return m_EndMessagesPosted.load(); }

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
    void OnDestroy() override;

    std::string m_Error;     // the failure's text, written by the worker before its end message
    std::string m_Server;    // host of the URL
    std::string m_Object;    // path of the URL, query included
    std::string m_FileName;  // last segment of m_Object: the file line and the caption
    INTERNET_PORT m_Port = 0;
    DWORD m_ServiceType = 0;  // INTERNET_SERVICE_HTTP for http and https
    bool m_Secure = false;    // https: TLS, with the system's certificate checks
    HINTERNET m_Internet = nullptr;
    HINTERNET m_Connection = nullptr;
    HINTERNET m_Request = nullptr;
    std::atomic<bool> m_Abort{false};  // set by the dialog's thread, polled by the worker
    bool m_Ended = false;
    CFile m_File;
    std::unique_ptr<CWinThread> m_Thread;

private:
    class EndMessage;

    // Canonicalises and splits m_Url into the members above; false when it is not a
    // URL with a scheme and a host.
    bool CrackUrl();
    bool StartWorker();
    // After a send: whether WinInet's own redirects stayed where the address allows,
    // https only on the address's host (any port), never plain http after https.
    bool AnswerFromAllowedPlace() const;
    void OnTransferEnd(WPARAM failed) override;

    static UINT Worker(void* dialog);
    // The transfer itself; whatever it sets in `end` is posted after it returns.
    void Transfer(EndMessage& end);
    // After a 401 or 407 whose body was drained: true when the user gave a login and
    // the request is to be sent again.
    bool AskForLogin(DWORD statusCode);
    // Writes `count` bytes and sets it to 0; on a failure reports it and answers false.
    bool WriteLocalFile(EndMessage& end, const char* bytes, size_t& count);
    // m_Error = string `id` with `code`; the local file is closed and deleted.
    void Fail(EndMessage& end, UINT id, DWORD code);
    void DiscardLocalFile();

    std::atomic<int> m_EndMessagesPosted{0};
};

#include "transfer/ftp_transfer_dlg.h"

#include <cstring>
#include <utility>

#include "framework/app_messages.h"
#include "framework/resource_string.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "transfer/ftp_rules.h"

namespace {

constexpr UINT kChunkSize = 1024;
constexpr DWORD kNoCacheFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE;

// The server's last reply as WinInet keeps it for the calling thread, without the
// line end. Asked for its length first, then read into a buffer one byte longer.
std::string LastResponseText() {
    DWORD error = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoA(&error, nullptr, &length);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    DWORD size = length + 1;
    if (!InternetGetLastResponseInfoA(&error, text.data(), &size)) return {};
    text.resize(strnlen(text.c_str(), length));
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

// The file-name part of a remote path.
std::string_view FileNamePart(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Gives an attached session back its owner's status callback however the worker
// ends: left in place, ours would take the owner's later contexts for dialogs. The
// handles made on the session are declared after this scope, so they are closed
// before. A session of our own keeps ours until it is closed.
class CallbackScope {
public:
    CallbackScope(const InternetHandle& session, INTERNET_STATUS_CALLBACK earlier, bool restore)
        : m_Session(session), m_Earlier(earlier), m_Restore(restore) {}
    ~CallbackScope() {
        // Not when a time-out has closed the session.
        if (m_Restore && m_Session) InternetSetStatusCallback(m_Session.Get(), m_Earlier);
    }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    const InternetHandle& m_Session;
    INTERNET_STATUS_CALLBACK m_Earlier;
    bool m_Restore;
};

}  // namespace

// What the connection thread is given, and what it leaves for the worker.
struct CFTPTransferDlg::ConnectAttempt {
    CFTPTransferDlg& dialog;
    HINTERNET session;
    bool passive;
    HINTERNET connection = nullptr;
    DWORD error = 0;                   // GetLastError() of a failed InternetConnectA
    std::optional<std::string> reply{};  // the server's, when it refused the connection
};

CFTPTransferDlg::CFTPTransferDlg(const FtpCommandEntry& commandEntry, TransferPlatform platform)
    : CTransferDialog(IDD_FTP_TRANSFER, kFtpProgressTextIds, IDR_FTP_CLIP, BarUnit::kPercent, IDS_FTP_ERROR_TRANSFER,
                      std::move(platform)),
      m_CommandEntry(commandEntry) {}

void CFTPTransferDlg::Attach(HINTERNET internet, HINTERNET connection) {
    m_AttachedInternet = internet;
    m_AttachedConnection = connection;
    m_Attached = true;
}

bool CFTPTransferDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_TRANSFER_ASK_REPLACE) return CTransferDialog::OnMessage(message, wParam, lParam, result);
    result = AppMessageBox(FormatResString(IDS_FTP_REPLACE, m_RemoteFile), MB_YESNO) == IDYES ? 1 : 0;
    return true;
}

BOOL CFTPTransferDlg::OnInitDialog() {
    CTransferDialog::OnInitDialog();
    if (!m_Download) SetWindowTextA(m_hWnd, LoadResString(IDS_FTP_UPLOAD_CAPTION).c_str());
    m_Progress.SetRange(0, 100);
    OpenAnimation();
    if (m_Download && EndedBeyondBound()) return TRUE;
    m_LocalFileExisted = GetFileAttributesA(m_LocalFile.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!PrepareLocalFile()) return TRUE;

    SetFileLine(m_Download ? IDS_FTP_FILE_FROM : IDS_FTP_FILE_TO, m_RemoteFile, m_Server);
    StartWorker();  // when it cannot start, the file stays, cut to the offset
    return TRUE;
}

// Opens the local file and puts it where the data goes (download) or comes from
// (upload). Answers false when the dialog has been ended.
bool CFTPTransferDlg::PrepareLocalFile() {
    DWORD error = 0;
    if (!m_Download) {
        if (!m_File.Open(m_LocalFile, CFile::modeRead | CFile::shareDenyWrite, &error)) {
            EndAtStart({IDS_FTP_ERROR_OPEN_UPLOAD, error});
            return false;
        }
        // The server continues its copy at the offset: send the rest from there.
        if (m_ResumeOffset > 0) {
            try {
                m_File.Seek(m_ResumeOffset, CFile::begin);
            } catch (const CFileException& failure) {
                EndAtStart({IDS_FTP_ERROR_OPEN_UPLOAD, failure.m_lOsError});
                return false;
            }
        }
        return true;
    }

    if (m_LocalFileExisted && m_PromptOverwrite &&
        AppMessageBox(FormatResString(IDS_FTP_REPLACE, m_LocalFile), MB_YESNO) != IDYES) {
        EndAtStart();
        return false;
    }
    // An existing file keeps its first m_ResumeOffset bytes.
    if (!m_File.Open(m_LocalFile, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite,
                     &error)) {
        EndAtStart({IDS_FTP_ERROR_OPEN_DOWNLOAD, error});
        return false;
    }
    try {
        // Continuing beyond the end of what is there would leave a gap of zeros.
        if (m_ResumeOffset > 0 && m_File.GetLength() < static_cast<ULONGLONG>(m_ResumeOffset)) {
            throw CFileException(ERROR_HANDLE_EOF, m_LocalFile);
        }
        m_File.Seek(m_ResumeOffset, CFile::begin);
        m_File.SetLength(static_cast<ULONGLONG>(m_ResumeOffset));
    } catch (const CFileException& failure) {
        m_File.Abort();
        if (!m_LocalFileExisted) DeleteFileA(m_LocalFile.c_str());  // made by this open
        EndAtStart({IDS_FTP_ERROR_SEEK, failure.m_lOsError});
        return false;
    }
    return true;
}

bool CFTPTransferDlg::Transfer() {
    if (Exchange()) return true;
    DiscardDownload();
    return false;
}

bool CFTPTransferDlg::Exchange() {
    InternetHandle internet = m_Attached ? InternetHandle::Borrowed(m_AttachedInternet) : OpenSession();
    if (!internet) return Report(IDS_FTP_ERROR_TRANSFER, GetLastError());
    const INTERNET_STATUS_CALLBACK earlier =
        InternetSetStatusCallback(internet.Get(), &CTransferDialog::StatusCallback);
    if (earlier == INTERNET_INVALID_STATUS_CALLBACK) return Report(IDS_FTP_ERROR_TRANSFER, GetLastError());
    const CallbackScope callback(internet, earlier, m_Attached || earlier != nullptr);
    InternetHandle connection = InternetHandle::Borrowed(m_AttachedConnection);
    InternetHandle remote;

    std::optional<uint32_t> total;
    if (!m_Download) {
        try {
            total = static_cast<uint32_t>(m_File.GetLength());
        } catch (const CFileException& failure) {
            return Report(IDS_FTP_ERROR_DOWNLOAD, failure.m_lOsError);
        }
    }
    // WinInet cannot tell a refused PASV from a missing file (both fail the open), so
    // a failed open in passive mode is tried once more in active mode, on a connection
    // of its own (the mode is the connection's); that try's outcome is the transfer's.
    // The caller's connection (Attach) keeps the mode it was made with.
    std::optional<Listing> listing;  // download: what the server lists, when found
    bool asked = false;              // upload: the replace question has been put
    for (bool passive = m_Passive && !m_Attached;; passive = false) {
        if (!m_Attached && !Connect(internet, connection, passive)) return false;
        PlayAnimation();
        SetStatus(IDS_FTP_GETTING_INFO);
        if (m_Download) {
            if (!listing) listing = ListRemoteFile(connection.Get());
            // The size listed for this very file is the only length a server announces.
            if (listing && listing->sameName && !KeepsToBound(BoundStage::kAnnounced, listing->size)) return false;
        } else if (m_PromptOverwrite && !asked && ListRemoteFile(connection.Get())) {
            asked = true;
            if (SendMessageA(m_hWnd, WM_TRANSFER_ASK_REPLACE, 0, 0) == 0) return Fail({});  // nothing to tell
        }
        // A new connection has forgotten an earlier REST.
        if (m_ResumeOffset != 0 && !RequestResume(connection.Get())) return false;

        const DWORD flags = kNoCacheFlags | (m_Binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII);
        remote = InternetHandle(FtpOpenFileA(connection.Get(), m_RemoteFile.c_str(),
                                             m_Download ? GENERIC_READ : GENERIC_WRITE, flags, Context()));
        if (remote) break;
        if (!passive) return Report(IDS_FTP_ERROR_OPEN_REMOTE, GetLastError());
    }
    if (listing) total = static_cast<uint32_t>(listing->size);

    SetStatus(m_Download ? IDS_FTP_RETRIEVING : IDS_FTP_UPLOADING);
    const DWORD startTick = GetTickCount();
    ProgressTracker tracker = StartProgress(m_RemoteFile, total);
    return m_Download ? Download(remote, tracker, startTick, listing) : Upload(remote, tracker, startTick);
}

InternetHandle CFTPTransferDlg::OpenSession() const {
    DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
    const char* proxy = nullptr;
    if (!m_UsePreconfig && m_UseProxy) {
        access = INTERNET_OPEN_TYPE_PROXY;
        proxy = m_Proxy.c_str();
    } else if (!m_UsePreconfig) {
        access = INTERNET_OPEN_TYPE_DIRECT;
    }
    return InternetHandle(InternetOpenA(GetAppTitle().c_str(), access, proxy, nullptr, 0));
}

// Makes the connection on a thread of its own, so that a server that never
// answers costs at most m_ConnectTimeout.
bool CFTPTransferDlg::Connect(InternetHandle& internet, InternetHandle& connection, bool passive) {
    connection.Close();  // the one a passive try used
    ConnectAttempt attempt{*this, internet.Get(), passive};
    CWinThread thread(&CFTPTransferDlg::ConnectThread, &attempt);
    if (!StartThread(thread)) return Report(IDS_FTP_ERROR_CONNECT_THREAD, GetLastError());
    if (thread.Wait(m_ConnectTimeout) == WAIT_TIMEOUT) {
        // Closing the session makes the pending InternetConnectA return.
        internet.Close();
        thread.Wait(INFINITE);
        InternetHandle(attempt.connection).Close();  // made at the last moment
        return Report(IDS_FTP_ERROR_CONNECT, ERROR_TIMEOUT);
    }
    connection = InternetHandle(attempt.connection);
    return connection || Fail({IDS_FTP_ERROR_CONNECT, attempt.error, attempt.reply});
}

UINT CFTPTransferDlg::ConnectThread(void* parameter) {
    auto& attempt = *static_cast<ConnectAttempt*>(parameter);
    const CFTPTransferDlg& dialog = attempt.dialog;
    const bool named = !dialog.m_UserName.empty();
    attempt.connection =
        InternetConnectA(attempt.session, dialog.m_Server.c_str(), dialog.m_Port,
                         named ? dialog.m_UserName.c_str() : nullptr, named ? dialog.m_Password.c_str() : nullptr,
                         INTERNET_SERVICE_FTP, attempt.passive ? INTERNET_FLAG_PASSIVE : 0, attempt.dialog.Context());
    if (attempt.connection != nullptr) return 0;
    attempt.error = GetLastError();
    // WinInet keeps the reply per thread: take it here, the worker cannot.
    if (attempt.error == ERROR_INTERNET_EXTENDED_ERROR) attempt.reply = LastResponseText();
    return 1;
}

std::optional<CFTPTransferDlg::Listing> CFTPTransferDlg::ListRemoteFile(HINTERNET connection) {
    WIN32_FIND_DATAA found{};
    const InternetHandle search(FtpFindFirstFileA(connection, m_RemoteFile.c_str(), &found, kNoCacheFlags, Context()));
    if (!search) return std::nullopt;
    Listing listing;
    listing.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    const std::string_view name = found.cFileName;
    listing.sameName = name == m_RemoteFile || name == FileNamePart(m_RemoteFile);
    return listing;
}

bool CFTPTransferDlg::RequestResume(HINTERNET connection) {
    if (!m_CommandEntry.Available()) return Fail({IDS_FTP_NO_FTP_COMMAND});
    const FtpCommandFunction command = m_CommandEntry.Entry();
    // A session starts in ASCII mode, where servers refuse REST: set the type
    // first, through the same call.
    if (!command(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, m_Binary ? "TYPE I" : "TYPE A", 0, nullptr)) {
        return Report(IDS_FTP_ERROR_RESUME, GetLastError());
    }
    const std::string rest = "REST " + std::to_string(m_ResumeOffset);
    if (!command(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, rest.c_str(), 0, nullptr)) {
        const DWORD error = GetLastError();
        // An extended error means the server answered: its reply decides below.
        if (error != ERROR_INTERNET_EXTENDED_ERROR) return Report(IDS_FTP_ERROR_RESUME, error);
    }
    const std::string reply = LastResponseText();
    if (FtpReplyCode(reply) != 350) return Fail({IDS_FTP_ERROR_NO_RESUME, 0, reply});
    return true;
}

bool CFTPTransferDlg::Download(InternetHandle& remote, ProgressTracker& tracker, DWORD startTick,
                               std::optional<Listing> listing) {
    BlockWriter writer(m_File);
    const uint64_t kept = m_ResumeOffset > 0 ? static_cast<uint64_t>(m_ResumeOffset) : 0;
    uint64_t received = 0;
    DWORD error = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(remote.Get(), writer.Room(), BlockWriter::kReadSize, &read)) {
            return Report(IDS_FTP_ERROR_DOWNLOAD, GetLastError());
        }
        if (read == 0) break;
        if (!KeepsToBound(BoundStage::kReceived, kept + received + read)) return false;  // before it is written
        if (!writer.Add(read, error)) return Report(IDS_FTP_ERROR_DOWNLOAD, error);
        if (m_BandwidthLimit > 0) Throttle(startTick, received);
        received += read;
        UpdateProgress(tracker, static_cast<uint32_t>(received));
    }
    if (!writer.Flush(error)) return Report(IDS_FTP_ERROR_DOWNLOAD, error);
    if (!CloseRemoteFile(remote, IDS_FTP_ERROR_DOWNLOAD)) return false;
    if (!KeepsToBound(BoundStage::kEnded, kept + received)) return false;
    // Only a size listed for this very file says how much should have come.
    const std::optional<uint64_t> expected =
        listing && listing->sameName ? std::optional<uint64_t>(listing->size) : std::nullopt;
    if (DownloadEndedEarly(m_Binary, expected, kept, received)) {
        return Report(IDS_FTP_ERROR_DOWNLOAD, ERROR_INTERNET_CONNECTION_ABORTED);
    }
    try {
        m_File.Close();
    } catch (const CFileException& failure) {
        return Report(IDS_FTP_ERROR_DOWNLOAD, failure.m_lOsError);
    }
    return true;
}

bool CFTPTransferDlg::Upload(InternetHandle& remote, ProgressTracker& tracker, DWORD startTick) {
    char buffer[kChunkSize];
    uint64_t sent = 0;
    for (;;) {
        UINT read = 0;
        try {
            read = m_File.Read(buffer, kChunkSize);
        } catch (const CFileException& failure) {
            return Report(IDS_FTP_ERROR_DOWNLOAD, failure.m_lOsError);
        }
        if (read == 0) break;
        DWORD written = 0;
        if (!InternetWriteFile(remote.Get(), buffer, read, &written)) {
            return Report(IDS_FTP_ERROR_UPLOAD, GetLastError());
        }
        if (written != 0) {
            sent += written;
            UpdateProgress(tracker, static_cast<uint32_t>(sent));
        }
        if (m_BandwidthLimit > 0) Throttle(startTick, sent);
    }
    if (!CloseRemoteFile(remote, IDS_FTP_ERROR_UPLOAD)) return false;
    m_File.Abort();  // read only: nothing to lose
    return true;
}

// Closes the remote file at the end of the data, which ends the transfer on the
// server, and takes the server's closing reply as its verdict: a 4xx or 5xx reply
// (a cut connection, a full disk) fails the transfer with its text.
bool CFTPTransferDlg::CloseRemoteFile(InternetHandle& remote, UINT errorId) {
    if (!remote.Close()) return Report(errorId, GetLastError());
    const std::string reply = LastResponseText();
    if (IsFailureReply(reply)) return Fail({errorId, ERROR_INTERNET_EXTENDED_ERROR, reply});
    return true;
}

void CFTPTransferDlg::Throttle(DWORD startTick, uint64_t done) const {
    const uint32_t delay = ThrottleDelay(GetTickCount() - startTick, done, m_BandwidthLimit);
    if (delay > 0) Sleep(delay);
}

// Gone when the transfer started from nothing, cut back to the offset when it
// continued what an earlier transfer had saved.
void CFTPTransferDlg::DiscardDownload() noexcept {
    if (!m_Download) return;
    if (m_ResumeOffset <= 0) {
        m_File.Abort();
        DeleteFileA(m_LocalFile.c_str());
        return;
    }
    try {
        if (m_File.IsOpen() || m_File.Open(m_LocalFile, CFile::modeWrite | CFile::shareDenyWrite)) {
            m_File.SetLength(static_cast<ULONGLONG>(m_ResumeOffset));
            m_File.Close();
        }
    } catch (...) {
        m_File.Abort();
    }
}

bool CFTPTransferDlg::Report(UINT id, DWORD code) {
    if (code != ERROR_INTERNET_EXTENDED_ERROR) return Fail({id, code});
    return Fail({id, code, LastResponseText()});
}

DWORD_PTR CFTPTransferDlg::Context() {
    // A handle takes its callback from the connection it is made on: on the caller's
    // connection that is the caller's, which must never be handed this dialog. With no
    // context there are no callbacks for it at all.
    if (m_Attached) return 0;
    return reinterpret_cast<DWORD_PTR>(static_cast<CTransferDialog*>(this));
}

#include "transfer/http_download_dlg.h"

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "framework/app_messages.h"
#include "framework/resource_string.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "transfer/internet_handle.h"
#include "transfer/redirect_rule.h"

namespace {

constexpr DWORD kUrlPartLength = 2084;  // host and path buffers: INTERNET_MAX_URL_LENGTH + 1
constexpr DWORD kDrainPiece = 50;
// A challenge's body is a short page that nobody reads; more than this is no challenge.
constexpr DWORD kMaxChallengeBody = 64 * 1024;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kLoginFlags =
    FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

DWORD ServiceOfScheme(INTERNET_SCHEME scheme) {
    switch (scheme) {
    case INTERNET_SCHEME_HTTP:
    case INTERNET_SCHEME_HTTPS:
        return INTERNET_SERVICE_HTTP;
    case INTERNET_SCHEME_FTP:
        return INTERNET_SERVICE_FTP;
    case INTERNET_SCHEME_GOPHER:
        return INTERNET_SERVICE_GOPHER;
    default:
        return 0;  // InternetConnectA refuses it, and the user is told
    }
}

// After the last "/", else the last "\"; the whole object when it has neither or is at
// most one character long. An object ending in "/" gives an empty name.
std::string ObjectFileName(const std::string& object) {
    size_t separator = object.rfind('/');
    if (separator == std::string::npos) separator = object.rfind('\\');
    if (separator == std::string::npos || object.size() <= 1) return object;
    return object.substr(separator + 1);
}

// An option of a WinInet handle, read into a buffer that grows once to the size
// WinInet asks for (one byte more, for a text's terminator); empty when unreadable.
std::vector<char> QueryOption(HINTERNET handle, DWORD option, size_t firstSize) {
    std::vector<char> value(firstSize);
    DWORD length = static_cast<DWORD>(value.size());
    if (InternetQueryOptionA(handle, option, value.data(), &length)) return value;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    value.assign(static_cast<size_t>(length) + 1, '\0');
    length = static_cast<DWORD>(value.size());
    if (InternetQueryOptionA(handle, option, value.data(), &length)) return value;
    return {};
}

// Whether requests of this session go through a proxy. Unknown counts as yes.
bool UsesProxy(HINTERNET internet) {
    const std::vector<char> info = QueryOption(internet, INTERNET_OPTION_PROXY, sizeof(INTERNET_PROXY_INFO) + 1024);
    if (info.size() < sizeof(INTERNET_PROXY_INFO)) return true;
    return reinterpret_cast<const INTERNET_PROXY_INFO*>(info.data())->dwAccessType != INTERNET_OPEN_TYPE_DIRECT;
}

}  // namespace

CHttpDownloadDlg::CHttpDownloadDlg(TransferPlatform platform)
    : CTransferDialog(IDD_HTTP_DOWNLOAD, kHttpProgressTextIds, IDR_HTTP_CLIP, BarUnit::kKilobytes,
                      IDS_HTTP_ERROR_DOWNLOAD, std::move(platform)) {}

BOOL CHttpDownloadDlg::OnInitDialog() {
    CTransferDialog::OnInitDialog();
    OpenAnimation();
    if (EndedBeyondBound()) return TRUE;

    if (!CrackUrl()) {
        m_Url = "http://" + m_Url;
        if (!CrackUrl()) {
            EndAtStart();
            return TRUE;
        }
    }
    m_Body.clear();
    if (!m_ToMemory) {
        if (m_PromptOverwrite && GetFileAttributesA(m_LocalFile.c_str()) != INVALID_FILE_ATTRIBUTES &&
            AppMessageBox(FormatResString(IDS_HTTP_REPLACE, m_LocalFile), MB_YESNO) != IDYES) {
            EndAtStart();
            return TRUE;
        }
        DWORD error = 0;
        if (!m_File.Open(m_LocalFile, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite, &error)) {
            EndAtStart({IDS_HTTP_ERROR_OPEN_LOCAL, error});
            return TRUE;
        }
    }
    m_FileName = ObjectFileName(m_Object);
    SetFileLine(IDS_HTTP_FILE_FROM, m_FileName, m_Server);
    StartWorker();  // when it cannot start, the file stays, empty
    return TRUE;
}

bool CHttpDownloadDlg::CrackUrl() {
    // Escapes can make the canonical form longer than the URL given.
    std::vector<char> canonical(m_Url.size() * 3 + kUrlPartLength);
    DWORD length = static_cast<DWORD>(canonical.size());
    if (!InternetCanonicalizeUrlA(m_Url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        canonical.resize(length + 1);
        length = static_cast<DWORD>(canonical.size());
        if (!InternetCanonicalizeUrlA(m_Url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE)) return false;
    }
    std::vector<char> host(kUrlPartLength), path(kUrlPartLength);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = kUrlPartLength;
    parts.lpszUrlPath = path.data();  // no extra-info buffer: the query stays in the path
    parts.dwUrlPathLength = kUrlPartLength;
    if (!InternetCrackUrlA(canonical.data(), 0, 0, &parts)) return false;
    // "host:port/path" cracks as the scheme "host" with no host at all: not parsed,
    // so that the second try with "http://" in front reads it as meant.
    if (parts.nScheme == INTERNET_SCHEME_UNKNOWN || parts.nScheme == INTERNET_SCHEME_DEFAULT || host[0] == '\0') {
        return false;
    }
    m_Server = host.data();
    m_Object = path.data();
    m_Port = parts.nPort;
    m_ServiceType = ServiceOfScheme(parts.nScheme);
    m_Secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return true;
}

bool CHttpDownloadDlg::AnswerFromAllowedPlace(HINTERNET request) const {
    // The URL of the answer: the address itself unless a redirect was followed.
    const std::vector<char> url = QueryOption(request, INTERNET_OPTION_URL, kUrlPartLength);
    if (url.empty()) return false;
    const std::optional<UrlPlace> answered = PlaceOfUrl(url.data());
    if (!answered) return false;
    const UrlPlace asked{m_Secure ? UrlPlace::Scheme::kHttps : UrlPlace::Scheme::kHttp, m_Server};
    return ::AnswerFromAllowedPlace(asked, *answered, m_RedirectsToAnyHost);
}

bool CHttpDownloadDlg::Transfer() {
    const auto context = reinterpret_cast<DWORD_PTR>(static_cast<CTransferDialog*>(this));

    // Closed, in the reverse order, when the worker leaves here.
    const InternetHandle internet(InternetOpenA(GetAppTitle().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return FailDeleting(IDS_HTTP_ERROR_START, GetLastError());
    if (m_Abort) return true;
    if (InternetSetStatusCallback(internet.Get(), StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
        return FailDeleting(IDS_HTTP_ERROR_START, GetLastError());
    }
    if (m_Abort) return true;
    const bool login = !m_UserName.empty();
    const InternetHandle connection(InternetConnectA(internet.Get(), m_Server.c_str(), m_Port,
                                                     login ? m_UserName.c_str() : nullptr,
                                                     login ? m_Password.c_str() : nullptr, m_ServiceType, 0, context));
    if (!connection) return FailDeleting(IDS_HTTP_ERROR_CONNECT, GetLastError());
    if (m_Abort) return true;
    PlayAnimation();
    const char* acceptTypes[] = {"*/*", nullptr};
    // Without INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS, WinInet fails or asks the user
    // on a redirect from http to https; AnswerFromAllowedPlace judges where it went.
    const DWORD flags = kRequestFlags | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | (m_Secure ? INTERNET_FLAG_SECURE : 0);
    const InternetHandle request(
        HttpOpenRequestA(connection.Get(), nullptr, m_Object.c_str(), nullptr, nullptr, acceptTypes, flags, context));
    if (!request) return FailDeleting(IDS_HTTP_ERROR_CONNECT, GetLastError());
    if (m_Abort) return true;

    for (;;) {
        if (!HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
            return FailDeleting(IDS_HTTP_ERROR_CONNECT, GetLastError());
        }
        if (!AnswerFromAllowedPlace(request.Get())) {
            return FailDeleting(IDS_HTTP_ERROR_CONNECT, ERROR_HTTP_REDIRECT_FAILED);
        }
        uint64_t status = 0;
        // The local file stays, empty; it is closed once the worker has ended.
        if (!QueryHeader(request.Get(), HTTP_QUERY_STATUS_CODE, status)) {
            return Fail({IDS_HTTP_ERROR_RESPONSE, GetLastError()});
        }
        if (status == HTTP_STATUS_OK) break;
        const bool challenge = status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ;
        if (challenge && !m_Abort && AskForLogin(internet.Get(), request.Get(), static_cast<DWORD>(status))) continue;
        // A login refused is a failure too: the body drained, nothing is left to save.
        return FailDeleting(IDS_HTTP_ERROR_STATUS, static_cast<DWORD>(status));
    }

    SetStatus(IDS_HTTP_GETTING_INFO);
    std::optional<uint64_t> length;
    if (uint64_t number = 0; QueryHeader(request.Get(), HTTP_QUERY_CONTENT_LENGTH, number)) length = number;
    if (length && !KeepsToBound(BoundStage::kAnnounced, *length)) return FailBeyondBound();
    // The display counts in 32 bits; a larger file shows no total.
    std::optional<uint32_t> total;
    if (length && *length <= UINT32_MAX) {
        total = static_cast<uint32_t>(*length);
        SetBarRangeKilobytes(*total);
    }
    SetStatus(IDS_HTTP_RETRIEVING);
    ProgressTracker progress = StartProgress(m_FileName, total);

    BlockWriter writer(m_File);
    uint64_t received = 0;
    DWORD error = 0;
    for (;;) {
        // Straight into the memory target, one read past its bound at most.
        if (m_ToMemory) m_Body.resize(static_cast<size_t>(received) + BlockWriter::kReadSize);
        char* room = m_ToMemory ? &m_Body[static_cast<size_t>(received)] : writer.Room();
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), room, BlockWriter::kReadSize, &read)) {
            return FailDeleting(IDS_HTTP_ERROR_DOWNLOAD, GetLastError());
        }
        if (read == 0 || m_Abort) break;
        received += read;
        if (!KeepsToBound(BoundStage::kReceived, received)) return FailBeyondBound();  // before it is written
        if (!m_ToMemory && !writer.Add(read, error)) return FailDeleting(IDS_HTTP_ERROR_DOWNLOAD, error);
        UpdateProgress(progress, static_cast<uint32_t>(received));
    }
    if (m_Abort) {
        DiscardDownload();
        return true;
    }
    // WinInet reads a connection closed early as the end of the body.
    if (length && received < *length) return FailDeleting(IDS_HTTP_ERROR_DOWNLOAD, kShortBodyError);
    if (!KeepsToBound(BoundStage::kEnded, received)) return FailBeyondBound();
    if (m_ToMemory) {
        m_Body.resize(static_cast<size_t>(received));
        return true;
    }
    if (!writer.Flush(error)) return FailDeleting(IDS_HTTP_ERROR_DOWNLOAD, error);
    try {
        m_File.Close();
    } catch (const CFileException& failure) {
        return FailDeleting(IDS_HTTP_ERROR_DOWNLOAD, failure.m_lOsError);
    }
    return true;
}

bool CHttpDownloadDlg::QueryHeader(HINTERNET request, DWORD query, uint64_t& number) const {
    char text[32] = {};
    DWORD length = sizeof text;
    if (!Platform().httpQueryInfo(request, query, text, &length, nullptr)) return false;
    number = std::strtoull(text, nullptr, 10);
    return true;
}

bool CHttpDownloadDlg::AskForLogin(HINTERNET internet, HINTERNET request, DWORD statusCode) {
    // Drain the challenge so that the connection can carry the next request.
    char piece[kDrainPiece];
    DWORD read = 0, drained = 0;
    while (!m_Abort && InternetReadFile(request, piece, sizeof piece, &read) && read != 0) {
        if ((drained += read) > kMaxChallengeBody) return false;
    }
    if (m_Abort) return false;
    // A proxy challenge without a proxy has no one to log in to (and Wine's login
    // dialog crashes on it for want of a proxy name).
    if (statusCode == HTTP_STATUS_PROXY_AUTH_REQ && !UsesProxy(internet)) return false;
    return InternetErrorDlg(m_hWnd, request, ERROR_INTERNET_INCORRECT_PASSWORD, kLoginFlags, nullptr) ==
           ERROR_INTERNET_FORCE_RETRY;
}

bool CHttpDownloadDlg::FailDeleting(UINT id, DWORD code) {
    DiscardDownload();
    return Fail({id, code});
}

bool CHttpDownloadDlg::FailBeyondBound() {
    DiscardDownload();
    return m_ToMemory ? Fail({}) : false;
}

void CHttpDownloadDlg::DiscardDownload() noexcept {
    if (m_ToMemory) {
        m_Body.clear();
        return;
    }
    m_File.Abort();
    DeleteFileA(m_LocalFile.c_str());
}

void CHttpDownloadDlg::OnCancel() {
    // The dialog ends only when the worker's end message arrives; after that there is
    // nothing left to abort.
    if (Ended()) return;
    m_Abort = true;
    if (HWND cancel = GetDlgItem(IDCANCEL)) ::EnableWindow(cancel, FALSE);
    SetStatus(IDS_HTTP_ABORTING);
}

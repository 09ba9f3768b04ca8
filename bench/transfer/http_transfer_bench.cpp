// Driver of the HTTP transfer benchmark (scripts/lib/bench-transfer-http.sh), run
// under Wine: fetches one URL either through the real CHttpDownloadDlg or through a
// bare WinInet loop of 1024-byte reads, and prints one line per run:
//
//   run mode=dialog seconds=S cpu=C bytes=N ok=1 modal=M caption=K bar=K rate=K timeleft=K
//
// seconds: from the start of the transfer (the dialog's worker just resumed, or
// InternetOpenA of the bare loop) to its last byte (the dialog's end message);
// cpu: user + kernel time of this process from DoModal (or InternetOpenA) to the
// end. modal: the whole DoModal, window and clip included. The dialog's counts are
// the writes its progress display made: caption, bar position, rate and time-left
// lines.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/app_messages.h"
#include "res/resource.h"
#include "tests/win/support/window_spy.h"
#include "transfer/http_download_dlg.h"

namespace {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return static_cast<double>(value.QuadPart) / frequency;
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
}

struct Run {
    double seconds = 0, cpu = 0, modal = 0;
    ULONGLONG bytes = 0;
    bool ok = false;
    int caption = 0, bar = 0, rate = 0, timeLeft = 0;
};

// The real dialog, with its display writes counted and the time of its end message.
class CountingDlg : public CHttpDownloadDlg {
public:
    explicit CountingDlg(Run& run) : m_Run(run) {}
    double m_StartTime = 0, m_EndTime = 0;

protected:
    BOOL OnInitDialog() override {
        auto count = [](int& counter, UINT counted) {
            return [&counter, counted](UINT message, WPARAM, LPARAM) {
                if (message == counted) ++counter;
            };
        };
        WatchWindow(m_hWnd, count(m_Run.caption, WM_SETTEXT));
        WatchWindow(GetDlgItem(IDC_PROGRESS), count(m_Run.bar, PBM_SETPOS));
        WatchWindow(GetDlgItem(IDC_TRANSFER_RATE), count(m_Run.rate, WM_SETTEXT));
        WatchWindow(GetDlgItem(IDC_TIME_LEFT), count(m_Run.timeLeft, WM_SETTEXT));
        const BOOL focus = CHttpDownloadDlg::OnInitDialog();  // ends by starting the worker
        m_StartTime = Now();
        return focus;
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_TRANSFER_END) m_EndTime = Now();
        return CHttpDownloadDlg::OnMessage(message, wParam, lParam, result);
    }

private:
    Run& m_Run;
};

Run ThroughDialog(const std::string& url, const std::string& localFile) {
    Run run;
    DeleteFileA(localFile.c_str());
    CountingDlg dialog(run);
    dialog.m_Url = url;
    dialog.m_LocalFile = localFile;
    const double cpu = ProcessCpuSeconds();
    const double start = Now();
    run.ok = dialog.DoModal() == IDOK;
    run.cpu = ProcessCpuSeconds() - cpu;
    run.modal = Now() - start;
    run.seconds = dialog.m_EndTime - dialog.m_StartTime;
    WIN32_FILE_ATTRIBUTE_DATA file{};
    if (GetFileAttributesExA(localFile.c_str(), GetFileExInfoStandard, &file)) {
        run.bytes = (static_cast<ULONGLONG>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
    }
    DeleteFileA(localFile.c_str());
    return run;
}

// The floor: the same request, 1024-byte reads, nothing else.
Run BareLoop(const std::string& url) {
    Run run;
    char host[2084] = {}, path[2084] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return run;

    const double cpu = ProcessCpuSeconds();
    const double start = Now();
    HINTERNET internet = InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection =
        InternetConnectA(internet, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    const char* acceptTypes[] = {"*/*", nullptr};
    HINTERNET request = HttpOpenRequestA(connection, nullptr, path, nullptr, nullptr, acceptTypes,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_KEEP_CONNECTION, 0);
    if (request != nullptr && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        char buffer[1024];
        DWORD read = 0;
        while ((run.ok = InternetReadFile(request, buffer, sizeof buffer, &read) != FALSE) && read != 0) {
            run.bytes += read;
        }
    }
    run.seconds = Now() - start;
    run.cpu = ProcessCpuSeconds() - cpu;
    for (HINTERNET handle : {request, connection, internet}) {
        if (handle != nullptr) InternetCloseHandle(handle);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s dialog|bare URL RUNS LOCAL-FILE\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1], url = argv[2], localFile = argv[4];
    const int runs = std::atoi(argv[3]);
    if (mode != "dialog" && mode != "bare") {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    bool allOk = true;
    for (int i = 0; i < runs; ++i) {
        const Run run = mode == "dialog" ? ThroughDialog(url, localFile) : BareLoop(url);
        allOk = allOk && run.ok;
        std::printf("run mode=%s seconds=%.3f cpu=%.3f bytes=%llu ok=%d modal=%.3f caption=%d bar=%d rate=%d "
                    "timeleft=%d\n",
                    mode.c_str(), run.seconds, run.cpu, run.bytes, run.ok ? 1 : 0, run.modal, run.caption, run.bar,
                    run.rate, run.timeLeft);
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}

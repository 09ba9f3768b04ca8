// Benchmark driver: one FTP download under Wine, timed inside the program so that
// Wine's start-up is not counted.
//
//   ftp_bench dialog HOST PORT REMOTE LOCAL   the FTP transfer dialog, into LOCAL
//   ftp_bench bare HOST PORT REMOTE CHUNK [LOCAL]
//                                             a bare WinInet loop, reads of CHUNK
//                                             bytes, the data dropped (or each
//                                             chunk written to LOCAL)
//
// Prints one line: "seconds=<request to last byte> cpu=<user+kernel> bytes=<n>
// reads=<n>". CPU time is this process's; the Wine server's own is not in it.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/app_messages.h"
#include "transfer/ftp_transfer_dlg.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// The dialog, with the moment its end message arrives: the last byte is written.
class TimedDialog : public CFTPTransferDlg {
public:
    LARGE_INTEGER ended{};

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_TRANSFER_END) ended = Now();
        return CFTPTransferDlg::OnMessage(message, wParam, lParam, result);
    }
};

int RunDialog(const char* host, INTERNET_PORT port, const char* remote, const char* local) {
    TimedDialog dialog;
    dialog.m_Server = host;
    dialog.m_Port = port;
    dialog.m_RemoteFile = remote;
    dialog.m_LocalFile = local;
    dialog.m_PromptOverwrite = false;
    const double cpuBefore = CpuSeconds();
    const LARGE_INTEGER start = Now();
    if (dialog.DoModal() != IDOK) {
        std::fprintf(stderr, "the transfer failed\n");
        return 1;
    }
    const double cpu = CpuSeconds() - cpuBefore;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(local, GetFileExInfoStandard, &data);
    const ULONGLONG bytes = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    std::printf("seconds=%.3f cpu=%.3f bytes=%llu reads=%llu\n", Seconds(start, dialog.ended), cpu, bytes,
                (bytes + 1023) / 1024);
    return 0;
}

int RunBare(const char* host, INTERNET_PORT port, const char* remote, DWORD chunk, const char* local) {
    std::vector<char> buffer(chunk);
    HANDLE out = INVALID_HANDLE_VALUE;
    if (local != nullptr) {
        out = CreateFileA(local, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "cannot create %s: %lu\n", local, GetLastError());
            return 1;
        }
    }
    const double cpuBefore = CpuSeconds();
    const LARGE_INTEGER start = Now();
    HINTERNET session = InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection =
        session ? InternetConnectA(session, host, port, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0) : nullptr;
    HINTERNET file = connection ? FtpOpenFileA(connection, remote, GENERIC_READ,
                                               INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | FTP_TRANSFER_TYPE_BINARY, 0)
                                : nullptr;
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s: %lu\n", remote, GetLastError());
        return 1;
    }
    ULONGLONG bytes = 0, reads = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(file, buffer.data(), chunk, &read)) {
            std::fprintf(stderr, "read failed: %lu\n", GetLastError());
            return 1;
        }
        ++reads;
        if (read == 0) break;
        bytes += read;
        DWORD written = 0;
        if (out != INVALID_HANDLE_VALUE && !WriteFile(out, buffer.data(), read, &written, nullptr)) {
            std::fprintf(stderr, "write failed: %lu\n", GetLastError());
            return 1;
        }
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    const LARGE_INTEGER end = Now();
    const double cpu = CpuSeconds() - cpuBefore;
    InternetCloseHandle(file);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    std::printf("seconds=%.3f cpu=%.3f bytes=%llu reads=%llu\n", Seconds(start, end), cpu, bytes, reads);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "dialog") {
        return RunDialog(argv[2], static_cast<INTERNET_PORT>(std::atoi(argv[3])), argv[4], argv[5]);
    }
    if ((argc == 6 || argc == 7) && std::string(argv[1]) == "bare") {
        return RunBare(argv[2], static_cast<INTERNET_PORT>(std::atoi(argv[3])), argv[4],
                       static_cast<DWORD>(std::atoi(argv[5])), argc == 7 ? argv[6] : nullptr);
    }
    std::fprintf(stderr, "usage: ftp_bench dialog HOST PORT REMOTE LOCAL | bare HOST PORT REMOTE CHUNK [LOCAL]\n");
    return 2;
}

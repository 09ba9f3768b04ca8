#include "tests/win/transfer/end_watch.h"

#include <cstdio>
#include <future>
#include <utility>

#include "framework/app_messages.h"

namespace {

// Not among the dialogs' own messages (WM_APP+1, WM_APP+2).
constexpr UINT kMarker = WM_APP + 0x3D0;

BOOL CALLBACK PostEnd(HWND window, LPARAM) {
    PostMessageA(window, WM_TRANSFER_END, 1, 0);
    return TRUE;
}

}  // namespace

TransferPlatform EndWatch::Counting(TransferPlatform platform) {
    platform.postMessage = [this, post = std::move(platform.postMessage)](HWND window, UINT message, WPARAM wParam,
                                                                         LPARAM lParam) {
        const BOOL ok = post(window, message, wParam, lParam);
        if (ok && message == WM_TRANSFER_END) ++posted;
        return ok;
    };
    return platform;
}

INT_PTR EndWatch::Run(const std::function<INT_PTR()>& showModal, DWORD limitMs) {
    const DWORD thread = GetCurrentThreadId();
    const HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto watchdog = std::async(std::launch::async, [&] {
        if (WaitForSingleObject(ended, limitMs) != WAIT_TIMEOUT) return;
        timedOut = true;
        EnumThreadWindows(thread, PostEnd, 0);
        if (WaitForSingleObject(ended, 10000) != WAIT_TIMEOUT) return;
        std::fprintf(stderr, "a transfer dialog did not end: its worker is stuck\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    });
    const INT_PTR result = showModal();
    SetEvent(ended);
    watchdog.get();
    CloseHandle(ended);
    return result;
}

bool EndWatch::Drain(HWND window, DWORD limitMs) {
    drained_ = false;
    if (!PostMessageA(window, kMarker, 1, 0)) return false;
    const DWORD start = GetTickCount();
    while (!drained_ && IsWindow(window) && GetTickCount() - start < limitMs) Sleep(10);
    return drained_ && IsWindow(window);
}

bool EndWatch::TakeMarker(HWND window, UINT message, WPARAM wParam) {
    if (message != kMarker) return false;
    // The first time it goes round once more, behind whatever was posted meanwhile.
    if (wParam == 1) {
        PostMessageA(window, kMarker, 2, 0);
    } else {
        drained_ = true;
    }
    return true;
}

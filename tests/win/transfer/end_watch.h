// A transfer dialog's end watched from outside it: the end messages its worker posted,
// counted in the post call of the platform the dialog is given (a test's dialog class
// derives from EndWatch first, to hand its base Counting()), and a bound on its run.
#pragma once

#include <atomic>
#include <functional>

#include "transfer/transfer_dialog.h"

struct EndWatch {
    TransferPlatform Counting(TransferPlatform platform);
    // Runs `showModal` (DoModal, on this thread). A dialog still up after `limitMs` is
    // posted an end message (timedOut); one that even then does not end has a stuck
    // worker, and the test program ends rather than hang.
    INT_PTR Run(const std::function<INT_PTR()>& showModal, DWORD limitMs = 60000);

    // Waits until the dialog has taken from its queue everything posted to `window`
    // before the call (keys, a close request) and what handling those posted in turn:
    // a marker posted behind them comes back twice through the dialog's message map,
    // which hands it to TakeMarker. True when it came while the dialog still ran; false
    // when the dialog ended first, or after `limitMs`.
    bool Drain(HWND window, DWORD limitMs = 20000);
    // For the dialog's message map: whether `message` is the marker (then it is taken).
    bool TakeMarker(HWND window, UINT message, WPARAM wParam);

    std::atomic<int> posted{0};
    std::atomic<bool> timedOut{false};

private:
    std::atomic<bool> drained_{false};
};

// The window messages between a transfer worker and its dialog.
#pragma once

#include <windows.h>

// Posted by a transfer worker exactly once, as its last act. wParam 0: the transfer
// ran to its end (or was cancelled); 1: it failed, its text is in the dialog's error
// string. lParam 0.
constexpr UINT WM_TRANSFER_END = WM_APP + 1;

// Sent (synchronously) by the FTP worker to ask whether to replace the remote file.
// The dialog answers 1 for Yes, 0 for No.
constexpr UINT WM_TRANSFER_ASK_REPLACE = WM_APP + 2;

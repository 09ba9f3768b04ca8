// The part that the HTTP and FTP transfer dialogs share: their progress display.
//
// Both templates carry the same six controls; each dialog names its own string ids
// and clip. The display operations run on the dialog's worker thread and write the
// controls directly (each write is one SendMessage that the dialog's own thread
// carries out), so the dialog's thread must never wait for the worker while the
// worker can still write: the worker's last act is to post its end message.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "transfer/progress.h"

class CTransferDialog : public CDialog {
public:
    // What the progress bar counts: kilobytes of the file (its range set once the
    // size is known) or percent (range 0 to 100, set at dialog start).
    enum class BarUnit { kKilobytes, kPercent };

    CTransferDialog(UINT templateId, const ProgressTextIds& textIds, UINT clipId, BarUnit barUnit);

    // WinInet status callback; the context of a handle is its dialog (0: none).
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);

protected:
    // Hands the worker's end message (WM_APP+1) to OnTransferEnd.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DoDataExchange() override;
    // The worker's end message: wParam 0 when it ran to its end (or was cancelled),
    // 1 when it failed with its text in the dialog's error string.
    virtual void OnTransferEnd(WPARAM failed) = 0;

    // Opens the clip; called from OnInitDialog. It plays once connected.
    void OpenAnimation();
    void PlayAnimation();
    void StopAnimation();

    // Starts the progress state of one transfer: the tick now, the caption's file
    // name, and the size of the whole file when it is known.
    ProgressTracker StartProgress(std::string captionName, std::optional<uint32_t> total) const;
    // After every chunk that moved data: redraws whatever is due.
    void UpdateProgress(ProgressTracker& tracker, uint32_t bytesSoFar);

    void ShowPercentage(const ProgressRedraw& redraw);
    void ShowTransferRate(const std::string& text);
    void ShowTimeLeft(const std::string& text);
    void SetStatus(UINT stringId, const std::string& argument = {});
    void SetFileLine(UINT stringId, const std::string& file, const std::string& server);
    // HTTP: the bar's range in kilobytes, 32-bit, once the size is known.
    void SetBarRangeKilobytes(uint32_t total);

    const ProgressTexts& Texts() const { return m_Texts; }

    CStatic m_Status;        // 1008
    CStatic m_TransferRate;  // 1006
    CStatic m_TimeLeft;      // 1005
    CProgressCtrl m_Progress;  // 1001
    CStatic m_FileLine;      // 1009
    CAnimateCtrl m_Animation;  // 1007

private:
    void OnInternetStatus(DWORD status, const void* info, DWORD infoLength);

    ProgressTexts m_Texts;
    UINT m_ClipId;
    BarUnit m_BarUnit;
};

// The part that the HTTP and FTP transfer dialogs share: the worker's life cycle,
// the local file's writer and the progress display.
//
// The worker is created suspended and then resumed; it runs the dialog's Transfer
// and, as its last act, posts WM_TRANSFER_END exactly once, whatever way Transfer
// ended. The end handler always ends the dialog. Both templates carry the same six
// controls; each dialog names its own string ids and clip. The display operations
// run on the worker and write the controls directly (each write is one SendMessage
// that the dialog's own thread carries out), so the dialog's thread must never wait
// for the worker while the worker can still write: the worker's last act is to post
// its end message.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/file.h"
#include "framework/thread.h"
#include "transfer/download_bound.h"
#include "transfer/progress.h"

// The calls by which a transfer dialog starts its threads, reports their end and reads
// an HTTP header: the system's unless a test passes others that fail.
struct TransferPlatform {
    std::function<DWORD(HANDLE thread)> resumeThread = [](HANDLE thread) { return ::ResumeThread(thread); };
    std::function<BOOL(HWND window, UINT message, WPARAM wParam, LPARAM lParam)> postMessage =
        [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
            return ::PostMessageA(window, message, wParam, lParam);
        };
    std::function<BOOL(HINTERNET request, DWORD query, void* buffer, DWORD* length, DWORD* index)> httpQueryInfo =
        [](HINTERNET request, DWORD query, void* buffer, DWORD* length, DWORD* index) {
            return ::HttpQueryInfoA(request, query, buffer, length, index);
        };
};

// A failure as the user is told of it: message `id`, whose %1 is `code` in decimal or,
// when the server's reply is given, that reply: after a line feed for WinInet's
// extended error (the code that stands for a reply), as it is otherwise. A text that
// names sizes has them instead, as %1 and %2.
struct TransferFailure {
    UINT id = 0;  // 0: nothing to tell (the user chose to stop)
    DWORD code = 0;
    std::optional<std::string> reply{};
    std::vector<uint64_t> sizes{};  // bytes, in decimal

    std::string Message() const;  // empty for id 0
};

class CTransferDialog : public CDialog {
public:
    // What the progress bar counts: kilobytes of the file (its range set once the
    // size is known) or percent (range 0 to 100, set at dialog start).
    enum class BarUnit { kKilobytes, kPercent };

    // `failureId`: the message of a failure that the transfer could not name itself
    // (it ran out of memory), shown with ERROR_NOT_ENOUGH_MEMORY.
    CTransferDialog(UINT templateId, const ProgressTextIds& textIds, UINT clipId, BarUnit barUnit,
                    UINT failureId, TransferPlatform platform = {});

    // What a download may bring (an upload is not bounded), set before DoModal. A
    // download beyond it ends with a message that names the sizes, and its local file
    // is left as after any failure; one that is to be longer than it may be is not
    // started.
    DownloadBound m_Bound;

    // WinInet status callback; the context of a handle is its dialog (0: none).
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);

protected:
    // Reads of a download, gathered into blocks for the local file: a write call per
    // 1024-byte read added about a tenth to the time of a whole transfer.
    class BlockWriter {
    public:
        static constexpr DWORD kReadSize = 1024;

        explicit BlockWriter(CFile& file);
        // Where the next read of at most kReadSize bytes goes.
        char* Room() { return m_Block.data() + m_Pending; }
        // Takes `count` bytes read into Room(), and writes the block once it has no
        // room for another read. false, with the system's code in `error`, when that
        // write fails.
        bool Add(DWORD count, DWORD& error);
        // Writes what is gathered; false as Add.
        bool Flush(DWORD& error);

    private:
        CFile& m_File;
        std::vector<char> m_Block;
        size_t m_Pending = 0;
    };

    // Hands the worker's end message (WM_APP+1) to the end handler, and waits for the
    // worker, then closes m_File, before the destroy handler runs.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DoDataExchange() override;

    // Starts the worker from OnInitDialog: created suspended, then resumed. When either
    // fails the dialog ends with IDCANCEL, without a message.
    void StartWorker();
    // Creates `thread` suspended and resumes it. false, with GetLastError() set, when
    // it cannot; a thread created but not resumed is ended here, before it ran.
    bool StartThread(CWinThread& thread);

    // The transfer, on the worker. Its Internet handles are its own (InternetHandle),
    // closed before it returns. false: it failed, as Fail recorded. When it throws,
    // the transfer fails with the failure message of the constructor and
    // DiscardDownload is called.
    virtual bool Transfer() = 0;
    // Leaves the local file as a failed transfer must.
    virtual void DiscardDownload() noexcept = 0;
    // Records why the worker's transfer failed, for the end handler to show. false.
    bool Fail(TransferFailure failure);
    // Ends the dialog before the worker starts: shows the failure's message, if any,
    // and ends with IDCANCEL.
    void EndAtStart(const TransferFailure& failure = {});
    // From OnInitDialog of a download, before the local file is touched: ends the
    // dialog as EndAtStart does when m_Bound expects more than it allows. true then.
    bool EndedBeyondBound();
    // Whether `count` bytes keep to m_Bound at `stage`; false, with the failure
    // recorded as Fail does, when they do not.
    bool KeepsToBound(BoundStage stage, uint64_t count);
    // Whether the user stopped the transfer: it then ends with IDCANCEL and no message.
    virtual bool Cancelled() const { return false; }
    // The end message has arrived.
    bool Ended() const { return m_Ended; }
    const TransferPlatform& Platform() const { return m_Platform; }

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

    CFile m_File;  // the local file; left open by an early end, closed once the worker has ended

private:
    static UINT WorkerThread(void* dialog);
    // Posts the end message; retried while the window exists, since the dialog cannot
    // end without it.
    void PostEnd(bool failed);
    // The end message: wParam 0 when the worker ran to its end (or was cancelled), 1
    // when it failed. Ends the dialog even when the message cannot be shown.
    void OnTransferEnd(WPARAM failed);
    void OnInternetStatus(DWORD status, const void* info, DWORD infoLength);
    // What the user is told of `count` bytes against m_Bound at `stage`; none when
    // they keep to it.
    std::optional<TransferFailure> BoundFailure(BoundStage stage, uint64_t count) const;

    ProgressTexts m_Texts;
    UINT m_ClipId;
    BarUnit m_BarUnit;
    UINT m_FailureId;
    TransferPlatform m_Platform;
    std::unique_ptr<CWinThread> m_Thread;  // from StartWorker to the destroy handler
    TransferFailure m_Failure;  // written by the worker before its end message
    bool m_Ended = false;
};

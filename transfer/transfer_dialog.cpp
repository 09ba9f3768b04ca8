#include "transfer/transfer_dialog.h"

#include <utility>

#include "framework/app_messages.h"
#include "framework/resource_string.h"
#include "framework/win_app.h"
#include "res/resource.h"

namespace {

constexpr size_t kWriteBlock = 64 * 1024;

}  // namespace

std::string TransferFailure::Message() const {
    if (id == 0) return {};
    if (!sizes.empty()) {
        return FormatResString(id, std::to_string(sizes[0]), sizes.size() > 1 ? std::to_string(sizes[1]) : "");
    }
    if (!reply) return FormatResString(id, std::to_string(static_cast<int>(code)));
    return FormatResString(id, code == ERROR_INTERNET_EXTENDED_ERROR ? "\n" + *reply : *reply);
}

CTransferDialog::CTransferDialog(UINT templateId, const ProgressTextIds& textIds, UINT clipId, BarUnit barUnit,
                                 UINT failureId, TransferPlatform platform)
    : CDialog(templateId),
      m_Texts(textIds, [](unsigned id) { return LoadResString(id); }),
      m_ClipId(clipId),
      m_BarUnit(barUnit),
      m_FailureId(failureId),
      m_Platform(std::move(platform)) {}

bool CTransferDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_TRANSFER_END:
        OnTransferEnd(wParam);
        result = 0;
        return true;
    case WM_DESTROY:
        // The worker's last act was to post to this thread, so this wait cannot meet a
        // worker blocked on it. An early end leaves the local file open: closed here,
        // so that the caller finds it closed when DoModal returns.
        if (m_Thread) {
            m_Thread->Wait(INFINITE);
            m_Thread.reset();
        }
        m_File.Abort();
        break;
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
}

void CTransferDialog::StartWorker() {
    m_Thread = std::make_unique<CWinThread>(&CTransferDialog::WorkerThread, this);
    if (StartThread(*m_Thread)) return;
    m_Thread.reset();
    EndDialog(IDCANCEL);
}

bool CTransferDialog::StartThread(CWinThread& thread) {
    if (!thread.CreateThread(THREAD_PRIORITY_NORMAL, 0)) return false;
    if (m_Platform.resumeThread(thread.m_hThread) != static_cast<DWORD>(-1)) return true;
    // It never ran, so it holds nothing; nobody may wait for it to end by itself.
    const DWORD error = GetLastError();
    TerminateThread(thread.m_hThread, 1);
    thread.Wait(INFINITE);
    SetLastError(error);
    return false;
}

UINT CTransferDialog::WorkerThread(void* parameter) {
    auto& dialog = *static_cast<CTransferDialog*>(parameter);
    bool succeeded = false;
    try {
        succeeded = dialog.Transfer();
    } catch (...) {
        // Only a lack of memory gets here; nothing may leave a thread's entry point.
        dialog.m_Failure = {dialog.m_FailureId, ERROR_NOT_ENOUGH_MEMORY, std::nullopt};
        dialog.DiscardDownload();
    }
    dialog.PostEnd(!succeeded);
    return 0;
}

void CTransferDialog::PostEnd(bool failed) {
    // Posting fails only while the dialog's queue is full: wait for room rather than
    // lose the one message that ends the dialog.
    const HWND window = m_hWnd;
    while (!m_Platform.postMessage(window, WM_TRANSFER_END, failed ? 1 : 0, 0) && IsWindow(window)) Sleep(10);
}

void CTransferDialog::OnTransferEnd(WPARAM failed) {
    m_Ended = true;
    StopAnimation();
    const bool done = failed == 0 && !Cancelled();
    try {
        if (failed != 0 && !Cancelled() && m_Failure.id != 0) AppMessageBox(m_Failure.Message());
    } catch (...) {
        // The dialog must end all the same: Esc and close no longer end it.
    }
    EndDialog(done ? IDOK : IDCANCEL);
}

bool CTransferDialog::Fail(TransferFailure failure) {
    m_Failure = std::move(failure);
    return false;
}

void CTransferDialog::EndAtStart(const TransferFailure& failure) {
    if (failure.id != 0) AppMessageBox(failure.Message());
    EndDialog(IDCANCEL);
}

bool CTransferDialog::EndedBeyondBound() {
    const std::optional<TransferFailure> failure = BoundFailure(BoundStage::kStart, 0);
    if (failure) EndAtStart(*failure);
    return failure.has_value();
}

bool CTransferDialog::KeepsToBound(BoundStage stage, uint64_t count) {
    const std::optional<TransferFailure> failure = BoundFailure(stage, count);
    return !failure || Fail(*failure);
}

std::optional<TransferFailure> CTransferDialog::BoundFailure(BoundStage stage, uint64_t count) const {
    const uint64_t most = m_Bound.most, exact = m_Bound.exact.value_or(0);
    const auto sizes = [](UINT id, std::vector<uint64_t> told) {
        return TransferFailure{id, 0, std::nullopt, std::move(told)};
    };
    switch (CheckBound(m_Bound, stage, count)) {
    case BoundBreach::kNone:
        return std::nullopt;
    case BoundBreach::kExactBeyondMost:
        return sizes(IDS_BOUND_EXACT_TOO_LARGE, {most, exact});
    case BoundBreach::kAnnouncedBeyondMost:
        return sizes(IDS_BOUND_ANNOUNCED_TOO_LARGE, {most, count});
    case BoundBreach::kAnnouncedNotExact:
        return sizes(IDS_BOUND_ANNOUNCED_OTHER, {exact, count});
    case BoundBreach::kBeyondMost:
        return sizes(IDS_BOUND_TOO_LARGE, {most});
    case BoundBreach::kBeyondExact:
        // Told as the first byte past it: how many more one read brought is WinInet's affair.
        return sizes(IDS_BOUND_LONGER, {exact, exact + 1});
    case BoundBreach::kShortOfExact:
        return sizes(IDS_BOUND_SHORTER, {exact, count});
    }
    return std::nullopt;
}

CTransferDialog::BlockWriter::BlockWriter(CFile& file) : m_File(file), m_Block(kWriteBlock) {}

bool CTransferDialog::BlockWriter::Add(DWORD count, DWORD& error) {
    m_Pending += count;
    return m_Block.size() - m_Pending >= kReadSize || Flush(error);
}

bool CTransferDialog::BlockWriter::Flush(DWORD& error) {
    if (m_Pending == 0) return true;
    try {
        m_File.Write(m_Block.data(), static_cast<UINT>(m_Pending));
    } catch (const CFileException& failure) {
        // A code of 0 would read as no error at all.
        error = failure.m_lOsError != ERROR_SUCCESS ? failure.m_lOsError : ERROR_WRITE_FAULT;
        return false;
    }
    m_Pending = 0;
    return true;
}

void CTransferDialog::DoDataExchange() {
    Bind(m_Status, IDC_STATUS);
    Bind(m_TransferRate, IDC_TRANSFER_RATE);
    Bind(m_TimeLeft, IDC_TIME_LEFT);
    Bind(m_Progress, IDC_PROGRESS);
    Bind(m_FileLine, IDC_FILE_LINE);
    Bind(m_Animation, IDC_ANIMATION);
}

void CTransferDialog::OpenAnimation() { m_Animation.Open(m_ClipId); }

void CTransferDialog::PlayAnimation() { m_Animation.Play(0, static_cast<UINT>(-1), static_cast<UINT>(-1)); }

void CTransferDialog::StopAnimation() { m_Animation.Stop(); }

ProgressTracker CTransferDialog::StartProgress(std::string captionName, std::optional<uint32_t> total) const {
    return ProgressTracker(m_Texts, std::move(captionName), GetTickCount(), total);
}

void CTransferDialog::UpdateProgress(ProgressTracker& tracker, uint32_t bytesSoFar) {
    const ProgressRedraw redraw = tracker.Update(bytesSoFar, GetTickCount());
    if (redraw.percentChanged) ShowPercentage(redraw);
    if (!redraw.refreshed) return;
    ShowTransferRate(redraw.rateText);
    if (redraw.timeLeftKnown) ShowTimeLeft(redraw.timeLeftText);
}

void CTransferDialog::ShowPercentage(const ProgressRedraw& redraw) {
    m_Progress.SetPos(m_BarUnit == BarUnit::kPercent ? redraw.percent : static_cast<int>(redraw.barKilobytes));
    SetWindowTextA(m_hWnd, redraw.caption.c_str());
}

void CTransferDialog::ShowTransferRate(const std::string& text) { m_TransferRate.SetWindowText(text); }

void CTransferDialog::ShowTimeLeft(const std::string& text) { m_TimeLeft.SetWindowText(text); }

void CTransferDialog::SetStatus(UINT stringId, const std::string& argument) {
    m_Status.SetWindowText(m_Texts.Text(stringId, argument));
}

void CTransferDialog::SetFileLine(UINT stringId, const std::string& file, const std::string& server) {
    m_FileLine.SetWindowText(FormatResString(stringId, file, server));
}

void CTransferDialog::SetBarRangeKilobytes(uint32_t total) {
    m_Progress.Send(PBM_SETRANGE32, 0, static_cast<LPARAM>(HttpBarRange(total)));
}

void CALLBACK CTransferDialog::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                              DWORD infoLength) {
    // A WinInet callback frame: nothing may be thrown through it.
    try {
        if (context != 0) reinterpret_cast<CTransferDialog*>(context)->OnInternetStatus(status, info, infoLength);
    } catch (...) {
    }
}

void CTransferDialog::OnInternetStatus(DWORD status, const void* info, DWORD infoLength) {
    if (const auto text = m_Texts.StatusText(status, StatusInfoText(info, infoLength))) {
        m_Status.SetWindowText(*text);
    }
}

#include "transfer/transfer_dialog.h"

#include <utility>

#include "framework/app_messages.h"
#include "framework/resource_string.h"
#include "res/resource.h"

CTransferDialog::CTransferDialog(UINT templateId, const ProgressTextIds& textIds, UINT clipId, BarUnit barUnit)
    : CDialog(templateId),
      m_Texts(textIds, [](unsigned id) { return LoadResString(id); }),
      m_ClipId(clipId),
      m_BarUnit(barUnit) {}

bool CTransferDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_TRANSFER_END) return CDialog::OnMessage(message, wParam, lParam, result);
    OnTransferEnd(wParam);
    result = 0;
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

#include "tests/win/transfer/http_dialog_probe.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <utility>

#include "framework/app_messages.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "tests/win/support/gui_driver.h"
#include "tests/win/support/window_spy.h"
#include "tests/win/transfer/end_watch.h"
#include "transfer/http_download_dlg.h"

namespace {

// Ids of the user and password edits of Wine's login dialogs.
constexpr int kLoginUserEdit = 1027;
constexpr int kLoginPasswordEdit = 1028;

// The dialog with a record of its status line and of its display at the end, and its
// end watched.
class ProbeDlg : public EndWatch, public CHttpDownloadDlg {
public:
    ProbeDlg(Outcome& outcome, TransferPlatform platform)
        : CHttpDownloadDlg(Counting(std::move(platform))), m_Outcome(outcome) {}

    std::atomic<HWND> m_Window{nullptr};

    bool StatusSeen(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_Lock);
        return std::find(m_Outcome.status.begin(), m_Outcome.status.end(), text) != m_Outcome.status.end();
    }

protected:
    BOOL OnInitDialog() override {
        HWND status = GetDlgItem(IDC_STATUS);
        WatchWindow(status, [this, status](UINT message, WPARAM, LPARAM lParam) {
            if (message != WM_SETTEXT) return;
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Outcome.status.push_back(SetTextArgument(status, lParam));
        });
        const BOOL focus = CHttpDownloadDlg::OnInitDialog();
        m_Window = m_hWnd;
        return focus;
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (TakeMarker(m_hWnd, message, wParam)) return true;
        if (message == WM_TRANSFER_END) {
            ++m_Outcome.received;
            m_Outcome.caption = WindowText(m_hWnd);
            m_Outcome.fileLine = WindowText(GetDlgItem(IDC_FILE_LINE));
            m_Outcome.barHigh = static_cast<int>(SendDlgItemMessageA(m_hWnd, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0));
            m_Outcome.barPos = static_cast<int>(SendDlgItemMessageA(m_hWnd, IDC_PROGRESS, PBM_GETPOS, 0, 0));
        }
        return CHttpDownloadDlg::OnMessage(message, wParam, lParam, result);
    }

private:
    Outcome& m_Outcome;
    std::mutex m_Lock;
};

// Answers every message box and login dialog of this process until `done`. Each pass
// notes every window it sees before it answers one.
void Respond(const User& user, Outcome& outcome, const std::atomic<bool>& done) {
    const std::string title = GetAppTitle();
    while (!done) {
        std::vector<std::pair<HWND, std::string>> seen;
        for (HWND window : VisibleDialogs()) {
            const std::string caption = WindowText(window);
            if (caption == title) {
                outcome.boxes.push_back(MessageBoxText(window));
                seen.emplace_back(window, caption);
            } else if (caption == kServerLogin || caption == kProxyLogin) {
                outcome.logins.push_back(caption);
                seen.emplace_back(window, caption);
            }  // else the transfer dialog itself
        }
        for (const auto& [window, caption] : seen) {
            if (caption == title) {
                ClickButton(window, GetDlgItem(window, IDYES) != nullptr ? user.replace : IDOK);
            } else {
                SetDlgItemTextA(window, kLoginUserEdit, user.user.c_str());
                SetDlgItemTextA(window, kLoginPasswordEdit, user.password.c_str());
                ClickButton(window, user.logIn ? IDOK : IDCANCEL);
            }
            WaitForWindowGone(window, 10000);
        }
        Sleep(20);
    }
}

}  // namespace

std::string Generated(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i + i / 251) % 256);
    return bytes;
}

::testing::AssertionResult FileHolds(const std::string& path, const std::string& expected) {
    if (!FileExists(path)) return ::testing::AssertionFailure() << path << " does not exist";
    const std::string bytes = ReadFileBytes(path);
    if (bytes == expected) return ::testing::AssertionSuccess();
    const auto mismatch = std::mismatch(bytes.begin(), bytes.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure() << path << " holds " << bytes.size() << " bytes, expected "
                                         << expected.size() << "; first difference at "
                                         << (mismatch.first - bytes.begin());
}

Outcome RunDownload(const Request& request, const User& user, TransferPlatform platform) {
    Outcome outcome;
    ProbeDlg dialog(outcome, std::move(platform));
    dialog.m_Url = request.url;
    dialog.m_LocalFile = request.localFile;
    dialog.m_UserName = request.userName;
    dialog.m_Password = request.password;
    dialog.m_ToMemory = request.toMemory;
    dialog.m_Bound = request.bound;

    std::atomic<bool> done{false};
    auto responder = std::async(std::launch::async, [&] { Respond(user, outcome, done); });
    std::future<void> actor;
    if (user.act) {
        actor = std::async(std::launch::async, [&] {
            const DWORD start = GetTickCount();
            while (dialog.m_Window == nullptr && !done && GetTickCount() - start < 20000) Sleep(10);
            if (dialog.m_Window != nullptr) {
                HWND window = dialog.m_Window;
                user.act(window, {[&](const std::string& text) { return dialog.StatusSeen(text); },
                                  [&, window] { return dialog.Drain(window); }});
            }
        });
    }
    outcome.result = dialog.Run([&] { return dialog.DoModal(); });
    done = true;
    responder.get();
    if (actor.valid()) actor.get();
    EXPECT_FALSE(dialog.timedOut) << "the dialog did not end by itself";
    EXPECT_EQ(outcome.received, dialog.posted);
    outcome.endMessages = dialog.posted;
    outcome.body = dialog.m_Body;
    CancelOpenDialogs(1000);
    return outcome;
}

// The progress display that both transfer dialogs share, on their real templates.
#include "transfer/transfer_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win/support/gui_driver.h"

namespace {

// A transfer dialog that runs a script on its own thread once it is up, then
// leaves the texts for the test to read.
class DisplayProbe : public CTransferDialog {
public:
    DisplayProbe(UINT templateId, const ProgressTextIds& ids, UINT clipId, BarUnit unit,
                 std::function<void(DisplayProbe&)> script)
        : CTransferDialog(templateId, ids, clipId, unit, 0), m_Script(std::move(script)) {}

    BOOL OnInitDialog() override {
        CTransferDialog::OnInitDialog();
        SetWindowTextA(m_hWnd, "probe");
        OpenAnimation();
        m_Script(*this);
        return TRUE;
    }

    void Status(DWORD status, const char* info, DWORD_PTR context) {
        StatusCallback(nullptr, context, status, const_cast<char*>(info), static_cast<DWORD>(lstrlenA(info) + 1));
    }

    // No worker here.
    bool Transfer() override { return true; }
    void DiscardDownload() noexcept override {}

    using CTransferDialog::SetBarRangeKilobytes;
    using CTransferDialog::SetStatus;
    using CTransferDialog::ShowPercentage;

private:
    std::function<void(DisplayProbe&)> m_Script;
};

struct Seen {
    std::string status, caption;
    int barHigh = 0, barPos = 0;
};

Seen ShowAndRead(UINT templateId, const ProgressTextIds& ids, UINT clip, CTransferDialog::BarUnit unit,
                 const std::function<void(DisplayProbe&)>& script) {
    Seen seen;
    DisplayProbe probe(templateId, ids, clip, unit, script);
    bool appeared = false;
    InspectModal([&] { return probe.DoModal(); }, nullptr,
                 [&](HWND dialog) {
                     char text[256] = {};
                     GetDlgItemTextA(dialog, IDC_STATUS, text, sizeof text);
                     seen.status = text;
                     GetWindowTextA(dialog, text, sizeof text);
                     seen.caption = text;
                     HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
                     seen.barHigh = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
                     seen.barPos = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
                 },
                 &appeared);
    EXPECT_TRUE(appeared);
    return seen;
}

TEST(TransferDisplay, StatusLineFollowsTheInternetStatusOfEachDialog) {
    struct Case {
        const char* what;
        UINT templateId;
        const ProgressTextIds* ids;
        std::vector<std::pair<DWORD, const char*>> statuses;
        const char* expected;
    } cases[] = {
        {"HTTP resolving", IDD_HTTP_DOWNLOAD, &kHttpProgressTextIds, {{10, "updates.example"}}, "Resolving name: updates.example"},
        {"HTTP redirect", IDD_HTTP_DOWNLOAD, &kHttpProgressTextIds, {{21, "127.0.0.1"}, {110, "http://h/b"}}, "Redirecting to http://h/b"},
        {"other codes ignored", IDD_HTTP_DOWNLOAD, &kHttpProgressTextIds, {{20, "127.0.0.1"}, {60, "x"}, {31, "y"}}, "Connecting to 127.0.0.1"},
        {"FTP connected", IDD_FTP_TRANSFER, &kFtpProgressTextIds, {{11, "127.0.0.1"}, {21, "127.0.0.1"}}, "Connected to 127.0.0.1"},
        {"FTP ignores redirects", IDD_FTP_TRANSFER, &kFtpProgressTextIds, {{10, "ftp.example"}, {110, "x"}}, "Resolving name: ftp.example"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Seen seen = ShowAndRead(c.templateId, *c.ids, c.templateId == IDD_HTTP_DOWNLOAD ? IDR_HTTP_CLIP : IDR_FTP_CLIP,
                                      CTransferDialog::BarUnit::kPercent, [&](DisplayProbe& probe) {
                                          for (const auto& [status, info] : c.statuses) {
                                              probe.Status(status, info, reinterpret_cast<DWORD_PTR>(&probe));
                                          }
                                          probe.Status(10, "not ours", 0);  // handles without a dialog
                                      });
        EXPECT_EQ(seen.status, c.expected);
    }
}

// Regression: the HTTP bar's range was taken modulo 65536 kilobytes.
TEST(TransferDisplay, HttpBarCountsKilobytesOfLargeFiles) {
    const uint32_t total = 200u * 1024 * 1024;
    const Seen seen = ShowAndRead(IDD_HTTP_DOWNLOAD, kHttpProgressTextIds, IDR_HTTP_CLIP,
                                  CTransferDialog::BarUnit::kKilobytes, [&](DisplayProbe& probe) {
                                      probe.SetBarRangeKilobytes(total);
                                      ProgressRedraw redraw;
                                      redraw.percent = 50;
                                      redraw.barKilobytes = 102400;
                                      redraw.caption = "50% of big.bin Completed";
                                      probe.ShowPercentage(redraw);
                                  });
    EXPECT_EQ(seen.barHigh, 204800);
    EXPECT_EQ(seen.barPos, 102400);
    EXPECT_EQ(seen.caption, "50% of big.bin Completed");
}

TEST(TransferDisplay, FtpBarCountsPercent) {
    const Seen seen = ShowAndRead(IDD_FTP_TRANSFER, kFtpProgressTextIds, IDR_FTP_CLIP, CTransferDialog::BarUnit::kPercent,
                                  [&](DisplayProbe& probe) {
                                      SendMessageA(probe.GetDlgItem(IDC_PROGRESS), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
                                      ProgressRedraw redraw;
                                      redraw.percent = 42;
                                      redraw.barKilobytes = 9999;
                                      redraw.caption = "42% of /fw.exe Completed";
                                      probe.ShowPercentage(redraw);
                                      probe.SetStatus(IDS_FTP_RETRIEVING);
                                  });
    EXPECT_EQ(seen.barPos, 42);
    EXPECT_EQ(seen.caption, "42% of /fw.exe Completed");
    EXPECT_EQ(seen.status, "Retrieving the file");
}

}  // namespace

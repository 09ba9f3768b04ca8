// The framework stand-in: message boxes, the dialog base with a worker thread
// talking to it, exceptions in handlers, the file class.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>

#include "framework/app_messages.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/file.h"
#include "framework/thread.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "tests/win/support/gui_driver.h"
#include "tests/win/support/scratch_dir.h"

namespace {

constexpr char kTitle[] = "ZOrix Online Flash Update Program";

// The icon a message box shows (in its icon static control), or nullptr.
HICON BoxIcon(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[16] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") == 0 && (GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            return reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        }
    }
    return nullptr;
}

TEST(AppMessageBox, CaptionIsTheTitleAndTheExclamationMarkIsAddedWhenNoIconIsNamed) {
    const HICON exclamation = LoadIconA(nullptr, IDI_EXCLAMATION);
    const HICON information = LoadIconA(nullptr, IDI_INFORMATION);
    struct {
        const char* what;
        UINT type;
        int answer;
        HICON icon;
    } cases[] = {
        {"OK", MB_OK, IDOK, exclamation},
        {"OK and Cancel", MB_OKCANCEL, IDCANCEL, exclamation},
        {"Yes and No, Yes", MB_YESNO, IDYES, exclamation},
        {"Yes and No, No", MB_YESNO, IDNO, exclamation},
        {"Yes, No and Cancel", MB_YESNOCANCEL, IDYES, exclamation},
        {"an icon of its own", MB_OK | MB_ICONINFORMATION, IDOK, information},
        {"Retry and Cancel: none added", MB_RETRYCANCEL, IDRETRY, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HICON shown = nullptr;
        auto box = std::async(std::launch::async, [&] {
            HWND window = WaitForWindow("#32770", kTitle, 20000);
            if (window == nullptr) return std::string();
            shown = BoxIcon(window);
            const std::string text = MessageBoxText(window);
            ClickButton(window, c.answer);
            return text;
        });
        EXPECT_EQ(AppMessageBox("Line one\nline two", c.type), c.answer);
        EXPECT_EQ(box.get(), "Line one\nline two");
        EXPECT_EQ(shown, c.icon);
    }
}

// A dialog run the way the transfer dialogs run: a worker created suspended and
// resumed at initialisation writes a control, asks a question with a sent custom
// message and posts its end message; the destroy handler waits for it.
class WorkerDialog : public CDialog {
public:
    WorkerDialog() : CDialog(IDD_HTTP_DOWNLOAD) {}

    std::string m_AnswerSeen;
    UINT_PTR m_EndCode = 99;
    bool m_WaitedForWorker = false;
    bool m_Created = false;

protected:
    void DoDataExchange() override { Bind(m_Status, IDC_STATUS); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_Created = m_Thread.CreateThread();
        if (!m_Created) {
            EndDialog(IDCANCEL);
            return TRUE;
        }
        m_Thread.ResumeThread();
        return TRUE;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
        case WM_TRANSFER_ASK_REPLACE:
            result = m_Status.GetWindowText() == "working" ? 1 : 0;
            return true;
        case WM_TRANSFER_END:
            m_EndCode = wParam;
            EndDialog(wParam == 0 ? IDOK : IDCANCEL);
            return true;
        }
        return CDialog::OnMessage(message, wParam, lParam, result);
    }
    void OnDestroy() override { m_WaitedForWorker = m_Thread.Wait() == WAIT_OBJECT_0; }

private:
    static UINT Work(void* self) {
        auto* dialog = static_cast<WorkerDialog*>(self);
        dialog->m_Status.SetWindowText("working");
        const LRESULT answer = SendMessageA(dialog->m_hWnd, WM_TRANSFER_ASK_REPLACE, 0, 0);
        dialog->m_AnswerSeen = answer == 1 ? "yes" : "no";
        PostMessageA(dialog->m_hWnd, WM_TRANSFER_END, 1, 0);
        return 0;
    }

    CStatic m_Status;
    CWinThread m_Thread{Work, this};
};

TEST(Dialog, WorkerWritesControlsAsksAndEndsTheDialog) {
    WorkerDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(dialog.m_Created);
    EXPECT_EQ(dialog.m_AnswerSeen, "yes");  // the answer came back through the sent message
    EXPECT_EQ(dialog.m_EndCode, 1u);
    EXPECT_TRUE(dialog.m_WaitedForWorker);
}

// A dialog of one of the program's templates that notes where it stands once its
// initialisation is over (a message posted from OnInitDialog comes after it), then ends.
class PlacedDialog : public CDialog {
public:
    PlacedDialog(UINT templateId, HWND owner, std::optional<POINT> moveTo)
        : CDialog(templateId, owner), m_MoveTo(moveTo) {}
    RECT m_Placed{};

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (m_MoveTo) SetWindowPos(m_hWnd, nullptr, m_MoveTo->x, m_MoveTo->y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PostMessageA(m_hWnd, WM_APP + 0x3E0, 0, 0);
        return TRUE;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message != WM_APP + 0x3E0) return CDialog::OnMessage(message, wParam, lParam, result);
        GetWindowRect(m_hWnd, &m_Placed);
        EndDialog(IDOK);
        return true;
    }

private:
    std::optional<POINT> m_MoveTo;
};

LONG Middle(LONG low, LONG high) { return (low + high) / 2; }

// Each dialog opens centred on its owner, or on the work area without one, and kept
// inside the work area; one that its initialisation moved stays where it was put.
TEST(Dialog, OpensCentredUnlessPlacedByItsInitialisation) {
    RECT area{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    struct Case {
        const char* what;
        UINT templateId;
        std::optional<RECT> owner;
        std::optional<POINT> moveTo;
    } cases[] = {
        {"over its owner", IDD_ABOUTBOX, RECT{200, 150, 800, 650}, {}},
        {"an owner at the screen's corner", IDD_HTTP_DOWNLOAD,
         RECT{area.right - 120, area.bottom - 90, area.right + 280, area.bottom + 210}, {}},
        {"without an owner", IDD_MAIN, {}, {}},
        {"moved by its initialisation", IDD_ABOUTBOX, RECT{200, 150, 800, 650}, POINT{37, 41}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND owner = nullptr;
        if (c.owner) {
            const RECT& r = *c.owner;
            owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                    r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(owner, nullptr);
        }
        PlacedDialog dialog(c.templateId, owner, c.moveTo);
        ASSERT_EQ(dialog.DoModal(), IDOK);
        if (owner != nullptr) DestroyWindow(owner);
        const RECT& placed = dialog.m_Placed;
        if (c.moveTo) {
            EXPECT_EQ(placed.left, c.moveTo->x);
            EXPECT_EQ(placed.top, c.moveTo->y);
            continue;
        }
        EXPECT_TRUE(placed.left >= area.left && placed.top >= area.top && placed.right <= area.right &&
                    placed.bottom <= area.bottom);
        if (c.owner && c.owner->right > area.right) continue;  // kept inside, not centred
        const RECT around = c.owner ? *c.owner : area;
        EXPECT_NEAR(Middle(placed.left, placed.right), Middle(around.left, around.right), 2);
        EXPECT_NEAR(Middle(placed.top, placed.bottom), Middle(around.top, around.bottom), 2);
    }
}

class ThrowingDialog : public CDialog {
public:
    explicit ThrowingDialog(bool inInit) : CDialog(IDD_ABOUTBOX), m_ThrowInInit(inInit) {}

protected:
    BOOL OnInitDialog() override {
        if (m_ThrowInInit) throw std::runtime_error("initialisation failed");
        return CDialog::OnInitDialog();
    }
    void OnOK() override { throw CFileException(ERROR_ACCESS_DENIED, "FirmwareUpdate.XML"); }

private:
    bool m_ThrowInInit;
};

// An exception never leaves the dialog procedure: it is reported, captioned with the
// title, and the dialog goes on (or, from its initialisation, is not shown).
TEST(Dialog, ExceptionsInHandlersAreReported) {
    {
        ThrowingDialog dialog(false);
        std::string report;
        const INT_PTR result = InspectModal([&] { return dialog.DoModal(); }, "About Nimbrel", [&](HWND window) {
            auto box = AnswerMessageBox(kTitle, IDOK);
            ClickButton(window, IDOK);
            report = box.get().text;
            EXPECT_TRUE(IsWindow(window));
            ClickButton(window, IDCANCEL);
            WaitForWindowGone(window);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(report.rfind("FirmwareUpdate.XML: ", 0), 0u) << report;
    }
    {
        ThrowingDialog dialog(true);
        auto box = AnswerMessageBox(kTitle, IDOK);
        EXPECT_EQ(dialog.DoModal(), -1);
        EXPECT_EQ(box.get().text, "initialisation failed");
    }
}

TEST(WinThread, RunsOnlyOnceResumedAndReportsItsExitCode) {
    std::atomic<bool> ran{false};
    CWinThread thread([](void* flag) -> UINT {
        static_cast<std::atomic<bool>*>(flag)->store(true);
        return 7;
    }, &ran);
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_EQ(thread.Wait(200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(ran);
    thread.ResumeThread();
    EXPECT_EQ(thread.Wait(), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(thread.GetExitCode(code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(ran);

    CWinThread throwing([](void*) -> UINT { throw std::runtime_error("lost"); }, nullptr);
    ASSERT_TRUE(throwing.CreateThread());
    throwing.ResumeThread();
    EXPECT_EQ(throwing.Wait(), WAIT_OBJECT_0);
    EXPECT_TRUE(throwing.GetExitCode(code));
    EXPECT_EQ(code, static_cast<DWORD>(-1));
}

TEST(File, WritesSeeksCutsReadsAndRemoves) {
    ScratchDir scratch;
    CFile file;
    ASSERT_TRUE(file.Open("data.bin", CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite));
    file.Write("0123456789", 10);
    file.Close();

    // An existing file keeps its contents with modeNoTruncate; cut and write at 4.
    ASSERT_TRUE(file.Open("data.bin", CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.Seek(4, CFile::begin), 4u);
    file.SetLength(4);
    file.Write("xy", 2);
    file.Close();

    ASSERT_TRUE(file.Open("data.bin", CFile::modeRead | CFile::shareDenyWrite));
    char buffer[16] = {};
    EXPECT_EQ(file.GetLength(), 6u);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "0123xy");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);

    // Others may read but not write while it is open so.
    CFile other;
    DWORD error = 0;
    EXPECT_FALSE(other.Open("data.bin", CFile::modeWrite, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    file.Close();

    CFile::Remove("data.bin");
    EXPECT_FALSE(FileExists(scratch.File("data.bin")));
}

TEST(File, FailuresCarryTheSystemErrorCode) {
    ScratchDir scratch;
    CFile file;
    DWORD error = 0;
    EXPECT_FALSE(file.Open("missing.bin", CFile::modeRead, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    try {
        CFile::Remove("missing.bin");
        ADD_FAILURE() << "removing a missing file did not throw";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(e.m_FileName, "missing.bin");
    }

    ASSERT_TRUE(file.Open("out.bin", CFile::modeCreate | CFile::modeWrite));
    char buffer[4];
    try {
        file.Read(buffer, sizeof buffer);
        ADD_FAILURE() << "reading a write-only file did not throw";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

}  // namespace

#include "tests/win/support/gui_driver.h"

#include <atomic>
#include <vector>

#include "res/resource.h"

namespace {

struct Search {
    const char* className;
    const char* caption;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (!IsWindowVisible(window)) return TRUE;
    if (search->processId != kAnyProcess) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search->processId) return TRUE;
    }
    if (search->className != nullptr) {
        char name[256] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, search->className) != 0) return TRUE;
    }
    if (search->caption != nullptr && WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs, DWORD processId) {
    if (processId == kThisProcess) processId = GetCurrentProcessId();
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{className, caption, processId, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(20);
    }
}

std::string WindowText(HWND window) {
    // GetWindowText sends WM_GETTEXT to a window of this process and waits without
    // limit. A test thread that reads the windows of a dialog's thread would wait for
    // ever if that thread stopped taking messages in between (it left its dialog and
    // now waits for the reader): the read is bounded instead, and answers "".
    constexpr UINT kLimitMs = 2000;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kLimitMs, &length)) return {};
    std::vector<char> text(static_cast<size_t>(length) + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             kLimitMs, &copied)) {
        return {};
    }
    return text.data();
}

std::string MessageBoxText(HWND box) {
    HWND label = GetDlgItem(box, 0xFFFF);
    return label != nullptr ? WindowText(label) : std::string();
}

void ClickButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::future<AnsweredBox> AnswerMessageBox(const std::string& caption, int answerId, DWORD timeoutMs,
                                         DWORD processId) {
    if (processId == kThisProcess) processId = GetCurrentProcessId();
    return std::async(std::launch::async, [caption, answerId, timeoutMs, processId] {
        AnsweredBox answer;
        HWND box = WaitForWindow("#32770", caption.c_str(), timeoutMs, processId);
        if (box == nullptr) return answer;
        answer.seen = true;
        answer.text = MessageBoxText(box);
        ClickButton(box, answerId);
        return answer;
    });
}

void PressKey(HWND window, UINT virtualKey) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus != nullptr) {
        target = info.hwndFocus;
    }
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(target, WM_KEYUP, virtualKey, 0xC0000001);
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::vector<HWND> VisibleDialogs() {
    std::vector<HWND> dialogs;
    EnumWindows(
        [](HWND window, LPARAM context) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (owner == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpA(name, "#32770") == 0) {
                reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

void CancelOpenDialogs(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<HWND> dialogs = VisibleDialogs();
        if (dialogs.empty() || GetTickCount() - start > timeoutMs) return;
        for (HWND dialog : dialogs) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        Sleep(100);
    }
}

namespace {

// The transfer dialogs that one thread creates, noted on that thread as each receives
// WM_INITDIALOG (its controls exist by then). A hook procedure has no context of its
// own: one watch at a time, through `active`.
class TransferWatch {
public:
    explicit TransferWatch(DWORD threadId) {
        active = this;
        hook_ = SetWindowsHookExA(WH_CALLWNDPROC, Note, nullptr, threadId);
    }
    ~TransferWatch() {
        if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
        active = nullptr;
    }
    TransferWatch(const TransferWatch&) = delete;
    TransferWatch& operator=(const TransferWatch&) = delete;

    bool Watching() const { return hook_ != nullptr; }
    int Created() const { return created_; }
    HWND Latest() const { return latest_; }

private:
    static LRESULT CALLBACK Note(int code, WPARAM wParam, LPARAM lParam) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        TransferWatch* watch = active;
        if (code == HC_ACTION && watch != nullptr && sent->message == WM_INITDIALOG &&
            GetDlgItem(sent->hwnd, IDC_ANIMATION) != nullptr) {
            watch->latest_ = sent->hwnd;
            ++watch->created_;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static std::atomic<TransferWatch*> active;
    HHOOK hook_ = nullptr;
    std::atomic<int> created_{0};
    std::atomic<HWND> latest_{nullptr};
};

std::atomic<TransferWatch*> TransferWatch::active{nullptr};

}  // namespace

int NoToQuestions(HWND box) { return GetDlgItem(box, IDNO) != nullptr ? IDNO : IDOK; }

ClickUser AnswersInTurn(std::vector<int> answers) {
    ClickUser user;
    user.answer = [answers = std::move(answers)](HWND box, size_t n, const std::string&) {
        const int answer = n < answers.size() ? answers[n] : IDOK;
        return answer != kDefaultButton ? answer : LOWORD(SendMessageA(box, DM_GETDEFID, 0, 0));
    };
    return user;
}

Clicked ClickAndAnswer(HWND dialog, int button, const ClickUser& user) {
    Clicked seen;
    TransferWatch transfers(GetWindowThreadProcessId(dialog, nullptr));
    if (!transfers.Watching()) {
        seen.boxes.push_back("(the dialog's thread could not be watched)");
        return seen;
    }
    std::atomic<bool> done{false};
    auto click = std::async(std::launch::async, [&] {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
        done = true;
    });
    while (!done) {
        std::vector<std::pair<HWND, std::string>> boxes;
        for (HWND shown : VisibleDialogs()) {
            if (WindowText(shown) == kAppTitle) boxes.emplace_back(shown, MessageBoxText(shown));
        }
        HWND transfer = transfers.Latest();
        if (user.duringTransfer && transfer != nullptr && IsWindow(transfer)) user.duringTransfer(transfer);
        for (const auto& [box, text] : boxes) {
            const size_t n = seen.boxes.size();
            seen.boxes.push_back(text);
            ClickButton(box, user.answer ? user.answer(box, n, text) : NoToQuestions(box));
            WaitForWindowGone(box);
        }
        Sleep(5);
    }
    click.get();
    seen.transfers = transfers.Created();
    return seen;
}

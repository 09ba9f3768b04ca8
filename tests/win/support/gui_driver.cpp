#include "tests/win/support/gui_driver.h"

#include <vector>

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

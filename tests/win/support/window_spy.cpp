#include "tests/win/support/window_spy.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kSpyId = 0x5059;

LRESULT CALLBACK SpyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* watch = reinterpret_cast<WindowWatch*>(data);
    try {
        (*watch)(message, wParam, lParam);
    } catch (...) {  // nothing may leave a window procedure
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, SpyProc, kSpyId);
        delete watch;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

std::string SetTextArgument(HWND window, LPARAM lParam) {
    if (lParam == 0) return {};
    if (!IsWindowUnicode(window)) return reinterpret_cast<const char*>(lParam);
    const auto* wide = reinterpret_cast<const wchar_t*>(lParam);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.pop_back();  // the terminator
    return text;
}

bool WatchWindow(HWND window, WindowWatch watch) {
    auto* owned = new WindowWatch(std::move(watch));
    if (SetWindowSubclass(window, SpyProc, kSpyId, reinterpret_cast<DWORD_PTR>(owned))) return true;
    delete owned;
    return false;
}

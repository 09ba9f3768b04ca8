// ANSI stand-ins for the three wide-character calls that the compiler's own
// libraries make: libgcc's thread support (behind the exception unwinder and the
// emulated thread-local storage) creates its semaphores with CreateSemaphoreW, and
// the C runtime's locale and random-number helpers look modules up with
// GetModuleHandleW and LoadLibraryW. The Windows 98 family has these only as stubs
// that fail. A semaphore that was never created leaves the unwinder's lock without
// its wait: two threads throwing at once would both enter it.
//
// This file defines the import slots that those libraries call through, so the
// link takes these functions instead of the system's wide ones and the program
// imports only ANSI calls. It must be linked into the program as an object file
// (not from a library), ahead of the system's import libraries.
#include <windows.h>

#include <vector>

namespace {

// The ANSI form of a wide name; false when it has none.
bool AnsiName(LPCWSTR wide, std::vector<char>& ansi) {
    const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    ansi.resize(static_cast<size_t>(length));
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi.data(), length, nullptr, nullptr) == length;
}

// No exception may leave these: they run inside the runtime's own code.
HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name) noexcept {
    if (name == nullptr) return CreateSemaphoreA(security, initial, maximum, nullptr);
    try {
        std::vector<char> ansi;
        if (AnsiName(name, ansi)) return CreateSemaphoreA(security, initial, maximum, ansi.data());
    } catch (...) {
    }
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
}

HMODULE WINAPI GetModuleHandleAnsi(LPCWSTR name) noexcept {
    if (name == nullptr) return GetModuleHandleA(nullptr);
    try {
        std::vector<char> ansi;
        if (AnsiName(name, ansi)) return GetModuleHandleA(ansi.data());
    } catch (...) {
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HMODULE WINAPI LoadLibraryAnsi(LPCWSTR name) noexcept {
    try {
        std::vector<char> ansi;
        if (name != nullptr && AnsiName(name, ansi)) return LoadLibraryA(ansi.data());
    } catch (...) {
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

}  // namespace

// The linker's names of the import slots: decorated with the argument bytes of a
// __stdcall function on 32-bit Windows.
#ifdef _WIN64
#define NIMBREL_IMPORT_SLOT(function, argumentBytes) "__imp_" #function
#else
#define NIMBREL_IMPORT_SLOT(function, argumentBytes) "__imp__" #function "@" #argumentBytes
#endif

extern "C" {
decltype(&CreateSemaphoreW) nimbrel_CreateSemaphoreW __asm__(NIMBREL_IMPORT_SLOT(CreateSemaphoreW, 16)) =
    CreateSemaphoreAnsi;
decltype(&GetModuleHandleW) nimbrel_GetModuleHandleW __asm__(NIMBREL_IMPORT_SLOT(GetModuleHandleW, 4)) =
    GetModuleHandleAnsi;
decltype(&LoadLibraryW) nimbrel_LoadLibraryW __asm__(NIMBREL_IMPORT_SLOT(LoadLibraryW, 4)) = LoadLibraryAnsi;
}

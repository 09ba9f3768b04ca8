// The ANSI stand-ins of framework/wide_call_stand_ins.cpp, linked as the program links them:
// every wide call below goes through the import slot the stand-ins define, which is
// what the exception unwinder's lock and the C runtime's helpers call in the shipped
// program. Prints each failed check and exits 1 when there is any.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {

int failures = 0;

void Check(bool passed, const char* what) {
    if (passed) return;
    std::printf("failed: %s (last error %lu)\n", what, GetLastError());
    ++failures;
}

}  // namespace

int main() {
    // A semaphore of (0, N): it starts empty and takes N releases, no more.
    constexpr LONG kMaximum = 3;
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"nimbrel-stand-in-check"}) {
        const HANDLE semaphore = CreateSemaphoreW(nullptr, 0, kMaximum, name);
        Check(semaphore != nullptr, name ? "named semaphore created" : "unnamed semaphore created");
        if (semaphore == nullptr) continue;
        Check(WaitForSingleObject(semaphore, 0) == WAIT_TIMEOUT, "a new semaphore is not signalled");
        for (LONG i = 0; i < kMaximum; ++i) Check(ReleaseSemaphore(semaphore, 1, nullptr), "released up to its maximum");
        Check(!ReleaseSemaphore(semaphore, 1, nullptr) && GetLastError() == ERROR_TOO_MANY_POSTS,
              "no release beyond its maximum");
        CloseHandle(semaphore);
    }

    // Module look-ups find what is loaded and fail cleanly for what is not.
    Check(GetModuleHandleW(nullptr) == GetModuleHandleA(nullptr), "the program's own module");
    Check(GetModuleHandleW(L"kernel32.dll") == GetModuleHandleA("kernel32.dll"), "a loaded module");
    SetLastError(ERROR_SUCCESS);
    Check(GetModuleHandleW(L"nimbrel-no-such-module.dll") == nullptr && GetLastError() != ERROR_SUCCESS,
          "no handle for a module not loaded");
    const HMODULE loaded = LoadLibraryW(L"kernel32.dll");
    Check(loaded == GetModuleHandleA("kernel32.dll"), "a module loaded by name");
    if (loaded != nullptr) FreeLibrary(loaded);
    SetLastError(ERROR_SUCCESS);
    Check(LoadLibraryW(L"nimbrel-no-such-module.dll") == nullptr && GetLastError() != ERROR_SUCCESS,
          "no module that does not exist");

    if (failures == 0) std::printf("wide-call stand-ins: all checks passed\n");
    return failures == 0 ? 0 : 1;
}

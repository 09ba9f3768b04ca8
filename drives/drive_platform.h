// The platform calls that drive discovery makes, gathered in one table so that
// tests can stand in scripted drives for the real ones. A default table is a
// machine without drives: no version answer, no drive roots, no ASPI library,
// every other call failing.
#pragma once

#include <windows.h>

#include <functional>

struct DrivePlatform {
    std::function<BOOL(OSVERSIONINFOA*)> getVersionEx = [](OSVERSIONINFOA*) { return FALSE; };

    // Files and devices.
    std::function<DWORD(DWORD length, char* buffer)> getLogicalDriveStrings = [](DWORD, char*) -> DWORD {
        return 0;
    };
    std::function<HANDLE(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                         DWORD disposition, DWORD flags, HANDLE model)>
        createFile = [](const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
            return INVALID_HANDLE_VALUE;
        };
    std::function<UINT(const char* root)> getDriveType = [](const char*) -> UINT { return DRIVE_NO_ROOT_DIR; };
    std::function<BOOL(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                       DWORD* returned, OVERLAPPED* overlapped)>
        deviceIoControl = [](HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD*, OVERLAPPED*) { return FALSE; };
    std::function<BOOL(HANDLE device)> cancelIo = [](HANDLE) { return FALSE; };
    std::function<BOOL(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait)>
        getOverlappedResult = [](HANDLE, OVERLAPPED*, DWORD*, BOOL) { return FALSE; };

    // Events, waits and handles.
    std::function<HANDLE(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL signalled, const char* name)>
        createEvent = [](SECURITY_ATTRIBUTES*, BOOL, BOOL, const char*) -> HANDLE { return nullptr; };
    std::function<BOOL(HANDLE event)> resetEvent = [](HANDLE) { return FALSE; };
    std::function<DWORD(HANDLE object, DWORD milliseconds)> waitForSingleObject = [](HANDLE, DWORD) -> DWORD {
        return WAIT_FAILED;
    };
    std::function<BOOL(HANDLE object)> closeHandle = [](HANDLE) { return FALSE; };
    std::function<DWORD()> getLastError = []() -> DWORD { return ERROR_CALL_NOT_IMPLEMENTED; };

    // The ASPI library, loaded at run time; its entry points are called through
    // the addresses that getProcAddress answers.
    std::function<HMODULE(const char* name)> loadLibrary = [](const char*) -> HMODULE { return nullptr; };
    std::function<FARPROC(HMODULE module, const char* name)> getProcAddress = [](HMODULE, const char*) -> FARPROC {
        return nullptr;
    };
    std::function<BOOL(HMODULE module)> freeLibrary = [](HMODULE) { return FALSE; };
};

// The table of the real Win32 calls.
const DrivePlatform& RealDrivePlatform();

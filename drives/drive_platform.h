// The platform calls that drive discovery makes, gathered in one table so that
// tests can stand in scripted drives for the real ones.
#pragma once

#include <windows.h>

#include <functional>

struct DrivePlatform {
    std::function<BOOL(OSVERSIONINFOA*)> getVersionEx;

    // Files and devices.
    std::function<DWORD(DWORD length, char* buffer)> getLogicalDriveStrings;
    std::function<HANDLE(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                         DWORD disposition, DWORD flags, HANDLE model)>
        createFile;
    std::function<UINT(const char* root)> getDriveType;
    std::function<BOOL(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                       DWORD* returned, OVERLAPPED* overlapped)>
        deviceIoControl;
    std::function<BOOL(HANDLE device)> cancelIo;

    // Events, waits and handles.
    std::function<HANDLE(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL signalled, const char* name)>
        createEvent;
    std::function<BOOL(HANDLE event)> resetEvent;
    std::function<DWORD(HANDLE object, DWORD milliseconds)> waitForSingleObject;
    std::function<BOOL(HANDLE object)> closeHandle;
    std::function<DWORD()> getLastError;

    // The ASPI library, loaded at run time; its entry points are called through
    // the addresses that getProcAddress answers.
    std::function<HMODULE(const char* name)> loadLibrary;
    std::function<FARPROC(HMODULE module, const char* name)> getProcAddress;
    std::function<BOOL(HMODULE module)> freeLibrary;
};

// The table of the real Win32 calls.
const DrivePlatform& RealDrivePlatform();

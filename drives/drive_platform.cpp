#include "drives/drive_platform.h"

namespace {

// CancelIo is an NT call (NT 4.0 and later) that the Windows 98 family does not
// export, and a missing import would stop the program loading there: it is looked
// up when first needed, and only the NT transport needs it. Where it is missing,
// nothing is cancelled and the request keeps what it owns, as after any cancel
// that does not end it.
BOOL CancelIoWhereAvailable(HANDLE device) {
    using CancelIoFunction = BOOL(WINAPI*)(HANDLE);
    static const auto cancelIo = reinterpret_cast<CancelIoFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "CancelIo")));
    if (cancelIo == nullptr) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return cancelIo(device);
}

}  // namespace

const DrivePlatform& RealDrivePlatform() {
    static const DrivePlatform real{
        [](OSVERSIONINFOA* info) { return GetVersionExA(info); },
        [](DWORD length, char* buffer) { return GetLogicalDriveStringsA(length, buffer); },
        [](const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
           DWORD flags, HANDLE model) {
            return CreateFileA(name, access, share, security, disposition, flags, model);
        },
        [](const char* root) { return GetDriveTypeA(root); },
        [](HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength, DWORD* returned,
           OVERLAPPED* overlapped) {
            return DeviceIoControl(device, code, in, inLength, out, outLength, returned, overlapped);
        },
        CancelIoWhereAvailable,
        [](HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
            return GetOverlappedResult(device, overlapped, transferred, wait);
        },
        [](SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL signalled, const char* name) {
            return CreateEventA(security, manualReset, signalled, name);
        },
        [](HANDLE event) { return ResetEvent(event); },
        [](HANDLE object, DWORD milliseconds) { return WaitForSingleObject(object, milliseconds); },
        [](HANDLE object) { return CloseHandle(object); },
        [] { return GetLastError(); },
        [](const char* name) { return LoadLibraryA(name); },
        [](HMODULE module, const char* name) { return GetProcAddress(module, name); },
        [](HMODULE module) { return FreeLibrary(module); },
    };
    return real;
}

#include "drives/drive_platform.h"

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
        [](HANDLE device) { return CancelIo(device); },
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

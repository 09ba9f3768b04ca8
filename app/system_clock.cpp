#include "app/system_clock.h"

#include <windows.h>

#include "app/update_record.h"

int64_t UnixTimeNow() {
    // FILETIME counts 100 ns from 1601, 11644473600 s before 1970.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000) - 11644473600;
}

int64_t ComputerStartNow(bool& wrappingTicks) {
    using TickCount64Function = ULONGLONG(WINAPI*)();
    static const auto tickCount64 = reinterpret_cast<TickCount64Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "GetTickCount64")));
    wrappingTicks = tickCount64 == nullptr;
    const uint64_t uptimeMs = tickCount64 != nullptr ? tickCount64() : GetTickCount();
    return ComputerStart(UnixTimeNow(), uptimeMs);
}

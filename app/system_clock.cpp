#include "app/system_clock.h"

#include <windows.h>

namespace {

constexpr char kBootKey[] = "Software\\Nimbrel\\Boot";

bool Windows98Family() { return (GetVersion() & 0x80000000) != 0; }

// The token of the boot key: when it was made, as its last write time says (nothing
// writes to it afterwards).
RestartSign BootKeySign(HKEY key) {
    FILETIME made{};
    RestartSign sign;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &made) == ERROR_SUCCESS) {
        sign.kind = RestartSign::Kind::kBootKey;
        sign.value = static_cast<uint64_t>(made.dwHighDateTime) << 32 | made.dwLowDateTime;
    }
    RegCloseKey(key);
    return sign;
}

RestartSign TicksSign() {
    return {RestartSign::Kind::kTicks, GetTickCount(), UnixTimeNow()};
}

}  // namespace

int64_t UnixTimeNow() {
    // FILETIME counts 100 ns from 1601, 11644473600 s before 1970.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000) - 11644473600;
}

RestartSign TakeRestartSign() {
    if (Windows98Family()) return TicksSign();
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBootKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_QUERY_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return BootKeySign(key);
}

RestartSign RestartSignNow() {
    if (Windows98Family()) return TicksSign();
    HKEY key;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kBootKey, 0, KEY_QUERY_VALUE, &key);
    // No key: the computer has restarted since any was made.
    if (status == ERROR_FILE_NOT_FOUND) return {RestartSign::Kind::kBootKey, 0, 0};
    return status == ERROR_SUCCESS ? BootKeySign(key) : RestartSign{};
}

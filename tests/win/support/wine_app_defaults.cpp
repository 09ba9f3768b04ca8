#include "tests/win/support/wine_app_defaults.h"

#include <windows.h>

// Windows Vista's call, which Wine has; the build's target macros (the program's
// floor, Windows 98 and NT 4.0) hide its declaration.
extern "C" LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subkey);

WineAppDefaults::WineAppDefaults(const std::string& exeName) : key_("Software\\Wine\\AppDefaults\\" + exeName) {
    RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
}

WineAppDefaults::~WineAppDefaults() { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

bool WineAppDefaults::SetVersion(const std::string& version) { return SetValue("", "Version", version); }

bool WineAppDefaults::SetDllOverride(const std::string& dll, const std::string& order) {
    return SetValue("\\DllOverrides", dll, order);
}

bool WineAppDefaults::SetValue(const std::string& subkey, const std::string& name, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, (key_ + subkey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

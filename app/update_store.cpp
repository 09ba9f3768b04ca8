#include "app/update_store.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace {

constexpr char kUpdatesKey[] = "Software\\Nimbrel\\Updates";

}  // namespace

void StoreUpdate(const std::string& name, const std::string& data) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kUpdatesKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

std::vector<StoredUpdate> StoredUpdates() {
    std::vector<StoredUpdate> updates;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUpdatesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return updates;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        std::string name(longestName + 1, '\0');
        std::string data(longestData + 1, '\0');
        for (DWORD i = 0; i < count; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size()), dataLength = static_cast<DWORD>(data.size());
            DWORD type = 0;
            if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                              &dataLength) != ERROR_SUCCESS) {
                continue;
            }
            StoredUpdate update{name.substr(0, nameLength), {}};
            // REG_SZ data counts its terminator, when it has one.
            if (type == REG_SZ) {
                update.data.assign(data.data(), dataLength);
                update.data.erase(std::min(update.data.find('\0'), update.data.size()));
            }
            updates.push_back(std::move(update));
        }
    }
    RegCloseKey(key);
    return updates;
}

bool ForgetStoredUpdate(const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUpdatesKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    const LONG status = RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

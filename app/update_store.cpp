#include "app/update_store.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace {

constexpr char kUpdatesKey[] = "Software\\Nimbrel\\Updates";
// Values longer than this are none of ours.
constexpr DWORD kLongestValue = 64 * 1024;

}  // namespace

bool StoreUpdate(const std::string& name, const std::string& data) {
    HKEY key;
    // RegFlushKey needs KEY_QUERY_VALUE.
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kUpdatesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // Both families write the registry to the disk lazily; a flasher that restarts the
    // computer when it is done must not beat the write.
    const bool stored = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                       static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS &&
                        RegFlushKey(key) == ERROR_SUCCESS;
    RegCloseKey(key);
    return stored;
}

std::vector<StoredUpdate> StoredUpdates() {
    std::vector<StoredUpdate> updates;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUpdatesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return updates;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        // The longest name is counted in UTF-16 units on the NT family, which may be
        // fewer than its ANSI bytes: a value that does not fit is asked for again.
        std::string name(longestName + 1, '\0');
        std::string data(longestData + 1, '\0');
        for (DWORD i = 0; i < count;) {
            DWORD nameLength = static_cast<DWORD>(name.size()), dataLength = static_cast<DWORD>(data.size());
            DWORD type = 0;
            const LONG status = RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type,
                                              reinterpret_cast<BYTE*>(data.data()), &dataLength);
            if (status == ERROR_MORE_DATA && data.size() < kLongestValue) {
                name.resize(std::min<size_t>(name.size() * 2, 16384));
                data.resize(data.size() * 2);
                continue;
            }
            ++i;
            if (status != ERROR_SUCCESS) continue;
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
    return status == ERROR_SUCCESS;
}

#include "app/signed_list.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <utility>

#include "app/system_clock.h"
#include "list/update_list.h"
#include "transfer/http_download_dlg.h"

namespace {

constexpr char kAcceptedListsKey[] = "Software\\Nimbrel\\Lists";

// As the signature names the model: trailing blanks do not count.
std::string ValueName(const std::string& model) { return model.substr(0, model.find_last_not_of(' ') + 1); }

std::optional<uint32_t> NewestAccepted(const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kAcceptedListsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

// A list that cannot be remembered is still the maker's: it is read all the same.
void RememberAccepted(const std::string& name, uint32_t issued) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kAcceptedListsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD value = issued;
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

}  // namespace

ListVerdict VerifyUpdateList(const std::string& list, const std::string& server, const std::string& model,
                             const std::vector<std::string>& keyLines) {
    std::string signature;
    {
        CHttpDownloadDlg download;
        download.m_Url = ListSignatureUrl(server, model);
        download.m_ToMemory = true;
        download.m_Bound.most = kMaxListSignatureSize;
        if (download.DoModal() != IDOK) return ListVerdict::kNotSignedByMaker;
        signature = std::move(download.m_Body);
    }
    ListExpectations expectations;
    for (const std::string& line : keyLines) {
        if (const std::optional<ListKey> key = ParseListKey(line)) expectations.keys.push_back(*key);
    }
    expectations.model = model;
    expectations.now = UnixTimeNow();
    const std::string name = ValueName(model);
    expectations.newestIssued = NewestAccepted(name);
    const ListSignatureResult result = CheckListSignature(list, signature, expectations);
    if (result.check == ListSignatureCheck::kVerified) RememberAccepted(name, result.issued);
    return VerdictOf(result.check);
}

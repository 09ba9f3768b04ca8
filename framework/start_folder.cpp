#include "framework/start_folder.h"

#include <windows.h>

#include <vector>

namespace {

// A folder name of the system's, without a trailing "\" unless it is a root.
std::string FolderName(std::string text) {
    if (text.size() > 3 && text.back() == '\\') text.pop_back();
    return text;
}

std::string CurrentFolder() {
    std::vector<char> buffer(MAX_PATH + 1);
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) {  // too small: the length needed, terminator included
        buffer.resize(length + 1);
        length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length >= buffer.size()) return {};
    return FolderName(std::string(buffer.data(), length));
}

std::string WindowsFolder() {
    char buffer[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return {};
    return FolderName(std::string(buffer, length));
}

// The folder of the running program, or "" when its path cannot be read whole.
std::string ProgramFolder() {
    std::vector<char> buffer(MAX_PATH + 1);
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    const std::string path(buffer.data(), length);
    const size_t separator = path.find_last_of('\\');
    if (separator == std::string::npos) return {};
    return path.substr(0, separator == 2 ? 3 : separator);  // "C:\" keeps its "\"
}

}  // namespace

bool LiesInFolder(const std::string& folder, const std::string& windowsFolder) {
    if (windowsFolder.empty() || folder.size() < windowsFolder.size()) return false;
    if (folder.size() > windowsFolder.size() && folder[windowsFolder.size()] != '\\' && windowsFolder.back() != '\\') {
        return false;
    }
    return lstrcmpiA(folder.substr(0, windowsFolder.size()).c_str(), windowsFolder.c_str()) == 0;
}

StartFolder::StartFolder() {
    if (!LiesInFolder(CurrentFolder(), WindowsFolder())) return;
    const std::string program = ProgramFolder();
    // Should that fail, the files go where they always went.
    if (!program.empty()) SetCurrentDirectoryA(program.c_str());
}

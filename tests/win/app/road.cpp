#include "tests/win/app/road.h"

#include <commctrl.h>

#include <sstream>

#include "tests/win/support/peers.h"
#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"

const char* const kRoadUrls[kRoadRows] = {
    "fw/xr1680/XR1680_110.exe", "fw/xr1680/XR1680_108.EXE",         "fw/xr1680/XR1680_106.zip",
    "fw/exe/XR1680_105.bin",    "fw/xr1680/XR1680_104.Exe",         "fw/xr1680/XR1680_103_missing.exe",
    "fw/xr1680/XR1680_102_cut.exe", "fw/xr1680/XR1680_101.exe",         "fw/xr1680/XR1680_100_replaced.exe",
    "fw/xr1680/XR1680_099.exe",
};

ListRows RoadListRows() {
    const char* const releases[kRoadRows][2] = {
        {"1.10", "2005/03/01"}, {"1.08", "2004/12/10"}, {"1.06", "2004/10/05"}, {"1.05", "2004/08/20"},
        {"1.04", "2004/06/15"}, {"1.03", "2004/04/01"}, {"1.02", "2004/03/01"}, {"1.01", "2004/01/10"},
        {"1.00", "2003/11/20"}, {"0.99", "2003/09/30"},
    };
    ListRows rows;
    for (const auto& release : releases) rows.push_back({"DVD-RW XR-1680", "1.02", release[0], release[1]});
    return rows;
}

const char* const kWebUrls[kWebRows] = {"fw/xr2080/XR2080_210.exe", "fw/xr2080/XR2080_208_missing.exe"};

ListRows WebListRows() {
    return {{"DVD-RW XR-2080", "2.00", "2.10", "2006/05/02"}, {"DVD-RW XR-2080", "2.00", "2.08", "2006/01/16"}};
}

namespace {

std::string FtpRoot() { return PeerScratch() + "\\ftp"; }
std::string FtpLog() { return PeerScratch() + "\\ftp-commands.log"; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

::testing::AssertionResult RoadServersUp(const std::string& updateServer, const char* portVariable) {
    const bool secure = updateServer.rfind("https://", 0) == 0;
    const size_t scheme = updateServer.find("://");
    const std::string hostAndPort = scheme == std::string::npos ? updateServer : updateServer.substr(scheme + 3);
    const size_t colon = hostAndPort.rfind(':');
    const int updatePort = colon != std::string::npos ? std::stoi(hostAndPort.substr(colon + 1)) : secure ? 443 : 80;
    if (PeerPort(portVariable) != updatePort || PeerPort("NIMBREL_FTP_PORT") != 21) {
        return ::testing::AssertionFailure() << "run this test through ctest: it needs the update-list server on port "
                                             << updatePort << " and the FTP server on port 21";
    }
    return ::testing::AssertionSuccess();
}

std::string ServeFirmware(const std::string& flasherPath, size_t size) {
    std::string flasher = ReadFileBytes(flasherPath.empty() ? BuildPath("tests/peers/flasher/flasher.exe") : flasherPath);
    if (flasher.size() < size) flasher.resize(size, '\0');
    std::vector<std::string> urls(kRoadUrls, kRoadUrls + kRoadRows);
    urls.insert(urls.end(), kWebUrls, kWebUrls + kWebRows);
    urls.push_back(kEndlessUrl);
    for (std::string url : urls) {
        if (url.find("_missing") != std::string::npos) continue;
        std::string path = FtpRoot();
        for (size_t slash; (slash = url.find('/')) != std::string::npos; url.erase(0, slash + 1)) {
            path += "\\" + url.substr(0, slash);
            CreateDirectoryA(path.c_str(), nullptr);
        }
        WriteFileBytes(path + "\\" + url, flasher);
    }
    return flasher;
}

std::vector<std::string> FtpCommands() {
    std::vector<std::string> commands = Lines(ReadFileBytes(FtpLog()));
    WriteFileBytes(FtpLog(), "");
    return commands;
}

std::vector<std::string> Downloads(const std::vector<std::string>& commands) {
    std::vector<std::string> downloads;
    for (const std::string& command : commands) {
        if (command.rfind("RETR ", 0) == 0) downloads.push_back(command);
    }
    return downloads;
}

std::vector<FlasherRun> FlasherRuns(const std::string& folder) {
    std::vector<FlasherRun> runs;
    for (const std::string& line : Lines(ReadFileBytes(folder + "\\flasher-run.txt"))) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
        if (name == "folder") runs.push_back({value, "", ""});
        if (runs.empty()) continue;
        if (name == "program") runs.back().program = value;
        if (name == "arguments") runs.back().arguments = value;
    }
    return runs;
}

std::vector<FlasherRun> WaitForFlasherRuns(const std::string& folder, size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::vector<FlasherRun> runs = FlasherRuns(folder);
    while (runs.size() < count && GetTickCount() - start < timeoutMs) {
        Sleep(50);
        runs = FlasherRuns(folder);
    }
    return runs;
}

::testing::AssertionResult WaitForSelection(HWND list, int count, int mark, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const int selected = static_cast<int>(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
        const int seenMark = static_cast<int>(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0));
        if (selected == count && seenMark == mark) return ::testing::AssertionSuccess();
        if (GetTickCount() - start > timeoutMs) {
            return ::testing::AssertionFailure() << selected << " rows selected with the mark on " << seenMark
                                                 << ", expected " << count << " with the mark on " << mark;
        }
        Sleep(20);
    }
}

bool DeleteSoon(const std::string& path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

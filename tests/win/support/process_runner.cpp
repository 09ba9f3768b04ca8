#include "tests/win/support/process_runner.h"

#include <vector>

#include "tests/win/support/gui_driver.h"
#include "tests/win/support/scratch_dir.h"

std::string BuildPath(const std::string& relative) { return WinePath(std::string(NIMBREL_BUILD_DIR) + "/" + relative); }

RunningProgram::RunningProgram(const std::string& exe, const std::string& arguments, const std::string& workdir) {
    std::string line = "\"" + exe + "\"";
    if (!arguments.empty()) line += " " + arguments;
    std::vector<char> mutableLine(line.begin(), line.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workdir.c_str(),
                        &startup, &process_)) {
        process_ = PROCESS_INFORMATION{};
    }
}

RunningProgram::~RunningProgram() {
    if (!Started()) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

DWORD RunningProgram::Wait(DWORD timeoutMs) {
    if (!Started()) return STILL_ACTIVE;
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

DWORD RunProgram(const std::string& exe, const std::string& workdir, DWORD timeoutMs) {
    RunningProgram program(exe, "", workdir);
    if (!program.Started()) return STILL_ACTIVE;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        const DWORD code = program.Wait(50);
        if (code != STILL_ACTIVE) return code;
        if (HWND window = WaitForWindow(nullptr, nullptr, 0, program.ProcessId())) {
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
    }
    return STILL_ACTIVE;
}

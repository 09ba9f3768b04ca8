// Starting programs of the build (the real nimbrel.exe among them) from a test.
#pragma once

#include <windows.h>

#include <string>

// The Windows path of a file in the build tree, e.g. BuildPath("nimbrel.exe").
std::string BuildPath(const std::string& relative);

class RunningProgram {
public:
    // Starts `exe` with `arguments` in `workdir`; nothing when it cannot start.
    RunningProgram(const std::string& exe, const std::string& arguments, const std::string& workdir);
    ~RunningProgram();  // a program still running is terminated
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    DWORD ProcessId() const { return process_.dwProcessId; }
    // Waits for the end; answers the exit code, or STILL_ACTIVE after the time-out.
    DWORD Wait(DWORD timeoutMs);

private:
    PROCESS_INFORMATION process_{};
};

// Runs a program to its end (terminated after `timeoutMs`) and answers its exit
// code. A program that shows a window instead of ending (the main dialog) has
// that window cancelled, as a user pressing Escape would.
DWORD RunProgram(const std::string& exe, const std::string& workdir, DWORD timeoutMs = 60000);

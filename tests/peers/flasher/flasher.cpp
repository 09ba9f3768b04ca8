// A stand-in for a maker's flasher. The firmware download serves it as the
// firmware file; when started it records how it was started in "flasher-run.txt"
// beside itself and ends. Each start appends one record, so a test can count them:
//   folder=<current directory>
//   program=<its own full path>
//   arguments=<command line after the program name>
#include <windows.h>

#include <string>

namespace {

std::string AfterProgramName(const char* line) {
    // The program name is quoted or ends at the first blank.
    const char* p = line;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, sizeof program);

    std::string record = std::string("folder=") + folder + "\r\nprogram=" + program +
                         "\r\narguments=" + AfterProgramName(GetCommandLineA()) + "\r\n";

    std::string path = program;
    path = path.substr(0, path.find_last_of('\\') + 1) + "flasher-run.txt";
    HANDLE file =
        CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return written == record.size() ? 0 : 1;
}

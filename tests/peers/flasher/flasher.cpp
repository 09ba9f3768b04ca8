// A stand-in for a maker's flasher. The firmware download serves it as the
// firmware file; when started it records how it was started in "flasher-run.txt"
// beside itself and ends. Each start appends one record, so a test can count them:
//   folder=<current directory>
//   program=<its own full path>
//   arguments=<command line after the program name>
// As a flasher would, it can give a drive new firmware: "flasher-sets.txt" beside it,
// one line "<letter>|<revision>", sets that drive's revision in the machine described
// beside it, for the simulated ASPI library ("wnaspi32.txt", see tests/peers/aspi) or
// the simulated NT machine ("ntscsi.txt", see tests/peers/ntscsi), whichever is there.
#include <windows.h>

#include <fstream>
#include <sstream>
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

// The revision field, the last of a line of `kind` whose letter field (`letterField`,
// counted from 1) is `letter`, in the description `path`, if there is one.
void SetRevision(const std::string& path, const std::string& kind, int letterField, const std::string& letter,
                 const std::string& revision) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::string machine;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < letterField && std::getline(fields, field, '|'); ++i) {}
        if (line.rfind(kind + "|", 0) == 0 && field == letter) line = line.substr(0, line.rfind('|') + 1) + revision;
        machine += line + "\n";
    }
    in.close();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << machine;
}

void ApplySettings(const std::string& folder) {
    std::ifstream settings(folder + "flasher-sets.txt");
    std::string line;
    if (!std::getline(settings, line) || line.find('|') == std::string::npos) return;
    const std::string letter = line.substr(0, line.find('|')), revision = line.substr(line.find('|') + 1);
    SetRevision(folder + "wnaspi32.txt", "target", 6, letter, revision);
    SetRevision(folder + "ntscsi.txt", "drive", 2, letter, revision);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, sizeof program);

    std::string record = std::string("folder=") + folder + "\r\nprogram=" + program +
                         "\r\narguments=" + AfterProgramName(GetCommandLineA()) + "\r\n";

    const std::string beside = std::string(program).substr(0, std::string(program).find_last_of('\\') + 1);
    ApplySettings(beside);
    const std::string path = beside + "flasher-run.txt";
    HANDLE file =
        CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return written == record.size() ? 0 : 1;
}

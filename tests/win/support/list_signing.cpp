#include "tests/win/support/list_signing.h"

#include <windows.h>

#include <ctime>
#include <sstream>

#include "tests/win/support/peers.h"
#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"

namespace {

std::string SecondLine(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

std::string TestListKey() { return SecondLine(ReadFileBytes(BuildPath("list-key/minisign.pub"))); }

std::string PeerListKey(int port, const std::string& name) {
    std::string line = PeerGet(port, "/_key?name=" + name);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

bool SetListSigning(int port, const std::string& settings) {
    return PeerGet(port, "/_signing?" + settings) == "ok\n";
}

void ForgetAcceptedLists() { RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Nimbrel\\Lists"); }

int64_t UnixNow() { return static_cast<int64_t>(std::time(nullptr)); }

#include "tests/win/support/peers.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "tests/win/support/scratch_dir.h"

namespace {

std::string Environment(const std::string& name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

}  // namespace

unsigned PeerPort(const std::string& name) {
    std::string variable = "NIMBREL_PEER_";
    for (char c : name) variable += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    variable += "_PORT";
    return static_cast<unsigned>(std::strtoul(Environment(variable).c_str(), nullptr, 10));
}

std::string PeerScratch() {
    const std::string unixPath = Environment("NIMBREL_PEER_SCRATCH");
    return unixPath.empty() ? std::string() : WinePath(unixPath);
}

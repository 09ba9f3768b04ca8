#include "tests/win/support/list_signing.h"

#include <windows.h>

#include "tests/win/support/peers.h"
#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"

namespace {

// The key line of a minisign.pub.
std::string KeyLine(const std::string& path) {
    const std::string text = ReadFileBytes(path);
    const size_t start = text.find('\n') + 1;
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

}  // namespace

std::string TestListKey() { return KeyLine(BuildPath("list-key/minisign.pub")); }

std::string PeerListKey(const std::string& name) { return KeyLine(PeerScratch() + "\\keys\\" + name + ".pub"); }

bool SetListSigning(int port, const std::string& settings) { return PeerGet(port, "/_signing?" + settings) == "ok\n"; }

void ForgetAcceptedLists() { RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Nimbrel\\Lists"); }

void ForgetStartedUpdates() { RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Nimbrel\\Updates"); }

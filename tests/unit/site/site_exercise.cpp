// Where a release comes from and what it must hash to: a list's first Site and a
// release's URL to its address, and the release's SHA256 text to a digest. An input is
// the site, a zero byte, the URL, a zero byte and the digest text (a list's texts hold
// no zero byte).
//
// The promises: an address is a web one only for a site that begins with http:// or
// https://, in any letter case; a digest comes only from exactly 64 hexadecimal
// digits, and is those digits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "list/update_list.h"
#include "digest/sha256.h"
#include "tests/unit/fuzz/fuzz_require.h"

namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

void ExerciseSiteInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find('\0');
    const size_t second = first == std::string::npos ? std::string::npos : input.find('\0', first + 1);
    const std::string site = input.substr(0, first);
    const std::string location = first == std::string::npos ? std::string() : input.substr(first + 1, second - first - 1);
    const std::string digestText = second == std::string::npos ? std::string() : input.substr(second + 1);

    const ReleaseAddress address = ReleaseAddressOf(site, location);
    const std::string scheme = LowerCase(site.substr(0, 8));
    FuzzRequire(address.via != ReleaseAddress::Via::kWeb || scheme.rfind("http://", 0) == 0 || scheme == "https://",
                "web only for an http:// or https:// site");

    const std::optional<Sha256::Digest> digest = ParseDigest(digestText);
    const bool hex = digestText.size() == 64 && std::all_of(digestText.begin(), digestText.end(), IsHexDigit);
    FuzzRequire(digest.has_value() == hex, "a digest from exactly 64 hexadecimal digits");
    FuzzRequire(!digest || ToHex(*digest) == LowerCase(digestText), "the digest is those digits");
}

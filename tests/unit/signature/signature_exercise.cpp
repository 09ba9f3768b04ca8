// The list signature as the program reads it, before anything is verified. An input
// is a key line, "\n", the signature text, a zero byte and the list's bytes. The keys
// are this target's own (the seeds' key) and the input's key line when it is one.
//
// The promise: the signatures verify only for a list and trusted comment that a seed
// was signed with. The seeds were signed once with minisign, by a key pair made for
// them; its secret key was not kept, so a new signed seed needs a new pair, all the
// seeds signed again, and kSeedKey and kSigned replaced.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "list/list_signature.h"
#include "digest/sha256.h"
#include "tests/unit/fuzz/fuzz_require.h"

namespace {

constexpr std::string_view kSeedKey = "RWTPKoAkrvlF8ZzVIIy8dNX8LlbeXDwDE8qPWPdqJt78XcJEavzOLu5p";

// What the seeds' signatures vouch for: the list's SHA-256 and the trusted comment.
const struct {
    const char* listDigest;
    const char* comment;
} kSigned[] = {
    {"052a785ff018fefaa6161f30c29e7b329503233bc782bb59b68cf58860121c66",
     "model:DVD-RW XR-2080\tissued:1750000000\texpires:1800000000"},
    {"052a785ff018fefaa6161f30c29e7b329503233bc782bb59b68cf58860121c66", "model:DVD-RW XR-2080\tissued:1750000000"},
    {"686ddda148595312e5007fa6ece111aba0cd1663b5e5fd5fd2786f4326bdb07c",
     "model:DVD-RW XR-2080\tissued:1750000001\texpires:1800000000\tnote:legacy"},
    {"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
     "model:DVD-RW XR-2080\tissued:1740000000\texpires:1800000000"},
    {"1505361cf895ff5d1f50734bde49bb9fa09791c5cc7ff596c154d77eb1656063",
     "model:XR-ANSI\tissued:1750000000\texpires:1800000000"},
    {"1505361cf895ff5d1f50734bde49bb9fa09791c5cc7ff596c154d77eb1656063",
     "model:DVD-RW XR-2080\tissued:1750000000\texpires:1760000000"},
};

// The text of the trusted comment line, as a reader of the file sees it.
std::string_view TrustedComment(std::string_view signature) {
    constexpr std::string_view kLine = "\ntrusted comment: ";
    const size_t start = signature.find(kLine);
    if (start == std::string_view::npos) return {};
    std::string_view comment = signature.substr(start + kLine.size());
    comment = comment.substr(0, comment.find('\n'));
    if (!comment.empty() && comment.back() == '\r') comment.remove_suffix(1);
    return comment;
}

bool IsSigned(std::string_view list, std::string_view comment) {
    Sha256 hash;
    hash.Update(list.data(), list.size());
    const std::string digest = ToHex(hash.Finish());
    for (const auto& seed : kSigned) {
        if (digest == seed.listDigest && comment == seed.comment) return true;
    }
    return false;
}

}  // namespace

void ExerciseSignatureInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = rest.find('\n');
    const std::string_view keyLine = rest.substr(0, lineEnd);
    rest = lineEnd == std::string_view::npos ? std::string_view() : rest.substr(lineEnd + 1);
    const size_t zero = rest.find('\0');
    const std::string_view signature = rest.substr(0, zero);
    const std::string_view list = zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);

    ListExpectations expectations;
    const std::optional<ListKey> seedKey = ParseListKey(kSeedKey);
    FuzzRequire(seedKey.has_value(), "the seeds' key line is a key");
    expectations.keys.push_back(*seedKey);
    const std::optional<ListKey> key = ParseListKey(keyLine);
    FuzzRequire(!key || (keyLine.size() == 56 && keyLine.substr(0, 2) == "RW"), "a key line is 56 characters from RW");
    if (key) expectations.keys.push_back(*key);
    expectations.model = "DVD-RW XR-2080  ";
    expectations.now = 1770000000;
    expectations.newestIssued = 1745000000;

    const ListSignatureResult result = CheckListSignature(list, signature, expectations);
    if (result.check > ListSignatureCheck::kBadGlobalSignature) {
        FuzzRequire(IsSigned(list, TrustedComment(signature)), "verified only for a seed's list and trusted comment");
    }
}

#include "list/list_signature.h"

#include <algorithm>
#include <cstring>

#include "digest/blake2b.h"

namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard padded base64 (RFC 4648, 4) of exactly `size` bytes, with zero bits
// where the last character holds more than it needs, so that a value has one text.
bool DecodeBase64(std::string_view text, uint8_t* out, size_t size) {
    if (text.size() != 4 * ((size + 2) / 3)) return false;
    const size_t padding = (3 - size % 3) % 3;
    for (size_t i = text.size() - padding; i < text.size(); ++i) {
        if (text[i] != '=') return false;
    }
    uint32_t bits = 0;
    int count = 0;
    size_t written = 0;
    for (size_t i = 0; i < text.size() - padding; ++i) {
        const int value = Base64Value(text[i]);
        if (value < 0) return false;
        bits = bits << 6 | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out[written++] = static_cast<uint8_t>(bits >> count);
            bits &= (1u << count) - 1;
        }
    }
    return written == size && bits == 0;
}

// The signature's four lines without their ends.
bool SplitLines(std::string_view text, std::string_view (&lines)[4]) {
    size_t at = 0;
    for (std::string_view& line : lines) {
        if (at > text.size()) return false;
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            if (&line != &lines[3]) return false;
            end = text.size();
        }
        line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = end + 1;
    }
    return at >= text.size();
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Decimal digits only, at most `max`.
std::optional<uint64_t> Decimal(std::string_view text, uint64_t max) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (max - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

struct TrustedFields {
    std::string_view model;
    uint32_t issued = 0;
    uint64_t expires = 0;
};

std::optional<TrustedFields> ReadTrustedComment(std::string_view text) {
    std::optional<std::string_view> model, issued, expires;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find('\t', at), text.size());
        const std::string_view field = text.substr(at, end - at);
        at = end + 1;
        const size_t colon = field.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = field.substr(0, colon);
        std::optional<std::string_view>* slot = nullptr;
        if (key == "model") {
            slot = &model;
        } else if (key == "issued") {
            slot = &issued;
        } else if (key == "expires") {
            slot = &expires;
        } else {
            continue;
        }
        if (slot->has_value()) return std::nullopt;  // which of the two would count?
        *slot = field.substr(colon + 1);
    }
    if (!model || !issued || !expires) return std::nullopt;
    const std::optional<uint64_t> issuedValue = Decimal(*issued, UINT32_MAX);  // stored as a DWORD
    const std::optional<uint64_t> expiresValue = Decimal(*expires, UINT64_MAX);
    if (!issuedValue || !expiresValue) return std::nullopt;
    return TrustedFields{*model, static_cast<uint32_t>(*issuedValue), *expiresValue};
}

}  // namespace

std::optional<ListKey> ParseListKey(std::string_view line) {
    uint8_t bytes[42];
    if (!DecodeBase64(line, bytes, sizeof bytes) || bytes[0] != 'E' || bytes[1] != 'd') return std::nullopt;
    ListKey key;
    std::memcpy(key.id.data(), bytes + 2, key.id.size());
    std::memcpy(key.key.data(), bytes + 10, key.key.size());
    return key;
}

ListVerdict VerdictOf(ListSignatureCheck check) {
    switch (check) {
        case ListSignatureCheck::kVerified:
            return ListVerdict::kVerified;
        case ListSignatureCheck::kExpired:
            return ListVerdict::kExpired;
        case ListSignatureCheck::kOlder:
            return ListVerdict::kOlder;
        default:
            return ListVerdict::kNotSignedByMaker;
    }
}

ListSignatureResult CheckListSignature(std::string_view list, std::string_view signature,
                                       const ListExpectations& expectations) {
    using Check = ListSignatureCheck;
    ListSignatureResult result;
    if (signature.size() > kMaxListSignatureSize) {
        result.check = Check::kTooLarge;
        return result;
    }
    std::string_view lines[4];
    uint8_t signed_[74];  // algorithm, key id, signature
    Ed25519Signature global;
    constexpr std::string_view kUntrusted = "untrusted comment: ", kTrusted = "trusted comment: ";
    if (!SplitLines(signature, lines) || !StartsWith(lines[0], kUntrusted) ||
        !DecodeBase64(lines[1], signed_, sizeof signed_) || !StartsWith(lines[2], kTrusted) ||
        !DecodeBase64(lines[3], global.data(), global.size())) {
        return result;
    }
    const bool prehashed = signed_[0] == 'E' && signed_[1] == 'D';
    if (!prehashed && !(signed_[0] == 'E' && signed_[1] == 'd')) {
        result.check = Check::kUnknownAlgorithm;
        return result;
    }
    Ed25519Signature listSignature;
    std::memcpy(listSignature.data(), signed_ + 10, listSignature.size());
    std::string_view message = list;
    Blake2b512::Digest digest;
    if (prehashed) {
        Blake2b512 hash;
        hash.Update(list.data(), list.size());
        digest = hash.Finish();
        message = std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size());
    }
    const std::string_view comment = lines[2].substr(kTrusted.size());
    std::string globalMessage(reinterpret_cast<const char*>(listSignature.data()), listSignature.size());
    globalMessage += comment;

    // Reported when no key verifies both: the furthest any key with the id got.
    result.check = Check::kUnknownKeyId;
    bool verified = false;
    for (const ListKey& key : expectations.keys) {
        if (std::memcmp(key.id.data(), signed_ + 2, key.id.size()) != 0) continue;
        if (!Ed25519Verify(listSignature, message.data(), message.size(), key.key)) {
            result.check = std::max(result.check, Check::kBadSignature);
        } else if (!Ed25519Verify(global, globalMessage.data(), globalMessage.size(), key.key)) {
            result.check = Check::kBadGlobalSignature;
        } else {
            verified = true;
            break;
        }
    }
    if (!verified) return result;

    result.check = Check::kBadTrustedComment;
    const std::optional<TrustedFields> fields = ReadTrustedComment(comment);
    if (!fields) return result;
    result.issued = fields->issued;
    result.expires = fields->expires;
    std::string_view model = expectations.model;
    model = model.substr(0, model.find_last_not_of(' ') + 1);  // npos + 1 = 0: all blanks
    if (fields->model != model) {
        result.check = Check::kOtherModel;
    } else if (expectations.now >= 0 && fields->expires < static_cast<uint64_t>(expectations.now)) {
        result.check = Check::kExpired;
    } else if (expectations.newestIssued && fields->issued < *expectations.newestIssued) {
        result.check = Check::kOlder;
    } else {
        result.check = Check::kVerified;
    }
    return result;
}

std::string RefusalText(ListVerdict verdict) {
    switch (verdict) {
    case ListVerdict::kExpired:
        return "The update list could not be verified: it has expired. Please check the computer's date, or try "
               "again later.";
    case ListVerdict::kOlder:
        return "The update list could not be verified: it is older than the one received before.";
    default:
        return "The update list could not be verified: it was not signed by the maker.";
    }
}

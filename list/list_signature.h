// The maker's signature of an update list, in minisign's format: whether a list
// the server sent may decide what runs. Standard C++ only.
//
// The signature text is four lines (LF or CR LF ends; the last line's end may be
// missing):
//   untrusted comment: <anything>
//   base64(algorithm[2] key id[8] signature[64])
//   trusted comment: <text>
//   base64(global signature[64])
// Algorithm "ED" signs BLAKE2b-512 of the list, "Ed" the list itself; the global
// signature signs the 64 signature bytes followed by the trusted comment's text.
// The text is tab-separated key:value fields, of which model, issued and expires
// (Unix seconds) are required, each once; other fields are ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "digest/ed25519.h"

constexpr size_t kMaxListSignatureSize = 4096;

struct ListKey {
    std::array<uint8_t, 8> id;  // as stored, little-endian (minisign prints it reversed)
    Ed25519PublicKey key;
};

// The key line of a minisign public key file: base64 of "Ed", the key id and the
// key, 56 characters beginning "RW". None for any other text (blanks included).
std::optional<ListKey> ParseListKey(std::string_view line);

// What the check found: the first fault in this order, or kVerified.
enum class ListSignatureCheck {
    kTooLarge,            // more than kMaxListSignatureSize bytes
    kMalformed,           // not the four lines, or a line's base64 is not of its size
    kUnknownAlgorithm,    // neither "ED" nor "Ed"
    kUnknownKeyId,        // no key has the signature's key id
    kBadSignature,        // the list's signature does not verify
    kBadGlobalSignature,  // the trusted comment's does not
    kBadTrustedComment,   // a required field missing, repeated or malformed (issued beyond 32 bits)
    kOtherModel,          // signed for a model other than the one asked for
    kExpired,             // expires before the clock
    kOlder,               // issued before the newest list accepted earlier for the model
    kVerified,
};

// The outcomes a user can act on.
enum class ListVerdict { kVerified, kExpired, kOlder, kNotSignedByMaker };
ListVerdict VerdictOf(ListSignatureCheck check);
// What the user is told of a list that was not verified.
std::string RefusalText(ListVerdict verdict);

// What the program holds when a list arrives.
struct ListExpectations {
    std::vector<ListKey> keys;  // the maker's: one, or two while it rolls over to a new key
    std::string model;          // the model name as asked for; trailing blanks do not count
    int64_t now = 0;            // the clock, Unix seconds
    std::optional<uint32_t> newestIssued;  // of the newest list accepted before for the model
};

struct ListSignatureResult {
    ListSignatureCheck check = ListSignatureCheck::kMalformed;
    // The trusted comment's times, once its fields have been read: issued is what to
    // remember for the model when the list is verified.
    uint32_t issued = 0;
    uint64_t expires = 0;
};

// `list` is exactly the bytes the server sent, `signature` the text of its .minisig.
ListSignatureResult CheckListSignature(std::string_view list, std::string_view signature,
                                       const ListExpectations& expectations);

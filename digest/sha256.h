// SHA-256 as FIPS 180-2 defines it, fed in pieces of any size. Standard C++ only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "digest/block_buffer.h"

class Sha256 {
public:
    using Digest = std::array<uint8_t, 32>;

    void Update(const void* data, size_t size);
    // The digest of everything fed so far; the object then starts over.
    Digest Finish();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state_ = kInitialState;
    BlockBuffer<64> buffer_;
    uint64_t length_ = 0;  // bytes fed

    static constexpr std::array<uint32_t, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
};

// Lower-case hexadecimal, 64 digits.
std::string ToHex(const Sha256::Digest& digest);

// Exactly 64 hexadecimal digits, in either case; none for any other text (blanks
// included).
std::optional<Sha256::Digest> ParseDigest(const std::string& text);

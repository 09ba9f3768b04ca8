// SHA-512 as FIPS 180-4 defines it, fed in pieces of any size. Standard C++ only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "digest/block_buffer.h"

class Sha512 {
public:
    using Digest = std::array<uint8_t, 64>;

    // H(0) of FIPS 180-4; BLAKE2b's IV is the same eight words.
    static constexpr std::array<uint64_t, 8> kInitialState = {
        0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
        0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

    void Update(const void* data, size_t size);
    // The digest of everything fed so far; the object then starts over.
    Digest Finish();

private:
    void Compress(const uint8_t* block);

    std::array<uint64_t, 8> state_ = kInitialState;
    BlockBuffer<128> buffer_;
    uint64_t length_ = 0;  // bytes fed; messages of 2^61 bytes and more are not supported
};

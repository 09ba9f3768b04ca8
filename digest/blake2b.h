// BLAKE2b-512 as RFC 7693 defines it, unkeyed, fed in pieces of any size: the digest
// that minisign signs in its default (prehashed) form. Standard C++ only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "digest/block_buffer.h"

class Blake2b512 {
public:
    using Digest = std::array<uint8_t, 64>;

    Blake2b512();
    void Update(const void* data, size_t size);
    // The digest of everything fed so far; the object then starts over.
    Digest Finish();

private:
    void Compress(const uint8_t* block, bool last);

    std::array<uint64_t, 8> state_;
    BlockBuffer<128> buffer_;
    uint64_t length_ = 0;  // bytes compressed; t of RFC 7693 (its upper half stays zero)
};

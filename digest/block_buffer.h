// The bytes of a hash's input gathered into whole blocks, whatever the pieces it is
// fed in. Standard C++ only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

template <size_t BlockSize>
class BlockBuffer {
public:
    // Hands each complete block to compress(const uint8_t* block). With holdLast a
    // complete block that ends the data so far stays pending until more data comes:
    // BLAKE2b compresses its last block differently, and only Finish knows it.
    template <class Compress>
    void Feed(const void* data, size_t size, bool holdLast, Compress compress) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        while (size > 0) {
            if (pendingSize_ == BlockSize) {  // held back, and more data follows it
                compress(pending_.data());
                pendingSize_ = 0;
            }
            if (pendingSize_ == 0 && (size > BlockSize || (size == BlockSize && !holdLast))) {
                compress(bytes);
                bytes += BlockSize;
                size -= BlockSize;
                continue;
            }
            const size_t take = size < BlockSize - pendingSize_ ? size : BlockSize - pendingSize_;
            std::memcpy(pending_.data() + pendingSize_, bytes, take);
            pendingSize_ += take;
            bytes += take;
            size -= take;
            if (pendingSize_ == BlockSize && !holdLast) {
                compress(pending_.data());
                pendingSize_ = 0;
            }
        }
    }

    // The bytes not yet handed on (with holdLast, a whole block at most).
    uint8_t* pending() { return pending_.data(); }
    size_t pendingSize() const { return pendingSize_; }

private:
    std::array<uint8_t, BlockSize> pending_{};
    size_t pendingSize_ = 0;
};

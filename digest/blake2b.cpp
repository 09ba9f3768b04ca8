#include "digest/blake2b.h"

#include <cstring>

#include "digest/sha2.h"

namespace {

// RFC 7693, 2.7: the message word schedule of each round (rounds 10 and 11 repeat 0 and 1).
constexpr uint8_t kSigma[10][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
    {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
    {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
    {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
    {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
};

uint64_t Rotr(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

void Mix(uint64_t* v, int a, int b, int c, int d, uint64_t x, uint64_t y) {
    v[a] = v[a] + v[b] + x;
    v[d] = Rotr(v[d] ^ v[a], 32);
    v[c] = v[c] + v[d];
    v[b] = Rotr(v[b] ^ v[c], 24);
    v[a] = v[a] + v[b] + y;
    v[d] = Rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = Rotr(v[b] ^ v[c], 63);
}

std::array<uint64_t, 8> InitialState() {
    std::array<uint64_t, 8> state = Sha512Words::kInitialState;  // BLAKE2b's IV
    state[0] ^= 0x01010000 | 64;  // parameter block: depth 1, fan-out 1, no key, 64-byte digest
    return state;
}

}  // namespace

Blake2b512::Blake2b512() : state_(InitialState()) {}

void Blake2b512::Compress(const uint8_t* block, bool last) {
    uint64_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = 0;
        for (int b = 7; b >= 0; --b) m[i] = m[i] << 8 | block[8 * i + b];
    }
    uint64_t v[16];
    for (int i = 0; i < 8; ++i) {
        v[i] = state_[i];
        v[i + 8] = Sha512Words::kInitialState[i];
    }
    v[12] ^= length_;
    if (last) v[14] = ~v[14];
    for (int round = 0; round < 12; ++round) {
        const uint8_t* s = kSigma[round % 10];
        Mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        Mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        Mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        Mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        Mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        Mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        Mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        Mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i) state_[i] ^= v[i] ^ v[i + 8];
}

void Blake2b512::Update(const void* data, size_t size) {
    buffer_.Feed(data, size, true, [this](const uint8_t* block) {
        length_ += 128;
        Compress(block, false);
    });
}

Blake2b512::Digest Blake2b512::Finish() {
    // The last block, whole or not (an empty message has one of zeros), counts only
    // its own bytes and is padded with zeros.
    const size_t size = buffer_.pendingSize();
    std::memset(buffer_.pending() + size, 0, 128 - size);
    length_ += size;
    Compress(buffer_.pending(), true);

    Digest digest;
    for (size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<uint8_t>(state_[i / 8] >> (8 * (i % 8)));
    *this = Blake2b512();
    return digest;
}

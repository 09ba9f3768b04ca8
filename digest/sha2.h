// The SHA-2 hashes of FIPS 180-4, fed in pieces of any size: SHA-256 and SHA-512
// differ only in their word size, rounds, rotations and constants. Standard C++ only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "digest/block_buffer.h"

struct Sha256Words {
    using Word = uint32_t;
    static constexpr int kRounds = 64;
    // The rotations of FIPS 180-4's upper-case Sigma0 and Sigma1 (kSum) and lower-case
    // sigma0 and sigma1 (kSigma, whose third is a shift).
    static constexpr int kSum0[3] = {2, 13, 22}, kSum1[3] = {6, 11, 25};
    static constexpr int kSigma0[3] = {7, 18, 3}, kSigma1[3] = {17, 19, 10};
    static constexpr std::array<Word, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    static const Word kRound[kRounds];
};

struct Sha512Words {
    using Word = uint64_t;
    static constexpr int kRounds = 80;
    static constexpr int kSum0[3] = {28, 34, 39}, kSum1[3] = {14, 18, 41};
    static constexpr int kSigma0[3] = {1, 8, 7}, kSigma1[3] = {19, 61, 6};
    // H(0); BLAKE2b's IV is the same eight words.
    static constexpr std::array<Word, 8> kInitialState = {
        0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
        0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    static const Word kRound[kRounds];
};

template <class Words>
class Sha2 {
    using Word = typename Words::Word;
    static constexpr size_t kBlockSize = 16 * sizeof(Word);

public:
    using Digest = std::array<uint8_t, 8 * sizeof(Word)>;

    void Update(const void* data, size_t size);
    // The digest of everything fed so far; the object then starts over.
    Digest Finish();

private:
    void Compress(const uint8_t* block);

    std::array<Word, 8> state_ = Words::kInitialState;
    BlockBuffer<kBlockSize> buffer_;
    uint64_t length_ = 0;  // bytes fed; SHA-512's messages of 2^61 bytes and more are not supported
};

extern template class Sha2<Sha256Words>;
extern template class Sha2<Sha512Words>;
using Sha256 = Sha2<Sha256Words>;
using Sha512 = Sha2<Sha512Words>;

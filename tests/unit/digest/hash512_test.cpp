// SHA-512 and BLAKE2b-512 against known digests (FIPS 180-4's examples, RFC 7693's
// "abc", the other BLAKE2b ones as Python's hashlib gives them) and against
// libsodium, in pieces of any size.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <random>
#include <string>

#include "digest/blake2b.h"
#include "digest/sha2.h"

namespace {

std::string Hex(const std::array<uint8_t, 64>& digest) {
    char text[129];
    return sodium_bin2hex(text, sizeof text, digest.data(), digest.size());
}

template <class Hash>
std::string Digest(const std::string& message, size_t piece) {
    Hash hash;
    for (size_t at = 0; at < message.size(); at += piece) {
        hash.Update(message.data() + at, std::min(piece, message.size() - at));
    }
    return Hex(hash.Finish());
}

TEST(Hash512, PublishedVectorsInPiecesOfAnySize) {
    const struct {
        std::string message, sha512, blake2b;
    } cases[] = {
        {"",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e",
         "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419d25e1031afee585313896444934eb04b903a685b1448b755d56f701afe9be2ce"},
        {"abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
         "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923"},
        // 896 bits: the length no longer fits the first block.
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909",
         "ce741ac5930fe346811175c5227bb7bfcd47f42612fae46c0809514f9e0e3a11ee1773287147cdeaeedff50709aa716341fe65240f4ad6777d6bfaf9726e5e52"},
        {std::string(1000000, 'a'),
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b",
         "98fb3efb7206fd19ebf69b6f312cf7b64e3b94dbe1a17107913975a793f177e1d077609d7fba363cbba00d05f7aa4e4fa8715d6428104c0a75643b0ff3fd3eaf"},
    };
    for (const auto& c : cases) {
        for (size_t piece : {size_t{1}, size_t{127}, size_t{128}, size_t{129}, c.message.size() + 1}) {
            EXPECT_EQ(Digest<Sha512>(c.message, piece), c.sha512) << c.message.size() << " bytes by " << piece;
            EXPECT_EQ(Digest<Blake2b512>(c.message, piece), c.blake2b) << c.message.size() << " bytes by " << piece;
        }
    }
}

// Every length across the first blocks (BLAKE2b holds a whole last block back).
TEST(Hash512, AgreesWithLibsodiumAtEveryLengthUpTo400Bytes) {
    ASSERT_GE(sodium_init(), 0);
    std::mt19937 random(512);
    std::string message;
    for (size_t size = 0; size <= 400; ++size, message += static_cast<char>(random())) {
        std::array<uint8_t, 64> sha, blake;
        const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
        crypto_hash_sha512(sha.data(), bytes, message.size());
        crypto_generichash(blake.data(), blake.size(), bytes, message.size(), nullptr, 0);
        const size_t piece = 1 + random() % 200;
        EXPECT_EQ(Digest<Sha512>(message, piece), Hex(sha)) << size << " bytes by " << piece;
        EXPECT_EQ(Digest<Blake2b512>(message, piece), Hex(blake)) << size << " bytes by " << piece;
    }
}

}  // namespace

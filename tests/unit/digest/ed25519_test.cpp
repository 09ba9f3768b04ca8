// Ed25519 verification against RFC 8032's vectors, Wycheproof's 151 cases (libsodium
// gives each the verdict written there) and libsodium on random signatures. Built
// once for each field representation.
#include "digest/ed25519.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes(hex.size() / 2);
    if (!bytes.empty()) sodium_hex2bin(bytes.data(), bytes.size(), hex.data(), hex.size(), nullptr, nullptr, nullptr);
    return bytes;
}

template <size_t N>
std::array<uint8_t, N> Array(const std::string& hex) {
    std::array<uint8_t, N> array{};
    sodium_hex2bin(array.data(), N, hex.data(), hex.size(), nullptr, nullptr, nullptr);
    return array;
}

template <class Bytes>
void Fill(Bytes& bytes, std::mt19937& random) {
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
}

bool Ours(const Ed25519Signature& signature, const std::vector<uint8_t>& message, const Ed25519PublicKey& key) {
    return Ed25519Verify(signature, message.data(), message.size(), key);
}

bool Sodium(const Ed25519Signature& signature, const std::vector<uint8_t>& message, const Ed25519PublicKey& key) {
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(), key.data()) == 0;
}

TEST(Ed25519, Rfc8032AndWycheproofVectors) {
    for (const auto& [file, count] : {std::pair{"ed25519-rfc8032.tsv", 5}, std::pair{"ed25519-wycheproof.tsv", 151}}) {
        std::ifstream in(std::string(NIMBREL_TEST_VECTORS) + "/" + file);
        ASSERT_TRUE(in) << file;
        int cases = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::vector<std::string> column;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) column.push_back(field);
            ASSERT_EQ(column.size(), 6u) << line;
            const bool sized = column[1].size() == 64 && column[3].size() == 128;
            const bool valid = sized && Ours(Array<64>(column[3]), FromHex(column[2]), Array<32>(column[1]));
            EXPECT_EQ(valid, column[4] == "valid") << file << " case " << column[0] << " (" << column[5] << ")";
            ++cases;
        }
        EXPECT_EQ(cases, count) << file;
    }
}

// Random keys and messages signed by libsodium; then random one-bit changes of the
// signature, key and message, and S + L (the same point, a non-canonical S).
TEST(Ed25519, AgreesWithLibsodiumOnRandomSignaturesAndTheirChanges) {
    ASSERT_GE(sodium_init(), 0);
    std::mt19937 random(25519);
    const auto order = Array<32>("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
    for (int n = 0; n < 200; ++n) {
        std::array<uint8_t, 32> seed;
        Fill(seed, random);
        Ed25519PublicKey key;
        std::array<uint8_t, 64> secret;
        crypto_sign_seed_keypair(key.data(), secret.data(), seed.data());
        std::vector<uint8_t> message(random() % 300);
        Fill(message, random);
        Ed25519Signature signature;
        crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(), secret.data());
        ASSERT_TRUE(Ours(signature, message, key)) << n;

        for (int change = 0; change < 8; ++change) {
            auto s = signature;
            auto k = key;
            auto m = message;
            const size_t bit = random() % (8 * (s.size() + k.size() + m.size()));
            uint8_t& byte = bit / 8 < 64 ? s[bit / 8] : bit / 8 < 96 ? k[bit / 8 - 64] : m[bit / 8 - 96];
            byte ^= static_cast<uint8_t>(1 << bit % 8);
            EXPECT_EQ(Ours(s, m, k), Sodium(s, m, k)) << n << ": bit " << bit;
        }
        auto s = signature;
        for (int i = 0, carry = 0; i < 32; ++i, carry >>= 8) {
            carry += s[32 + i] + order[i];
            s[32 + i] = static_cast<uint8_t>(carry);
        }
        EXPECT_FALSE(Ours(s, message, key)) << n;
        EXPECT_FALSE(Sodium(s, message, key)) << n;
    }
}

// With a key of small order [k]A takes at most eight values, so R = [S]B alone would
// pass for any message with the neutral key (y = 1) and for one in eight with the
// others: every such key is refused, with either sign bit and as a non-canonical alias.
TEST(Ed25519, RefusesKeysOfSmallOrder) {
    ASSERT_GE(sodium_init(), 0);
    const char* const ys[] = {
        "0000000000000000000000000000000000000000000000000000000000000000",  // order 4
        "0100000000000000000000000000000000000000000000000000000000000000",  // 1
        "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",  // 2
        "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",  // 8
        "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a",  // 8
        "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",  // p, for 0
        "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",  // p + 1, for 1
    };
    const std::vector<uint8_t> message = {'a', 'n', 'y'};
    for (const char* y : ys) {
        for (uint8_t sign : {0x00, 0x80}) {
            Ed25519PublicKey key = Array<32>(y);
            key[31] |= sign;
            for (int n = 0; n < 8; ++n) {
                Ed25519Signature signature;
                crypto_core_ed25519_scalar_random(signature.data() + 32);
                ASSERT_EQ(crypto_scalarmult_ed25519_base_noclamp(signature.data(), signature.data() + 32), 0);
                EXPECT_FALSE(Ours(signature, message, key)) << y << " sign " << int{sign};
                EXPECT_FALSE(Sodium(signature, message, key)) << y << " sign " << int{sign};
            }
        }
    }
}

// Barrett reduction of k = SHA-512(R, A, M): at and around L, the largest input, random ones.
TEST(Ed25519, ReducesWideScalarsAsLibsodiumDoes) {
    const std::string order = "edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";
    std::vector<std::array<uint8_t, 64>> cases = {
        {}, Array<64>(order), Array<64>("ec" + order.substr(2)), Array<64>("ee" + order.substr(2)),
        Array<64>(std::string(128, 'f'))};
    std::mt19937 random(252);
    for (int n = 0; n < 500; ++n) {
        Fill(cases.emplace_back(), random);
    }
    for (const auto& wide : cases) {
        std::array<uint8_t, 32> theirs;
        crypto_core_ed25519_scalar_reduce(theirs.data(), wide.data());
        EXPECT_EQ(Ed25519ReduceScalar(wide), theirs);
    }
}

}  // namespace

// SHA-256 against the FIPS 180-2 / NIST test vectors and against sha256sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "digest/sha256.h"

namespace {

std::string Digest(const std::string& message, size_t piece) {
    Sha256 hash;
    for (size_t at = 0; at < message.size(); at += piece) {
        hash.Update(message.data() + at, std::min(piece, message.size() - at));
    }
    return ToHex(hash.Finish());
}

TEST(Sha256, PublishedVectorsInPiecesOfAnySize) {
    const struct {
        std::string message, digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 448 bits: the length no longer fits the first block, padding takes a second.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
         "hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{65}, c.message.size() + 1}) {
            EXPECT_EQ(Digest(c.message, piece), c.digest) << c.message.size() << " bytes in pieces of " << piece;
        }
    }
}

// A listed digest decides whether a downloaded program may start: anything but 64 hex
// digits must match nothing. Each bad character stands alone in an otherwise good
// value, in a high and in a low nibble, so that a check needing both nibbles bad fails.
TEST(Sha256, ParseDigestTakesExactly64HexDigits) {
    const std::string good = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    ASSERT_TRUE(ParseDigest(good));
    EXPECT_EQ(ToHex(*ParseDigest(good)), good);
    EXPECT_EQ(ParseDigest("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"), ParseDigest(good));
    auto with = [&](size_t at, char c) { return good.substr(0, at) + c + good.substr(at + 1); };
    const std::string rejected[] = {
        with(0, 'g'), with(1, 'g'), with(62, 'z'), with(63, ':'), with(30, '/'), with(31, '@'), with(40, 'G'),
        good.substr(0, 63), good + "0", " " + good.substr(1), good.substr(0, 63) + " ", with(32, ' '), "",
        std::string(64, ' '), good.substr(0, 32) + std::string(1, '\0') + good.substr(33),
    };
    for (const std::string& text : rejected) EXPECT_FALSE(ParseDigest(text)) << "'" << text << "'";
}

TEST(Sha256, AFileOfSomeMegabytesAsSha256sumSeesIt) {
    const std::string path = testing::TempDir() + "sha256_test.bin";
    std::string bytes(3 * 1024 * 1024 + 1001, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 5);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    char theirs[65] = {};
    FILE* tool = popen(("sha256sum '" + path + "'").c_str(), "r");
    ASSERT_NE(tool, nullptr);
    ASSERT_EQ(std::fread(theirs, 1, 64, tool), 64u);
    EXPECT_EQ(pclose(tool), 0);
    EXPECT_EQ(Digest(bytes, 65536), theirs);
    std::remove(path.c_str());
}

}  // namespace

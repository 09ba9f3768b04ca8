// ed25519_bench [ITERATIONS [RUNS]]: the time of one Ed25519 verification of ours,
// the median of RUNS runs of ITERATIONS verifications each. With NIMBREL_BENCH_SODIUM
// (the native build) libsodium's crypto_sign_verify_detached runs beside it, on the
// same key, message and signature, alternating with ours run by run; without it (the
// i686 build that scripts/bench runs under Wine) ours checks RFC 8032's TEST SHA(abc).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "digest/ed25519.h"
#ifdef NIMBREL_BENCH_SODIUM
#include <sodium.h>
#endif

namespace {

// Microseconds per call of `verify`, the median of `runs` runs; false when a call fails.
bool Time(const std::function<bool()>& verify, int iterations, std::vector<double>& runs) {
    const auto start = std::chrono::steady_clock::now();
    bool all = true;
    for (int i = 0; i < iterations; ++i) all = verify() && all;
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    runs.push_back(spent.count() / iterations);
    return all;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    // The 64 bytes that minisign signs by default: the BLAKE2b-512 digest of a list.
    Ed25519PublicKey key;
    Ed25519Signature signature;
    std::vector<uint8_t> message(64);
#ifdef NIMBREL_BENCH_SODIUM
    if (sodium_init() < 0) return 1;
    unsigned char seed[32] = {25, 5, 19}, secret[64];
    crypto_sign_seed_keypair(key.data(), secret, seed);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 37);
    crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(), secret);
#else
    const auto hex = [](const char* text, uint8_t* out, size_t size) {
        for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(std::strtoul(std::string(text + 2 * i, 2).c_str(), nullptr, 16));
    };
    hex("ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf", key.data(), key.size());
    hex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
        "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f", message.data(), message.size());
    hex("dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
        "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704", signature.data(), signature.size());
#endif
    const std::function<bool()> ours = [&] { return Ed25519Verify(signature, message.data(), message.size(), key); };
    std::vector<double> ourRuns;
#ifdef NIMBREL_BENCH_SODIUM
    const std::function<bool()> theirs = [&] {
        return crypto_sign_verify_detached(signature.data(), message.data(), message.size(), key.data()) == 0;
    };
    std::vector<double> theirRuns;
    for (int run = 0; run < runs; ++run) {
        // Alternating which goes first, so that neither always meets a cooler machine.
        const bool oursFirst = run % 2 == 0;
        if (!Time(oursFirst ? ours : theirs, iterations, oursFirst ? ourRuns : theirRuns) ||
            !Time(oursFirst ? theirs : ours, iterations, oursFirst ? theirRuns : ourRuns)) {
            std::fprintf(stderr, "ed25519_bench: a verification failed\n");
            return 1;
        }
        std::printf("ed25519-verify run %d: ours %.1f us, libsodium %.1f us\n", run + 1, ourRuns.back(), theirRuns.back());
    }
    std::printf("ed25519-verify median: ours %.1f us, libsodium %.1f us (%d verifications a run)\n", Median(ourRuns),
                Median(theirRuns), iterations);
    std::printf("ed25519-verify ratio-to-libsodium %.2f\n", Median(ourRuns) / Median(theirRuns));
#else
    for (int run = 0; run < runs; ++run) {
        if (!Time(ours, iterations, ourRuns)) {
            std::fprintf(stderr, "ed25519_bench: a verification failed\n");
            return 1;
        }
    }
    std::printf("ed25519-verify i686 %.1f us per verification (median of %d runs of %d)\n", Median(ourRuns), runs,
                iterations);
#endif
    return 0;
}

// Replays every fuzz target's seeds and past findings (tests/unit/<target>/corpus)
// through the target's exercise, with this tree's sanitizers: a finding added to a
// corpus stays a regression case. The targets are those of nimbrel_fuzz_target.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#define NIMBREL_FUZZ_TARGET(name, entry) void entry(const uint8_t* data, size_t size);
#include "fuzz_targets.inc"
#undef NIMBREL_FUZZ_TARGET

namespace {

struct FuzzTarget {
    const char* name;
    void (*exercise)(const uint8_t*, size_t);
};

const FuzzTarget kTargets[] = {
#define NIMBREL_FUZZ_TARGET(name, entry) {#name, entry},
#include "fuzz_targets.inc"
#undef NIMBREL_FUZZ_TARGET
};

TEST(CorpusReplay, EveryTargetTakesEachOfItsInputsCleanly) {
    for (const FuzzTarget& target : kTargets) {
        int inputs = 0;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(NIMBREL_UNIT_TESTS) / target.name / "corpus")) {
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(entry.path().string());
            target.exercise(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++inputs;
        }
        EXPECT_GE(inputs, 3) << target.name << ": a corpus of a few seeds at least";
    }
}

}  // namespace

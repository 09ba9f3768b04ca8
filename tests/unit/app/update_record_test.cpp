// The version rule and the record of a started update: whether a release is older
// than the drive's firmware, and the record kept until the next start (what the drive
// reports then is the whole road's to check, as the program shows it).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/update_record.h"
#include "app/version_rule.h"

namespace {

using namespace std::string_literals;
using Order = std::optional<VersionOrder>;
constexpr Order kOlder = VersionOrder::kOlder, kSame = VersionOrder::kSame, kNewer = VersionOrder::kNewer;
constexpr Order kNoAnswer = std::nullopt;

TEST(VersionRule, ReleaseAgainstTheDrivesRevision) {
    struct {
        std::string drive, release;
        Order order;
    } cases[] = {
        // Digits compare as numbers, letters without case, digits before letters.
        {"1.10", "1.02", kOlder}, {"1.2", "1.02", kSame}, {"1.10", "1.9a", kOlder},
        {"1.0b", "1.0A", kOlder}, {"1.0a", "1.0A", kSame}, {"KS0C", "KS0B", kOlder}, {"1.99b", "2.00", kNewer},
        {"1.0", "1.0a", kNewer}, {"1.a", "1.1", kOlder},
        // A run of any length, without overflow.
        {"1.99999999999999999999", "1.100000000000000000000", kNewer},
        {"1.000000000000000000000000000001", "1.1", kSame},
        // Extra segments count unless they are all zero; an empty one counts as 0.
        {"1.0", "1.0.0", kSame}, {"1.0", "1.0.0.1", kNewer}, {"1..2", "1.0.2", kSame}, {"1.", "1", kSame},
        {"2", "1.9.9", kOlder},
        // Cut at the first NUL, trimmed of blanks; nothing else is changed.
        {"1.02", " 1.02  ", kSame}, {"1.02\0x"s, "1.02", kSame},
        // No answer for an empty text, or a byte outside 0x20-0x7E.
        {"    ", "1.00", kNoAnswer}, {"1.00", "\0 1"s, kNoAnswer}, {"1.00", "1.0\t", kNoAnswer},
        {"1.0\xE9", "1.00", kNoAnswer}, {"1.00", "", kNoAnswer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("drive " + c.drive + ", release " + c.release);
        EXPECT_EQ(CompareRelease(c.drive, c.release), c.order);
    }
}

TEST(UpdateRecord, NamesAndRecords) {
    EXPECT_EQ(UpdateValueName('E', "ZORIX   DVD-RW XR-1680  "), "E: ZORIX   DVD-RW XR-1680");
    EXPECT_EQ(UpdateValueName('e', "ZORIX   DVD-RW XR-1680  "), std::nullopt);
    EXPECT_EQ(UpdateValueName('E', "ZORIX   DVD-RW\0XR-1680  "s), std::nullopt);

    // Remembered: newer, or no answer; cleaned, 1 to 4 characters, no separator.
    const auto remembered = [](const char* drive, const char* release) {
        const std::optional<StartedUpdate> update = UpdateToRemember(drive, release, 1796685644);
        return update ? FormatStartedUpdate(*update) : "-";
    };
    EXPECT_EQ(remembered("1.02", " 1.10 "), "1.02|1.10|1796685644");
    EXPECT_EQ(remembered("\x01\x02\x03\x04", "1.10"), "|1.10|1796685644");
    EXPECT_EQ(remembered("1.02", "1.02"), "-");
    EXPECT_EQ(remembered("1.02", "1.01"), "-");
    EXPECT_EQ(remembered("1.02", "1.100"), "-");
    EXPECT_EQ(remembered("1.02", "2|0"), "-");

    for (const char* data : {"1.02|1.10|1796685644", "|1.10|0"}) {
        const std::optional<StartedUpdate> update = ParseStartedUpdate(data);
        ASSERT_TRUE(update) << data;
        EXPECT_EQ(FormatStartedUpdate(*update), data);
    }
    for (const char* data : {"", "1.02|1.10", "1.02||17", "1.02|1.10|", "1.02|1.10|-5", "1.02|1.10|17|",
                             "1.02|1.10 |17", "1.02|12345|17", "1.02|1.10|1234567890123456789"}) {
        EXPECT_EQ(ParseStartedUpdate(data), std::nullopt) << data;
    }
}

TEST(UpdateRecord, TheComputerStartAndItsTicks) {
    EXPECT_EQ(ComputerStart(1796685700, 56999), 1796685644);
    // 4294978 s after the start, 32-bit ticks have wrapped once (at 2^32 ms) and count
    // 10.704 s: the start read then is 4294968 s later.
    const int64_t start = 1796685644;
    const int64_t wrapped = ComputerStart(start + 4294978, 10704);
    struct {
        const char* what;
        int64_t now;
        bool wrappingTicks, restarted;
    } cases[] = {
        {"the same start", start, false, false},
        {"two minutes apart", start + 120, false, false},
        {"a clock set back", start - 121, false, true},
        {"later", start + 121, false, true},
        {"32-bit ticks after a wrap", wrapped, true, false},
        {"64-bit ticks that far apart", wrapped, false, true},
        {"32-bit ticks, a wrap and three minutes", wrapped + 180, true, true},
        {"32-bit ticks, two wraps less a minute", start + 2 * 4294967 - 60, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RestartedSince(start, c.now, c.wrappingTicks), c.restarted) << c.what;
    }
}

}  // namespace

// The version rule and the record of a started update: whether a release is older
// than the drive's firmware, the record kept until the next start, and the signs of a
// restart (what the program then tells is the whole road's to check, as the program
// shows it; here only what the road cannot show).
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "list/update_record.h"
#include "list/version_rule.h"

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

constexpr RestartSign kTicks{RestartSign::Kind::kTicks, 56999, 1796685700};

TEST(UpdateRecord, NamesAndRecords) {
    // ASCII whatever the drive sends, so that a name reads back as written.
    EXPECT_EQ(UpdateValueName(0, 1, 0, "ZORIX   DVD-RW XR-1680  "), "0/1/0 ZORIX   DVD-RW XR-1680");
    EXPECT_EQ(UpdateValueName(12, 255, 7, "ZORIX\x81@DVD|RW\0XR-1680%  "s), "12/255/7 ZORIX%81@DVD%7CRW%00XR-1680%25");
    EXPECT_EQ(PlaceOfValueName("12/255/7 ZORIX"), "12/255/7");
    for (const char* name : {"E: ZORIX   DVD-RW XR-1680", "0/1 ZORIX", "0/1/0", "0/1/1000 ZORIX"}) {
        EXPECT_EQ(PlaceOfValueName(name), std::nullopt) << name;
    }

    // Remembered: newer, or no answer; cleaned, 1 to 4 characters. The revision before
    // is kept as the drive sent it, whether the rule can read it or not.
    const auto remembered = [](const std::string& drive, const char* release) {
        const std::optional<StartedUpdate> update = UpdateToRemember(drive, release, kTicks);
        return update ? FormatStartedUpdate(*update) : "-";
    };
    EXPECT_EQ(remembered("1.02", " 1.10 "), "1.02|1.10|ticks:56999@1796685700");
    EXPECT_EQ(remembered("\x01\x02\x03\x04", "1.10"), "%01%02%03%04|1.10|ticks:56999@1796685700");
    EXPECT_EQ(remembered("    ", "1.10"), "    |1.10|ticks:56999@1796685700");
    EXPECT_EQ(remembered("0|99", "1.10"), "0%7C99|1.10|ticks:56999@1796685700");
    EXPECT_EQ(remembered("1.0\0"s, "2|0"), "1.0%00|2%7C0|ticks:56999@1796685700");
    EXPECT_EQ(remembered("1.02", "1.02"), "-");
    EXPECT_EQ(remembered("1.02", "1.01"), "-");
    EXPECT_EQ(remembered("1.02", "1.100"), "-");

    for (const char* data : {"1.02|1.10|ticks:56999@1796685700", "    |1.10|key:01DA2B3C4D5E6F70", "%7C%00  |1|none"}) {
        const std::optional<StartedUpdate> update = ParseStartedUpdate(data);
        ASSERT_TRUE(update) << data;
        EXPECT_EQ(FormatStartedUpdate(*update), data);
    }
    for (const char* data : {"", "1.02|1.10", "1.02||none", "1.02|1.10|", "1.02|1.10|none|", "1.02|1.10 |none",
                             "1.02|12345|none", "1.2|1.10|none", "1.02 |1.10|none", "1.0%2|1.10|none",
                             "1.0%G2|1.10|none", "1.02|1.10|key:0000000000000000", "1.02|1.10|key:01DA2B3C4D5E6F7",
                             "1.02|1.10|ticks:4294967296@0", "1.02|1.10|ticks:5@-1", "1.02|1.10|ticks:5",
                             "1.02|1.10|1796685644"}) {
        EXPECT_EQ(ParseStartedUpdate(data), std::nullopt) << data;
    }
}

TEST(UpdateRecord, RestartSigns) {
    using Kind = RestartSign::Kind;
    const RestartSign key{Kind::kBootKey, 0x01DA2B3C4D5E6F70, 0};
    const int64_t unix = kTicks.unixTime;
    struct {
        const char* what;
        RestartSign then, now;
        bool restarted;
    } cases[] = {
        // The boot key: the same one is the same start, however the clock was set.
        {"the same key", key, key, false},
        {"no key", key, {Kind::kBootKey, 0, 0}, true},
        {"a new key", key, {Kind::kBootKey, key.value + 1, 0}, true},
        // Ticks that went on counting are the same start; a clock step changes nothing.
        {"ticks later", kTicks, {Kind::kTicks, 56999 + 60000, unix + 60}, false},
        {"ticks later, the clock set back a day", kTicks, {Kind::kTicks, 56999 + 60000, unix - 86400}, false},
        {"ticks later, the clock set on a day", kTicks, {Kind::kTicks, 56999 + 60000, unix + 86400}, false},
        {"ticks lower: a restart", kTicks, {Kind::kTicks, 20000, unix + 60}, true},
        // Lower ticks may have wrapped at 2^32 ms, unless the clock rules it out.
        {"ticks lower, the clock set back a day", kTicks, {Kind::kTicks, 20000, unix - 86400}, false},
        {"ticks lower, a wrap later by the clock", {Kind::kTicks, 4294000000, unix}, {Kind::kTicks, 20000, unix + 3600},
         false},
        {"ticks lower, 50 days by the clock", kTicks, {Kind::kTicks, 20000, unix + 50 * 86400}, false},
        // Regression guard: a stored time this far off once overflowed.
        {"the overflow value", {Kind::kTicks, 56999, 999999999999999999}, {Kind::kTicks, 20000, unix}, false},
        {"times at both ends", {Kind::kTicks, 56999, INT64_MIN}, {Kind::kTicks, 20000, INT64_MAX}, false},
        {"times at both ends, reversed", {Kind::kTicks, 56999, INT64_MAX}, {Kind::kTicks, 20000, INT64_MIN}, false},
        // Nothing sure: never a restart.
        {"no sign", {}, {}, false},
        {"signs of two kinds", key, kTicks, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RestartedSince(c.then, c.now), c.restarted) << c.what;
    }
}

// A drive whose revision the rule cannot read: the same bytes are the revision before,
// told only after a restart (regression guard: once compared with "", it read as
// another version before any restart).
TEST(UpdateRecord, ABlankRevision) {
    const StartedUpdate update = *UpdateToRemember("    ", "1.10", kTicks);
    const RestartSign later{RestartSign::Kind::kTicks, 90000, kTicks.unixTime + 30};
    const RestartSign restarted{RestartSign::Kind::kTicks, 9000, kTicks.unixTime + 600};
    EXPECT_EQ(JudgeUpdate(update, "    ", later), UpdateOutcome::kNoRestartYet);
    EXPECT_EQ(JudgeUpdate(update, "1.10", later), UpdateOutcome::kInstalled);
    EXPECT_EQ(JudgeUpdate(update, "    ", restarted), UpdateOutcome::kDidNotTakeEffect);
    EXPECT_EQ(OutcomeText(UpdateOutcome::kDidNotTakeEffect, 'E', "ZORIX   DVD-RW XR-1680  ", update, "    "),
              "The firmware update of the drive E: ZORIX DVD-RW XR-1680 to 1.10 did not take effect: the drive still "
              "reports the revision it reported before after a restart of the computer.");
    EXPECT_EQ(OutcomeText(UpdateOutcome::kOtherVersion, 'E', "ZORIX   DVD-RW XR-1680  ", update, "\x01   "),
              "The drive E: ZORIX DVD-RW XR-1680 now reports firmware whose revision cannot be read, not 1.10, the "
              "version of the update that was started.");
}

}  // namespace

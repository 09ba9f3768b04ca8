#include "transfer/ftp_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(FtpRules, ThrottleWaitsUntilTheAverageIsBackAtTheLimit) {
    struct Case {
        uint32_t elapsed;
        uint64_t done;
        double limit;
        uint32_t delay;
    } cases[] = {
        // No limit, nothing done or no time passed: never a wait (and no division by zero).
        {100, 5000, 0.0, 0},
        {100, 5000, -1.0, 0},
        {100, 0, 10.0, 0},
        {0, 5000, 10.0, 0},
        // At or below the limit: no wait.
        {500, 5000, 10.0, 0},
        {1000, 5000, 10.0, 0},
        // Above it: the time 5000 bytes take at the limit, less the time spent.
        {100, 5000, 10.0, 400},
        {1, 1024, 1.0, 1023},
        {300, 1000, 3.0, 33},  // 333.3 ms truncated
        // A tiny limit cannot ask for an endless Sleep.
        {1, 1ull << 40, 1e-9, 0xFFFFFFFEu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ThrottleDelay(c.elapsed, c.done, c.limit), c.delay)
            << c.elapsed << " ms, " << c.done << " bytes, limit " << c.limit;
    }
}

TEST(FtpRules, ReplyCodesAndFailures) {
    struct Case {
        const char* reply;
        std::optional<int> code;
        bool failure;
    } cases[] = {
        {"350 Restarting at position 1000.", 350, false},
        {"226 Transfer complete.", 226, false},
        {"150-multi line", 150, false},
        {"426 Connection closed; transfer aborted.", 426, true},
        {"452 Insufficient storage space.", 452, true},
        {"502 Resume is not supported here.", 502, true},
        {"599", 599, true},
        {"600 odd", 600, false},
        // Texts without a leading code say nothing.
        {"", std::nullopt, false},
        {"35", std::nullopt, false},
        {" 350 late", std::nullopt, false},
        {"5x0 broken", std::nullopt, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FtpReplyCode(c.reply), c.code) << c.reply;
        EXPECT_EQ(IsFailureReply(c.reply), c.failure) << c.reply;
    }
}

TEST(FtpRules, ABinaryDownloadEndsEarlyOnlyWhenItFallsShortOfTheListedSize) {
    struct Case {
        bool binary;
        std::optional<uint64_t> size;
        uint64_t offset, received;
        bool early;
    } cases[] = {
        {true, 5000, 0, 5000, false},
        {true, 5000, 0, 4999, true},
        {true, 5000, 1000, 4000, false},
        {true, 5000, 1000, 3000, true},
        {true, 5000, 0, 6000, false},  // the file grew since it was listed
        {true, 0, 0, 0, false},        // an empty file
        {true, std::nullopt, 0, 10, false},
        {false, 5000, 0, 10, false},  // ASCII: line ends change the count
        {true, 5000000000ull, 0, 4999999999ull, true},  // beyond 32 bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DownloadEndedEarly(c.binary, c.size, c.offset, c.received), c.early)
            << c.binary << " " << c.size.value_or(0) << " " << c.offset << " " << c.received;
    }
}

}  // namespace

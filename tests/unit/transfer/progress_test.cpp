#include "transfer/progress.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The English string tables of the two dialogs; an id missing here shows as "?id".
const std::map<unsigned, std::string> kHttpTexts = {
    {115, "%1% of %2 Completed"}, {117, "%1 of %2"}, {131, "%1 (%2 copied)"}, {118, "%1 sec"},
    {119, "%1 min"}, {120, "%1 min %2 sec"}, {121, "%1 Bytes"}, {122, "%1 KB"}, {130, "%1 MB"},
    {125, "%1 Bytes/Sec"}, {126, "%1 KB/Sec"}, {104, "Resolving name: %1"}, {105, "Resolved name to %1"},
    {106, "Connecting to %1"}, {103, "Connected to %1"}, {107, "Redirecting to %1"}, {129, "Aborting transfer"},
};
const std::map<unsigned, std::string> kFtpTexts = {
    {0xE00C, "%1% of %2 Completed"}, {0xE00E, "%1 of %2"}, {0xE018, "%1 (%2 copied)"}, {0xE00F, "%1 sec"},
    {0xE010, "%1 min"}, {0xE011, "%1 min %2 sec"}, {0xE012, "%1 Bytes"}, {0xE014, "%1 KB"}, {0xE016, "%1 MB"},
    {2, "%1 Bytes/Sec"}, {3, "%1 KB/Sec"}, {0xE003, "Resolving name: %1"}, {15, "Resolved name to %1"},
    {0xE004, "Connecting to %1"}, {0xE002, "Connected to %1"},
};

ProgressTexts Texts(const ProgressTextIds& ids, const std::map<unsigned, std::string>& table) {
    return ProgressTexts(ids, [&table](unsigned id) {
        auto found = table.find(id);
        return found != table.end() ? found->second : "?" + std::to_string(id);
    });
}

const ProgressTexts kHttp = Texts(kHttpProgressTextIds, kHttpTexts);
const ProgressTexts kFtp = Texts(kFtpProgressTextIds, kFtpTexts);

TEST(ProgressTexts, SizesRatesAndTimesReadTheSameInBothDialogs) {
    for (const ProgressTexts* texts : {&kHttp, &kFtp}) {
        // Unit borders of FormatSize.
        EXPECT_EQ(texts->FormatSize(0), "0 Bytes");
        EXPECT_EQ(texts->FormatSize(1023), "1023 Bytes");
        EXPECT_EQ(texts->FormatSize(1024), "1.0 KB");
        EXPECT_EQ(texts->FormatSize(1048575), "1024.0 KB");
        EXPECT_EQ(texts->FormatSize(1048576), "1.00 MB");
        EXPECT_EQ(texts->FormatSize(4294967295u), "4096.00 MB");

        // Rates in bytes per millisecond: x 1024 below 1.0, unconverted "KB" from 1.0.
        EXPECT_EQ(texts->TransferRate(0.0), "0 Bytes/Sec");
        EXPECT_EQ(texts->TransferRate(0.5), "512 Bytes/Sec");
        EXPECT_EQ(texts->TransferRate(0.999), "1023 Bytes/Sec");
        EXPECT_EQ(texts->TransferRate(1.0), "1.00 KB/Sec");
        EXPECT_EQ(texts->TransferRate(9.99), "9.99 KB/Sec");
        EXPECT_EQ(texts->TransferRate(10.0), "10 KB/Sec");
        EXPECT_EQ(texts->TransferRate(1234.4), "1234 KB/Sec");

        // Minute borders of the time-left line.
        EXPECT_EQ(texts->TimeLeft(0, 0, 1), "0 sec (0 Bytes of 1 Bytes copied)");
        EXPECT_EQ(texts->TimeLeft(59, 1024, 2048), "59 sec (1.0 KB of 2.0 KB copied)");
        EXPECT_EQ(texts->TimeLeft(60, 1024, 2048), "1 min (1.0 KB of 2.0 KB copied)");
        EXPECT_EQ(texts->TimeLeft(61, 1024, 2048), "1 min 1 sec (1.0 KB of 2.0 KB copied)");
        EXPECT_EQ(texts->TimeLeft(3600, 1024, 2048), "60 min (1.0 KB of 2.0 KB copied)");

        EXPECT_EQ(texts->Caption(42, "a.exe"), "42% of a.exe Completed");
    }
}

TEST(ProgressTexts, StatusLinesByInternetStatus) {
    struct {
        uint32_t status;
        const char* http;  // nullptr: ignored
        const char* ftp;
    } cases[] = {
        {10, "Resolving name: host", "Resolving name: host"},
        {11, "Resolved name to host", "Resolved name to host"},
        {20, "Connecting to host", "Connecting to host"},
        {21, "Connected to host", "Connected to host"},
        {110, "Redirecting to host", nullptr},
        // Other statuses (sending, receiving, closing, ...) are ignored by both.
        {0, nullptr, nullptr},
        {30, nullptr, nullptr},
        {40, nullptr, nullptr},
        {100, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        auto http = kHttp.StatusText(c.status, "host");
        auto ftp = kFtp.StatusText(c.status, "host");
        EXPECT_EQ(http.value_or("(none)"), c.http ? c.http : "(none)") << c.status;
        EXPECT_EQ(ftp.value_or("(none)"), c.ftp ? c.ftp : "(none)") << c.status;
    }
}

TEST(StatusInfoText, StopsAtTheFirstZeroOrTheGivenLength) {
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(StatusInfoText(unterminated, 4), "abcd");
    EXPECT_EQ(StatusInfoText("127.0.0.1\0junk", 15), "127.0.0.1");
    EXPECT_EQ(StatusInfoText(nullptr, 10), "");
}

TEST(HttpBarRange, IsKilobytesRoundedAndNotCutTo16Bits) {
    struct {
        uint32_t total;
        uint32_t range;
    } cases[] = {
        {0, 0}, {511, 0}, {512, 1}, {1535, 1}, {1536, 2}, {3355443, 3277},
        {67108864, 65536},              // 64 MB: 0 if taken modulo 65536
        {209715200, 204800},            // the 200 MB benchmark file
        {4294967295u, 4194304},         // no wrap near 4 GB
    };
    for (const auto& c : cases) EXPECT_EQ(HttpBarRange(c.total), c.range) << c.total;
}

TEST(ProgressTracker, TheFortySecondExample) {
    ProgressTracker tracker(kHttp, "list.xml", 5000, 3355443u);
    ProgressRedraw redraw = tracker.Update(524288, 45000);
    EXPECT_TRUE(redraw.percentChanged);
    EXPECT_EQ(redraw.percent, 15);
    EXPECT_EQ(redraw.barKilobytes, 512u);
    EXPECT_EQ(redraw.caption, "15% of list.xml Completed");
    ASSERT_TRUE(redraw.refreshed);
    EXPECT_DOUBLE_EQ(redraw.rate, 524288.0 / 40000);
    EXPECT_EQ(redraw.rateText, "13 KB/Sec");
    ASSERT_TRUE(redraw.timeLeftKnown);
    EXPECT_EQ(redraw.secondsLeft, 215u);
    EXPECT_EQ(redraw.timeLeftText, "3 min 35 sec (512.0 KB of 3.20 MB copied)");
}

TEST(ProgressTracker, RefreshesOnlyAfterMoreThanASecondAcrossATickWrap) {
    // Start ticks just before the 32-bit wrap must behave like any other.
    for (uint32_t start : {0u, 0xFFFFFE00u}) {
        ProgressTracker tracker(kHttp, "f", start, std::nullopt);
        EXPECT_FALSE(tracker.Update(100, start + 999).refreshed);
        EXPECT_FALSE(tracker.Update(200, start + 1000).refreshed);
        ProgressRedraw first = tracker.Update(1001, start + 1001);
        ASSERT_TRUE(first.refreshed) << start;
        EXPECT_EQ(first.rateText, "1.00 KB/Sec");
        // Without a total: no percentage and no time left.
        EXPECT_FALSE(first.percentChanged);
        EXPECT_FALSE(first.timeLeftKnown);
        // The next interval starts at the refresh, and its rate counts only its own bytes.
        EXPECT_FALSE(tracker.Update(5000, start + 2001).refreshed);
        ProgressRedraw second = tracker.Update(1001 + 1024, start + 1001 + 2048);
        ASSERT_TRUE(second.refreshed);
        EXPECT_EQ(second.rateText, "512 Bytes/Sec");
    }
}

TEST(ProgressTracker, PercentageIsTruncatedAndShownOnlyWhenItChanges) {
    ProgressTracker tracker(kFtp, "/fw/a.exe", 0, 1000u);
    struct {
        uint32_t bytes;
        bool changed;
        int32_t percent;
    } steps[] = {
        {9, false, 0},      // 0.9 %: nothing before 1 %
        {10, true, 1},
        {19, false, 1},
        {999, true, 99},    // 99.9 % reads 99
        {1000, true, 100},
    };
    for (const auto& s : steps) {
        ProgressRedraw redraw = tracker.Update(s.bytes, 10);
        EXPECT_EQ(redraw.percentChanged, s.changed) << s.bytes;
        EXPECT_EQ(tracker.LastPercent(), s.percent) << s.bytes;
    }
    EXPECT_EQ(tracker.Update(1000, 10).caption, "");
}

TEST(ProgressTracker, CountsBeyondTheTotalStayWithinTheBar) {
    // A total of 0, or more bytes than announced: 100 %, the bar within its range, no time left.
    struct {
        uint32_t total;
        uint32_t bytes;
        uint32_t bar;
    } cases[] = {
        {0, 1024, 0},
        {0, 5000000, 0},
        {2048, 409600, 2},
        {1000, 1001, 0},
        {3355443, 4000000, 3277},
    };
    for (const auto& c : cases) {
        ProgressTracker tracker(kHttp, "f", 0, c.total);
        ProgressRedraw redraw = tracker.Update(c.bytes, 5000);
        EXPECT_EQ(redraw.percent, 100) << c.total << " " << c.bytes;
        EXPECT_EQ(redraw.barKilobytes, c.bar) << c.total << " " << c.bytes;
        EXPECT_LE(redraw.barKilobytes, HttpBarRange(c.total));
        EXPECT_EQ(redraw.secondsLeft, 0u);
        EXPECT_EQ(redraw.timeLeftText.substr(0, 6), "0 sec ");
    }
}

}  // namespace

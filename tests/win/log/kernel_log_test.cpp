#include "log/kernel_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/win/support/gui_driver.h"
#include "tests/win/support/scratch_dir.h"

namespace {

using namespace std::string_literals;

class KernelLogTest : public ::testing::Test {
protected:
    std::string Written() const { return ReadFileBytes(scratch_.File("Kernel.log")); }

    ScratchDir scratch_;
};

struct LineCase {
    const char* what;
    std::string text;
    uint32_t length;
    std::string expected;
};

TEST_F(KernelLogTest, WritesExactlyTheGivenBytesAndCrLf) {
    const LineCase cases[] = {
        {"platform line", "OS: Windows NT", 14, "OS: Windows NT\r\n"},
        {"length shorter than the text", "OS: Windows NT", 3, "OS:\r\n"},
        {"identity with NUL bytes", "ZORIX   \0\0DVD-RW        1.0\0"s, 28, "ZORIX   \0\0DVD-RW        1.0\0\r\n"s},
        {"zero length writes nothing", "ignored", 0, ""},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.what);
        {
            KernelLog log;
            EXPECT_TRUE(log.WriteLine(c.text.data(), c.length));
        }
        EXPECT_EQ(Written(), c.expected);  // each log starts a fresh file
    }
}

TEST_F(KernelLogTest, NulTerminatedFormWritesUpToTheNul) {
    KernelLog log;
    EXPECT_TRUE(log.WriteLine("No device found!"));
    EXPECT_TRUE(log.WriteLine(""));  // empty: nothing written, still true
    EXPECT_TRUE(log.WriteLine("a\0b"));
    EXPECT_EQ(Written(), "No device found!\r\na\r\n");
}

TEST_F(KernelLogTest, EveryStartReplacesThePreviousLog) {
    { KernelLog first; first.WriteLine("first run, a long line"); }
    { KernelLog second; second.WriteLine("second"); }
    EXPECT_EQ(Written(), "second\r\n");
}

TEST_F(KernelLogTest, LineBufferIsZeroedWhenTheFileOpens) {
    KernelLog log;
    char zeros[KernelLog::kLineBufferSize] = {};
    EXPECT_EQ(std::memcmp(log.LineBuffer, zeros, sizeof zeros), 0);
}

// Regression: formatting must never run past the 128-character buffer.
TEST_F(KernelLogTest, FormatLineIsBoundedByTheBuffer) {
    KernelLog log;
    const std::string longLetter(400, 'x');
    log.FormatLine("Issue Inquiry failed on %d:%d:%d, Letter %s:. Error %#lx", 1, 2, 0, longLetter.c_str(), 5ul);
    EXPECT_EQ(std::strlen(log.LineBuffer), static_cast<size_t>(KernelLog::kLineBufferSize - 1));
    EXPECT_EQ(std::string(log.LineBuffer, 24), "Issue Inquiry failed on ");
}

TEST_F(KernelLogTest, WsprintfConventionsForErrorCodes) {
    KernelLog log;
    EXPECT_STREQ(log.FormatLine("Error %#lx", 0x57ul), "Error 0x57");
    EXPECT_STREQ(log.FormatLine("Drive %c: ,Parameters: %d/%d/%d ,BusType: %d", 'D', 1, 0, 0, 2),
                 "Drive D: ,Parameters: 1/0/0 ,BusType: 2");
}

TEST_F(KernelLogTest, WithoutAFileItWarnsOnceAndDropsEveryLine) {
    CreateDirectoryA("Kernel.log", nullptr);  // the name is taken by a folder
    auto warning = AnswerMessageBox("Warning", IDOK);
    KernelLog log;
    const AnsweredBox box = warning.get();
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.text, "Can not create kernel log!");
    EXPECT_FALSE(log.HasFile());
    EXPECT_FALSE(log.WriteLine("OS: Windows NT", 14));
    EXPECT_FALSE(log.WriteLine("text", 0));
    EXPECT_TRUE(log.WriteLine(""));
}

}  // namespace

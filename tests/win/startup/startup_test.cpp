// The real program, started under Wine as it would be by a user.
#include <gtest/gtest.h>

#include <string>

#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"

namespace {

const std::string kRule = std::string(44, '=') + "\r\n";

TEST(Startup, OnNtWithoutOpticalDrivesTheLogIsThePlatformAndTwoRules) {
    ScratchDir scratch;
    WriteFileBytes(scratch.File("Kernel.log"), "left over from an earlier run\r\n");
    ASSERT_NE(RunProgram(BuildPath("nimbrel.exe"), scratch.Path()), STILL_ACTIVE);
    EXPECT_EQ(ReadFileBytes(scratch.File("Kernel.log")), "OS: Windows NT\r\n" + kRule + kRule);
}

}  // namespace

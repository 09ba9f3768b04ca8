// The real program, started under Wine as it would be by a user.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/start_folder.h"
#include "tests/win/support/process_runner.h"
#include "tests/win/support/scratch_dir.h"
#include "tests/win/support/wine_app_defaults.h"

namespace {

const std::string kRule = std::string(44, '=') + "\r\n";

TEST(Startup, OnNtWithoutOpticalDrivesTheLogIsThePlatformAndTwoRules) {
    const WineAppDefaults defaults("nimbrel.exe");  // Wine's own, whatever a run cut short left
    ScratchDir scratch;
    WriteFileBytes(scratch.File("Kernel.log"), "left over from an earlier run\r\n");
    ASSERT_NE(RunProgram(BuildPath("nimbrel.exe"), scratch.Path()), STILL_ACTIVE);
    EXPECT_EQ(ReadFileBytes(scratch.File("Kernel.log")), "OS: Windows NT\r\n" + kRule + kRule);
}

// "Run as administrator" starts a program in the system folder: its files go beside
// it instead. Any other folder it is started in keeps them (the test above).
TEST(Startup, StartedInTheSystemFolderTheLogGoesBesideTheProgram) {
    const WineAppDefaults defaults("nimbrel.exe");
    ScratchDir scratch;
    ASSERT_TRUE(CopyFileA(BuildPath("nimbrel.exe").c_str(), scratch.File("nimbrel.exe").c_str(), FALSE));
    char system[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryA(system, sizeof system), 0u);
    const std::string systemLog = std::string(system) + "\\Kernel.log";
    DeleteFileA(systemLog.c_str());
    ASSERT_NE(RunProgram(scratch.File("nimbrel.exe"), system), STILL_ACTIVE);
    EXPECT_EQ(ReadFileBytes(scratch.File("Kernel.log")), "OS: Windows NT\r\n" + kRule + kRule);
    EXPECT_FALSE(FileExists(systemLog));
}

TEST(Startup, SystemFoldersAreTheWindowsFolderAndWhatLiesInIt) {
    struct Case {
        const char* folder;
        bool inside;
    } const cases[] = {
        {"C:\\Windows", true},          {"c:\\WINDOWS\\System32", true}, {"C:\\Windows\\SysWOW64", true},
        {"C:\\WindowsApps", false},     {"C:\\Win", false},              {"D:\\Tools\\Nimbrel", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LiesInFolder(c.folder, "C:\\Windows"), c.inside) << c.folder;
    EXPECT_FALSE(LiesInFolder("C:\\Windows", "")) << "no Windows folder known";
}

// As Windows 98: the program copied into a folder of its own, where
// LoadLibraryA("WNASPI32") finds the simulated library when one lies beside it.
class StartupAs98 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settings_.SetVersion("win98"));
        ASSERT_TRUE(CopyFileA(BuildPath("nimbrel.exe").c_str(), scratch_.File("nimbrel.exe").c_str(), FALSE));
    }
    std::string Run() {
        EXPECT_NE(RunProgram(scratch_.File("nimbrel.exe"), scratch_.Path()), STILL_ACTIVE);
        return ReadFileBytes(scratch_.File("Kernel.log"));
    }

    ScratchDir scratch_;
    WineAppDefaults settings_{"nimbrel.exe"};
};

TEST_F(StartupAs98, WinesOwnAspiLibraryReportsNoAdapter) {
    EXPECT_EQ(Run(), "OS: Windows 98\r\n" + kRule + "Load ASPI driver ok!\r\nNo host adapter found!\r\n" + kRule);
}

TEST_F(StartupAs98, ListsTheDrivesOfTheSimulatedLibrary) {
    // The machine that tests/peers/aspi/wnaspi32.txt describes.
    for (const char* file : {"wnaspi32.dll", "wnaspi32.txt"}) {
        ASSERT_TRUE(CopyFileA(BuildPath(std::string("peers/aspi/") + file).c_str(), scratch_.File(file).c_str(), FALSE));
    }
    ASSERT_TRUE(settings_.SetDllOverride("wnaspi32", "native"));
    EXPECT_EQ(Run(), "OS: Windows 98\r\n" + kRule +
                         "Load ASPI driver ok!\r\n"
                         "Drive D: ,Parameters: 0/1/0 ,BusType: 2\r\n"
                         "ZORIX   DVD-RW XR-1000  1.02\r\n"
                         "Issue Inquiry failed on 1:0:0, Letter E:. Error 0x3e5\r\n"
                         "Drive F: ,Parameters: 1/9/0 ,BusType: 7\r\n"
                         "ZORIX   DVD+RW XR-2000  2.00\r\n"
                         "Get Drive Letter failed on 1:10:0. Error 0xf\r\n"
                         "Issue Inquiry failed on 1:11:0, Letter G:. Error 0x1f\r\n"
                         "Drive H: ,Parameters: 1/12/0 ,BusType: 7\r\n"
                         "OTHER   DVD-ROM 16X     0200\r\n"
                         "Drive J: ,Parameters: 2/1/0 ,BusType: 4\r\n"
                         "ZORIX   DVD-RW XR-3000  3.01\r\n"
                         "Drive L: ,Parameters: 3/7/0 ,BusType: 0\r\n"
                         "OTHER   CD-R 8X         1.10\r\n" +
                         kRule);
}

}  // namespace

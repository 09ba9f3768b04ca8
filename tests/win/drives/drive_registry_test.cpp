#include "drives/drive_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/win/support/scratch_dir.h"

namespace {

using namespace std::string_literals;

const std::string kRule = std::string(44, '=') + "\r\n";

// A machine without drives (no drive roots, no ASPI library) on a platform.
DrivePlatform PlatformWithId(DWORD platformId, BOOL result = TRUE) {
    DrivePlatform platform;
    platform.getVersionEx = [platformId, result](OSVERSIONINFOA* info) {
        if (result) info->dwPlatformId = platformId;
        return result;
    };
    return platform;
}

class DriveRegistryTest : public ::testing::Test {
protected:
    // Builds a registry on a platform and answers what it has logged so far.
    std::string Start(const DrivePlatform& platform) {
        platform_ = platform;
        registry_ = std::make_unique<DriveRegistry>(*log_, platform_);
        return Log();
    }
    std::string Log() const { return ReadFileBytes(scratch_.File("Kernel.log")); }

    ScratchDir scratch_;
    std::unique_ptr<KernelLog> log_ = std::make_unique<KernelLog>();
    DrivePlatform platform_;
    std::unique_ptr<DriveRegistry> registry_;
};

TEST_F(DriveRegistryTest, LogsThePlatformAndTheDiscoveryBetweenRules) {
    struct {
        const char* what;
        DWORD id;
        BOOL result;
        std::string discovery;
    } cases[] = {
        {"NT family", VER_PLATFORM_WIN32_NT, TRUE, "OS: Windows NT\r\n" + kRule},
        {"98 family", VER_PLATFORM_WIN32_WINDOWS, TRUE, "OS: Windows 98\r\n" + kRule + "Load ASPI driver failed!\r\n"},
        {"failed version query counts as not NT", VER_PLATFORM_WIN32_NT, FALSE,
         "OS: Windows 98\r\n" + kRule + "Load ASPI driver failed!\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        registry_.reset();
        log_ = std::make_unique<KernelLog>();
        EXPECT_EQ(Start(PlatformWithId(c.id, c.result)), c.discovery + kRule);
        EXPECT_EQ(registry_->GetDriveCount(), 0u);
    }
}

TEST_F(DriveRegistryTest, AddDriveLogsTwoLinesAndNumbersFromOne) {
    const std::string header = Start(PlatformWithId(VER_PLATFORM_WIN32_NT));
    registry_->AddDrive("ZORIX   DVD-RW XR-1000  1.02", 'D', 1, 0, 0, 2);
    registry_->AddDrive("OTHER   CD-ROM 52X      0100", 'E', 2, 5, 1, 7);

    EXPECT_EQ(Log(), header +
                         "Drive D: ,Parameters: 1/0/0 ,BusType: 2\r\n"
                         "ZORIX   DVD-RW XR-1000  1.02\r\n"
                         "Drive E: ,Parameters: 2/5/1 ,BusType: 7\r\n"
                         "OTHER   CD-ROM 52X      0100\r\n");
    ASSERT_EQ(registry_->GetDriveCount(), 2u);

    DriveInfo info;
    ASSERT_TRUE(registry_->GetDriveInfo(2, info));
    EXPECT_EQ(info.index, 2u);
    EXPECT_EQ(info.letter, 'E');
    EXPECT_EQ(std::string(info.identity, kIdentitySize), "OTHER   CD-ROM 52X      0100");
    EXPECT_EQ(info.busType, 7);
    EXPECT_EQ(info.adapter, 2);
    EXPECT_EQ(info.target, 5);
    EXPECT_EQ(info.lun, 1);
}

TEST_F(DriveRegistryTest, IdentityKeepsNulBytesInTheListAndTheLog) {
    const std::string header = Start(PlatformWithId(VER_PLATFORM_WIN32_NT));
    const std::string identity = "ZORIX   \0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"s;
    ASSERT_EQ(identity.size(), 28u);
    registry_->AddDrive(identity.data(), 'F', 0, 1, 0, 0);
    EXPECT_EQ(Log(), header + "Drive F: ,Parameters: 0/1/0 ,BusType: 0\r\n" + identity + "\r\n");
    DriveInfo info;
    ASSERT_TRUE(registry_->GetDriveInfo(1, info));
    EXPECT_EQ(std::string(info.identity, kIdentitySize), identity);
}

TEST_F(DriveRegistryTest, LookUpsThatFailLogAndYieldAllZero) {
    const std::string header = Start(PlatformWithId(VER_PLATFORM_WIN32_NT));
    DriveInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_FALSE(registry_->GetDriveInfo(1, info));
    DriveInfo zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&info, &zero, sizeof info), 0);
    EXPECT_EQ(Log(), header + "No device found!\r\n");

    registry_->AddDrive("ZORIX   DVD-RW XR-1000  1.02", 'D', 1, 0, 0, 2);
    const std::string afterAdd = Log();
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_FALSE(registry_->GetDriveInfo(3, info));
    EXPECT_EQ(std::memcmp(&info, &zero, sizeof info), 0);
    EXPECT_EQ(Log(), afterAdd + "Target device 3  not found!\r\n");
}

TEST_F(DriveRegistryTest, NumberZeroIsTheHeadEntryOnceADriveExists) {
    Start(PlatformWithId(VER_PLATFORM_WIN32_NT));
    registry_->AddDrive("ZORIX   DVD-RW XR-1000  1.02", 'D', 1, 2, 3, 2);
    DriveInfo info;
    ASSERT_TRUE(registry_->GetDriveInfo(0, info));
    EXPECT_EQ(info.index, 0u);
    EXPECT_EQ(static_cast<unsigned char>(info.letter), 0xFF);
    EXPECT_EQ(std::string(info.identity, kIdentitySize), std::string(kIdentitySize, '\0'));
    EXPECT_EQ(info.busType, 0);
    EXPECT_EQ(info.adapter + info.target + info.lun, 0);
}

TEST_F(DriveRegistryTest, ADriveReportedTwiceIsListedTwice) {
    Start(PlatformWithId(VER_PLATFORM_WIN32_WINDOWS));
    for (int i = 0; i < 2; ++i) registry_->AddDrive("ZORIX   DVD-RW XR-1000  1.02", 'D', 1, 0, 0, 2);
    EXPECT_EQ(registry_->GetDriveCount(), 2u);
    DriveInfo first, second;
    ASSERT_TRUE(registry_->GetDriveInfo(1, first));
    ASSERT_TRUE(registry_->GetDriveInfo(2, second));
    EXPECT_EQ(first.letter, second.letter);
    EXPECT_EQ(second.index, 2u);
}

TEST_F(DriveRegistryTest, NodesCarryTheirLinks) {
    Start(PlatformWithId(VER_PLATFORM_WIN32_NT));
    registry_->AddDrive("ZORIX   DVD-RW XR-1000  1.02", 'D', 1, 0, 0, 2);
    registry_->AddDrive("ZORIX   DVD-RW XR-2000  1.00", 'E', 1, 1, 0, 2);
    DriveNode node;
    ASSERT_TRUE(registry_->FindDrive(1, node));
    ASSERT_NE(node.next, nullptr);
    EXPECT_EQ(node.next->index, 2u);
    ASSERT_TRUE(registry_->FindDrive(2, node));
    EXPECT_EQ(node.next, nullptr);
}

}  // namespace

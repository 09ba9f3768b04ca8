// The list of the optical drives found at start-up.
//
// Construction picks the transport by platform, runs its discovery once and logs
// every step; afterwards the registry only answers look-ups. Lock order: the
// registry's lock, then the log's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "drives/drive_info.h"
#include "drives/drive_platform.h"
#include "framework/critical_section.h"
#include "log/kernel_log.h"

struct DriveNode {
    uint32_t index = 0;  // 0 for the head entry
    char letter = 0;
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    int32_t busType = 0;
    DriveNode* next = nullptr;
    char identity[kIdentitySize] = {};
};

class DriveRegistry {
public:
    DriveRegistry(KernelLog& log, const DrivePlatform& platform);
    DriveRegistry(const DriveRegistry&) = delete;
    DriveRegistry& operator=(const DriveRegistry&) = delete;

    bool IsWindowsNT();

    // The two transports; construction runs the one of this platform. Each logs
    // what it finds or fails at and adds every drive that answered its INQUIRY.
    // EnumerateNt answers true; EnumerateAspi whether a drive was found (false
    // also when the library or its adapters are unusable).
    bool EnumerateNt();
    bool EnumerateAspi();

    // Lists one drive that answered its INQUIRY and logs it. `identity` points at
    // the INQUIRY data from byte 8 on; 28 bytes are taken.
    void AddDrive(const char* identity, uint8_t letter, uint8_t adapter, uint8_t target, uint8_t lun,
                  int32_t busType);

    // Copies the entry numbered `index` (0 is the head entry), link included.
    bool FindDrive(uint32_t index, DriveNode& node);
    // As FindDrive, as a DriveInfo; all zero when there is no such drive.
    bool GetDriveInfo(uint32_t index, DriveInfo& info);
    // Read without the lock: the list is complete before anyone asks.
    uint32_t GetDriveCount() const { return count_; }

private:
    void WriteRule();
    template <size_t N>
    void WriteLiteral(const char (&text)[N]) {
        log_.WriteLine(text, N - 1);
    }

    KernelLog& log_;
    const DrivePlatform& platform_;

    CCriticalSection lock_;
    bool found_ = false;
    std::deque<DriveNode> nodes_;  // owns every entry, the head first; addresses stay put
    DriveNode* cursor_ = nullptr;
    uint32_t count_ = 0;
};

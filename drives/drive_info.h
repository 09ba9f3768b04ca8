// What callers learn about one detected drive.
#pragma once

#include <cstdint>

// Bytes 8 to 35 of the standard INQUIRY data: vendor (8), product (16) and
// revision (4), blank-padded as the drive sent them, no terminator.
constexpr int kIdentitySize = 28;
constexpr int kVendorProductSize = 24;
constexpr int kRevisionSize = 4;

struct DriveInfo {
    uint32_t index;  // drive number, from 1 in the order of discovery
    char letter;
    char identity[kIdentitySize];
    int32_t busType;  // a STORAGE_BUS_TYPE number
    uint8_t adapter;
    uint8_t target;
    uint8_t lun;
};

// Drive look-ups over the process's drive registry; used by the main dialog.
bool GetDriveInfo(uint32_t index, DriveInfo& info);
uint32_t GetDriveCount();

#include "drives/drive_registry.h"

#include <cstring>

namespace {
const char kRule[] = "============================================";
}  // namespace

DriveRegistry::DriveRegistry(KernelLog& log, const DrivePlatform& platform) : log_(log), platform_(platform) {
    DriveNode& head = nodes_.emplace_back();
    head.letter = static_cast<char>(0xFF);
    cursor_ = &head;

    const bool nt = IsWindowsNT();
    log_.WriteLine(nt ? "OS: Windows NT" : "OS: Windows 98", 14);
    WriteRule();
    if (nt) {
        EnumerateNt();
    } else {
        EnumerateAspi();
    }
    WriteRule();
}

void DriveRegistry::WriteRule() { WriteLiteral(kRule); }

bool DriveRegistry::IsWindowsNT() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    // A failed call leaves the platform id 0, which counts as not NT.
    platform_.getVersionEx(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void DriveRegistry::AddDrive(const char* identity, uint8_t letter, uint8_t adapter, uint8_t target, uint8_t lun,
                             int32_t busType) {
    CSingleLock hold(lock_);

    std::memset(log_.LineBuffer, ' ', sizeof log_.LineBuffer);
    log_.WriteLine(log_.FormatLine("Drive %c: ,Parameters: %d/%d/%d ,BusType: %d", letter, adapter, target, lun,
                                   static_cast<int>(busType)));
    log_.WriteLine(identity, kIdentitySize);

    DriveNode* last = cursor_;
    while (last->next != nullptr) last = last->next;

    DriveNode& node = nodes_.emplace_back();
    node.index = last->index + 1;
    node.letter = static_cast<char>(letter);
    node.adapter = adapter;
    node.target = target;
    node.lun = lun;
    node.busType = busType;
    std::memcpy(node.identity, identity, kIdentitySize);

    last->next = &node;
    cursor_ = &node;
    ++count_;
    found_ = true;
}

bool DriveRegistry::FindDrive(uint32_t index, DriveNode& node) {
    if (!found_) {
        log_.WriteLine("No device found!", 16);
        return false;
    }
    CSingleLock hold(lock_);
    for (DriveNode* entry = &nodes_.front(); entry != nullptr; entry = entry->next) {
        cursor_ = entry;
        if (entry->index == index) {
            node = *entry;
            return true;
        }
    }
    log_.WriteLine(log_.FormatLine("Target device %d  not found!", static_cast<int>(index)));
    return false;
}

bool DriveRegistry::GetDriveInfo(uint32_t index, DriveInfo& info) {
    DriveNode node;
    if (!FindDrive(index, node)) {
        std::memset(&info, 0, sizeof info);
        return false;
    }
    info.index = node.index;
    info.letter = node.letter;
    std::memcpy(info.identity, node.identity, kIdentitySize);
    info.busType = node.busType;
    info.adapter = node.adapter;
    info.target = node.target;
    info.lun = node.lun;
    return true;
}

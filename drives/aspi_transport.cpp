// Discovery on the 98 family, through the ASPI library: every target on LUN 0 of
// every host adapter is asked for its device type; each CD-ROM for its drive
// letter and its INQUIRY data.
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <memory>
#include <string_view>

#include "drives/aspi_blocks.h"
#include "drives/drive_registry.h"

namespace {

constexpr DWORD kInquiryWaitMs = 1000;
constexpr DWORD kTargetTimeoutHalfSeconds = 30;  // 15 seconds
constexpr BYTE kInquiryLength = 36;
constexpr int kDefaultMaxTargets = 8;

// Case-sensitive tests on the adapter's name; the first match wins. The name is
// read up to its NUL, never past its 16 bytes.
int32_t BusTypeFromAdapterName(const BYTE (&identifier)[16]) {
    const char* text = reinterpret_cast<const char*>(identifier);
    const std::string_view name(text, strnlen(text, sizeof identifier));
    if (name.find("ESDI") != std::string_view::npos) return BusTypeAtapi;
    if (name.find("NTMAPHLP") != std::string_view::npos) return BusType1394;
    if (name.find("USB") != std::string_view::npos) return BusTypeUsb;
    return BusTypeUnknown;
}

// The INQUIRY's request block, its data buffer and its completion event. The
// ASPI layer owns all three until the request ends, so a set whose request is
// still pending after the wait is abandoned and the next target gets a new one.
class InquirySet {
public:
    explicit InquirySet(const DrivePlatform& platform) : platform_(platform) {
        std::memset(&block, 0, sizeof block);
        std::memset(data, 0, sizeof data);
        event = platform_.createEvent(nullptr, TRUE, FALSE, nullptr);
    }
    ~InquirySet() {
        if (event != nullptr) platform_.closeHandle(event);
    }
    InquirySet(const InquirySet&) = delete;
    InquirySet& operator=(const InquirySet&) = delete;

    void Fill(BYTE adapter, BYTE target) {
        std::memset(&block, 0, sizeof block);
        std::memset(data, 0, sizeof data);
        block.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        block.SRB_HaId = adapter;
        block.SRB_Flags = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;
        block.SRB_Target = target;
        block.SRB_BufLen = sizeof data;
        block.SRB_BufPointer = data;
        block.SRB_SenseLen = aspi::SENSE_LEN;
        block.SRB_CDBLen = 12;
        block.SRB_PostProc = event;
        block.CDBByte[0] = 0x12;  // INQUIRY, standard data
        block.CDBByte[4] = kInquiryLength;
    }

    aspi::SRB_ExecSCSICmd block;
    BYTE data[kInquiryLength];
    HANDLE event;

private:
    const DrivePlatform& platform_;
};

// The library and its two entry points, looked up by name.
struct AspiLibrary {
    HMODULE module = nullptr;
    aspi::GetSupportInfoFunction getSupportInfo = nullptr;
    aspi::SendCommandFunction send = nullptr;
};

template <typename Function>
Function EntryPoint(const DrivePlatform& platform, HMODULE module, const char* name) {
    // Through a generic function pointer: the entry point's type is the interface's.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(platform.getProcAddress(module, name)));
}

// Answers a library with both entry points, or none: a library that lacks one
// counts as one that cannot be loaded.
AspiLibrary LoadAspi(const DrivePlatform& platform) {
    AspiLibrary library;
    library.module = platform.loadLibrary(aspi::kLibraryName);
    if (library.module == nullptr) return library;
    library.getSupportInfo =
        EntryPoint<aspi::GetSupportInfoFunction>(platform, library.module, aspi::kGetSupportInfoName);
    library.send = EntryPoint<aspi::SendCommandFunction>(platform, library.module, aspi::kSendCommandName);
    if (library.getSupportInfo == nullptr || library.send == nullptr) {
        platform.freeLibrary(library.module);
        return AspiLibrary{};
    }
    return library;
}

}  // namespace

bool DriveRegistry::EnumerateAspi() {
    const AspiLibrary library = LoadAspi(platform_);
    if (library.module == nullptr) {
        WriteLiteral("Load ASPI driver failed!");
        return false;
    }
    WriteLiteral("Load ASPI driver ok!");

    const DWORD support = library.getSupportInfo();
    const BYTE status = HIBYTE(LOWORD(support));
    const BYTE adapters = LOBYTE(LOWORD(support));
    if (status != aspi::SS_COMP && status != aspi::SS_NO_ADAPTERS) {
        platform_.freeLibrary(library.module);
        WriteLiteral("Get ASPI Support Information failed!");
        return false;
    }
    if (adapters == 0) {
        platform_.freeLibrary(library.module);
        WriteLiteral("No host adapter found!");
        return false;
    }

    aspi::SRB_GetSetTimeouts timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    timeouts.SRB_Cmd = aspi::SC_GETSET_TIMEOUTS;
    timeouts.SRB_HaId = 0xFF;  // every adapter, target and LUN
    timeouts.SRB_Target = 0xFF;
    timeouts.SRB_Lun = 0xFF;
    timeouts.SRB_Flags = aspi::SRB_DIR_OUT;  // set, not get
    timeouts.SRB_Timeout = kTargetTimeoutHalfSeconds;
    library.send(&timeouts);

    auto set = std::make_unique<InquirySet>(platform_);
    for (BYTE adapter = 0; adapter < adapters; ++adapter) {
        aspi::SRB_HAInquiry host;
        std::memset(&host, 0, sizeof host);
        host.SRB_Cmd = aspi::SC_HA_INQUIRY;
        host.SRB_HaId = adapter;
        if (library.send(&host) != aspi::SS_COMP) continue;
        const int maxTargets = host.HA_Unique[3] != 0 ? host.HA_Unique[3] : kDefaultMaxTargets;
        const int32_t busType = BusTypeFromAdapterName(host.HA_Identifier);

        for (int target = 0; target < maxTargets; ++target) {
            aspi::SRB_GDEVBlock device;
            std::memset(&device, 0, sizeof device);
            device.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
            device.SRB_HaId = adapter;
            device.SRB_Target = static_cast<BYTE>(target);
            if (library.send(&device) != aspi::SS_COMP || device.SRB_DeviceType != aspi::DTYPE_CDROM) continue;

            aspi::SRB_GetDiskInfo disk;
            std::memset(&disk, 0, sizeof disk);
            disk.SRB_Cmd = aspi::SC_GET_DISK_INFO;
            disk.SRB_HaId = adapter;
            disk.SRB_Target = static_cast<BYTE>(target);
            if (library.send(&disk) != aspi::SS_COMP) {
                log_.WriteLine(log_.FormatLine("Get Drive Letter failed on %d:%d:%d. Error %#lx", adapter, target,
                                               0, platform_.getLastError()));
                continue;
            }
            const char letter = static_cast<char>('A' + disk.SRB_Int13HDriveInfo);

            if (!set) set = std::make_unique<InquirySet>(platform_);
            InquirySet& inquiry = *set;
            inquiry.Fill(adapter, static_cast<BYTE>(target));
            platform_.resetEvent(inquiry.event);
            // SS_PENDING: the layer signals the event when the request ends. Any
            // other answer means it has ended already.
            bool stillOwned = false;
            if (library.send(&inquiry.block) == aspi::SS_PENDING) {
                stillOwned = platform_.waitForSingleObject(inquiry.event, kInquiryWaitMs) != WAIT_OBJECT_0;
            }
            if (inquiry.block.SRB_Status == aspi::SS_COMP) {
                AddDrive(reinterpret_cast<const char*>(inquiry.data) + 8, static_cast<uint8_t>(letter), adapter,
                         static_cast<uint8_t>(target), 0, busType);
            } else {
                log_.WriteLine(log_.FormatLine("Issue Inquiry failed on %d:%d:%d, Letter %c:. Error %#lx", adapter,
                                               target, 0, letter, platform_.getLastError()));
            }
            // Deliberately never freed: the layer may still write into it and signal its event.
            if (stillOwned) static_cast<void>(set.release());
        }
    }

    set.reset();
    platform_.freeLibrary(library.module);
    return found_;
}

// Discovery on the NT family: every CD-ROM drive letter is opened as a device and
// asked for its SCSI address, its INQUIRY data (SCSI pass-through) and its bus
// type (storage property query).
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "drives/drive_registry.h"
#include "drives/scsi_pass_through.h"

namespace {

constexpr DWORD kRequestWaitMs = 4000;  // matches the pass-through time-out
constexpr DWORD kRootsBufferSize = 97;  // 24 roots of 4 bytes ("D:\" and NUL) and the final NUL
constexpr int kRootSize = 4;
constexpr int kRootsAttempts = 3;  // drives may come and go between two calls

// What one request in flight owns: its buffers, its OVERLAPPED and the event that
// the OVERLAPPED names. A request that has not ended keeps all of it, so such a
// set is abandoned (never freed, never reused) and the next drive gets a new one.
class RequestSet {
public:
    explicit RequestSet(const DrivePlatform& platform) : platform_(platform) {
        std::memset(&address, 0, sizeof address);
        std::memset(&block, 0, sizeof block);
        std::memset(data, 0, sizeof data);
        std::memset(&query, 0, sizeof query);
        std::memset(&descriptor, 0, sizeof descriptor);
        std::memset(&overlapped, 0, sizeof overlapped);
        event_ = platform_.createEvent(nullptr, TRUE, FALSE, nullptr);
    }
    ~RequestSet() {
        if (event_ != nullptr) platform_.closeHandle(event_);
    }
    RequestSet(const RequestSet&) = delete;
    RequestSet& operator=(const RequestSet&) = delete;

    enum class Outcome { kEnded, kFailedAtOnce, kPending };

    // Sends one request on `device` and waits for its end, at most kRequestWaitMs.
    Outcome Send(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength) {
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event_;
        platform_.resetEvent(event_);
        DWORD returned = 0;
        // A request refused at once never signals the event: nothing to wait for.
        if (!platform_.deviceIoControl(device, code, in, inLength, out, outLength, &returned, &overlapped) &&
            platform_.getLastError() != ERROR_IO_PENDING) {
            return Outcome::kFailedAtOnce;
        }
        return platform_.waitForSingleObject(event_, kRequestWaitMs) == WAIT_OBJECT_0 ? Outcome::kEnded
                                                                                    : Outcome::kPending;
    }

    // After a request that did not end in its wait: cancels it and answers whether
    // it has ended now, so that the set may be used again.
    bool Cancel(HANDLE device) {
        platform_.cancelIo(device);
        return platform_.waitForSingleObject(event_, 0) == WAIT_OBJECT_0;
    }

    // After kEnded: whether the request succeeded, and the bytes it returned.
    bool Result(HANDLE device, DWORD& returned) {
        returned = 0;
        return platform_.getOverlappedResult(device, &overlapped, &returned, FALSE) != FALSE;
    }

    void FillAddressRequest() { std::memset(&address, 0, sizeof address); }

    void FillInquiry() {
        std::memset(&block, 0, sizeof block);
        std::memset(data, 0, sizeof data);
        SCSI_PASS_THROUGH_DIRECT& header = block.header;
        header.Length = sizeof header;
        header.CdbLength = 6;
        header.SenseInfoLength = scsi::kSenseInfoLength;
        header.DataIn = SCSI_IOCTL_DATA_IN;
        header.DataTransferLength = sizeof data;
        header.TimeOutValue = scsi::kTimeOutSeconds;
        header.DataBuffer = data;
        header.SenseInfoOffset = offsetof(scsi::PassThroughBlock, sense);
        header.Cdb[0] = scsi::kInquiry;
        header.Cdb[4] = scsi::kInquiryLength;
    }

    void FillBusTypeQuery() {
        std::memset(&query, 0, sizeof query);  // StorageDeviceProperty, PropertyStandardQuery
        std::memset(&descriptor, 0, sizeof descriptor);
    }

    SCSI_ADDRESS address;
    scsi::PassThroughBlock block;
    BYTE data[scsi::kInquiryLength];
    STORAGE_PROPERTY_QUERY query;
    STORAGE_DEVICE_DESCRIPTOR descriptor;  // its head only: BusType is all we read
    OVERLAPPED overlapped;

private:
    const DrivePlatform& platform_;
    HANDLE event_;
};

// Leaves a set to the request that still owns it: deliberately never freed.
void Abandon(std::unique_ptr<RequestSet>& set) { static_cast<void>(set.release()); }

// The set for the next request: the current one, or a new one after it was abandoned.
RequestSet& Ready(std::unique_ptr<RequestSet>& set, const DrivePlatform& platform) {
    if (!set) set = std::make_unique<RequestSet>(platform);
    return *set;
}

// The drive roots, "C:\" NUL "D:\" NUL ... NUL. The buffer grows to what the
// system says it needs; it stays zero when the roots cannot be read.
std::vector<char> ReadRoots(const DrivePlatform& platform) {
    std::vector<char> roots(kRootsBufferSize, '\0');
    for (int attempt = 0; attempt < kRootsAttempts; ++attempt) {
        const DWORD needed = platform.getLogicalDriveStrings(static_cast<DWORD>(roots.size()), roots.data());
        if (needed <= roots.size()) return roots;
        roots.assign(needed + 1, '\0');
    }
    roots.assign(kRootsBufferSize, '\0');
    return roots;
}

}  // namespace

bool DriveRegistry::EnumerateNt() {
    const std::vector<char> roots = ReadRoots(platform_);
    auto set = std::make_unique<RequestSet>(platform_);  // renewed only after it was abandoned

    // The roots lie kRootSize bytes apart; 24 fit the usual buffer.
    for (size_t at = 0; at + kRootSize <= roots.size(); at += kRootSize) {
        const char letter = roots[at];
        if (letter == '\0') break;
        if (letter == 'A' || letter == 'B') continue;

        char devicePath[8];
        std::snprintf(devicePath, sizeof devicePath, "\\\\.\\%c:", letter);
        const HANDLE device = platform_.createFile(devicePath, GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                   FILE_FLAG_OVERLAPPED, nullptr);
        if (device == INVALID_HANDLE_VALUE) continue;

        char rootPath[8];
        std::snprintf(rootPath, sizeof rootPath, "%c:\\", letter);
        if (platform_.getDriveType(rootPath) != DRIVE_CDROM) {
            platform_.closeHandle(device);
            continue;
        }

        // The handle is overlapped, so the address request is too: a driver may answer
        // it later, into memory that must still be the request's then. A failed or
        // unanswered request leaves the drive at 0:0:0.
        SCSI_ADDRESS address;
        std::memset(&address, 0, sizeof address);
        {
            RequestSet& work = Ready(set, platform_);
            work.FillAddressRequest();
            const RequestSet::Outcome addressed =
                work.Send(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &work.address, sizeof work.address);
            DWORD returned = 0;
            if (addressed == RequestSet::Outcome::kEnded && work.Result(device, returned)) {
                if (returned < sizeof address) {
                    platform_.closeHandle(device);
                    continue;
                }
                address = work.address;
            } else if (addressed == RequestSet::Outcome::kPending && !work.Cancel(device)) {
                Abandon(set);
            }
        }

        RequestSet& work = Ready(set, platform_);
        work.FillInquiry();
        const RequestSet::Outcome inquiry = work.Send(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &work.block,
                                                      sizeof work.block, &work.block, sizeof work.block);
        if (inquiry != RequestSet::Outcome::kEnded) {
            if (inquiry == RequestSet::Outcome::kPending && !work.Cancel(device)) Abandon(set);
            platform_.closeHandle(device);
            log_.WriteLine(log_.FormatLine("Issue Inquiry failed on %d:%d:%d, Letter %c:. Error %#lx",
                                           address.PortNumber, address.TargetId, address.Lun, letter,
                                           platform_.getLastError()));
            continue;
        }

        work.FillBusTypeQuery();
        int32_t busType = BusTypeUnknown;
        const RequestSet::Outcome query = work.Send(device, IOCTL_STORAGE_QUERY_PROPERTY, &work.query,
                                                    sizeof work.query, &work.descriptor, sizeof work.descriptor);
        if (query == RequestSet::Outcome::kEnded) {
            busType = work.descriptor.BusType;
        } else {
            const DWORD error = platform_.getLastError();
            if (query == RequestSet::Outcome::kPending && !work.Cancel(device)) Abandon(set);
            log_.WriteLine(log_.FormatLine("Failed to find bus type on %d:%d:%d, Letter %c:. Error %#lx",
                                           address.PortNumber, address.TargetId, address.Lun, letter, error));
        }

        // The INQUIRY data stay ours even when the query's set was abandoned.
        AddDrive(reinterpret_cast<const char*>(work.data) + 8, static_cast<uint8_t>(letter), address.PortNumber,
                 address.TargetId, address.Lun, busType);
        platform_.closeHandle(device);
    }
    return true;
}

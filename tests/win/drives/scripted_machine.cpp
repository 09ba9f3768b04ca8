#include "tests/win/drives/scripted_machine.h"

#include <algorithm>
#include <cstring>

#include "drives/aspi_blocks.h"
#include "drives/drive_registry.h"
#include "drives/scsi_pass_through.h"
#include "tests/win/support/scratch_dir.h"

namespace {

ScriptedMachine* theMachine = nullptr;  // the one the library's entry points reach

DWORD __cdecl ScriptedGetSupportInfo() { return theMachine->GetSupportInfo(); }
DWORD __cdecl ScriptedSend(void* srb) { return theMachine->Send(srb); }

const HMODULE kLibrary = reinterpret_cast<HMODULE>(0x5000);
constexpr ULONG_PTR kCancelled = 0xC0000120;  // STATUS_CANCELLED, what a cancelled request ends with

bool Overlaps(const void* a, size_t aSize, const void* b, size_t bSize) {
    const char* x = static_cast<const char*>(a);
    const char* y = static_cast<const char*>(b);
    return x < y + bSize && y < x + aSize;
}

// The 36 bytes of standard INQUIRY data around a 28-byte identity.
void FillInquiryData(BYTE* data, size_t size, const std::string& identity) {
    BYTE answer[36] = {5, 0x80, 0, 2, 31};
    std::memcpy(answer + 8, identity.data(), std::min<size_t>(identity.size(), 28));
    std::memcpy(data, answer, std::min(size, sizeof answer));
}

}  // namespace

ScriptedMachine::ScriptedMachine(bool nt) : nt_(nt) { theMachine = this; }

ScriptedMachine::~ScriptedMachine() { theMachine = nullptr; }

HANDLE ScriptedMachine::NewHandle(Kind kind) {
    const HANDLE handle = reinterpret_cast<HANDLE>(nextHandle_);
    nextHandle_ += 4;
    open_[handle] = kind;
    return handle;
}

const ScriptedDrive* ScriptedMachine::DriveOf(HANDLE device) const {
    const auto letter = deviceLetters_.find(device);
    if (letter == deviceLetters_.end()) return nullptr;
    for (const ScriptedDrive& drive : drives) {
        if (drive.letter == letter->second) return &drive;
    }
    return nullptr;
}

const ScriptedTarget* ScriptedMachine::FindTarget(BYTE adapter, BYTE target, BYTE lun) const {
    for (const ScriptedTarget& t : targets) {
        if (t.adapter == adapter && t.target == target && t.lun == lun) return &t;
    }
    return nullptr;
}

void ScriptedMachine::CheckFree(const std::vector<Range>& ranges, HANDLE event, const char* what) {
    for (const Pending& pending : pending_) {
        bool clash = event != nullptr && event == pending.event;
        for (const Range& range : ranges) {
            for (const Range& owned : pending.owned) clash = clash || Overlaps(range.at, range.size, owned.at, owned.size);
        }
        if (clash) Fault(std::string(what) + " touches what a pending request still owns");
    }
}

void ScriptedMachine::Complete(Pending& pending) {
    signalled_[pending.event] = true;
    if (pending.overlapped != nullptr) pending.overlapped->Internal = 0;
    if (pending.srb != nullptr) {
        auto& srb = *static_cast<aspi::SRB_ExecSCSICmd*>(pending.srb);
        FillInquiryData(srb.SRB_BufPointer, srb.SRB_BufLen, pending.target->identity);
        srb.SRB_Status = aspi::SS_COMP;
    }
}

std::vector<std::string> ScriptedMachine::Faults() {
    std::vector<std::string> all = faults_;
    for (const auto& [handle, kind] : open_) {
        const bool owned = std::any_of(pending_.begin(), pending_.end(),
                                       [handle = handle](const Pending& p) { return p.event == handle; });
        if (kind == Kind::kDevice) all.push_back("a device is left open");
        if (kind == Kind::kEvent && !owned) all.push_back("an event is left open");
    }
    if (loaded_ != 0) all.push_back("the library is left loaded");
    return all;
}

DrivePlatform ScriptedMachine::Platform() {
    DrivePlatform p;
    p.getVersionEx = [this](OSVERSIONINFOA* info) {
        info->dwPlatformId = nt_ ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
        return TRUE;
    };
    p.getLogicalDriveStrings = [this](DWORD length, char* buffer) -> DWORD {
        rootsLengths.push_back(length);
        std::string roots;
        for (const ScriptedDrive& drive : drives) roots += std::string(1, drive.letter) + ":\\" + '\0';
        if (roots.size() + 1 > length) return static_cast<DWORD>(roots.size() + 1);  // nothing filled
        std::memcpy(buffer, roots.c_str(), roots.size() + 1);
        return static_cast<DWORD>(roots.size());
    };
    p.createFile = [this](const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES*, DWORD disposition,
                          DWORD flags, HANDLE) {
        opened.push_back(name);
        if (access != (GENERIC_READ | GENERIC_WRITE) || share != (FILE_SHARE_READ | FILE_SHARE_WRITE) ||
            disposition != OPEN_EXISTING || flags != FILE_FLAG_OVERLAPPED) {
            Fault(std::string("opened ") + name + " otherwise than for overlapped reading and writing");
        }
        const std::string path = name;
        for (const ScriptedDrive& drive : drives) {
            if (path == std::string("\\\\.\\") + drive.letter + ":" && drive.opens) {
                const HANDLE device = NewHandle(Kind::kDevice);
                deviceLetters_[device] = drive.letter;
                return device;
            }
        }
        lastError_ = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    };
    p.getDriveType = [this](const char* root) -> UINT {
        for (const ScriptedDrive& drive : drives) {
            if (std::string(root) == std::string(1, drive.letter) + ":\\") return drive.type;
        }
        return DRIVE_NO_ROOT_DIR;
    };
    p.deviceIoControl = [this](HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                               DWORD* returned, OVERLAPPED* overlapped) {
        return DeviceIoControl(device, code, in, inLength, out, outLength, returned, overlapped);
    };
    p.cancelIo = [this](HANDLE device) {
        for (auto pending = pending_.begin(); pending != pending_.end();) {
            if (pending->device == device && pending->reply == Reply::kCancellable) {
                pending->overlapped->Internal = kCancelled;
                signalled_[pending->event] = true;
                pending = pending_.erase(pending);
            } else {
                ++pending;
            }
        }
        return TRUE;
    };
    p.getOverlappedResult = [this](HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
        if (open_.count(device) == 0 || wait) Fault("GetOverlappedResult otherwise than on an open device, at once");
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
        if (overlapped->Internal == 0) return TRUE;
        lastError_ = overlapped->Internal == STATUS_PENDING ? ERROR_IO_INCOMPLETE : ERROR_OPERATION_ABORTED;
        return FALSE;
    };
    p.createEvent = [this](SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL signalled, const char* name) {
        if (!manualReset || signalled || name != nullptr) Fault("an event that is not manual-reset, unsignalled, unnamed");
        const HANDLE event = NewHandle(Kind::kEvent);
        signalled_[event] = false;
        return event;
    };
    p.resetEvent = [this](HANDLE event) {
        CheckFree({}, event, "ResetEvent");
        signalled_[event] = false;
        return TRUE;
    };
    p.waitForSingleObject = [this](HANDLE object, DWORD milliseconds) { return Wait(object, milliseconds); };
    p.closeHandle = [this](HANDLE object) {
        if (open_.erase(object) == 0) Fault("a handle closed twice or never opened");
        CheckFree({}, object, "CloseHandle");
        return TRUE;
    };
    p.getLastError = [this] { return lastError_; };
    p.loadLibrary = [this](const char* name) -> HMODULE {
        if (std::string(name) != "WNASPI32" || !libraryLoads) return nullptr;
        ++loaded_;
        return kLibrary;
    };
    p.getProcAddress = [this](HMODULE module, const char* name) -> FARPROC {
        if (module != kLibrary) return nullptr;
        if (std::string(name) == "GetASPI32SupportInfo" && hasSupportInfo) {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&ScriptedGetSupportInfo));
        }
        if (std::string(name) == "SendASPI32Command" && hasSend) return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&ScriptedSend));
        return nullptr;
    };
    p.freeLibrary = [this](HMODULE module) {
        if (module == kLibrary) --loaded_;
        return TRUE;
    };
    return p;
}

DWORD ScriptedMachine::Wait(HANDLE object, DWORD milliseconds) {
    waits.push_back(milliseconds);
    for (auto pending = pending_.begin(); pending != pending_.end(); ++pending) {
        if (pending->event == object && pending->reply == Reply::kAnswer) {
            Complete(*pending);
            pending_.erase(pending);
            break;
        }
    }
    return signalled_[object] ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL ScriptedMachine::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out,
                                      DWORD outLength, DWORD*, OVERLAPPED* overlapped) {
    const ScriptedDrive* drive = DriveOf(device);
    if (drive == nullptr || open_.count(device) == 0) {
        Fault("a request to a device that is not open");
        return FALSE;
    }
    if (overlapped == nullptr) {
        Fault("a request without OVERLAPPED");
        return FALSE;
    }
    std::vector<Range> ranges = {{overlapped, sizeof *overlapped}, {in, inLength}, {out, outLength}};
    Reply reply = drive->busQuery;
    DWORD transferred = outLength;
    if (code == IOCTL_SCSI_GET_ADDRESS) {
        if (in != nullptr || inLength != 0 || outLength != sizeof(SCSI_ADDRESS)) Fault("address request");
        const Reply replies[] = {Reply::kAnswer, Reply::kAnswer, Reply::kRefused, Reply::kCancellable};
        reply = replies[static_cast<int>(drive->address)];
        if (drive->address == ScriptedDrive::Address::kShort) transferred = 4;
        auto& address = *static_cast<SCSI_ADDRESS*>(out);
        if (reply == Reply::kAnswer) address = SCSI_ADDRESS{sizeof address, drive->port, 0, drive->target, drive->lun};
    } else if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
        reply = drive->inquiry;
        const auto& header = static_cast<scsi::PassThroughBlock*>(in)->header;
        const BYTE cdb[16] = {0x12, 0, 0, 0, 36};
        if (in != out || inLength != sizeof(scsi::PassThroughBlock) || outLength != inLength ||
            header.Length != sizeof header || header.CdbLength != 6 || header.SenseInfoLength != 24 ||
            header.DataIn != SCSI_IOCTL_DATA_IN || header.DataTransferLength != 36 || header.TimeOutValue != 4 ||
            header.SenseInfoOffset != offsetof(scsi::PassThroughBlock, sense) ||
            std::memcmp(header.Cdb, cdb, sizeof cdb) != 0 || header.PathId + header.TargetId + header.Lun != 0) {
            Fault("INQUIRY pass-through block");
        }
        ranges.push_back({header.DataBuffer, header.DataTransferLength});
        if (reply == Reply::kAnswer) FillInquiryData(static_cast<BYTE*>(header.DataBuffer), 36, drive->identity);
    } else if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
        const BYTE zero[sizeof(STORAGE_PROPERTY_QUERY)] = {};
        if (inLength != sizeof zero || std::memcmp(in, zero, sizeof zero) != 0 || outLength != 40) {
            Fault("bus type query");
        }
        if (reply == Reply::kAnswer) static_cast<STORAGE_DEVICE_DESCRIPTOR*>(out)->BusType = drive->busType;
    } else {
        Fault("an unknown control code");
    }
    CheckFree(ranges, overlapped->hEvent, "DeviceIoControl");

    if (reply == Reply::kRefused) {
        lastError_ = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    lastError_ = ERROR_IO_PENDING;
    overlapped->Internal = STATUS_PENDING;
    if (reply == Reply::kAnswer || reply == Reply::kEmpty) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = transferred;
        signalled_[overlapped->hEvent] = true;
    } else {
        pending_.push_back({device, overlapped->hEvent, ranges, reply, nullptr, nullptr, overlapped});
    }
    return FALSE;
}

DWORD ScriptedMachine::GetSupportInfo() {
    if (supportInfo) return *supportInfo;
    if (adapters.empty()) return MAKEWORD(0, aspi::SS_NO_ADAPTERS);
    return MAKEWORD(adapters.size(), aspi::SS_COMP);
}

DWORD ScriptedMachine::Send(void* request) {
    auto& header = *static_cast<aspi::SRB_Header*>(request);
    const auto finish = [&header](BYTE status) {
        header.SRB_Status = status;
        return static_cast<DWORD>(status);
    };
    switch (header.SRB_Cmd) {
        case aspi::SC_GETSET_TIMEOUTS: {
            const auto& srb = *static_cast<aspi::SRB_GetSetTimeouts*>(request);
            if (srb.SRB_HaId != 0xFF || srb.SRB_Target != 0xFF || srb.SRB_Lun != 0xFF ||
                srb.SRB_Flags != aspi::SRB_DIR_OUT || srb.SRB_Timeout != 30) {
                Fault("time-out block");
            }
            return finish(aspi::SS_COMP);
        }
        case aspi::SC_HA_INQUIRY: {
            auto& srb = *static_cast<aspi::SRB_HAInquiry*>(request);
            if (srb.SRB_HaId >= adapters.size() || !adapters[srb.SRB_HaId].answers) return finish(aspi::SS_INVALID_HA);
            const ScriptedAdapter& adapter = adapters[srb.SRB_HaId];
            srb.HA_Count = static_cast<BYTE>(adapters.size());
            std::memcpy(srb.HA_Identifier, adapter.name.data(), std::min<size_t>(adapter.name.size(), 16));
            srb.HA_Unique[3] = adapter.maxTargets;
            return finish(aspi::SS_COMP);
        }
        case aspi::SC_GET_DEV_TYPE: {
            auto& srb = *static_cast<aspi::SRB_GDEVBlock*>(request);
            const ScriptedTarget* target = FindTarget(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
            if (target == nullptr) return finish(aspi::SS_NO_DEVICE);
            srb.SRB_DeviceType = target->type;
            return finish(aspi::SS_COMP);
        }
        case aspi::SC_GET_DISK_INFO: {
            auto& srb = *static_cast<aspi::SRB_GetDiskInfo*>(request);
            const ScriptedTarget* target = FindTarget(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
            if (target == nullptr || target->letter < 0) {
                lastError_ = ERROR_INVALID_DRIVE;
                return finish(aspi::SS_ERR);
            }
            srb.SRB_Int13HDriveInfo = static_cast<BYTE>(target->letter);
            return finish(aspi::SS_COMP);
        }
        case aspi::SC_EXEC_SCSI_CMD: {
            auto& srb = *static_cast<aspi::SRB_ExecSCSICmd*>(request);
            const BYTE cdb[16] = {0x12, 0, 0, 0, 36};
            if (srb.SRB_Flags != (aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY) || srb.SRB_BufLen != 36 ||
                srb.SRB_SenseLen != 14 || srb.SRB_CDBLen != 12 || srb.SRB_Lun != 0 ||
                std::memcmp(srb.CDBByte, cdb, sizeof cdb) != 0 || open_.count(srb.SRB_PostProc) == 0) {
                Fault("INQUIRY request block");
            }
            const std::vector<Range> ranges = {{&srb, sizeof srb}, {srb.SRB_BufPointer, srb.SRB_BufLen}};
            CheckFree(ranges, srb.SRB_PostProc, "SendASPI32Command");
            const ScriptedTarget* target = FindTarget(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
            if (target == nullptr || target->inquiry == Reply::kRefused) {
                lastError_ = ERROR_GEN_FAILURE;
                return finish(aspi::SS_ERR);
            }
            if (target->inquiry == Reply::kAtOnce) {
                FillInquiryData(srb.SRB_BufPointer, srb.SRB_BufLen, target->identity);
                return finish(aspi::SS_COMP);
            }
            pending_.push_back({nullptr, srb.SRB_PostProc, ranges, target->inquiry, &srb, target, nullptr});
            lastError_ = ERROR_IO_PENDING;
            return finish(aspi::SS_PENDING);
        }
        default:
            Fault("an unknown ASPI command");
            return finish(aspi::SS_ERR);
    }
}

std::string Discover(ScriptedMachine& machine) {
    ScratchDir scratch;
    {
        const DrivePlatform platform = machine.Platform();
        KernelLog log;
        DriveRegistry registry(log, platform);
    }
    return ReadFileBytes(scratch.File("Kernel.log"));
}

namespace {
const std::string kRule = std::string(44, '=') + "\r\n";
}  // namespace

std::string NtLog(const std::string& lines) { return "OS: Windows NT\r\n" + kRule + lines + kRule; }

std::string AspiLog(const std::string& lines) { return "OS: Windows 98\r\n" + kRule + lines + kRule; }

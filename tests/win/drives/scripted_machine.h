// A machine of scripted drives behind the discovery's platform table: NT devices
// by drive letter, or an ASPI library with adapters and targets. It answers at
// once (no real waiting), notes the bound of every wait, and notes as a fault
// every request field the published interfaces do not allow and every reuse of
// memory, event or block that a pending request still owns.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "drives/drive_platform.h"

// How a scripted request ends.
enum class Reply {
    kAnswer,       // ends within its wait (NT, ASPI: SS_PENDING, then the event)
    kEmpty,        // NT: ends within its wait without writing its data
    kAtOnce,       // ASPI: the call itself answers SS_COMP
    kRefused,      // fails at once, nothing pending
    kNever,        // stays pending, also after CancelIo
    kCancellable,  // NT: stays pending until CancelIo
};

constexpr char kIdentity[] = "ZORIX   DVD-RW XR-1000  1.02";

struct ScriptedDrive {
    char letter;
    bool opens = true;
    UINT type = DRIVE_CDROM;
    enum class Address { kAnswer, kShort, kFail, kNever } address = Address::kAnswer;  // kNever: until CancelIo
    UCHAR port = 1, target = 0, lun = 0;
    Reply inquiry = Reply::kAnswer;
    Reply busQuery = Reply::kAnswer;
    STORAGE_BUS_TYPE busType = BusTypeAtapi;
    std::string identity = kIdentity;
};

struct ScriptedAdapter {
    std::string name;  // the first 16 bytes become HA_Identifier
    BYTE maxTargets = 0;
    bool answers = true;
};

struct ScriptedTarget {
    BYTE adapter = 0, target = 0, lun = 0;
    int letter = 3;  // SRB_Int13HDriveInfo; -1: the disk information request fails
    Reply inquiry = Reply::kAnswer;
    BYTE type = 5;  // DTYPE_CDROM
    std::string identity = kIdentity;
};

class ScriptedMachine {
public:
    explicit ScriptedMachine(bool nt);
    ~ScriptedMachine();
    ScriptedMachine(const ScriptedMachine&) = delete;
    ScriptedMachine& operator=(const ScriptedMachine&) = delete;

    DrivePlatform Platform();

    // Adds the faults of what is still open at the end and answers all faults.
    std::vector<std::string> Faults();

    // NT: the roots, in this order.
    std::vector<ScriptedDrive> drives;

    // ASPI.
    bool libraryLoads = true, hasSupportInfo = true, hasSend = true;
    std::optional<DWORD> supportInfo;  // default: SS_COMP and the adapter count
    std::vector<ScriptedAdapter> adapters;
    std::vector<ScriptedTarget> targets;

    // What discovery did.
    std::vector<DWORD> waits;          // the bound of every wait, in order
    std::vector<DWORD> rootsLengths;   // of every GetLogicalDriveStringsA call
    std::vector<std::string> opened;   // device paths opened

    // Entry points of the scripted library (called through the platform table).
    DWORD GetSupportInfo();
    DWORD Send(void* srb);

private:
    struct Range {
        const void* at;
        size_t size;
    };
    struct Pending {
        HANDLE device;
        HANDLE event;
        std::vector<Range> owned;
        Reply reply;
        void* srb;  // ASPI
        const ScriptedTarget* target;
        OVERLAPPED* overlapped;  // NT
    };
    enum class Kind { kDevice, kEvent };

    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                         DWORD* returned, OVERLAPPED* overlapped);
    DWORD Wait(HANDLE object, DWORD milliseconds);
    void Fault(const std::string& what) { faults_.push_back(what); }
    // Notes a fault when any range or the event is owned by a pending request.
    void CheckFree(const std::vector<Range>& ranges, HANDLE event, const char* what);
    HANDLE NewHandle(Kind kind);
    const ScriptedDrive* DriveOf(HANDLE device) const;
    const ScriptedTarget* FindTarget(BYTE adapter, BYTE target, BYTE lun) const;
    void Complete(Pending& pending);

    bool nt_;
    DWORD lastError_ = 0;
    int loaded_ = 0;
    uintptr_t nextHandle_ = 0x100;
    std::map<HANDLE, Kind> open_;
    std::map<HANDLE, bool> signalled_;
    std::map<HANDLE, char> deviceLetters_;
    std::vector<Pending> pending_;
    std::vector<std::string> faults_;
};

// Constructs a drive registry (and its log) on the machine in a fresh scratch
// folder and answers the whole "Kernel.log" it wrote.
std::string Discover(ScriptedMachine& machine);

// The log around a transport's lines.
std::string NtLog(const std::string& lines);
std::string AspiLog(const std::string& lines);

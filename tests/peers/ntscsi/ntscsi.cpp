// A simulated SCSI machine of the NT family, put between an unchanged program and
// kernel32 by the launcher (ntstart.cpp): "ntscsi.dll" takes the place of the calls
// that drive discovery makes in the program's import table (CreateFileA,
// GetDriveTypeA, GetLogicalDriveStringsA, DeviceIoControl, CloseHandle, and
// GetProcAddress, which answers CancelIo), and of msvcrt's free. It answers only for
// the drive letters that "ntscsi.txt" beside the program describes; every other call
// goes on to the real one, and every call leaves the last error as the real call
// would. One drive per line, fields separated by '|':
//
//   drive|<letter>|<port>|<target>|<lun>|<bus type>|<address>|<inquiry>|<bus query>
//        |<vendor>|<product>|<revision>
//
// The bus type is a STORAGE_BUS_TYPE number (2 ATAPI, 7 USB, ...). How each of the
// three requests (IOCTL_SCSI_GET_ADDRESS, the INQUIRY through
// IOCTL_SCSI_PASS_THROUGH_DIRECT, IOCTL_STORAGE_QUERY_PROPERTY) ends:
//   now        at once: TRUE, the OVERLAPPED's event set too
//   later      ERROR_IO_PENDING, then the data and the event from a thread of ours
//              100 ms later
//   never      pending until CancelIo (or the device's close)
//   stuck      pending for ever, CancelIo or not
//   fail=<n>   FALSE at once with last error n (decimal, or 0x hexadecimal)
// "now" and "later" take "/<bytes>" for short data: the address, INQUIRY data or
// descriptor cut to that many bytes. Lines starting with '#' and empty lines are
// skipped.
//
// It checks the program's requests as the published interface has them and appends
// every violation as a line to "ntscsi-violations.txt" beside the program: an
// unreadable description; a request on an overlapped handle without an OVERLAPPED;
// a pass-through block whose Length is not the documented size of
// SCSI_PASS_THROUGH_DIRECT for this bitness (44 bytes, 56 for 64-bit), or that asks
// for anything but a standard 36-byte INQUIRY read in 4 seconds, or whose data
// buffer or sense area lies outside the program's writable memory or the output
// buffer; a request that reuses memory or the event of a request still pending; a
// free of memory a pending request owns; the event of a pending request closed; a
// device closed with a request pending that was never cancelled; a device left open at
// exit. A request still pending at exit is not a violation.
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/peers/ntscsi/entry_patch.h"

namespace {

// SCSI_PASS_THROUGH_DIRECT as the storage interface documents it for this bitness:
// sizes and offsets written out, never the headers' structure, which the program
// shares.
#ifdef _WIN64
constexpr DWORD kPassThroughLength = 56;
constexpr size_t kDataBufferAt = 24, kSenseOffsetAt = 32, kCdbAt = 36;
#else
constexpr DWORD kPassThroughLength = 44;
constexpr size_t kDataBufferAt = 20, kSenseOffsetAt = 24, kCdbAt = 28;
#endif
constexpr size_t kScsiStatusAt = 2, kCdbLengthAt = 6, kSenseLengthAt = 7, kDataInAt = 8, kTransferLengthAt = 12,
                 kTimeOutAt = 16;
constexpr DWORD kAddressSize = 8;      // SCSI_ADDRESS
constexpr DWORD kQuerySize = 12;       // STORAGE_PROPERTY_QUERY
constexpr DWORD kDescriptorSize = 40;  // STORAGE_DEVICE_DESCRIPTOR up to RawDeviceProperties[1]
constexpr size_t kBusTypeAt = 28;
constexpr DWORD kLaterMs = 100;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;

enum class Ending { kNow, kLater, kNever, kStuck, kFail };

struct Answer {
    Ending ending = Ending::kNow;
    DWORD error = 0;         // kFail
    DWORD bytes = MAXDWORD;  // short data: at most this many
};

struct Drive {
    char letter = 0;
    BYTE port = 0, target = 0, lun = 0;
    DWORD busType = 0;
    Answer answers[3];  // address, INQUIRY, bus query
    BYTE inquiry[36] = {};
};

struct Range {
    const BYTE* at;
    size_t size;
};

struct Request {
    unsigned long id;
    std::string what;  // "<control code> on \\.\<letter>:"
    HANDLE device;
    const Drive* drive;
    DWORD code;
    Answer answer;
    OVERLAPPED* overlapped;
    BYTE* out;
    DWORD outLength;
    BYTE* data;  // the pass-through's DataBuffer
    std::vector<Range> owned;
    bool freed = false;  // the program freed memory the request owns: nothing is written
    bool cancelAsked = false;  // CancelIo was called on its device while it was pending
};

struct Device {
    const Drive* drive;
    std::string path;
    bool overlapped;
};

// What the program's import table held before we took the slots.
HANDLE(WINAPI* realCreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
UINT(WINAPI* realGetDriveTypeA)(LPCSTR);
DWORD(WINAPI* realGetLogicalDriveStringsA)(DWORD, LPSTR);
BOOL(WINAPI* realDeviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL(WINAPI* realCloseHandle)(HANDLE);
FARPROC(WINAPI* realGetProcAddress)(HMODULE, LPCSTR);
void(__cdecl* realFree)(void*);
size_t(__cdecl* realMsize)(void*);
BOOL(WINAPI* realCancelIo)(HANDLE);

CRITICAL_SECTION theLock;
std::string theFolder;  // the program's, with a trailing backslash
std::vector<Drive> theDrives;
std::map<HANDLE, Device> theDevices;
std::vector<Request*> thePending;
volatile LONG thePendingCount = 0;
unsigned long theLastId = 0;

class Hold {
public:
    Hold() { EnterCriticalSection(&theLock); }
    ~Hold() { LeaveCriticalSection(&theLock); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

// Our own calls leave the program's last error as it was.
class KeepLastError {
public:
    KeepLastError() : error_(GetLastError()) {}
    ~KeepLastError() { SetLastError(error_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    DWORD error_;
};

void Violation(const std::string& what) {
    KeepLastError keep;
    const std::string line = what + "\r\n";
    const HANDLE file = CreateFileA((theFolder + "ntscsi-violations.txt").c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

const char* CodeName(DWORD code) {
    switch (code) {
        case IOCTL_SCSI_GET_ADDRESS: return "IOCTL_SCSI_GET_ADDRESS";
        case IOCTL_SCSI_PASS_THROUGH_DIRECT: return "IOCTL_SCSI_PASS_THROUGH_DIRECT";
        case IOCTL_STORAGE_QUERY_PROPERTY: return "IOCTL_STORAGE_QUERY_PROPERTY";
        default: return "an unknown control code";
    }
}

// --- The description ---------------------------------------------------------------

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '|');) fields.push_back(field);
    if (!line.empty() && line.back() == '|') fields.emplace_back();
    return fields;
}

bool ParseNumber(const std::string& text, DWORD maximum, DWORD& value) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || number > maximum) return false;
    value = static_cast<DWORD>(number);
    return true;
}

bool ParseAnswer(const std::string& text, Answer& answer) {
    const size_t slash = text.find('/');
    const std::string word = text.substr(0, slash);
    if (slash != std::string::npos && (word != "now" && word != "later")) return false;
    if (slash != std::string::npos && !ParseNumber(text.substr(slash + 1), 0xFFFF, answer.bytes)) return false;
    if (word.rfind("fail=", 0) == 0) {
        answer.ending = Ending::kFail;
        return ParseNumber(word.substr(5), MAXDWORD, answer.error);
    }
    const char* const words[] = {"now", "later", "never", "stuck"};
    for (int i = 0; i < 4; ++i) {
        if (word == words[i]) answer.ending = static_cast<Ending>(i);
    }
    return word == "now" || word == "later" || word == "never" || word == "stuck";
}

void CopyPadded(BYTE* to, const std::string& text, size_t size) {
    std::memset(to, ' ', size);
    std::memcpy(to, text.data(), std::min(size, text.size()));
}

bool ParseDrive(const std::string& line, Drive& drive) {
    const std::vector<std::string> f = Split(line);
    DWORD port = 0, target = 0, lun = 0;
    if (f.size() != 12 || f[0] != "drive" || f[1].size() != 1 || (f[1][0] & ~0x20) < 'A' || (f[1][0] & ~0x20) > 'Z' ||
        !ParseNumber(f[2], 255, port) || !ParseNumber(f[3], 255, target) || !ParseNumber(f[4], 255, lun) ||
        !ParseNumber(f[5], MAXDWORD, drive.busType)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (!ParseAnswer(f[6 + i], drive.answers[i])) return false;
    }
    drive.letter = static_cast<char>(f[1][0] & ~0x20);  // upper case
    drive.port = static_cast<BYTE>(port);
    drive.target = static_cast<BYTE>(target);
    drive.lun = static_cast<BYTE>(lun);
    drive.inquiry[0] = 5;     // CD/DVD device
    drive.inquiry[1] = 0x80;  // removable medium
    drive.inquiry[3] = 0x02;  // response data format
    drive.inquiry[4] = sizeof drive.inquiry - 5;
    CopyPadded(drive.inquiry + 8, f[9], 8);
    CopyPadded(drive.inquiry + 16, f[10], 16);
    CopyPadded(drive.inquiry + 32, f[11], 4);
    return true;
}

void ReadMachine() {
    const std::string path = theFolder + "ntscsi.txt";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Violation("the machine's description " + path + " cannot be read");
        return;
    }
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        Drive drive;
        if (!ParseDrive(line, drive)) {
            Violation(path + ", line " + std::to_string(number) + ", describes no drive: " + line);
            continue;
        }
        theDrives.push_back(drive);
    }
}

const Drive* DriveOfLetter(char letter) {
    letter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
    for (const Drive& drive : theDrives) {
        if (drive.letter == letter) return &drive;
    }
    return nullptr;
}

// --- Memory -------------------------------------------------------------------------

bool Overlaps(const Range& a, const Range& b) { return a.at < b.at + b.size && b.at < a.at + a.size; }

bool Writable(const void* at, size_t size) {
    if (size == 0) return true;
    if (at == nullptr) return false;
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(at, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return false;
    const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (info.Protect & writable) != 0 && (info.Protect & PAGE_GUARD) == 0 &&
           static_cast<const BYTE*>(at) + size <= static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
}

template <typename T>
T Field(const BYTE* block, size_t at) {
    T value;
    std::memcpy(&value, block + at, sizeof value);
    return value;
}

// --- Requests -----------------------------------------------------------------------

// Writes a request's answer (or its cancellation), sets its event and ends it;
// answers the bytes returned. Under the lock.
DWORD Complete(Request& request, bool cancelled) {
    DWORD bytes = 0;
    if (!request.freed && !cancelled) {
        const Drive& drive = *request.drive;
        if (request.code == IOCTL_SCSI_GET_ADDRESS) {
            const BYTE address[kAddressSize] = {kAddressSize, 0, 0, 0, drive.port, 0, drive.target, drive.lun};
            bytes = std::min(kAddressSize, request.answer.bytes);
            std::memcpy(request.out, address, bytes);
        } else if (request.code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
            const DWORD data = std::min<DWORD>(sizeof drive.inquiry, request.answer.bytes);
            std::memcpy(request.data, drive.inquiry, data);
            request.out[kScsiStatusAt] = 0;  // GOOD
            request.out[kSenseLengthAt] = 0;
            std::memcpy(request.out + kTransferLengthAt, &data, sizeof data);
            bytes = kPassThroughLength;
        } else {
            BYTE descriptor[kDescriptorSize] = {kDescriptorSize, 0, 0, 0, kDescriptorSize, 0, 0, 0, 5, 0, 1};
            std::memcpy(descriptor + kBusTypeAt, &drive.busType, sizeof drive.busType);
            bytes = std::min({kDescriptorSize, request.outLength, request.answer.bytes});
            std::memcpy(request.out, descriptor, bytes);
        }
    }
    if (request.overlapped != nullptr && !request.freed) {
        request.overlapped->InternalHigh = bytes;
        request.overlapped->Internal = cancelled ? kStatusCancelled : 0;
        // The low bit of hEvent keeps the completion from a completion port.
        if (request.overlapped->hEvent != nullptr) {
            SetEvent(reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(request.overlapped->hEvent) & ~ULONG_PTR{1}));
        }
    }
    const auto at = std::find(thePending.begin(), thePending.end(), &request);
    if (at != thePending.end()) {
        thePending.erase(at);
        InterlockedDecrement(&thePendingCount);
    }
    return bytes;
}

DWORD WINAPI CompleteLater(void* parameter) {
    Sleep(kLaterMs);
    const auto id = static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(parameter));
    Hold hold;
    // Not there when it was cancelled or closed meanwhile.
    for (Request* request : thePending) {
        if (request->id != id) continue;
        Complete(*request, false);
        delete request;
        break;
    }
    return 0;
}

// Checks what the request hands over; answers the ranges it will own, or false for a
// block that no driver would take.
bool CheckRequest(const Device& device, DWORD code, BYTE* in, DWORD inLength, BYTE* out, DWORD outLength,
                  OVERLAPPED* overlapped, Request& request) {
    const std::string& what = request.what;
    if (device.overlapped && overlapped == nullptr) {
        Violation(what + ", opened overlapped, without an OVERLAPPED");
    }
    if (overlapped != nullptr) request.owned.push_back({reinterpret_cast<BYTE*>(overlapped), sizeof *overlapped});
    if (overlapped != nullptr && !Writable(overlapped, sizeof *overlapped)) {
        Violation(what + ": its OVERLAPPED is not the program's writable memory");
        return false;
    }
    if (!Writable(out, outLength)) {
        Violation(what + ": its output buffer is not the program's writable memory");
        return false;
    }
    request.owned.push_back({in, inLength});
    request.owned.push_back({out, outLength});
    bool takes = true;
    if (code == IOCTL_SCSI_GET_ADDRESS) {
        if (outLength < kAddressSize) Violation(what + ": an output buffer of " + std::to_string(outLength) + " bytes");
        takes = outLength >= kAddressSize;
    } else if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
        if (in == nullptr || inLength < kPassThroughLength || outLength < kPassThroughLength) {
            Violation(what + ": a block of " + std::to_string(inLength) + " bytes in, " + std::to_string(outLength) +
                      " out, less than the header");
            return false;
        }
        const auto length = Field<USHORT>(in, 0);
        if (length != kPassThroughLength) {
            Violation(what + ": Length " + std::to_string(length) + ", not " + std::to_string(kPassThroughLength) +
                      ", the size of SCSI_PASS_THROUGH_DIRECT for this bitness");
            takes = false;
        }
        const BYTE inquiry[16] = {0x12, 0, 0, 0, 36, 0};
        if (in[kCdbLengthAt] != 6 || std::memcmp(in + kCdbAt, inquiry, sizeof inquiry) != 0) {
            Violation(what + ": CdbLength " + std::to_string(in[kCdbLengthAt]) +
                      " or a CDB that is not a standard INQUIRY for 36 bytes");
        }
        const auto transfer = Field<ULONG>(in, kTransferLengthAt);
        if (in[kDataInAt] != SCSI_IOCTL_DATA_IN || transfer != 36 || Field<ULONG>(in, kTimeOutAt) != 4) {
            Violation(what + ": DataIn " + std::to_string(in[kDataInAt]) + ", DataTransferLength " +
                      std::to_string(transfer) + ", TimeOutValue " + std::to_string(Field<ULONG>(in, kTimeOutAt)) +
                      ", not 1, 36 and 4");
        }
        request.data = Field<BYTE*>(in, kDataBufferAt);
        if (!Writable(request.data, transfer)) {
            Violation(what + ": DataBuffer is not the program's writable memory for DataTransferLength bytes");
            return false;
        }
        request.owned.push_back({request.data, std::min<ULONG>(transfer, 36)});
        const auto senseAt = Field<ULONG>(in, kSenseOffsetAt);
        const BYTE senseLength = in[kSenseLengthAt];
        if (senseLength != 0 && (senseAt < kPassThroughLength || senseAt + senseLength > outLength)) {
            Violation(what + ": SenseInfoOffset " + std::to_string(senseAt) + " with SenseInfoLength " +
                      std::to_string(senseLength) + " lies outside the output buffer after the header");
        }
    } else if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
        if (in == nullptr || inLength < kQuerySize || Field<DWORD>(in, 0) != 0 || Field<DWORD>(in, 4) != 0) {
            Violation(what + ": not a standard query of the device property");
            takes = false;
        }
    } else {
        Violation(what + " " + std::to_string(code));
        takes = false;
    }
    // Nothing a pending request still owns may be handed over again.
    for (const Request* pending : thePending) {
        bool reused = overlapped != nullptr && pending->overlapped != nullptr &&
                      overlapped->hEvent == pending->overlapped->hEvent && overlapped->hEvent != nullptr;
        for (const Range& range : request.owned) {
            for (const Range& held : pending->owned) reused = reused || Overlaps(range, held);
        }
        if (reused) {
            Violation(what + " reuses memory or the event of " + pending->what + ", still pending");
        }
    }
    return takes;
}

// --- The calls we stand in for ------------------------------------------------------

bool IsOurs(HANDLE handle) {
    Hold hold;
    return theDevices.count(handle) != 0;
}

HANDLE WINAPI StandInCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE model) {
    const Drive* drive = nullptr;
    if (name != nullptr && std::strlen(name) == 6 && std::strncmp(name, "\\\\.\\", 4) == 0 && name[5] == ':') {
        drive = DriveOfLetter(name[4]);
    }
    if (drive == nullptr) return realCreateFileA(name, access, share, security, disposition, flags, model);
    if ((access & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        Violation(std::string("opened ") + name + " without GENERIC_READ | GENERIC_WRITE, which pass-through needs");
    }
    // A handle value of our own that no real object shares: an event of ours.
    const HANDLE device = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        Hold hold;
        theDevices[device] = Device{drive, name, (flags & FILE_FLAG_OVERLAPPED) != 0};
    }
    SetLastError(ERROR_SUCCESS);  // as CreateFileA leaves it after opening a device
    return device;
}

UINT WINAPI StandInGetDriveTypeA(LPCSTR root) {
    if (root != nullptr && std::strlen(root) == 3 && root[1] == ':' && root[2] == '\\' && DriveOfLetter(root[0])) {
        return DRIVE_CDROM;
    }
    return realGetDriveTypeA(root);
}

// Wine's roots and the described letters, in letter order; a described letter that
// Wine has too is listed once.
DWORD WINAPI StandInGetLogicalDriveStringsA(DWORD length, LPSTR buffer) {
    char real[4 * 26 + 1] = {};
    const DWORD realLength = realGetLogicalDriveStringsA(sizeof real, real);
    if (realLength > sizeof real) return realLength;  // cannot be: 26 letters fit
    std::string letters;
    for (const char* root = real; *root != '\0'; root += std::strlen(root) + 1) letters += root[0];
    for (const Drive& drive : theDrives) letters += drive.letter;
    std::sort(letters.begin(), letters.end());
    letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
    const DWORD needed = static_cast<DWORD>(4 * letters.size());
    if (buffer == nullptr || needed + 1 > length) return needed + 1;
    for (size_t i = 0; i < letters.size(); ++i) std::memcpy(buffer + 4 * i, std::string(1, letters[i]).append(":\\").c_str(), 4);
    buffer[needed] = '\0';
    return needed;
}

BOOL WINAPI StandInDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                                   DWORD outLength, LPDWORD returned, LPOVERLAPPED overlapped) {
    if (!IsOurs(handle)) return realDeviceIoControl(handle, code, in, inLength, out, outLength, returned, overlapped);
    Hold hold;
    const auto device = theDevices.find(handle);
    const int which = code == IOCTL_SCSI_GET_ADDRESS ? 0 : code == IOCTL_SCSI_PASS_THROUGH_DIRECT ? 1 : 2;
    const Answer answer = device->second.drive->answers[which];
    auto* request = new Request{++theLastId, std::string(CodeName(code)) + " on " + device->second.path, handle,
                                device->second.drive, code, answer, overlapped, static_cast<BYTE*>(out), outLength,
                                nullptr, {}};
    const bool takes = CheckRequest(device->second, code, static_cast<BYTE*>(in), inLength, static_cast<BYTE*>(out),
                                    outLength, overlapped, *request);
    // The system resets the event as the request begins.
    if (overlapped != nullptr && overlapped->hEvent != nullptr) {
        ResetEvent(reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(overlapped->hEvent) & ~ULONG_PTR{1}));
    }
    const bool waits = answer.ending != Ending::kNow && answer.ending != Ending::kFail;
    if (!takes || answer.ending == Ending::kFail || (waits && overlapped == nullptr)) {
        delete request;
        // A request that waits, on a handle without OVERLAPPED: the device times out.
        SetLastError(!takes ? ERROR_INVALID_PARAMETER : answer.ending == Ending::kFail ? answer.error : ERROR_SEM_TIMEOUT);
        return FALSE;
    }
    thePending.push_back(request);
    InterlockedIncrement(&thePendingCount);
    if (answer.ending == Ending::kNow) {
        const DWORD bytes = Complete(*request, false);
        if (returned != nullptr) *returned = bytes;
        delete request;
        return TRUE;  // the last error stays as it was
    }
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    if (answer.ending == Ending::kLater) {
        void* id = reinterpret_cast<void*>(static_cast<ULONG_PTR>(request->id));
        const HANDLE thread = CreateThread(nullptr, 0, CompleteLater, id, 0, nullptr);
        if (thread != nullptr) CloseHandle(thread);
    }
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

// Ends the device's pending requests as cancelled, but those that are stuck. Under the lock.
void CancelPending(HANDLE device) {
    const std::vector<Request*> pending = thePending;
    for (Request* request : pending) {
        if (request->device != device || request->answer.ending == Ending::kStuck) continue;
        Complete(*request, true);
        delete request;
    }
}

BOOL WINAPI StandInCancelIo(HANDLE handle) {
    Hold hold;
    if (theDevices.count(handle) == 0) return realCancelIo != nullptr ? realCancelIo(handle) : FALSE;
    for (Request* pending : thePending) pending->cancelAsked = pending->cancelAsked || pending->device == handle;
    CancelPending(handle);
    return TRUE;
}

BOOL WINAPI StandInCloseHandle(HANDLE handle) {
    Hold hold;
    for (const Request* pending : thePending) {
        if (pending->overlapped != nullptr && !pending->freed && pending->overlapped->hEvent == handle) {
            Violation("closed the event of " + pending->what + ", still pending");
        }
    }
    if (theDevices.count(handle) != 0) {
        // A request the program stopped waiting for is to be cancelled before its device goes.
        for (const Request* pending : thePending) {
            if (pending->device == handle && !pending->cancelAsked) {
                Violation("closed " + theDevices.at(handle).path + " with " + pending->what +
                          " pending, never cancelled");
            }
        }
        CancelPending(handle);  // as a driver's clean-up does
        theDevices.erase(handle);
    }
    return realCloseHandle(handle);
}

// The program looks CancelIo up; it gets ours, which forwards what is not a drive of ours.
FARPROC WINAPI StandInGetProcAddress(HMODULE module, LPCSTR name) {
    const FARPROC found = realGetProcAddress(module, name);
    if (found != nullptr && reinterpret_cast<void*>(realCancelIo) == reinterpret_cast<void*>(found)) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&StandInCancelIo));
    }
    return found;
}

void __cdecl StandInFree(void* block) {
    if (block != nullptr && thePendingCount != 0 && realMsize != nullptr) {
        KeepLastError keep;
        const Range freed = {static_cast<const BYTE*>(block), realMsize(block)};
        Hold hold;
        for (Request* pending : thePending) {
            bool owned = false;
            for (const Range& range : pending->owned) owned = owned || Overlaps(range, freed);
            if (owned && !pending->freed) {
                pending->freed = true;
                Violation("freed memory of " + pending->what + ", still pending");
            }
        }
    }
    realFree(block);
}

// --- Taking the program's import slots ---------------------------------------------

struct Slot {
    const char* dll;
    const char* name;
    void* standIn;
    void** real;
};

template <typename F>
Slot MakeSlot(const char* dll, const char* name, F standIn, F& real) {
    return {dll, name, reinterpret_cast<void*>(standIn), reinterpret_cast<void**>(&real)};
}

void TakeImports(HMODULE program) {
    Slot slots[] = {
        MakeSlot("kernel32.dll", "CreateFileA", &StandInCreateFileA, realCreateFileA),
        MakeSlot("kernel32.dll", "GetDriveTypeA", &StandInGetDriveTypeA, realGetDriveTypeA),
        MakeSlot("kernel32.dll", "GetLogicalDriveStringsA", &StandInGetLogicalDriveStringsA,
                 realGetLogicalDriveStringsA),
        MakeSlot("kernel32.dll", "DeviceIoControl", &StandInDeviceIoControl, realDeviceIoControl),
        MakeSlot("kernel32.dll", "CloseHandle", &StandInCloseHandle, realCloseHandle),
        MakeSlot("kernel32.dll", "GetProcAddress", &StandInGetProcAddress, realGetProcAddress),
        MakeSlot("msvcrt.dll", "free", &StandInFree, realFree),
    };
    auto* base = reinterpret_cast<BYTE*>(program);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         directory.VirtualAddress != 0 && import->Name != 0; ++import) {
        const char* dll = reinterpret_cast<const char*>(base + import->Name);
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; import->OriginalFirstThunk != 0 && names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            for (Slot& slot : slots) {
                if (lstrcmpiA(dll, slot.dll) != 0 || std::strcmp(name, slot.name) != 0) continue;
                DWORD protection = 0;
                VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
                *slot.real = reinterpret_cast<void*>(addresses->u1.Function);
                addresses->u1.Function = reinterpret_cast<ULONG_PTR>(slot.standIn);
                VirtualProtect(&addresses->u1.Function, sizeof(void*), protection, &protection);
            }
        }
    }
    for (const Slot& slot : slots) {
        if (*slot.real == nullptr) Violation(std::string("the program imports no ") + slot.dll + " " + slot.name);
    }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&theLock);
    if (reason == DLL_PROCESS_DETACH && TryEnterCriticalSection(&theLock)) {
        for (const auto& [handle, device] : theDevices) Violation(device.path + " was left open");
        LeaveCriticalSection(&theLock);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) void* __cdecl NtScsiAttach(ntscsi::EntryPatch* patch) {
    DWORD protection = 0;
    VirtualProtect(patch->entry, patch->length, PAGE_EXECUTE_READWRITE, &protection);
    std::memcpy(patch->entry, patch->saved, patch->length);
    VirtualProtect(patch->entry, patch->length, protection, &protection);
    FlushInstructionCache(GetCurrentProcess(), patch->entry, patch->length);

    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    theFolder = std::string(path, length);
    theFolder.erase(theFolder.find_last_of('\\') + 1);
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    realCancelIo = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "CancelIo")));
    realMsize = reinterpret_cast<size_t(__cdecl*)(void*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_msize")));
    ReadMachine();
    TakeImports(GetModuleHandleA(nullptr));

    char name[64];
    ntscsi::AttachedEventName(GetCurrentProcessId(), name);
    if (const HANDLE attached = OpenEventA(EVENT_MODIFY_STATE, FALSE, name)) {
        SetEvent(attached);
        CloseHandle(attached);
    }
    return patch->entry;
}

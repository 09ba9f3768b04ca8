// A simulated ASPI for Win32 library: "wnaspi32.dll" with the interface's two
// entry points, answering for the adapters and targets that the text file beside
// it ("wnaspi32.txt") describes. One entry per line, fields separated by '|':
//
//   adapter|<name, up to 16 bytes>|<HA_Unique[3]: maximum targets, 0 meaning 8>
//   target|<adapter>|<target>|<lun>|<device type>|<letter, or - when the disk
//          information request fails>|<answer>|<vendor>|<product>|<revision>
//
// Adapters are numbered from 0 in the order of their lines. The INQUIRY answer:
// "now" (SS_COMP at once), "later" (SS_PENDING, then SS_COMP and the event on a
// thread of its own), "never" (SS_PENDING for ever) or "fail" (SS_ERR at once).
// Lines starting with '#' and empty lines are skipped; a malformed line makes the
// support information fail. A request block or data buffer handed in again while
// a pending request still owns it is refused with SS_ERR and last error
// ERROR_BUSY, so that a caller reusing them shows up in its log.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drives/aspi_blocks.h"

namespace {

using namespace aspi;

constexpr DWORD kLaterDelayMs = 50;

struct Adapter {
    std::string name;
    BYTE maxTargets = 0;
};

struct Target {
    BYTE adapter = 0, target = 0, lun = 0, type = 0;
    char letter = '-';
    std::string answer;
    BYTE inquiry[36] = {};
};

struct Machine {
    bool valid = true;
    std::vector<Adapter> adapters;
    std::vector<Target> targets;
};

CRITICAL_SECTION theLock;
Machine* theMachine = nullptr;
std::vector<const void*> theOwned;  // blocks and buffers of pending requests

class Hold {
public:
    Hold() { EnterCriticalSection(&theLock); }
    ~Hold() { LeaveCriticalSection(&theLock); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

HMODULE ThisModule(DWORD extraFlags) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | extraFlags,
                       reinterpret_cast<const char*>(&theLock), &module);
    return module;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '|')) fields.push_back(field);
    return fields;
}

void CopyPadded(BYTE* to, const std::string& text, size_t size) {
    std::memset(to, ' ', size);
    std::memcpy(to, text.data(), std::min(size, text.size()));
}

bool ParseByte(const std::string& text, BYTE& value) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || number > 255) return false;
    value = static_cast<BYTE>(number);
    return true;
}

bool ParseLine(const std::string& line, Machine& machine) {
    const std::vector<std::string> f = Split(line);
    if (f.size() == 3 && f[0] == "adapter") {
        Adapter adapter;
        adapter.name = f[1];
        return adapter.name.size() <= 16 && ParseByte(f[2], adapter.maxTargets) &&
               (machine.adapters.push_back(adapter), true);
    }
    if (f.size() == 10 && f[0] == "target") {
        Target t;
        const bool answerKnown = f[6] == "now" || f[6] == "later" || f[6] == "never" || f[6] == "fail";
        if (!ParseByte(f[1], t.adapter) || !ParseByte(f[2], t.target) || !ParseByte(f[3], t.lun) ||
            !ParseByte(f[4], t.type) || f[5].size() != 1 || !answerKnown) {
            return false;
        }
        t.letter = f[5][0];
        t.answer = f[6];
        t.inquiry[0] = t.type;
        t.inquiry[1] = 0x80;  // removable medium
        t.inquiry[3] = 0x02;  // response data format
        t.inquiry[4] = sizeof t.inquiry - 5;
        CopyPadded(t.inquiry + 8, f[7], 8);
        CopyPadded(t.inquiry + 16, f[8], 16);
        CopyPadded(t.inquiry + 32, f[9], 4);
        machine.targets.push_back(t);
        return true;
    }
    return false;
}

// Read once, from the text file named like this library.
Machine& TheMachine() {
    Hold hold;
    if (theMachine != nullptr) return *theMachine;
    theMachine = new Machine;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(ThisModule(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT), path,
                                            sizeof path);
    std::string name(path, length);
    name = name.substr(0, name.find_last_of('.')) + ".txt";
    std::ifstream in(name);
    if (!in) theMachine->valid = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!ParseLine(line, *theMachine)) theMachine->valid = false;
    }
    return *theMachine;
}

const Target* FindTarget(const Machine& machine, BYTE adapter, BYTE target, BYTE lun) {
    for (const Target& t : machine.targets) {
        if (t.adapter == adapter && t.target == target && t.lun == lun) return &t;
    }
    return nullptr;
}

bool Owned(const void* pointer) {
    Hold hold;
    return std::find(theOwned.begin(), theOwned.end(), pointer) != theOwned.end();
}

void Release(const void* pointer) {
    Hold hold;
    theOwned.erase(std::remove(theOwned.begin(), theOwned.end(), pointer), theOwned.end());
}

struct LaterRequest {
    SRB_ExecSCSICmd* srb;
    Target target;
    HMODULE self;
};

void Answer(SRB_ExecSCSICmd& srb, const Target& target) {
    std::memcpy(srb.SRB_BufPointer, target.inquiry, std::min<DWORD>(srb.SRB_BufLen, sizeof target.inquiry));
}

DWORD WINAPI CompleteLater(void* parameter) {
    LaterRequest* request = static_cast<LaterRequest*>(parameter);
    Sleep(kLaterDelayMs);
    SRB_ExecSCSICmd& srb = *request->srb;
    Answer(srb, request->target);
    Release(srb.SRB_BufPointer);
    Release(&srb);
    srb.SRB_Status = SS_COMP;
    if (srb.SRB_Flags & SRB_EVENT_NOTIFY) SetEvent(static_cast<HANDLE>(srb.SRB_PostProc));
    const HMODULE self = request->self;
    delete request;
    FreeLibraryAndExitThread(self, 0);  // the reference taken when the request was sent
}

DWORD Finish(BYTE& status, BYTE result, DWORD lastError = ERROR_SUCCESS) {
    status = result;
    SetLastError(lastError);
    return result;
}

DWORD Inquiry(SRB_ExecSCSICmd& srb, const Machine& machine) {
    if (Owned(&srb) || Owned(srb.SRB_BufPointer)) return Finish(srb.SRB_Status, SS_ERR, ERROR_BUSY);
    if (srb.CDBByte[0] != 0x12 || srb.SRB_CDBLen < 6 || srb.CDBByte[4] != srb.SRB_BufLen) {
        return Finish(srb.SRB_Status, SS_ERR, ERROR_INVALID_PARAMETER);  // only INQUIRY is understood
    }
    const Target* target = FindTarget(machine, srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (target == nullptr) return Finish(srb.SRB_Status, SS_NO_DEVICE);
    if (target->answer == "fail") return Finish(srb.SRB_Status, SS_ERR, ERROR_GEN_FAILURE);
    if (target->answer == "now") {
        Answer(srb, *target);
        return Finish(srb.SRB_Status, SS_COMP);
    }
    {
        Hold hold;
        theOwned.push_back(&srb);
        theOwned.push_back(srb.SRB_BufPointer);
    }
    if (target->answer == "later") {
        auto* request = new LaterRequest{&srb, *target, ThisModule(0)};
        const HANDLE thread = CreateThread(nullptr, 0, CompleteLater, request, 0, nullptr);
        if (thread != nullptr) CloseHandle(thread);
    }
    return Finish(srb.SRB_Status, SS_PENDING, ERROR_IO_PENDING);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&theLock);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() {
    const Machine& machine = TheMachine();
    SetLastError(ERROR_SUCCESS);
    if (!machine.valid) return MAKEWORD(0, SS_ERR);
    if (machine.adapters.empty()) return MAKEWORD(0, SS_NO_ADAPTERS);
    return MAKEWORD(machine.adapters.size(), SS_COMP);
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
    const Machine& machine = TheMachine();
    SRB_Header& header = *static_cast<SRB_Header*>(request);
    switch (header.SRB_Cmd) {
        case SC_HA_INQUIRY: {
            auto& srb = *static_cast<SRB_HAInquiry*>(request);
            if (srb.SRB_HaId >= machine.adapters.size()) return Finish(srb.SRB_Status, SS_INVALID_HA);
            const Adapter& adapter = machine.adapters[srb.SRB_HaId];
            srb.HA_Count = static_cast<BYTE>(machine.adapters.size());
            srb.HA_SCSI_ID = 7;
            std::memset(srb.HA_ManagerId, 0, sizeof srb.HA_ManagerId);
            std::memcpy(srb.HA_ManagerId, "ASPI for WIN32", 14);
            std::memset(srb.HA_Identifier, 0, sizeof srb.HA_Identifier);
            std::memcpy(srb.HA_Identifier, adapter.name.data(), adapter.name.size());
            std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
            srb.HA_Unique[3] = adapter.maxTargets;
            return Finish(srb.SRB_Status, SS_COMP);
        }
        case SC_GET_DEV_TYPE: {
            auto& srb = *static_cast<SRB_GDEVBlock*>(request);
            const Target* target = FindTarget(machine, srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
            if (target == nullptr) return Finish(srb.SRB_Status, SS_NO_DEVICE);
            srb.SRB_DeviceType = target->type;
            return Finish(srb.SRB_Status, SS_COMP);
        }
        case SC_GET_DISK_INFO: {
            auto& srb = *static_cast<SRB_GetDiskInfo*>(request);
            const Target* target = FindTarget(machine, srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
            if (target == nullptr || target->letter < 'A' || target->letter > 'Z') {
                return Finish(srb.SRB_Status, SS_ERR, ERROR_INVALID_DRIVE);
            }
            srb.SRB_Int13HDriveInfo = static_cast<BYTE>(target->letter - 'A');
            return Finish(srb.SRB_Status, SS_COMP);
        }
        case SC_EXEC_SCSI_CMD:
            return Inquiry(*static_cast<SRB_ExecSCSICmd*>(request), machine);
        case SC_GETSET_TIMEOUTS:
            return Finish(header.SRB_Status, SS_COMP);
        default:
            return Finish(header.SRB_Status, SS_ERR);
    }
}

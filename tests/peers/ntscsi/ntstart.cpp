// Starts a program on the simulated NT machine of ntscsi.dll (see ntscsi.cpp):
//
//   ntstart.exe [--windows VERSION] PROGRAM.exe
//
// It starts the program suspended, when its image is mapped and its imports are
// not yet bound, and writes a stub into it: the first bytes at the entry point jump
// there. Once resumed, the loader binds the imports and initialises the DLLs, and
// then the entry point runs the stub, which loads "ntscsi.dll" (beside this
// launcher) through the program's own LoadLibraryA import, looks up its attach entry
// point through the program's own GetProcAddress and calls it: the stand-in puts the
// entry point's bytes back, takes its import slots and answers the entry point,
// where the stub goes on. No line of the program, its C runtime or its static
// constructors (drive discovery among them) has run before, and its file is never
// changed. Launcher, stand-in and program are of one bitness.
//
// --windows VERSION sets the Windows version that Wine reports to every program of
// that file name (HKCU\Software\Wine\AppDefaults\<name>\Version: win2k, winxp, ...)
// and leaves it set. The launcher prints the program's process id once the stand-in
// is in place, waits for the program and ends with its exit code; ended itself, it
// takes the program along (a job that kills on close), not what the program started.
// It ends with 2 when the
// stand-in could not be put in place.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0501  // job objects; a test tool, not held to the program's floor
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/peers/ntscsi/entry_patch.h"

namespace {

constexpr DWORD kAttachWaitMs = 60000;

int Fail(const std::string& what) {
    std::fprintf(stderr, "ntstart: %s (last error %lu)\n", what.c_str(), GetLastError());
    return 2;
}

// Reads `size` bytes at `address` of the process.
template <typename T>
bool Read(HANDLE process, ULONG_PTR address, T& value, size_t size = sizeof(T)) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, reinterpret_cast<void*>(address), &value, size, &done) && done == size;
}

bool Write(HANDLE process, ULONG_PTR address, const void* bytes, size_t size) {
    SIZE_T done = 0;
    return WriteProcessMemory(process, reinterpret_cast<void*>(address), bytes, size, &done) && done == size;
}

ULONG_PTR ImageBase(HANDLE process) {
    struct BasicInformation {
        LONG_PTR exitStatus;
        ULONG_PTR peb, affinity;
        LONG_PTR priority;
        ULONG_PTR id, parentId;
    } information = {};
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    ULONG length = 0;
    if (query == nullptr || query(process, 0 /* ProcessBasicInformation */, &information, sizeof information, &length) != 0) {
        return 0;
    }
    ULONG_PTR base = 0;  // PEB.ImageBaseAddress, after two pointer-sized fields
    return Read(process, information.peb + 2 * sizeof(void*), base) ? base : 0;
}

// The import slots of kernel32's LoadLibraryA and GetProcAddress in the image at `base`.
bool FindSlots(HANDLE process, ULONG_PTR base, ULONG_PTR& loadLibrary, ULONG_PTR& getProcAddress,
               DWORD& entryPoint) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    if (!Read(process, base, dos) || !Read(process, base + dos.e_lfanew, nt)) return false;
    if (nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) {
        SetLastError(ERROR_BAD_EXE_FORMAT);  // of the other bitness
        return false;
    }
    entryPoint = nt.OptionalHeader.AddressOfEntryPoint;
    const ULONG_PTR imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    loadLibrary = getProcAddress = 0;
    IMAGE_IMPORT_DESCRIPTOR import;
    for (ULONG_PTR at = base + imports; imports != 0 && Read(process, at, import) && import.Name != 0;
         at += sizeof import) {
        char dll[32] = {};
        if (!Read(process, base + import.Name, dll, sizeof dll - 1) || lstrcmpiA(dll, "kernel32.dll") != 0) continue;
        IMAGE_THUNK_DATA name;
        for (ULONG_PTR i = 0; Read(process, base + import.OriginalFirstThunk + i * sizeof name, name) &&
                              name.u1.AddressOfData != 0;
             ++i) {
            if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) continue;
            char function[16] = {};
            Read(process, base + name.u1.AddressOfData + offsetof(IMAGE_IMPORT_BY_NAME, Name), function,
                 sizeof function - 1);
            const ULONG_PTR slot = base + import.FirstThunk + i * sizeof name;
            if (std::strcmp(function, "LoadLibraryA") == 0) loadLibrary = slot;
            if (std::strcmp(function, "GetProcAddress") == 0) getProcAddress = slot;
        }
    }
    return loadLibrary != 0 && getProcAddress != 0;
}

// The stub's bytes at `at` in the program: code, then its data at kDataAt.
constexpr size_t kDataAt = 128;
struct StubData {
    ULONG_PTR loadLibrarySlot, getProcAddressSlot;
    ntscsi::EntryPatch patch;
    char attachName[32];
    char dllPath[MAX_PATH];
};

class Code {
public:
    void Put(std::initializer_list<BYTE> bytes) { bytes_.insert(bytes_.end(), bytes); }
    void PutValue(ULONG_PTR value, size_t size) {
        for (size_t i = 0; i < size; ++i) bytes_.push_back(static_cast<BYTE>(value >> (8 * i)));
    }
    // An instruction whose last four bytes address data at `target` relative to its end.
    void PutRipRelative(std::initializer_list<BYTE> opcode, size_t target) {
        Put(opcode);
        PutValue(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(target) - static_cast<LONG_PTR>(bytes_.size() + 4)), 4);
    }
    // "jz fail": a short jump patched by Bind.
    void PutJumpIfZero() {
        Put({0x74, 0});
        jumps_.push_back(bytes_.size() - 1);
    }
    void BindFailHere() {
        for (size_t at : jumps_) bytes_[at] = static_cast<BYTE>(bytes_.size() - (at + 1));
        Put({0x0F, 0x0B});  // ud2: the stand-in could not be loaded
    }
    std::vector<BYTE>& Bytes() { return bytes_; }

private:
    std::vector<BYTE> bytes_;
    std::vector<size_t> jumps_;
};

std::vector<BYTE> StubCode(ULONG_PTR at) {
    Code code;
    constexpr size_t load = kDataAt + offsetof(StubData, loadLibrarySlot);
    constexpr size_t proc = kDataAt + offsetof(StubData, getProcAddressSlot);
    constexpr size_t patch = kDataAt + offsetof(StubData, patch);
    constexpr size_t name = kDataAt + offsetof(StubData, attachName);
    constexpr size_t path = kDataAt + offsetof(StubData, dllPath);
#ifdef _WIN64
    static_cast<void>(at);
    // The entry point's argument registers kept; the stack aligned for the calls.
    code.Put({0x51, 0x52, 0x41, 0x50, 0x41, 0x51});  // push rcx, rdx, r8, r9
    code.Put({0x48, 0x83, 0xEC, 0x28});              // sub rsp, 0x28
    code.PutRipRelative({0x48, 0x8D, 0x0D}, path);   // lea rcx, [path]
    code.PutRipRelative({0x48, 0x8B, 0x05}, load);   // mov rax, [LoadLibraryA's slot]
    code.Put({0xFF, 0x10});                          // call [rax]
    code.Put({0x48, 0x85, 0xC0});                    // test rax, rax
    code.PutJumpIfZero();
    code.Put({0x48, 0x89, 0xC1});                    // mov rcx, rax
    code.PutRipRelative({0x48, 0x8D, 0x15}, name);   // lea rdx, [name]
    code.PutRipRelative({0x48, 0x8B, 0x05}, proc);   // mov rax, [GetProcAddress's slot]
    code.Put({0xFF, 0x10});                          // call [rax]
    code.Put({0x48, 0x85, 0xC0});                    // test rax, rax
    code.PutJumpIfZero();
    code.PutRipRelative({0x48, 0x8D, 0x0D}, patch);  // lea rcx, [patch]
    code.Put({0xFF, 0xD0});                          // call rax: the entry point in rax
    code.Put({0x48, 0x83, 0xC4, 0x28});              // add rsp, 0x28
    code.Put({0x41, 0x59, 0x41, 0x58, 0x5A, 0x59});  // pop r9, r8, rdx, rcx
    code.Put({0xFF, 0xE0});                          // jmp rax
#else
    code.Put({0x60});  // pushad
    code.Put({0x68});  // push path
    code.PutValue(at + path, 4);
    code.Put({0xA1});  // mov eax, [LoadLibraryA's slot]
    code.PutValue(at + load, 4);
    code.Put({0xFF, 0x10});  // call [eax]
    code.Put({0x85, 0xC0});  // test eax, eax
    code.PutJumpIfZero();
    code.Put({0x68});  // push name
    code.PutValue(at + name, 4);
    code.Put({0x50});        // push eax
    code.Put({0xA1});  // mov eax, [GetProcAddress's slot]
    code.PutValue(at + proc, 4);
    code.Put({0xFF, 0x10});  // call [eax]
    code.Put({0x85, 0xC0});  // test eax, eax
    code.PutJumpIfZero();
    code.Put({0x68});  // push patch
    code.PutValue(at + patch, 4);
    code.Put({0xFF, 0xD0});              // call eax (cdecl): the entry point in eax
    code.Put({0x83, 0xC4, 0x04});        // add esp, 4
    code.Put({0x89, 0x44, 0x24, 0x1C});  // mov [esp+28], eax: popad's eax
    code.Put({0x61});                    // popad
    code.Put({0xFF, 0xE0});              // jmp eax
#endif
    code.BindFailHere();
    return code.Bytes();
}

// A jump from the entry point to the stub.
std::vector<BYTE> EntryJump(ULONG_PTR stub) {
    Code code;
#ifdef _WIN64
    code.Put({0x48, 0xB8});  // mov rax, stub
    code.PutValue(stub, 8);
#else
    code.Put({0xB8});  // mov eax, stub
    code.PutValue(stub, 4);
#endif
    code.Put({0xFF, 0xE0});  // jmp rax
    return code.Bytes();
}

// Puts the stub into the suspended process and the jump to it at its entry point.
bool PlaceStub(HANDLE process, const std::string& dllPath, std::string& failure) {
    const ULONG_PTR base = ImageBase(process);
    ULONG_PTR loadLibrary = 0, getProcAddress = 0;
    DWORD entryPoint = 0;
    if (base == 0) return failure = "the program's image base could not be read", false;
    if (!FindSlots(process, base, loadLibrary, getProcAddress, entryPoint)) {
        return failure = "the program imports no kernel32 LoadLibraryA and GetProcAddress, or is of the other bitness",
               false;
    }
    const auto stub = reinterpret_cast<ULONG_PTR>(
        VirtualAllocEx(process, nullptr, kDataAt + sizeof(StubData), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (stub == 0) return failure = "no memory for the stub in the program", false;

    const ULONG_PTR entry = base + entryPoint;
    const std::vector<BYTE> jump = EntryJump(stub);
    StubData data = {};
    data.loadLibrarySlot = loadLibrary;
    data.getProcAddressSlot = getProcAddress;
    data.patch.entry = reinterpret_cast<void*>(entry);
    data.patch.length = static_cast<DWORD>(jump.size());
    std::strcpy(data.attachName, ntscsi::kAttachName);
    lstrcpynA(data.dllPath, dllPath.c_str(), sizeof data.dllPath);
    if (!Read(process, entry, data.patch.saved, jump.size())) return failure = "the entry point cannot be read", false;

    std::vector<BYTE> code = StubCode(stub);
    code.resize(kDataAt, 0xCC);
    const auto* raw = reinterpret_cast<const BYTE*>(&data);
    code.insert(code.end(), raw, raw + sizeof data);
    if (!Write(process, stub, code.data(), code.size())) return failure = "the stub cannot be written", false;
    DWORD protection = 0;
    if (!VirtualProtectEx(process, reinterpret_cast<void*>(entry), jump.size(), PAGE_EXECUTE_READWRITE, &protection) ||
        !Write(process, entry, jump.data(), jump.size()) ||
        !VirtualProtectEx(process, reinterpret_cast<void*>(entry), jump.size(), protection, &protection)) {
        return failure = "the jump to the stub cannot be written at the entry point", false;
    }
    FlushInstructionCache(process, reinterpret_cast<void*>(entry), jump.size());
    return true;
}

bool SetWindowsVersion(const std::string& program, const std::string& version) {
    const std::string name = program.substr(program.find_last_of("\\/") + 1);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + name).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                                       static_cast<DWORD>(version.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    int at = 1;
    std::string version;
    if (argc > 2 && std::strcmp(argv[1], "--windows") == 0) {
        version = argv[2];
        at = 3;
    }
    if (argc != at + 1) {
        std::fprintf(stderr, "usage: ntstart.exe [--windows VERSION] PROGRAM.exe\n");
        return 2;
    }
    const std::string program = argv[at];
    if (!version.empty() && !SetWindowsVersion(program, version)) return Fail("the Windows version could not be set");

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dllPath = self;
    dllPath = dllPath.substr(0, dllPath.find_last_of('\\') + 1) + "ntscsi.dll";
    if (GetFileAttributesA(dllPath.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail(dllPath + " is missing");

    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Wine has been seen to fail a start now and then with ERROR_INTERNAL_ERROR while
    // other prefixes start programs; a second try starts it.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                           &startup, &started)) {
            break;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return Fail("cannot start " + program);
        Sleep(200);
    }
    // Whatever ends this launcher ends the program too.
    const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // The programs it starts (a flasher) are not the job's.
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (job != nullptr) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    if (job != nullptr) AssignProcessToJobObject(job, started.hProcess);

    char name[64];
    ntscsi::AttachedEventName(started.dwProcessId, name);
    const HANDLE attached = CreateEventA(nullptr, TRUE, FALSE, name);
    std::string failure;
    if (attached == nullptr || !PlaceStub(started.hProcess, dllPath, failure)) {
        TerminateProcess(started.hProcess, 2);
        return Fail(failure.empty() ? "no event for the stand-in to set" : failure);
    }
    ResumeThread(started.hThread);
    const HANDLE either[] = {attached, started.hProcess};
    const DWORD which = WaitForMultipleObjects(2, either, FALSE, kAttachWaitMs);
    if (which != WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(started.hProcess, &code);
        TerminateProcess(started.hProcess, 2);
        return Fail(which == WAIT_OBJECT_0 + 1 ? "the program ended (exit code " + std::to_string(code) +
                                                     ") before the stand-in was in place"
                                               : "the stand-in did not attach in time");
    }
    std::printf("%lu\n", static_cast<unsigned long>(started.dwProcessId));
    std::fflush(stdout);

    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    return static_cast<int>(code);
}

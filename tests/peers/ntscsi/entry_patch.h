// What the launcher (ntstart.cpp) and the stand-in (ntscsi.cpp) of one bitness agree
// on: the block the launcher leaves in the program for the stand-in's attach, the
// attach entry point's name, and the event that says the stand-in is in place.
#pragma once

#include <windows.h>

#include <cstdio>

namespace ntscsi {

// The program's entry point and the bytes that the jump to the stub replaced there.
struct EntryPatch {
    void* entry;
    DWORD length;
    unsigned char saved[16];
};

// Exported by the stand-in: puts the bytes back, takes its place in the program's
// imports and answers the entry point to go on to.
constexpr char kAttachName[] = "NtScsiAttach";
using AttachFunction = void* (__cdecl*)(EntryPatch*);

// Set by the stand-in once it is in place in the process `processId`.
inline void AttachedEventName(DWORD processId, char (&name)[64]) {
    std::snprintf(name, sizeof name, "ntscsi-attached-%lu", static_cast<unsigned long>(processId));
}

}  // namespace ntscsi

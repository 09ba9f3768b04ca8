// The FTP command call of the Internet library, looked up once at start-up.
//
// WinInet before version 5 lacks FtpCommandA, so the program does not import it:
// the process-wide entry is found in the already loaded library at start-up and
// stays empty where there is none. A resumed transfer needs it.
#pragma once

#include <windows.h>
#include <wininet.h>

using FtpCommandFunction = decltype(&FtpCommandA);

class FtpCommandEntry {
public:
    // Looks FtpCommandA up in the loaded WININET.DLL (it is loaded because the
    // program imports it); empty when either is missing.
    FtpCommandEntry();
    // An entry given outright; tests make an empty one to stand for an old library.
    FtpCommandEntry(HMODULE module, FtpCommandFunction entry) : m_Module(module), m_Entry(entry) {}
    // Releases nothing: the module was never loaded by this object.
    ~FtpCommandEntry() { m_Module = nullptr; }
    FtpCommandEntry(const FtpCommandEntry&) = delete;
    FtpCommandEntry& operator=(const FtpCommandEntry&) = delete;

    bool Available() const { return m_Entry != nullptr; }
    FtpCommandFunction Entry() const { return m_Entry; }

    HMODULE m_Module = nullptr;
    FtpCommandFunction m_Entry = nullptr;
};

// Defined with the other process-wide objects, after the drive registry.
extern FtpCommandEntry theFtpCommandEntry;

#include "transfer/ftp_command_entry.h"

FtpCommandEntry::FtpCommandEntry() : m_Module(GetModuleHandleA("WININET.DLL")) {
    if (m_Module != nullptr) {
        m_Entry = reinterpret_cast<FtpCommandFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_Module, "FtpCommandA")));
    }
}

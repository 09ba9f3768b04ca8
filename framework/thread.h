// A worker thread that its owner creates suspended, resumes and waits for. The
// object outlives the thread: it is never deleted when the thread ends, and its
// destructor does not wait (the owner waits first, then deletes it).
#pragma once

#include <windows.h>

class CWinThread {
public:
    using Procedure = UINT (*)(void* parameter);

    CWinThread(Procedure procedure, void* parameter);
    ~CWinThread();  // closes the thread handle
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Creates the thread suspended; `stackSize` 0 is the default. Answers false, with
    // GetLastError() set, when it cannot be created.
    bool CreateThread(int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0);
    DWORD ResumeThread();                           // (DWORD)-1 on failure
    DWORD Wait(DWORD timeoutMs = INFINITE) const;  // WAIT_OBJECT_0, WAIT_TIMEOUT, ...
    // The procedure's answer; (UINT)-1 when an exception ended it. False while running.
    bool GetExitCode(DWORD& code) const;

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;

private:
    static unsigned __stdcall Start(void* self);

    Procedure m_Procedure;
    void* m_Parameter;
};

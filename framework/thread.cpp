#include "framework/thread.h"

#include <process.h>

CWinThread::CWinThread(Procedure procedure, void* parameter) : m_Procedure(procedure), m_Parameter(parameter) {}

CWinThread::~CWinThread() {
    if (m_hThread != nullptr) CloseHandle(m_hThread);
}

bool CWinThread::CreateThread(int priority, UINT stackSize) {
    unsigned id = 0;
    // _beginthreadex rather than CreateThread: the thread uses the C runtime.
    const uintptr_t handle = _beginthreadex(nullptr, stackSize, Start, this, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    m_hThread = reinterpret_cast<HANDLE>(handle);
    m_nThreadID = id;
    if (priority != THREAD_PRIORITY_NORMAL) SetThreadPriority(m_hThread, priority);
    return true;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

DWORD CWinThread::Wait(DWORD timeoutMs) const { return WaitForSingleObject(m_hThread, timeoutMs); }

bool CWinThread::GetExitCode(DWORD& code) const {
    return GetExitCodeThread(m_hThread, &code) && code != STILL_ACTIVE;
}

unsigned __stdcall CWinThread::Start(void* self) {
    auto* thread = static_cast<CWinThread*>(self);
    try {
        return thread->m_Procedure(thread->m_Parameter);
    } catch (...) {
        return static_cast<unsigned>(-1);  // nothing leaves a thread's entry point
    }
}

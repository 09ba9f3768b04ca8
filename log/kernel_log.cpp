#include "log/kernel_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

KernelLog::KernelLog() {
    std::memset(LineBuffer, 0, sizeof LineBuffer);
    file_ = CreateFileA("Kernel.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        MessageBoxA(nullptr, "Can not create kernel log!", "Warning", MB_OK | MB_ICONWARNING);
        return;
    }
    SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
}

KernelLog::~KernelLog() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool KernelLog::WriteLine(const char* text, uint32_t length) {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    if (length == 0) return true;

    CSingleLock hold(lock_);
    std::vector<char> block(text, text + length);
    block.push_back('\r');
    block.push_back('\n');
    // One synchronous write per line keeps concurrent lines whole.
    lastWritten_ = 0;
    WriteFile(file_, block.data(), static_cast<DWORD>(block.size()), &lastWritten_, nullptr);
    return lastWritten_ == block.size();
}

bool KernelLog::WriteLine(const char* text) {
    const size_t count = std::strlen(text);
    if (count == 0) return true;
    return WriteLine(text, static_cast<uint32_t>(count));
}

char* KernelLog::FormatLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    // The C runtime's _vsnprintf stops at the buffer's end, but then leaves the text
    // without a terminator: the last byte is always set. Our formats ("%d", "%c",
    // "%s", "%#lx") read the same as with wsprintfA.
    _vsnprintf(LineBuffer, kLineBufferSize - 1, format, args);
    LineBuffer[kLineBufferSize - 1] = '\0';
    va_end(args);
    return LineBuffer;
}

// The process-wide diagnostic log, "Kernel.log" in the current directory.
//
// Each line is written as it is, followed by CR LF: no time stamp, no prefix, no
// conversion, NUL bytes kept. Only drive discovery writes here.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/critical_section.h"

class KernelLog {
public:
    static constexpr int kLineBufferSize = 128;

    // Creates (or truncates) "Kernel.log". When that fails a warning box is shown
    // once and every later WriteLine(text, length) answers false.
    KernelLog();
    ~KernelLog();
    KernelLog(const KernelLog&) = delete;
    KernelLog& operator=(const KernelLog&) = delete;

    // Writes the first `length` bytes of `text` and CR LF with one WriteFile.
    // Answers whether the whole line reached the file; length 0 writes nothing.
    bool WriteLine(const char* text, uint32_t length);
    // Writes a NUL-terminated text as one line; an empty text writes nothing.
    bool WriteLine(const char* text);

    // Formats into LineBuffer, never past its end (the text is cut instead), and
    // answers LineBuffer. wsprintfA conventions: "%#lx" gives 0x-prefixed hex.
    char* FormatLine(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool HasFile() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    CCriticalSection lock_;

public:
    // Scratch space that callers format into before WriteLine(LineBuffer).
    // Zeroed when the file opens. Used only on the main thread.
    char LineBuffer[kLineBufferSize];

private:
    DWORD lastWritten_ = 0;
};

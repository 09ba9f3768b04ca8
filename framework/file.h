// A file over CreateFileA/ReadFile/WriteFile. Open answers false with the system
// error code; every other failing operation throws CFileException with that code.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

class CFileException : public std::exception {
public:
    CFileException(DWORD osError, std::string fileName);
    const char* what() const noexcept override { return m_Text.c_str(); }

    DWORD m_lOsError;  // GetLastError() of the failed call
    std::string m_FileName;

private:
    std::string m_Text;  // "<file>: <system text>"
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,  // others may read, not write
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,      // create, or cut an existing file to nothing
        modeNoTruncate = 0x2000,  // with modeCreate: an existing file keeps its contents
    };
    enum SeekPosition : DWORD { begin = FILE_BEGIN, current = FILE_CURRENT, end = FILE_END };

    CFile() = default;
    ~CFile();  // closes, ignoring errors
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Answers false, and the system error code in `osError`, when the file cannot be
    // opened. A file still open is closed first.
    bool Open(const std::string& name, UINT flags, DWORD* osError = nullptr);
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    const std::string& GetFileName() const { return m_FileName; }

    UINT Read(void* buffer, UINT count);  // answers the bytes read; 0 at the end
    void Write(const void* buffer, UINT count);
    ULONGLONG Seek(LONGLONG offset, SeekPosition from);  // answers the new position
    void SetLength(ULONGLONG length);                    // leaves the position at `length`
    ULONGLONG GetLength() const;
    void Close();  // throws when closing fails; the file counts as closed either way
    void Abort();  // closes, ignoring errors

    static void Remove(const std::string& name);

private:
    [[noreturn]] void Fail(DWORD osError) const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::string m_FileName;
};

#include "framework/file.h"

namespace {

std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

}  // namespace

CFileException::CFileException(DWORD osError, std::string fileName)
    : m_lOsError(osError), m_FileName(std::move(fileName)), m_Text(m_FileName + ": " + SystemText(osError)) {}

CFile::~CFile() { Abort(); }

bool CFile::Open(const std::string& name, UINT flags, DWORD* osError) {
    Abort();
    DWORD access = GENERIC_READ;
    if ((flags & 3) == modeWrite) access = GENERIC_WRITE;
    if ((flags & 3) == modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;

    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (flags & 0x70) {
    case shareExclusive: share = 0; break;
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    }

    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate) disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    m_hFile = CreateFileA(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        if (osError != nullptr) *osError = GetLastError();
        return false;
    }
    m_FileName = name;
    if (osError != nullptr) *osError = ERROR_SUCCESS;
    return true;
}

UINT CFile::Read(void* buffer, UINT count) {
    DWORD read = 0;
    if (!ReadFile(m_hFile, buffer, count, &read, nullptr)) Fail(GetLastError());
    return read;
}

void CFile::Write(const void* buffer, UINT count) {
    DWORD written = 0;
    if (!WriteFile(m_hFile, buffer, count, &written, nullptr)) Fail(GetLastError());
    if (written != count) Fail(ERROR_DISK_FULL);
}

ULONGLONG CFile::Seek(LONGLONG offset, SeekPosition from) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(ERROR_SUCCESS);
    const DWORD low = SetFilePointer(m_hFile, static_cast<LONG>(offset & 0xFFFFFFFF), &high, from);
    // INVALID_SET_FILE_POINTER is also a valid low half; only the error code tells.
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) Fail(GetLastError());
    return (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low;
}

void CFile::SetLength(ULONGLONG length) {
    Seek(static_cast<LONGLONG>(length), begin);
    if (!SetEndOfFile(m_hFile)) Fail(GetLastError());
}

ULONGLONG CFile::GetLength() const {
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD low = GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) Fail(GetLastError());
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

void CFile::Close() {
    if (!IsOpen()) return;
    const HANDLE handle = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) Fail(GetLastError());
}

void CFile::Abort() {
    if (!IsOpen()) return;
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

void CFile::Remove(const std::string& name) {
    if (!DeleteFileA(name.c_str())) throw CFileException(GetLastError(), name);
}

void CFile::Fail(DWORD osError) const { throw CFileException(osError, m_FileName); }

// The one owner of a WinInet handle: it closes the handle when it is destroyed or
// given another, or earlier by Close. A borrowed handle belongs to someone else (a
// session the caller attached) and is used, never closed.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : m_Handle(handle) {}
    static InternetHandle Borrowed(HINTERNET handle) {
        InternetHandle borrowed(handle);
        borrowed.m_Owned = false;
        return borrowed;
    }
    ~InternetHandle() { Close(); }

    InternetHandle(InternetHandle&& other) noexcept
        : m_Handle(std::exchange(other.m_Handle, nullptr)), m_Owned(other.m_Owned) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_Handle = std::exchange(other.m_Handle, nullptr);
            m_Owned = other.m_Owned;
        }
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET Get() const { return m_Handle; }
    explicit operator bool() const { return m_Handle != nullptr; }

    // Closes an owned handle now and forgets the handle either way. Answers what
    // InternetCloseHandle answered, its error left in GetLastError() (closing an FTP
    // file ends its transfer, and the server's verdict comes with it); TRUE when
    // there was nothing of ours to close.
    BOOL Close() {
        const HINTERNET handle = std::exchange(m_Handle, nullptr);
        return handle == nullptr || !m_Owned || InternetCloseHandle(handle);
    }

private:
    HINTERNET m_Handle = nullptr;
    bool m_Owned = true;
};

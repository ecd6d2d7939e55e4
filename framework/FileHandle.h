// CFileHandle: owns a kernel handle whose invalid value is INVALID_HANDLE_VALUE (a file or
// folder opened by CreateFile; also one already checked against NULL, such as a process's) and
// closes it when it goes. Not copyable; the handle is lent by get().
#pragma once

#include <windows.h>

class CFileHandle {
public:
    explicit CFileHandle(HANDLE handle) : m_handle(handle) {}
    ~CFileHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    HANDLE get() const { return m_handle; }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

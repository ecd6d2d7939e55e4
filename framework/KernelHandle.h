// CKernelHandle: owns a kernel object handle whose invalid value is NULL (an event, a mutex, a
// thread) and closes it when it goes. Not copyable; the handle is lent by get().
#pragma once

#include <windows.h>

class CKernelHandle {
public:
    explicit CKernelHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~CKernelHandle() {
        if (m_handle != nullptr)
            ::CloseHandle(m_handle);
    }
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

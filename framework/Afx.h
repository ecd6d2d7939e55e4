// Process-wide helpers and the framework's exceptions.
#pragma once

#include <windows.h>

#include <stdexcept>

// The program is one executable: its instance is also where the resources live.
inline HINSTANCE AfxGetInstanceHandle() { return GetModuleHandleA(nullptr); }
inline HINSTANCE AfxGetResourceHandle() { return GetModuleHandleA(nullptr); }

// Base of the framework's exceptions. Callback boundaries catch these (and any
// std::exception) and report them instead of letting them unwind through the system.
class CException : public std::runtime_error {
public:
    explicit CException(const char* what) : std::runtime_error(what) {}
};

// A window class, resource or GDI object could not be had.
class CResourceException : public CException {
public:
    CResourceException() : CException("resource exception") {}
};

[[noreturn]] inline void AfxThrowResourceException() { throw CResourceException(); }

// Shows an exception caught at a callback boundary. Defined by the application layer
// (it needs the string table and the application title).
void AfxReportException(const std::exception& error);

// The few platform names the path-text and quoted-piece code uses, for building that code
// natively (outside Windows) under the fuzzer and the address sanitizer. The code page is
// Japanese (932): its lead bytes are 0x81-0x9F and 0xE0-0xFC. The two file-system calls are
// never reached by what is fuzzed; they answer as a failed call would.
#pragma once

#include <cstddef>
#include <cstdint>

typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int BOOL;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* HMODULE;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

inline BOOL IsDBCSLeadByte(BYTE byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

inline DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    if (size > 0)
        buffer[0] = '\0';
    return 0;
}

inline DWORD GetFullPathNameA(LPCSTR, DWORD, LPSTR, LPSTR*) {
    return 0;
}

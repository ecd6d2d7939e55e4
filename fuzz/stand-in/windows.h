// The few platform names the path and quoted-piece code uses, for building that code natively
// (outside Windows) under the fuzzer and the sanitizers. Natively wchar_t is 32 bits wide where
// Windows has 16; the code only compares and copies whole units, so it builds unchanged. The
// file-system and code-page calls are never reached by what is fuzzed; they answer as a failed
// call would.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef wchar_t WCHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* LPWSTR;
typedef void* HMODULE;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#define CP_ACP 0
#define WC_NO_BEST_FIT_CHARS 0x400

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

inline DWORD GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
    if (size > 0)
        buffer[0] = L'\0';
    return 0;
}

inline DWORD GetFullPathNameW(LPCWSTR, DWORD, LPWSTR, LPWSTR*) {
    return 0;
}

inline int WideCharToMultiByte(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, BOOL*) {
    return 0;
}

inline int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) {
    return 0;
}

// What the program asks of a file before it reads one byte of it: its size, last-write time and
// attributes. The unchanged check, the byte compare and the compare windows all start from these.
#pragma once

#include <windows.h>

#include <string>

// A file's size and last-write time.
struct FileFacts {
    ULONGLONG size = 0;
    FILETIME modified{};
    DWORD attributes = 0;
};
// False for a folder or what cannot be read.
bool ReadFileFacts(const std::wstring& path, FileFacts* facts);

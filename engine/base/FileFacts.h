// What the program asks of a file before it reads one byte of it: its size, last-write time and
// attributes. The unchanged check, the byte compare and the compare windows all start from these.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A file's size and last-write time.
struct FileFacts {
    ULONGLONG size = 0;
    FILETIME modified{};
    DWORD attributes = 0;
};
// False for a folder or what cannot be read.
bool ReadFileFacts(const std::wstring& path, FileFacts* facts);

// What tells one file from another: its volume and its file index, the same for every path (a hard
// link, a short name, another case) to one object.
struct FileIdentity {
    uint32_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};
// False when the file or folder cannot be opened to ask.
bool ReadFileIdentity(const std::wstring& path, FileIdentity* identity);
// The file index alone, answered from the open file itself: the identity's volume serial costs
// Wine a trip to its mount manager on every query (near a millisecond), so a reader of many files
// asks for the volume once per folder.
bool FileIndexOf(HANDLE file, uint64_t* index);

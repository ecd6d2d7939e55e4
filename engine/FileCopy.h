// The disk operations under the item backup: telling two paths that name the same file or
// folder apart from two that do not, and copying one file into the backup tree.
#pragma once

#include <windows.h>

#include <string>

// Volume and file index: the same for every path (link, short name, other case) to one object.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
    }
};

// False when the file or folder cannot be opened to ask.
bool ReadFileIdentity(const std::wstring& path, FileIdentity* identity);

// Copies source onto target, replacing a file of that name. A replaced file that is read-only,
// hidden or system is the program's own earlier copy when it lies below backupRoot: those
// attributes are cleared so the copy can replace it; nothing outside backupRoot is changed.
// Paths are in the form SystemPath gives. False when the copy did not happen; GetLastError
// tells why.
bool CopyFileIntoBackup(const std::wstring& source, const std::wstring& target,
                        const std::wstring& backupRoot);

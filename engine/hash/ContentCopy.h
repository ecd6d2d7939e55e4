// The program's own copy of one file, in place of the platform's: the original is read once, in
// large pieces (a small file in one read), and each piece is hashed as it is written, so the hash
// a version records is of the very bytes its copy was made from. The copy takes the source's
// last-write time and attributes as the platform's copy gives them; named streams are not copied.
//
// Paths are in the form SystemPath gives.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/hash/ContentHash.h"

// What a copy wrote (or a read found).
struct CopiedContent {
    ULONGLONG size = 0;   // bytes written
    ContentHash hash;     // of exactly those bytes
    FILETIME modified{};  // the last-write time the copy was given
    DWORD attributes = 0; // and its attributes
};

// Copies source into target, a new file: an existing target is never opened (ERROR_FILE_EXISTS).
// copied, when given, receives the size and hash of what was written; flush makes the bytes reach
// the disk before the copy is closed. stop, when given and set, abandons the copy
// (ERROR_REQUEST_ABORTED). beforeClose, when given, is called with the whole copy still open (its
// error abandons the copy). Whatever fails, nothing is left under target. ERROR_SUCCESS or the
// system's error code.
DWORD CopyFileContent(const std::wstring& source, const std::wstring& target, const BOOL* stop,
                      CopiedContent* copied, bool flush,
                      const std::function<DWORD(HANDLE)>& beforeClose = nullptr);

// Gives the open file (opened with DELETE access) the name to, SystemPath's form, replacing a file
// there: one call, where a rename by path opens the file again. ERROR_SUCCESS or the error code.
DWORD RenameOpenFile(HANDLE file, const std::wstring& to);

// Reads path to its end for its size and hash alone (*read's times and attributes say nothing).
// ERROR_SUCCESS or the error code; a set *stop ends it with ERROR_REQUEST_ABORTED.
DWORD HashFileContent(const std::wstring& path, const BOOL* stop, CopiedContent* read);
// The same for a file already open for reading (at its start), as a check that asked the open
// file what it is before reading it.
DWORD HashOpenFile(HANDLE file, const BOOL* stop, CopiedContent* read);


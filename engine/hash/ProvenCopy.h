// A copy made from a proven copy: its bytes are kept only when they hash to what the proof recorded.
// A backup's copy whose bytes no longer do (a flipped bit, a file rewritten in place with its size and
// time kept) is never copied on: the original is taken instead when it still has the size and
// last-write time the proof recorded and its bytes, hashed as they are copied, give the same hash.
// Else the copy is refused with kDamagedCopy and nothing is left of it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/hash/ContentCopy.h"

// A copy's bytes are not those its proof names (or the disk says the file is corrupt).
constexpr DWORD kDamagedCopy = ERROR_FILE_CORRUPT;

// What a proof says of a copy: its size, its original's last-write time, its hash.
struct ExpectedContent {
    ULONGLONG size = 0;
    FILETIME modified{};
    ContentHash hash;
    bool toTheSecond = false; // modified as a journal keeps it: the original's is compared at that precision
};

// ERROR_SUCCESS when what was written is the content expected; else kDamagedCopy.
DWORD CheckContent(const CopiedContent& written, const ExpectedContent& expected);

// Copies source (SystemPath's form) somewhere, calling check with what was written while the copy
// can still be abandoned: check's error abandons it and is returned. The caller's copy loop.
using ContentCheck = std::function<DWORD(const CopiedContent& written)>;
using CheckedCopy = std::function<DWORD(const std::wstring& source, const ContentCheck& check)>;

// Copies copy through copyFrom when its bytes are those expected; when they are not (or the disk
// finds them corrupt), original instead (SystemPath's form; empty: none) when it still has the size,
// time and hash expected. ERROR_SUCCESS, kDamagedCopy when neither gives those bytes, or the error
// of the copy (a full disk, a stop).
DWORD CopyProvenContent(const std::wstring& copy, const std::wstring& original,
                        const ExpectedContent& expected, const CheckedCopy& copyFrom);

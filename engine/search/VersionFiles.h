// The files of a version's copy, each with what tells one file from another (its volume and its file
// index), so that a file linked into many versions is known as one without reading it. A folder is
// listed with the file indexes in the listing (one query a folder, no file opened); a single file by
// its open handle. The volume is asked once per place: under Wine that question costs milliseconds.
//
// The copy lies in a backups folder, untrusted: no link is followed, the copy itself included.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

struct ContentKey {
    uint32_t volume = 0;
    uint64_t index = 0;
    bool operator==(const ContentKey& other) const { return volume == other.volume && index == other.index; }
};

struct ContentKeyHash {
    size_t operator()(const ContentKey& key) const {
        return std::hash<uint64_t>()(key.index * 1000003u ^ key.volume);
    }
};

// What the listing says of a file: its size and last-write time (UTC), to tell whether a proof
// recorded for it speaks for the file as it lies there.
struct VersionFileFacts {
    ULONGLONG size = 0;
    FILETIME modified{};
};

enum class VersionCopyKind : unsigned char { File, Folder, Missing, Link, Unreadable };

// The serial number of the volume folder lies on (SystemPath's form); 0 when it cannot be read.
uint32_t VolumeSerialOf(const std::wstring& folder);

// Calls found for each file of the copy (SystemPath's form) on volume: a file once with an empty
// relative path, a folder once for every file below it ("sub\name"), links to files and folders
// below it left out. A set *stop ends the walk between folders. Returns what the copy is; Missing,
// Link and Unreadable call nothing.
using VersionFileFound =
    std::function<void(const std::wstring& relative, const ContentKey& key, const VersionFileFacts& facts)>;
VersionCopyKind ForEachVersionFile(const std::wstring& copy, uint32_t volume, const BOOL* stop,
                                   const VersionFileFound& found);

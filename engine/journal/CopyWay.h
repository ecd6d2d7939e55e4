// The way to a copy: the folders from a backups folder (this computer's or the mirror) down to a
// copy in it, and the copy itself. The program never makes a reparse point (a symbolic link, a
// junction, a mount point) in either place, so a copy whose way passes through one was planted
// there and could lead anywhere: whatever a journal says, nothing is read or written through it.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <unordered_set>

// The error a copy refused for a link on its way is said with.
constexpr DWORD kLinkOnTheWay = ERROR_CANT_ACCESS_FILE;

// The backups folder holding the copy at path (plain form), and the copy relative to it
// ("2026-1207\1015\photos"); false when path has no day\minute\name shape.
bool SplitCopyPath(const std::wstring& path, std::wstring* root, std::wstring* copy);

// True when a part of copy (a relative path IsSafeCopyPath allows, "2026-1207\1015\a.txt") below
// backupRoot, the copy itself included, is a reparse point. A part that is not there ends the look:
// nothing below it can be reached.
bool CopyWayHasLink(const std::wstring& backupRoot, const std::wstring& copy);
// The same for a copy named by its full path: below backupRoot when it lies there, else below the
// folder above its day folder (a mirror's copy, "M:\mirror\2026-1207\1015\a.txt"). A path of
// neither kind counts as having one: it is no copy the program reads.
bool CopyPathHasLink(const std::wstring& backupRoot, const std::wstring& path);

// The same for many copies of one backups folder, each part looked at once; what a folder's
// listing told already (Saw, Listed) is not looked at again.
class CCopyWays {
public:
    explicit CCopyWays(const std::wstring& backupRoot);
    bool HasLink(const std::wstring& copy);
    // An entry (its path relative to the backups folder) as its folder's listing showed it.
    void Saw(const std::wstring& entry, bool link);
    // Every entry of folder was told by Saw: one it did not tell is not there.
    void Listed(const std::wstring& folder);

private:
    enum class Part : unsigned char { Plain, Link, Missing };
    Part Look(const std::wstring& part, const std::wstring& key);

    const std::wstring m_root;                      // SystemPath's form
    std::unordered_map<std::wstring, Part> m_parts; // by upper-cased relative path
    std::unordered_set<std::wstring> m_listed;      // upper-cased too
};

// Two folders compared file by file: a folder version against the folder as it is now, or two
// versions against each other. Every file is changed, added (in the newer folder only), removed (in
// the older only) or the same. Files of equal size and last-write time are the same without being
// read, as the unchanged check of a backup decides (PreviousCopy.h); at the same size and another
// time their bytes decide. Where both sides are folder versions whose manifests are whole and
// proven by their journals, a file both list as it lies there (the same size and time) is judged
// by the two hashes instead: equal, the same without being read; different, changed, read only
// when the sizes are equal (the bytes then decide, as a manifest may speak for a damaged copy).
// Two such versions are listed from their manifests, their folders never walked (VersionCompare.h).
// Entries whose names match the Exclude= patterns are left out on both sides, as a backup leaves
// them out, and so are the copy's temporaries; a folder is never entered twice on the way down (a
// link to an ancestor) nor when it is the backups folder itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/copy/PreviousCopy.h"
#include "engine/journal/Manifest.h"

enum class FolderEntryState : unsigned char {
    Changed,
    Added,
    Removed,
    Same,
    Unreadable // a file whose bytes, or a folder whose entries, could not be read: error says why
};

struct FolderEntry {
    std::wstring path; // relative to both folders
    FolderEntryState state = FolderEntryState::Same;
    bool folder = false;    // only an unreadable folder is listed as one
    FileFacts older, newer; // the facts of the side (or sides) that hold the file
    DWORD error = ERROR_SUCCESS;
};

enum class FolderCompareOutcome : unsigned char {
    Done,
    Stopped, // a set stop ended it: entries and counts are what was found so far
    OlderMissing,
    OlderUnreadable, // error says why (ERROR_DIRECTORY: a file, not a folder)
    NewerMissing,
    NewerUnreadable
};

// Files only: a folder is never counted.
struct FolderCompareCounts {
    uint64_t changed = 0, added = 0, removed = 0, same = 0;
    uint64_t unreadable = 0; // files and folders listed as unreadable
};

struct FolderComparison {
    FolderCompareOutcome outcome = FolderCompareOutcome::Done;
    DWORD error = ERROR_SUCCESS;
    // Each folder's files in name order (case aside), then its sub-folders' files, folder by folder.
    std::vector<FolderEntry> entries;
    FolderCompareCounts counts;
};

struct FolderCompareOptions {
    std::vector<std::wstring> excludes; // Exclude= name patterns (IsLeftOut)
    std::wstring backupRoot;            // never entered on either side; empty: none
    bool listSame = false;              // the same files are counted always, listed only when asked
    const BOOL* stop = nullptr;         // read between entries
    // Each side's files' hashes (CRecordedHashes::TrustedManifestOf); null: found from the sides'
    // own journals when they are folder versions. An empty index takes nothing on trust.
    const ManifestIndex* olderHashes = nullptr;
    const ManifestIndex* newerHashes = nullptr;
    // Two versions whose manifests are trusted are listed from those; false: both folders are walked
    // (what the disk holds now, not what the versions recorded).
    bool listFromManifests = true;
};

// older and newer as the user gives them (any length: SystemPath's form is made here).
FolderComparison CompareFolders(const std::wstring& older, const std::wstring& newer,
                                const FolderCompareOptions& options);

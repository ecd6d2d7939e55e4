// What the status line is told: what happened, as codes and the facts they name (paths, the
// system's error code, counts, a size), never words. The shell words each part from its string
// table (shell/words/Wording.cpp); the parts of a report are said in order, one sentence after the
// other, and an empty report says that all is well ("ready").
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class StatusCode : unsigned char {
    // Shown while a file is worked on (CBackupHost::ShowCopying): path.
    BackingUp,
    Restoring,
    CleaningUp,
    PreparingToOpen,    // a version is copied for looking at
    PreparingToCompare, // the two sides are copied for another program to compare: path the item
    // A backup's outcome: path the item.
    BackupStopped,
    BackupFailed,         // error
    BackupFailedEntries,  // count entries failed, error the first one's
    BackupFailedInFolder, // other the backups folder, which cannot be written: error
    Unchanged,            // a file item not copied again
    Renamed,              // path an entry kept as other, since its name was taken
    RenamedSeveral,       // the same, and count more entries renamed
    LeftOut,              // count entries left out by Exclude=
    Linked,               // count files copied, second linked
    LinkedSomeCopied,     // the same, some copied where the disk refused a link
    JournalUnwritten,     // error: the record could not be written
    // A restore's outcome: path the original, or where the copy went.
    RestoreStopped,
    RestoreElsewhereStopped,
    RestoreFailed,        // error
    RestoreFailedEntries, // count entries failed, error the first one's
    RestoreNotDone,       // after the safety backup's own failure
    // The cleanup's outcome.
    CleanupRecycled, // count copies into the Recycle Bin, bytes freed
    CleanupDeleted,  // count copies removed for good, bytes freed
    CleanupFailed,   // count copies not removed, error the first one's
    CleanupStopped,
    CleanupBinRefused, // the Recycle Bin took nothing: the cleanup stopped
    // Looking at a version: path the backup.
    Opened,
    OpenStopped,
    OpenFailed, // error
    // Comparing with another program (DiffTool=): path the item.
    CompareToolStarted,
    CompareToolStopped,
    CompareToolFailed,     // other the setting, error
    CompareToolUnusable,   // other the setting: it lacks %1 or %2, or is too long
    CompareToolNoOriginal, // the item is not at its original place
    // Said once at start.
    FolderUnusable,   // path the backups folder, error
    FolderFellBack,   // path the backups folder used instead of the program's
    SettingsTooLarge, // path the settings file's name
    SettingsSkipped,  // path the settings file's name, count lines skipped
};

// One sentence's facts; each code uses those its comment names.
struct StatusPart {
    StatusCode code = StatusCode::BackupStopped;
    std::wstring path;
    std::wstring other;
    DWORD error = ERROR_SUCCESS;
    unsigned long long count = 0;
    unsigned long long second = 0;
    unsigned long long bytes = 0;
};

using StatusReport = std::vector<StatusPart>;

// The part of code about path; the caller fills in the other facts it names.
inline StatusPart Said(StatusCode code, const std::wstring& path = std::wstring()) {
    StatusPart part;
    part.code = code;
    part.path = path;
    return part;
}

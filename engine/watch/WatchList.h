// The watch list: the items the user chose to watch, kept in "Tallowbox-watch.tsv" in the backups
// folder so it moves with the backups. Plain UTF-8: a header line "#Tallowbox-watch 1", then one
// watched full path a line. The file is untrusted text: a line that is not a full path, names a
// drive's or share's root, the backups folder, something inside it or a folder containing it, a
// device, or is not valid UTF-8, is skipped and counted, and nothing is done with it. The file is
// written whole through a temporary in the backups folder put in place by a replace.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// "Tallowbox-watch.tsv": the watch list's name in the backups folder.
extern const wchar_t* const kWatchListName;

// Why an item cannot be watched (None: it can).
enum class WatchRefusal : unsigned char {
    None,
    Missing,
    NotFullPath,
    DriveRoot,
    BackupsFolder,
    InsideBackups,
    ContainsBackups,
    TooMany, // the list holds as many watches as it may
    NotSaved // the list file could not be written: nothing changed
};

// The most watches one list holds; lines beyond it are skipped.
constexpr size_t kMaxWatches = 1000;

// Whether path may be watched with backupRoot as the backups folder. The backups folder and the
// item are compared case aside as their full long paths, and by identity where both exist.
WatchRefusal CheckWatchable(const std::wstring& path, const std::wstring& backupRoot);

// The full long form of path, upper-cased, as CheckWatchable compares it (the part that does not
// exist kept as written); IsPathBelowFolder compares two such forms.
std::wstring ComparablePathForm(const std::wstring& path);
bool IsPathBelowFolder(const std::wstring& path, const std::wstring& folder);
// "C:", "C:\", "\\server\share": a whole drive or share.
bool IsDriveOrShareRoot(const std::wstring& path);

// What reading the list came to: the paths in order (no two equal case aside), the lines skipped.
struct WatchListContent {
    std::vector<std::wstring> paths;
    unsigned skippedLines = 0;
    bool tooLarge = false; // larger than any list of watches: nothing was read
};

// Reads backupRoot's list (a missing file is an empty list). A line naming an item that does not
// exist now is kept: the watch waits for the item to come back.
WatchListContent ReadWatchList(const std::wstring& backupRoot);
// The same for the file's bytes.
WatchListContent ParseWatchList(const std::string& bytes, const std::wstring& backupRoot);
// Writes the list whole (the backups folder made when missing). ERROR_SUCCESS or the error code;
// on a failure the list already there is as it was.
DWORD WriteWatchList(const std::wstring& backupRoot, const std::vector<std::wstring>& paths);

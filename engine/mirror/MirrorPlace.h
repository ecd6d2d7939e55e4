// Where the mirror may go, and whether it can be reached now. The mirror is a backups folder of its
// own on a second disk or a share: never the backups folder, nor inside or around it, nor inside
// an item that is watched (each copy would make a new version of it), nor a whole drive or share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class MirrorFolderRefusal : unsigned char {
    None,
    NotFullPath,     // relative, or no path a folder can have
    DriveRoot,       // a drive's or share's root: a folder on it is asked for
    BackupsFolder,   // the backups folder itself
    InsideBackups,   // a folder inside the backups folder
    ContainsBackups, // a folder the backups folder lies in
    InsideWatched    // a watched item, or a folder inside one
};

// Whether folder may be the mirror, compared case aside as full long paths (a "\\?\" prefix and
// trailing separators aside), and by identity where both exist. A folder that does not exist yet
// may be: it is made when first reached.
MirrorFolderRefusal CheckMirrorFolder(const std::wstring& folder, const std::wstring& backupRoot,
                                      const std::vector<std::wstring>& watchedItems);

// The folder as the mirror uses it: "\\?\" and trailing separators taken off ("\\?\UNC\" gives "\\").
std::wstring MirrorFolderPath(const std::wstring& folder);

// ERROR_SUCCESS when the mirror can be written now: its parent is a folder that can be opened, the
// mirror folder is there (made when missing) and a temporary can be written in it (deleted on
// close). Judged by the folder itself, never by a list of drives.
DWORD ReachMirrorFolder(const std::wstring& folder);

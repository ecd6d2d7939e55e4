// What the list's rows lead to, apart from the window: the nearest part of a path that still
// exists, the text Ctrl+C puts on the clipboard, the restore's question, the read-only copy a
// version is looked at through, the folder picker, and the shell call that opens a folder with
// items selected. The row commands (RowCommands.cpp) use them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/base/BackupPaths.h"

// True when something is at path (a long path too).
bool PathExists(const std::wstring& path);
// The path itself when it exists, else the nearest folder above it that does; never limit
// itself nor anything outside it (when limit is given), nor a drive or share root. Empty when
// nothing is left. path and limit in PlainPath's form.
std::wstring NearestExistingPart(const std::wstring& path, const std::wstring& limit);
// True when path lies inside folder (both plain full paths), case aside as the file system compares names.
bool IsStrictlyBelow(const std::wstring& path, const std::wstring& folder);
// The folder the shell opens to show item: its parent, a drive root with its separator.
std::wstring FolderToShow(const std::wstring& item);

// The backups' full paths, one a line, lines ended by CR LF but the last.
std::wstring BackupPathsText(const std::vector<BackupRow>& rows);
// Puts text on the clipboard as Unicode text; false when the clipboard refused it.
bool PutTextOnClipboard(HWND owner, const std::wstring& text);

// The restore's question for the rows: the item (or the count), the backups' dates and times,
// where they go back to, and that what is there now is backed up first; momentOf words a row's
// moment as its list shows it.
std::wstring RestoreQuestion(const std::vector<BackupRow>& rows,
                             const std::function<std::wstring(const BackupRow&)>& momentOf);

// What the last check found wrong with the copies the rows would be restored from (a copy is read
// where its backupPath lies: the backups folder or the mirror): for each row found damaged there,
// its name, its moment and its damaged files (at most ten, then how many more); empty when the
// ledger knows none of them damaged.
std::wstring DamagedRestoreWarning(const std::vector<BackupRow>& rows, const std::wstring& backupRoot,
                                   const std::wstring& mirrorRoot,
                                   const std::function<std::wstring(const BackupRow&)>& momentOf);

// Copies the backup (a file below root, not reached through a link) into a folder of its own in the
// user's temporary folder and makes the copy read-only: what a program opens for looking is never
// the backup itself.
// A non-zero *cancel, read while it copies, stops it (ERROR_REQUEST_ABORTED); a copy that is not
// whole is removed with its folder. ERROR_SUCCESS with the copy's path, or the error code.
DWORD MakeLookingCopy(const std::wstring& backupPath, const std::wstring& root, std::wstring* copy,
                      BOOL* cancel = nullptr);
// The same for a file whose place is checked already (the current file, or a version's copy as
// VersionCopyPath gives it, that another program compares): a read-only copy in a folder of its
// own in the temporary folder, the file left alone.
DWORD MakeReadOnlyTemporaryCopy(const std::wstring& file, std::wstring* copy, BOOL* cancel = nullptr);

// Where the copy of a version (a row of a backup) lies, for reading it: its path in PlainPath's
// form, or empty when the row names nothing below root that may be read (or only through a link
// on its way). Every command that compares a version's bytes asks here.
std::wstring VersionCopyPath(const BackupRow& row, const std::wstring& root);

// Opens file with its usual program (the shell's call, from any thread).
void OpenWithUsualProgram(const std::wstring& file);

// Asks the user for a folder (the system's folder picker); false when cancelled.
bool PickFolder(HWND owner, std::wstring* folder);
// The same under the title of the string titleId.
bool PickFolder(HWND owner, std::wstring* folder, UINT titleId);

// Opens folder in the shell with items (full paths inside it) selected; when the shell cannot
// select them, opens the folder alone.
void ShowItemsInShell(const std::wstring& folder, const std::vector<std::wstring>& items);
// Opens folder in the shell; one too long for the shell's lists by its short name.
void OpenFolderInShell(const std::wstring& folder);

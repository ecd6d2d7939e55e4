// Where backup copies go and what a list row stands for: the program folder, the component
// operations on paths, the long form the file functions are given, the time-stamp folders of a
// batch's moment, and the facts of one list row.
//
// Paths are UTF-16 from the moment they enter the program, so every name the file system can
// hold is kept exactly; a backslash is always a separator.
#pragma once

#include <windows.h>

#include <string>

#include "engine/base/StatusReport.h"

// What became of a row's item, and whether the row is a backup or a restore.
enum class RowOutcome : unsigned char { Succeeded, Failed, Stopped };
enum class RowKind : unsigned char { Backup, Restore };

// What a list row stands for, as facts the window words: the batch's moment, the item as it was
// given, the full path of its copy in the backups (the names may differ: "same (2).txt"; for a
// restore row, the copy it was restored from, and where a restore to another place put it),
// whether it is a folder, and how it ended. A damaged row comes from a journal record whose
// paths cannot be trusted: only its copy path may be copied.
struct BackupRow {
    SYSTEMTIME time{};
    std::wstring originalPath;
    std::wstring backupPath;
    std::wstring restoredTo; // a restore to another place: the path written; otherwise empty
    bool isFolder = false;
    RowKind kind = RowKind::Backup;
    RowOutcome outcome = RowOutcome::Succeeded;
    bool damaged = false;
    bool unchanged = false; // not copied again: backupPath is the earlier, identical copy
    bool automatic = false; // a watched item's version
    StatusReport failure;   // a failed row's own report: why it failed (the journal keeps its error)
};

// The executable's folder, without a trailing backslash, at any length. Empty when the
// platform cannot give the executable's full path.
std::wstring GetModuleFolder();
// Leaves the part after the last separator (empty when the text ends in one).
void KeepLastComponent(wchar_t* text);
// Ends the text at its last separator.
void StripLastComponent(wchar_t* text);
// TRUE when the text's last character is a separator.
bool EndsWithSeparator(const std::wstring& text);

// The component operations on a text of any length: the last component, the text without it,
// and the text without the separators it ends in.
std::wstring LastComponent(const std::wstring& path);
std::wstring WithoutLastComponent(const std::wstring& path);
std::wstring WithoutTrailingSeparators(std::wstring path);
// The name a folder item's copy is given: its last component once "." and ".." are resolved;
// a drive root is named after its letter ("C:\" gives "C"). Empty when no name can be had.
std::wstring FolderItemName(const std::wstring& path);

// The text upper-cased as the file system compares names: two names with equal upper cases
// are one name on the backup's disk.
std::wstring UpperCase(std::wstring text);
// "same (2).txt" for a file, "data (2)" for a folder (a dot in a folder's name is no extension):
// the name a second, different entry of one name is kept under.
std::wstring NumberedName(const std::wstring& name, unsigned number, bool isFolder);

// True for a path that names the same place whatever the current folder: "C:\..." or "\\...".
bool IsFullPath(const std::wstring& path);

// The form the file functions are given: the full path with the long-path prefix
// ("\\?\C:\..." or "\\?\UNC\server\share\..."), so paths up to the platform's limit of 32,767
// characters work. Resolves "." and ".." and a relative path against the current folder, as
// the plain form would. Device paths ("\\.\") and paths already in that form are kept. Empty
// when the path cannot be made full.
std::wstring SystemPath(const std::wstring& path);

// The full path without the long-path prefix: the form the shell and CreateFolderTree take.
std::wstring PlainPath(const std::wstring& path);

// "\2004-0307\1405" for 2004-03-07 14:05: the day and minute folders of a batch's moment.
std::wstring FormatTimeStampText(const SYSTEMTIME& time);

// Narrow text for the ANSI code page, for texts only, never for a path that reaches a file: a
// character the code page cannot hold becomes "?", never a look-alike.
std::string ToAnsiText(const std::wstring& text);
// The ANSI code page's text as UTF-16.
std::wstring FromAnsiText(const std::string& text);

// The disk operations under the item backup: telling two paths that name the same file or
// folder apart from two that do not, copying one file into the backup tree without ever
// destroying the copy already there, and carrying a folder's times and attributes over.
//
// Paths are in the form SystemPath gives.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The temporaries a copy is made under, and the removal of those a killed copy left.
#include "engine/base/TemporaryNames.h"
// The program's own copy loop, which hashes what it writes.
#include "engine/hash/ContentCopy.h"
// FileIdentity, ReadFileIdentity.
#include "engine/base/FileFacts.h"


// Copies source to target through a temporary in target's folder, put in place under the real
// name only once complete: when anything fails, the temporary is removed and a file already
// at target (an earlier copy) is exactly as it was; with none, nothing is left under that name.
// An earlier copy that refuses to be replaced because it is read-only, hidden or system is the
// program's own when it lies below backupRoot: those attributes are cleared for the replace and
// put back if it still fails; nothing outside backupRoot is changed. stop, when given, is
// watched by the copy (where the platform supports it): set, the copy is abandoned.
// stillWhole, when given, is asked once the copy is complete and before it takes its name: false
// (the source moved while it was read) abandons the copy too, with ERROR_BUSY. copied and flush
// are CopyFileContent's: the hash of what was written, and the bytes on the disk before the name.
// ERROR_SUCCESS, or the system's error code for what went wrong.
DWORD CopyFileIntoBackup(const std::wstring& source, const std::wstring& target,
                         const std::wstring& backupRoot, BOOL* stop = nullptr,
                         const std::function<bool()>& stillWhole = nullptr, CopiedContent* copied = nullptr,
                         bool flush = false);

// Makes target a hard link to existing (an earlier copy of the same content, both below
// backupRoot); an earlier file at target is replaced through a temporary link put in place as
// CopyFileIntoBackup puts its copy. ERROR_SUCCESS, or why the link
// was refused (the caller copies instead).
DWORD LinkIntoBackup(const std::wstring& existing, const std::wstring& target,
                     const std::wstring& backupRoot);

// Puts the copy from in place of to (a restore) through the same safe replace (paths in
// SystemPath's form). A read-only target is the user's to unlock: it is refused with
// ERROR_ACCESS_DENIED, untouched, whatever the platform's replace would do. ERROR_SUCCESS or
// the error code.
DWORD PutFileBack(const std::wstring& from, const std::wstring& to, BOOL* stop);

// Gives the folder target the last-write and creation times and the hidden, system and
// read-only attributes of the folder source. ERROR_SUCCESS or the error code.
DWORD CopyFolderTimesAndAttributes(const std::wstring& source, const std::wstring& target);

// Putting a backup back where its item came from: the one time the program writes outside its
// backup folder. Only a row's own source is written, only once what is there now has been
// backed up, and nothing is ever deleted. Every file goes through the same safe replace as a
// backup, so a failure or a stop leaves each target file as it was or wholly restored.
// CBackupEngine::Restore lives in Restore.cpp; these are the texts and the test it shares.
#pragma once

#include <string>

#include "engine/BackupItem.h"

// "(復元)": the start of a restore row's destination, after "(失敗)" or "(中止)" when it did not finish.
extern const wchar_t* const kRestoreMark;

// True for a backup row whose copy was made whole: the only kind a restore may put back (to
// its original; elsewhere also when the original is unknown). Never for a damaged row.
bool CanRestore(const BackupRow& row);
bool CanRestoreElsewhere(const BackupRow& row);

// The full path without the long-path prefix: the form the shell and CreateFolderTree take.
std::wstring PlainPath(const std::wstring& path);

// Puts the copy from in place of to through the safe replace (paths in SystemPath's form). A
// read-only target is the user's to unlock: it is refused with ERROR_ACCESS_DENIED, untouched,
// whatever the platform's replace would do. ERROR_SUCCESS or the error code.
DWORD PutFileBack(const std::wstring& from, const std::wstring& to, BOOL* stop);

// Shows "<path>を元に戻しています...".
void ShowRestoring(CBackupHost& host, const std::wstring& path);

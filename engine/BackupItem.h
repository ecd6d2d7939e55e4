// Backing up one item: a file, or a folder with its whole tree, copied below the backup root
// into the folder of the batch's day and minute, with its progress shown in the status line
// and one row appended to the list. The engine holds no window: the view that shows the
// status line and the list implements CBackupHost and hands itself in.
#pragma once

#include <windows.h>

#include <string>

#include "engine/BackupPaths.h"

class CBackupHost {
public:
    virtual ~CBackupHost() = default;
    // Pane 0 of the status bar, updated at once.
    virtual void SetStatusText(const std::wstring& text) = 0;
    // Brings the view up to date before each file copy (the batch pumps no messages).
    virtual void RepaintView() = 0;
    // Appends a row at the end of the list.
    virtual void AppendRow(const BackupRow& row) = 0;
};

// Backs up path (a file or a folder, any name and any length the platform allows) into the program folder's
// backups tree for the batch's time, then appends its row and shows "ready"; an item that did not back up
// completely gets a row whose destination starts with "(失敗)" and a failure text instead.
// An empty path is skipped. Returns 0.
int BackupItem(CBackupHost& host, LPCWSTR path, SYSTEMTIME time);

// BackupItem with the program folder given instead of read from the running executable.
// BackupItem is exactly this with GetModuleFolder; tests use it to keep their backups in a
// temporary folder. True when the item was backed up completely (or skipped as empty).
bool BackupItemBelow(CBackupHost& host, LPCWSTR path, SYSTEMTIME time, const std::wstring& programFolder);

// Copies the content tree of folder source into the existing folder destination, showing a
// progress text before each file. Never enters the program's backup root, the destination
// itself, or a folder it is already inside (a link back up the tree). True when every file
// and sub-folder was copied.
bool CopyFolder(CBackupHost& host, const std::wstring& source, const std::wstring& destination);

// Repaints the view, then shows "<path>をバックアップ中です...".
void ShowBackingUp(CBackupHost& host, const std::wstring& path);

// "(失敗)": the start of the destination text of an item that did not back up completely.
extern const wchar_t* const kFailedMark;

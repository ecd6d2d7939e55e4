// What the list's rows lead to, apart from the window: the nearest part of a path that still
// exists, the text Ctrl+C puts on the clipboard, the restore's question, and the shell call that
// opens a folder with items selected. The view's row commands (TallowboxView.cpp) use them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/BackupPaths.h"

// The path itself when it exists, else the nearest folder above it that does; never limit
// itself nor anything outside it (when limit is given), nor a drive or share root. Empty when
// nothing is left. path and limit in PlainPath's form.
std::wstring NearestExistingPart(const std::wstring& path, const std::wstring& limit);
// The folder the shell opens to show item: its parent, a drive root with its separator.
std::wstring FolderToShow(const std::wstring& item);

// The backups' full paths, one a line, lines ended by CR LF but the last.
std::wstring BackupPathsText(const std::vector<BackupRow>& rows);
// Puts text on the clipboard as Unicode text; false when the clipboard refused it.
bool PutTextOnClipboard(HWND owner, const std::wstring& text);

// The restore's question for the rows: the item (or the count), the backups' dates and times,
// where they go back to, and that what is there now is backed up first.
std::wstring RestoreQuestion(const std::vector<BackupRow>& rows);

// Opens folder in the shell with items (full paths inside it) selected; when the shell cannot
// select them, opens the folder alone.
void ShowItemsInShell(const std::wstring& folder, const std::vector<std::wstring>& items);

// Removing one of the program's own copies for good, inside its backups folder: the cleanup where
// the disk has no Recycle Bin, and a watched folder's version that turned out to hold nothing new.
#pragma once

#include <windows.h>

#include <string>

// Deletes the copy at fullPath for good: a file, or a folder with its content; a link inside is
// removed as a link, never followed. ERROR_SUCCESS or the first error.
DWORD RemoveCopyForGood(const std::wstring& fullPath);

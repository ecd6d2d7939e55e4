// Makes sure a folder exists, creating every missing folder on its path from the top down.
#pragma once

#include <windows.h>

#include <string>

// 1 when this call created the folder named by path (its last creation succeeded); 0 when the
// path is empty, the folder was there already, or it could not be made. Callers that need to
// know whether the folder is there afterwards look at the disk. Any length.
int CreateFolderTree(std::wstring path);

// CreateFolderTree, then the answer callers want: ERROR_SUCCESS when path is a folder afterwards,
// else why not (denied, a parent missing, a file in the way).
DWORD MakeFolderTree(const std::wstring& path);

// Makes sure a folder exists, creating every missing folder on its path from the top down.
#pragma once

#include <string>

// 1 when this call created the folder named by path (its last creation succeeded); 0 when the
// path is empty, the folder was there already, or it could not be made. Callers that need to
// know whether the folder is there afterwards look at the disk. Any length.
int CreateFolderTree(std::wstring path);

#include "engine/FolderTree.h"

#include <windows.h>

#include "engine/BackupPaths.h"

int CreateFolderTree(std::string path) {
    if (path.empty())
        return 0;
    if (EndsWithSeparator(path))
        path.pop_back(); // one only: "a\\" keeps one
    if (CreateDirectoryA(path.c_str(), nullptr))
        return 1;
    // Whatever the reason (present, parent missing, denied), try the parent; a parent shorter
    // than two bytes ("\" or a drive letter) is never tried.
    const int separator = FindLastSeparator(path.c_str(), path.size());
    if (separator <= 1)
        return 0;
    const int parentResult = CreateFolderTree(path.substr(0, separator));
    if (parentResult == 1)
        return CreateFolderTree(path);
    return parentResult;
}

#include "engine/base/FolderTree.h"

#include <windows.h>

#include "engine/base/BackupPaths.h"

int CreateFolderTree(std::wstring path) {
    if (path.empty())
        return 0;
    if (EndsWithSeparator(path))
        path.pop_back(); // one only: "a\\" keeps one
    if (CreateDirectoryW(SystemPath(path).c_str(), nullptr))
        return 1;
    // Whatever the reason (present, parent missing, denied), try the parent; a parent shorter
    // than two characters ("\" or a drive letter) is never tried, nor the long-path prefix
    // ("\\?" and "\\?\UNC", which no call can make).
    const size_t separator = path.rfind(L'\\');
    if (separator == std::wstring::npos || separator <= 1)
        return 0;
    const std::wstring parent = path.substr(0, separator);
    if (parent == L"\\\\?" || parent == L"\\\\?\\UNC")
        return 0;
    const int parentResult = CreateFolderTree(parent);
    // The parent was made just now: this folder once more, and only once, so a folder that still
    // cannot be made never starts the walk over.
    if (parentResult == 1)
        return CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? 1 : 0;
    return parentResult;
}

DWORD MakeFolderTree(const std::wstring& path) {
    CreateFolderTree(path);
    const std::wstring systemPath = SystemPath(path);
    const DWORD attributes = GetFileAttributesW(systemPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_SUCCESS;
    // One more try for the reason.
    if (CreateDirectoryW(systemPath.c_str(), nullptr))
        return ERROR_SUCCESS;
    return GetLastError();
}

#include "engine/journal/CopyRemoval.h"

#include "engine/base/BackupPaths.h"
#include "framework/FileFind.h"

namespace {

DWORD RemoveEntry(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    // A link to a folder is removed as the link it is, as a folder entry or else as a file.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryW(path.c_str()))
        return ERROR_SUCCESS;
    if (DeleteFileW(path.c_str()))
        return ERROR_SUCCESS;
    return GetLastError();
}

// path in the long form: the folder's content, then the folder.
DWORD RemoveFolderTree(const std::wstring& path) {
    DWORD first = ERROR_SUCCESS;
    CFileFind find;
    BOOL more = find.FindFile((path + L"\\*").c_str());
    if (!more && GetLastError() != ERROR_FILE_NOT_FOUND)
        first = GetLastError();
    while (more) {
        more = find.FindNextFile();
        if (find.IsDots())
            continue;
        const std::wstring entry = path + L"\\" + find.GetFileName();
        const bool plainFolder = find.IsDirectory() && !find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT);
        const DWORD error = plainFolder ? RemoveFolderTree(entry) : RemoveEntry(entry, find.GetAttributes());
        if (first == ERROR_SUCCESS)
            first = error;
    }
    if (first == ERROR_SUCCESS && find.FailedWithError())
        first = find.GetReadAheadError();
    return first != ERROR_SUCCESS ? first : RemoveEntry(path, GetFileAttributesW(path.c_str()));
}

} // namespace

DWORD RemoveCopyForGood(const std::wstring& fullPath) {
    const std::wstring path = SystemPath(fullPath);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    const bool plainFolder =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return plainFolder ? RemoveFolderTree(path) : RemoveEntry(path, attributes);
}

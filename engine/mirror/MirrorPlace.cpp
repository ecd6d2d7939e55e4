#include "engine/mirror/MirrorPlace.h"

#include "engine/base/BackupPaths.h"
#include "engine/copy/FileCopy.h"
#include "engine/journal/Journal.h"
#include "engine/watch/WatchList.h"
#include "framework/FileHandle.h"

namespace {

bool SameOrBelow(const std::wstring& form, const std::wstring& folderForm) {
    return form == folderForm || IsPathBelowFolder(form, folderForm);
}

// The backups folder's relation to the mirror in the watch list's words.
MirrorFolderRefusal FromWatchRefusal(WatchRefusal refusal) {
    switch (refusal) {
    case WatchRefusal::NotFullPath:
        return MirrorFolderRefusal::NotFullPath;
    case WatchRefusal::DriveRoot:
        return MirrorFolderRefusal::DriveRoot;
    case WatchRefusal::BackupsFolder:
        return MirrorFolderRefusal::BackupsFolder;
    case WatchRefusal::InsideBackups:
        return MirrorFolderRefusal::InsideBackups;
    case WatchRefusal::ContainsBackups:
        return MirrorFolderRefusal::ContainsBackups;
    default:
        return MirrorFolderRefusal::None; // a folder not there yet is made when first reached
    }
}

} // namespace

std::wstring MirrorFolderPath(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        path = L"\\\\" + path.substr(8);
    else if (path.compare(0, 4, L"\\\\?\\") == 0)
        path = path.substr(4);
    return path.size() > 3 ? WithoutTrailingSeparators(path) : path;
}

MirrorFolderRefusal CheckMirrorFolder(const std::wstring& folder, const std::wstring& backupRoot,
                                      const std::vector<std::wstring>& watchedItems) {
    const std::wstring path = MirrorFolderPath(folder);
    if (IsDriveOrShareRoot(path))
        return MirrorFolderRefusal::DriveRoot;
    if (!IsFullOriginalPath(path))
        return MirrorFolderRefusal::NotFullPath;
    const MirrorFolderRefusal byBackups = FromWatchRefusal(CheckWatchable(path, backupRoot));
    if (byBackups != MirrorFolderRefusal::None)
        return byBackups;
    const std::wstring form = ComparablePathForm(path);
    for (const std::wstring& watched : watchedItems) {
        if (SameOrBelow(form, ComparablePathForm(watched)))
            return MirrorFolderRefusal::InsideWatched;
        // The same folder by another name (a link, a substituted drive).
        FileIdentity mirrorIdentity, watchedIdentity;
        if (ReadFileIdentity(SystemPath(path), &mirrorIdentity) &&
            ReadFileIdentity(SystemPath(watched), &watchedIdentity) && mirrorIdentity == watchedIdentity)
            return MirrorFolderRefusal::InsideWatched;
    }
    return MirrorFolderRefusal::None;
}

DWORD ReachMirrorFolder(const std::wstring& folder) {
    const std::wstring path = MirrorFolderPath(folder);
    if (!IsFullOriginalPath(path))
        return ERROR_BAD_PATHNAME;
    std::wstring parentPath = WithoutLastComponent(path);
    if (IsDriveOrShareRoot(parentPath) && !EndsWithSeparator(parentPath))
        parentPath += L'\\'; // "M:" alone would name the drive's current folder
    const DWORD parent = GetFileAttributesW(SystemPath(parentPath).c_str());
    if (parent == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    if (!(parent & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    const std::wstring system = SystemPath(path);
    if (!CreateDirectoryW(system.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return GetLastError();
    const DWORD attributes = GetFileAttributesW(system.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY; // a file stands where the mirror should be
    CFileHandle probe(CreateFileW((system + L"\\" + TemporaryName()).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return probe.IsOpen() ? ERROR_SUCCESS : GetLastError();
}

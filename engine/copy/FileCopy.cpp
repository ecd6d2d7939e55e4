#include "engine/copy/FileCopy.h"

#include "engine/base/BackupPaths.h"
#include "framework/FileHandle.h"

namespace {

constexpr DWORD kAttributesThatBlockReplacing =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool IsBelow(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 &&
           path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == L'\\';
}

// Copies source to a new temporary beside target; its path, or empty with the error code.
// beforeClose is CopyFileContent's.
std::wstring CopyToTemporary(const std::wstring& source, const std::wstring& target, BOOL* stop,
                             CopiedContent* copied, bool flush,
                             const std::function<DWORD(HANDLE)>& beforeClose, DWORD* error) {
    const std::wstring folder = WithoutLastComponent(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring temporary = folder + L"\\" + TemporaryName();
        // Never over an existing file: a name taken by anything else is left alone.
        *error = CopyFileContent(source, temporary, stop, copied, flush, beforeClose);
        if (*error == ERROR_SUCCESS)
            return temporary;
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

// Puts the complete temporary in place of target; ERROR_SUCCESS or why not.
DWORD ReplaceWithTemporary(const std::wstring& temporary, const std::wstring& target,
                           const std::wstring& backupRoot) {
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return ERROR_SUCCESS;
    // Only a refused replace looks at the target, so the usual copy costs nothing more.
    const DWORD moveError = GetLastError();
    const DWORD targetAttributes = GetFileAttributesW(target.c_str());
    const bool blockedByAttributes = targetAttributes != INVALID_FILE_ATTRIBUTES &&
                                     !(targetAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                     (targetAttributes & kAttributesThatBlockReplacing);
    if (!blockedByAttributes || !IsBelow(target, backupRoot))
        return moveError;
    const DWORD remaining = targetAttributes & ~kAttributesThatBlockReplacing;
    if (!SetFileAttributesW(target.c_str(), remaining ? remaining : FILE_ATTRIBUTE_NORMAL))
        return GetLastError();
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return ERROR_SUCCESS;
    // Refused for another reason: the earlier copy keeps its attributes too.
    const DWORD retryError = GetLastError();
    SetFileAttributesW(target.c_str(), targetAttributes);
    return retryError;
}

} // namespace

DWORD CopyFileIntoBackup(const std::wstring& source, const std::wstring& target,
                         const std::wstring& backupRoot, BOOL* stop, const std::function<bool()>& stillWhole,
                         CopiedContent* copied, bool flush) {
    bool named = false;
    const auto name = [&](HANDLE copy) -> DWORD {
        // Half old, half new: the earlier copy under the name stays as it was.
        if (stillWhole && !stillWhole())
            return ERROR_BUSY;
        // Through the open copy: one call. Refused (an earlier copy whose attributes block it, a
        // platform without it), the copy is put in place by its path below.
        named = RenameOpenFile(copy, target) == ERROR_SUCCESS;
        return ERROR_SUCCESS;
    };
    DWORD error = ERROR_SUCCESS;
    const std::wstring temporary = CopyToTemporary(source, target, stop, copied, flush, name, &error);
    if (temporary.empty())
        return error != ERROR_SUCCESS ? error : ERROR_FILE_EXISTS;
    if (named)
        return ERROR_SUCCESS;
    error = ReplaceWithTemporary(temporary, target, backupRoot);
    if (error != ERROR_SUCCESS)
        RemoveTemporary(temporary);
    return error;
}

DWORD LinkIntoBackup(const std::wstring& existing, const std::wstring& target,
                     const std::wstring& backupRoot) {
    // A new minute's folder holds nothing yet: the link goes straight in under its name.
    if (CreateHardLinkW(target.c_str(), existing.c_str(), nullptr))
        return ERROR_SUCCESS;
    const DWORD direct = GetLastError();
    if (direct != ERROR_ALREADY_EXISTS && direct != ERROR_FILE_EXISTS)
        return direct;
    const std::wstring temporary = WithoutLastComponent(target) + L"\\" + TemporaryName();
    if (!CreateHardLinkW(temporary.c_str(), existing.c_str(), nullptr))
        return GetLastError();
    const DWORD error = ReplaceWithTemporary(temporary, target, backupRoot);
    // A rename onto another name of the same file may succeed and leave both names: the temporary
    // one is ours alone and goes either way.
    DeleteFileW(temporary.c_str());
    return error;
}

DWORD PutFileBack(const std::wstring& from, const std::wstring& to, BOOL* stop) {
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return CopyFileIntoBackup(from, to, std::wstring(), stop); // no root: no attribute is cleared
}

DWORD CopyFolderTimesAndAttributes(const std::wstring& source, const std::wstring& target) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data))
        return GetLastError();
    {
        CFileHandle folder(CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (folder.get() == INVALID_HANDLE_VALUE ||
            !SetFileTime(folder.get(), &data.ftCreationTime, nullptr, &data.ftLastWriteTime))
            return GetLastError();
    }
    const DWORD kept = data.dwFileAttributes & kAttributesThatBlockReplacing;
    if (!SetFileAttributesW(target.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL))
        return GetLastError();
    return ERROR_SUCCESS;
}

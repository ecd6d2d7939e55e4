#include "engine/base/FileFacts.h"

#include <winternl.h>

#include "framework/FileHandle.h"

bool ReadFileFacts(const std::wstring& path, FileFacts* facts) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    facts->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts->modified = data.ftLastWriteTime;
    facts->attributes = data.dwFileAttributes;
    return true;
}

bool ReadFileIdentity(const std::wstring& path, FileIdentity* identity) {
    // No access rights asked: this only reads the file's index, and works on folders too.
    CFileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.get(), &information))
        return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

bool FileIndexOf(HANDLE file, uint64_t* index) {
    IO_STATUS_BLOCK status{};
    FILE_INTERNAL_INFORMATION internal{};
    if (NtQueryInformationFile(file, &status, &internal, sizeof internal, FileInternalInformation) != 0)
        return false;
    *index = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
    return true;
}

#include "engine/FileCopy.h"

namespace {

constexpr DWORD kAttributesThatBlockReplacing =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

class CScopedHandle {
public:
    explicit CScopedHandle(HANDLE handle) : m_handle(handle) {}
    ~CScopedHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool IsBelow(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 &&
           path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == L'\\';
}

} // namespace

bool ReadFileIdentity(const std::wstring& path, FileIdentity* identity) {
    // No access rights asked: this only reads the file's index, and works on folders too.
    CScopedHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.get(), &information))
        return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return true;
}

bool CopyFileIntoBackup(const std::wstring& source, const std::wstring& target,
                        const std::wstring& backupRoot) {
    if (CopyFileW(source.c_str(), target.c_str(), FALSE))
        return true;
    // Only a refused copy looks at the target, so the usual copy costs nothing more.
    const DWORD copyError = GetLastError();
    const DWORD targetAttributes = GetFileAttributesW(target.c_str());
    const bool blockedByAttributes = targetAttributes != INVALID_FILE_ATTRIBUTES &&
                                     !(targetAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                     (targetAttributes & kAttributesThatBlockReplacing);
    if (!blockedByAttributes || !IsBelow(target, backupRoot)) {
        SetLastError(copyError);
        return false;
    }
    const DWORD remaining = targetAttributes & ~kAttributesThatBlockReplacing;
    if (!SetFileAttributesW(target.c_str(), remaining ? remaining : FILE_ATTRIBUTE_NORMAL))
        return false;
    if (CopyFileW(source.c_str(), target.c_str(), FALSE))
        return true;
    // Refused for another reason (the source is locked, say): the earlier copy stays as it was.
    const DWORD retryError = GetLastError();
    SetFileAttributesW(target.c_str(), targetAttributes);
    SetLastError(retryError);
    return false;
}

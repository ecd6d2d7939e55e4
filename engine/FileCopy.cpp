#include "engine/FileCopy.h"

#include <atomic>
#include <cwchar>

#include "engine/BackupPaths.h"
#include "framework/FileHandle.h"

namespace {

constexpr DWORD kAttributesThatBlockReplacing =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// "~tallowbox-partial-<process>-<start>-<number>.tmp": the process number and its start time
// (16 hex digits) name the process that makes it, so a leftover of a killed copy is told from
// one still being made, even once the number has gone to a later process. Earlier versions
// wrote "~tallowbox-partial-<process>-<number>.tmp".
const wchar_t* const kTemporaryPrefix = L"~tallowbox-partial-";
const wchar_t* const kTemporarySuffix = L".tmp";

class CScopedFind {
public:
    explicit CScopedFind(HANDLE handle) : m_handle(handle) {}
    ~CScopedFind() {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    CScopedFind(const CScopedFind&) = delete;
    CScopedFind& operator=(const CScopedFind&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool IsBelow(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 &&
           path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == L'\\';
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The start time of a process, or 0 when it cannot be read.
ULONGLONG ProcessStart(HANDLE process) {
    FILETIME started, exited, kernel, user;
    return GetProcessTimes(process, &started, &exited, &kernel, &user) ? Ticks(started) : 0;
}

} // namespace

std::wstring TemporaryName() {
    static std::atomic<unsigned long> s_next{0};
    static const ULONGLONG s_start = ProcessStart(GetCurrentProcess());
    wchar_t name[96];
    if (s_start != 0)
        std::swprintf(name, 96, L"%ls%lu-%016llX-%lu%ls", kTemporaryPrefix, GetCurrentProcessId(), s_start,
                      ++s_next, kTemporarySuffix);
    else // unknown: other copies keep it while a process has this number
        std::swprintf(name, 96, L"%ls%lu-%lu%ls", kTemporaryPrefix, GetCurrentProcessId(), ++s_next,
                      kTemporarySuffix);
    return name;
}

namespace {

// The process that made a temporary, as its name says: its number (0 when the name gives none)
// and its start time (0 in an earlier version's name).
struct TemporaryMaker {
    DWORD process = 0;
    ULONGLONG start = 0;
};

TemporaryMaker MakerOfTemporary(const std::wstring& name) {
    TemporaryMaker maker;
    if (!IsTemporaryName(name))
        return maker;
    const wchar_t* text = name.c_str() + std::wcslen(kTemporaryPrefix);
    wchar_t* end = nullptr;
    maker.process = static_cast<DWORD>(std::wcstoul(text, &end, 10));
    if (end == text || *end != L'-')
        return TemporaryMaker();
    // "<start>-<number>" after the process number; an earlier version's name has "<number>." there.
    text = end + 1;
    const ULONGLONG start = std::wcstoull(text, &end, 16);
    if (end == text + 16 && *end == L'-')
        maker.start = start;
    return maker;
}

// True only when the process that made a temporary has surely ended: no process has its number,
// the one that has it ended, or it started at another time than the maker (the number was
// reused). Anything else, a process that cannot be asked too, keeps the temporary.
bool MakerHasEnded(const TemporaryMaker& maker) {
    const HANDLE opened = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, maker.process);
    if (opened == nullptr)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    CFileHandle process(opened);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE)
        return true; // ended; a handle held somewhere keeps its number taken
    if (maker.start == 0)
        return false; // an earlier version's name: this may be its maker
    const ULONGLONG start = ProcessStart(process.get());
    return start != 0 && start != maker.start;
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
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return true;
}

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
        RemoveOwnFile(temporary);
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

bool IsTemporaryName(const std::wstring& name) {
    const size_t prefix = std::wcslen(kTemporaryPrefix), suffix = std::wcslen(kTemporarySuffix);
    return name.size() > prefix + suffix && name.compare(0, prefix, kTemporaryPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, kTemporarySuffix) == 0;
}

DWORD PutFileBack(const std::wstring& from, const std::wstring& to, BOOL* stop) {
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return CopyFileIntoBackup(from, to, std::wstring(), stop); // no root: no attribute is cleared
}

void RemoveLeftoverTemporaries(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const std::wstring pattern = folder + L"\\" + kTemporaryPrefix + L"*" + kTemporarySuffix;
    CScopedFind find(
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (find.get() == INVALID_HANDLE_VALUE)
        return;
    do {
        const TemporaryMaker maker = MakerOfTemporary(found.cFileName);
        // A running maker (this process too) may be between its copy and its rename; one open
        // elsewhere refuses deletion and is kept as well.
        if (maker.process != 0 && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            MakerHasEnded(maker))
            RemoveOwnFile(folder + L"\\" + found.cFileName);
    } while (FindNextFileW(find.get(), &found));
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

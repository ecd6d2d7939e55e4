#include "engine/hash/ContentCopy.h"

#include <cstring>
#include <memory>
#include <vector>

#include "engine/base/TemporaryNames.h"
#include "framework/FileHandle.h"

namespace {

// One read takes a whole file of up to this size; each copying thread keeps one such buffer.
constexpr DWORD kPieceSize = 1024 * 1024;
// What the platform's copy carries over to its copy; the others belong to the file system.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

char* PieceBuffer() {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer.reset(new char[kPieceSize]);
    return buffer.get();
}

bool Stopped(const BOOL* stop) {
    return stop != nullptr && *static_cast<const volatile BOOL*>(stop) != FALSE;
}

// Reads to the end, writing (to, when open) and hashing each piece. A read that returns less than
// asked once the size the file had when opened is reached has met the end: a file that fits the
// buffer takes one read (a share may return less than asked before the end: the loop reads on).
DWORD CopyBytes(HANDLE from, HANDLE to, ULONGLONG sizeAtOpen, const BOOL* stop, CopiedContent* copied) {
    char* const buffer = PieceBuffer();
    CContentHasher hasher;
    ULONGLONG total = 0;
    for (;;) {
        if (Stopped(stop))
            return ERROR_REQUEST_ABORTED;
        DWORD read = 0;
        if (!ReadFile(from, buffer, kPieceSize, &read, nullptr))
            return GetLastError();
        if (read == 0)
            break;
        DWORD written = read;
        if (to != INVALID_HANDLE_VALUE && !WriteFile(to, buffer, read, &written, nullptr))
            return GetLastError();
        if (written != read)
            return ERROR_DISK_FULL;
        if (copied != nullptr)
            hasher.Add(buffer, read);
        total += read;
        if (read < kPieceSize && total >= sizeAtOpen)
            break;
    }
    if (copied != nullptr) {
        copied->size = total;
        copied->hash = hasher.Finish();
    }
    return ERROR_SUCCESS;
}

// What the copy takes from its source as it opens it.
struct SourceFacts {
    FILE_BASIC_INFO basic{}; // times and attributes
    ULONGLONG size = 0;
};

// Opens source for reading as the platform's copy does, with its facts as opened. Asked by kind,
// not for BY_HANDLE_FILE_INFORMATION, whose volume number costs Wine a trip to its mount manager.
HANDLE OpenSource(const std::wstring& source, SourceFacts* facts) {
    // Others may go on reading, writing or renaming the original.
    HANDLE file = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    FILE_STANDARD_INFO standard{};
    if (file != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandleEx(file, FileBasicInfo, &facts->basic, sizeof facts->basic) ||
         !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    facts->size = static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
    return file;
}

// The source's last-write time and attributes, given to the copy in one call; zero times leave
// the copy's own (its creation time is the copy's, as the platform's copy gives it).
DWORD CarryTimeAndAttributes(const FILE_BASIC_INFO& source, HANDLE to, CopiedContent* copied) {
    FILE_BASIC_INFO target{};
    target.LastWriteTime = source.LastWriteTime;
    target.FileAttributes = source.FileAttributes & kCopiedAttributes;
    if (target.FileAttributes == 0)
        target.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (copied != nullptr) {
        copied->modified.dwLowDateTime = source.LastWriteTime.LowPart;
        copied->modified.dwHighDateTime = static_cast<DWORD>(source.LastWriteTime.HighPart);
        copied->attributes = target.FileAttributes;
    }
    return SetFileInformationByHandle(to, FileBasicInfo, &target, sizeof target) ? ERROR_SUCCESS : GetLastError();
}

} // namespace

DWORD CopyFileContent(const std::wstring& source, const std::wstring& target, const BOOL* stop,
                      CopiedContent* copied, bool flush, const std::function<DWORD(HANDLE)>& beforeClose) {
    SourceFacts facts;
    CFileHandle from(OpenSource(source, &facts));
    if (!from.IsOpen())
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    {
        CFileHandle to(CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!to.IsOpen())
            return GetLastError(); // nothing made: a name already there stays as it was
        error = CopyBytes(from.get(), to.get(), facts.size, stop, copied);
        if (error == ERROR_SUCCESS)
            error = CarryTimeAndAttributes(facts.basic, to.get(), copied);
        if (error == ERROR_SUCCESS && flush && !FlushFileBuffers(to.get()))
            error = GetLastError();
        if (error == ERROR_SUCCESS && beforeClose)
            error = beforeClose(to.get());
    }
    if (error != ERROR_SUCCESS)
        RemoveTemporary(target);
    return error;
}

DWORD RenameOpenFile(HANDLE file, const std::wstring& to) {
    // The file system's own form of a long path: "\\?\C:\..." is "\??\C:\...".
    if (to.compare(0, 4, L"\\\\?\\") != 0)
        return ERROR_INVALID_NAME;
    const std::wstring name = L"\\??\\" + to.substr(4);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, name.data(), rename->FileNameLength);
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))
               ? ERROR_SUCCESS
               : GetLastError();
}

DWORD HashFileContent(const std::wstring& path, const BOOL* stop, CopiedContent* read) {
    SourceFacts facts;
    CFileHandle from(OpenSource(path, &facts));
    return from.IsOpen() ? CopyBytes(from.get(), INVALID_HANDLE_VALUE, facts.size, stop, read) : GetLastError();
}

DWORD HashOpenFile(HANDLE file, const BOOL* stop, CopiedContent* read) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size)
               ? CopyBytes(file, INVALID_HANDLE_VALUE, static_cast<ULONGLONG>(size.QuadPart), stop, read)
               : GetLastError();
}

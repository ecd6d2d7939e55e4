#include "engine/ContentCopy.h"

#include <memory>

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

// Opens source for reading as the platform's copy does, with its size as opened.
HANDLE OpenSource(const std::wstring& source, BY_HANDLE_FILE_INFORMATION* facts, ULONGLONG* size) {
    // Others may go on reading, writing or renaming the original.
    HANDLE file =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE && !GetFileInformationByHandle(file, facts)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    *size = (static_cast<ULONGLONG>(facts->nFileSizeHigh) << 32) | facts->nFileSizeLow;
    return file;
}

// The source's last-write time and attributes, given to the copy in one call; zero times leave
// the copy's own (its creation time is the copy's, as the platform's copy gives it).
DWORD CarryTimeAndAttributes(const BY_HANDLE_FILE_INFORMATION& source, HANDLE to, CopiedContent* copied) {
    FILE_BASIC_INFO target{};
    target.LastWriteTime.LowPart = source.ftLastWriteTime.dwLowDateTime;
    target.LastWriteTime.HighPart = static_cast<LONG>(source.ftLastWriteTime.dwHighDateTime);
    target.FileAttributes = source.dwFileAttributes & kCopiedAttributes;
    if (target.FileAttributes == 0)
        target.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (copied != nullptr) {
        copied->modified = source.ftLastWriteTime;
        copied->attributes = target.FileAttributes;
    }
    return SetFileInformationByHandle(to, FileBasicInfo, &target, sizeof target) ? ERROR_SUCCESS
                                                                                 : GetLastError();
}

} // namespace

void RemoveOwnFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(path.c_str());
}

DWORD CopyFileContent(const std::wstring& source, const std::wstring& target, const BOOL* stop,
                      CopiedContent* copied, bool flush) {
    BY_HANDLE_FILE_INFORMATION facts{};
    ULONGLONG size = 0;
    CFileHandle from(OpenSource(source, &facts, &size));
    if (!from.IsOpen())
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    {
        CFileHandle to(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!to.IsOpen())
            return GetLastError(); // nothing made: a name already there stays as it was
        error = CopyBytes(from.get(), to.get(), size, stop, copied);
        if (error == ERROR_SUCCESS)
            error = CarryTimeAndAttributes(facts, to.get(), copied);
        if (error == ERROR_SUCCESS && flush && !FlushFileBuffers(to.get()))
            error = GetLastError();
    }
    if (error != ERROR_SUCCESS)
        RemoveOwnFile(target);
    return error;
}

DWORD HashFileContent(const std::wstring& path, const BOOL* stop, CopiedContent* read) {
    BY_HANDLE_FILE_INFORMATION facts{};
    ULONGLONG size = 0;
    CFileHandle from(OpenSource(path, &facts, &size));
    return from.IsOpen() ? CopyBytes(from.get(), INVALID_HANDLE_VALUE, size, stop, read) : GetLastError();
}

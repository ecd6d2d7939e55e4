#include "engine/search/VersionFiles.h"

#include <vector>

#include "engine/base/FileFacts.h"
#include "engine/base/StopFlag.h"
#include "framework/FileHandle.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr size_t kListingBytes = 64 * 1024;

// A folder or a file as it is, never what a link points to.
HANDLE OpenAsItIs(const std::wstring& path) {
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

std::wstring Inside(const std::wstring& relative, const std::wstring& name) {
    return relative.empty() ? name : relative + L"\\" + name;
}

using FoundFile = VersionFileFound;

FILETIME FileTimeOf(const LARGE_INTEGER& time) {
    return {time.LowPart, static_cast<DWORD>(time.HighPart)};
}

// The folder's entries through its handle; its subfolders after its files, each opened as it is.
void ListFolder(HANDLE folder, const std::wstring& path, const std::wstring& relative, uint32_t volume,
                const BOOL* stop, const FoundFile& found) {
    std::vector<std::wstring> subfolders; // names
    // One buffer for the whole walk: a folder is listed whole before any below it.
    thread_local std::vector<unsigned char> buffer(kListingBytes);
    FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, query, buffer.data(), static_cast<DWORD>(buffer.size()))) {
        query = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            const DWORD attributes = entry->FileAttributes;
            if (IsStopRequested(stop))
                return; // between files too: after a stop, each file of a large folder would still be read
            if (name != L"." && name != L".." && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                    subfolders.push_back(name);
                else
                    found(Inside(relative, name), {volume, static_cast<uint64_t>(entry->FileId.QuadPart)},
                          {static_cast<ULONGLONG>(entry->EndOfFile.QuadPart),
                           FileTimeOf(entry->LastWriteTime)});
            }
            if (entry->NextEntryOffset == 0)
                break;
            offset += entry->NextEntryOffset;
        }
    }
    for (const std::wstring& name : subfolders) {
        if (IsStopRequested(stop))
            return;
        const std::wstring subPath = path + L"\\" + name;
        CFileHandle sub(OpenAsItIs(subPath));
        FILE_BASIC_INFO basic{};
        if (sub.IsOpen() && GetFileInformationByHandleEx(sub.get(), FileBasicInfo, &basic, sizeof basic) &&
            !(basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListFolder(sub.get(), subPath, Inside(relative, name), volume, stop, found);
    }
}

} // namespace

uint32_t VolumeSerialOf(const std::wstring& folder) {
    CFileHandle handle(OpenAsItIs(folder));
    BY_HANDLE_FILE_INFORMATION information{};
    return handle.IsOpen() && GetFileInformationByHandle(handle.get(), &information)
               ? information.dwVolumeSerialNumber
               : 0;
}

VersionCopyKind ForEachVersionFile(const std::wstring& copy, uint32_t volume, const BOOL* stop,
                                   const FoundFile& found) {
    CFileHandle handle(OpenAsItIs(copy));
    if (!handle.IsOpen()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? VersionCopyKind::Missing
                                                                               : VersionCopyKind::Unreadable;
    }
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &basic, sizeof basic))
        return VersionCopyKind::Unreadable;
    if (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return VersionCopyKind::Link;
    if (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ListFolder(handle.get(), copy, std::wstring(), volume, stop, found);
        return VersionCopyKind::Folder;
    }
    uint64_t index = 0;
    FILE_STANDARD_INFO standard{};
    if (!FileIndexOf(handle.get(), &index) ||
        !GetFileInformationByHandleEx(handle.get(), FileStandardInfo, &standard, sizeof standard))
        return VersionCopyKind::Unreadable;
    found(std::wstring(), {volume, index},
          {static_cast<ULONGLONG>(standard.EndOfFile.QuadPart), FileTimeOf(basic.LastWriteTime)});
    return VersionCopyKind::File;
}

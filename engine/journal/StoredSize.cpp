#include "engine/journal/StoredSize.h"

#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"
#include "framework/FileFind.h"
#include "framework/FileHandle.h"

namespace {

struct StoredFile {
    uint64_t identity = 0; // file index, with the volume folded in
    uint64_t size = 0;
    DWORD links = 1;
};

bool ReadStoredFile(const std::wstring& path, StoredFile* file) {
    CFileHandle handle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle.IsOpen() || !GetFileInformationByHandle(handle.get(), &information))
        return false;
    const uint64_t index =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    file->identity = index ^ (static_cast<uint64_t>(information.dwVolumeSerialNumber) << 40);
    file->size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    file->links = information.nNumberOfLinks;
    return true;
}

bool Stopped(const volatile LONG* stop) {
    return stop != nullptr && *stop != 0;
}

// Every file below path (path itself when it is one), links to folders not entered.
void ForEachStoredFile(const std::wstring& path, const volatile LONG* stop,
                       const std::function<void(const StoredFile&)>& found) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || Stopped(stop))
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        StoredFile file;
        if (ReadStoredFile(path, &file))
            found(file);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return;
    CFileFind find;
    BOOL more = find.FindFile((path + L"\\*").c_str());
    while (more && !Stopped(stop)) {
        more = find.FindNextFile();
        if (!find.IsDots())
            ForEachStoredFile(path + L"\\" + find.GetFileName(), stop, found);
    }
}

// Every minute folder's full path below backupRoot, a day at a time: a year of minute folders
// listed at once would hold more memory than the history that is measured.
void ForEachMinuteFolder(const std::wstring& backupRoot,
                         const std::function<void(const std::wstring&)>& found) {
    const std::wstring root = SystemPath(backupRoot);
    CFileFind days;
    BOOL moreDays = days.FindFile((root + L"\\*").c_str());
    while (moreDays) {
        moreDays = days.FindNextFile();
        if (!days.IsDirectory() || days.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT) ||
            !IsDayFolderName(days.GetFileName()))
            continue;
        const std::wstring day = root + L"\\" + days.GetFileName();
        CFileFind minutes;
        BOOL moreMinutes = minutes.FindFile((day + L"\\*").c_str());
        while (moreMinutes) {
            moreMinutes = minutes.FindNextFile();
            if (minutes.IsDirectory() && !minutes.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT) &&
                IsMinuteFolderName(minutes.GetFileName()))
                found(day + L"\\" + minutes.GetFileName());
        }
    }
}

} // namespace

StoredSize MeasureStored(const std::wstring& backupRoot, const volatile LONG* stop) {
    StoredSize size;
    std::unordered_set<uint64_t> counted; // only files with more than one name need remembering
    ForEachMinuteFolder(backupRoot, [&](const std::wstring& minute) {
        ForEachStoredFile(minute, stop, [&](const StoredFile& file) {
            size.named += file.size;
            if (file.links <= 1 || counted.insert(file.identity).second)
                size.bytes += file.size;
        });
    });
    return size;
}

StoredSize RoomFreedByRemoving(const std::vector<std::wstring>& copies, const volatile LONG* stop) {
    std::unordered_map<uint64_t, StoredFile> seen; // with how many of its names were met
    StoredSize freed;
    for (const std::wstring& copy : copies)
        ForEachStoredFile(SystemPath(copy), stop, [&](const StoredFile& file) {
            freed.named += file.size;
            if (file.links <= 1) {
                freed.bytes += file.size;
                return;
            }
            StoredFile& met =
                seen.emplace(file.identity, StoredFile{file.identity, file.size, 0}).first->second;
            if (++met.links == file.links)
                freed.bytes += file.size; // its last name goes too
        });
    return freed;
}

#include "engine/mirror/MirrorCheck.h"

#include <map>
#include <unordered_set>

#include "engine/base/BackupPaths.h"
#include "engine/base/ByteCompare.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/Journal.h"
#include "framework/FileFind.h"

namespace {

bool Stopped(const BOOL* stop) {
    return stop != nullptr && *static_cast<const volatile BOOL*>(stop) != FALSE;
}

int64_t Ticks(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// A folder's entries by upper-cased name: its files and its sub-folders (never a link's target).
struct Listing {
    std::map<std::wstring, std::wstring> files, folders; // upper-cased name to name
};

Listing ListFolder(const std::wstring& folder) {
    Listing listing;
    CFileFind find;
    BOOL more = find.FindFile((folder + L"\\*").c_str());
    while (more) {
        more = find.FindNextFile();
        if (find.IsDots() || find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        (find.IsDirectory() ? listing.folders : listing.files)[UpperCase(find.GetFileName())] =
            find.GetFileName();
    }
    return listing;
}

// Two copies of one file, SystemPath's form: false when they differ or a side cannot be read.
bool SameFile(const std::wstring& local, const std::wstring& mirror, const BOOL* stop) {
    return CompareFileBytes(local, mirror, stop).outcome == ByteCompareOutcome::Equal;
}

// Two copies of one folder: the same names at every level and each file's bytes equal.
bool SameFolder(const std::wstring& local, const std::wstring& mirror, const BOOL* stop) {
    const Listing here = ListFolder(local), there = ListFolder(mirror);
    if (here.files.size() != there.files.size() || here.folders.size() != there.folders.size())
        return false;
    for (const auto& file : here.files) {
        const auto other = there.files.find(file.first);
        if (Stopped(stop) || other == there.files.end() ||
            !SameFile(local + L"\\" + file.second, mirror + L"\\" + other->second, stop))
            return false;
    }
    for (const auto& folder : here.folders) {
        const auto other = there.folders.find(folder.first);
        if (other == there.folders.end() ||
            !SameFolder(local + L"\\" + folder.second, mirror + L"\\" + other->second, stop))
            return false;
    }
    return true;
}

void AddUp(const std::wstring& folder, uint64_t* bytes, uint64_t* files) {
    const Listing listing = ListFolder(folder);
    for (const auto& file : listing.files) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExW((folder + L"\\" + file.second).c_str(), GetFileExInfoStandard, &data))
            *bytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        ++*files;
    }
    for (const auto& sub : listing.folders)
        AddUp(folder + L"\\" + sub.second, bytes, files);
}

RecordMatch MatchOfRecord(const HistoryEntry& entry, const std::wstring& copy) {
    if (entry.Is(HistoryEntry::kUnknownOriginal))
        return RecordMatch::Unknown; // no record names it
    if (entry.Is(HistoryEntry::kFolder)) {
        uint64_t bytes = 0, files = 0;
        AddUp(copy, &bytes, &files);
        return bytes == entry.bytes && files == entry.files ? RecordMatch::Matches : RecordMatch::Unknown;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &data))
        return RecordMatch::Differs;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // The journal keeps the time to the second.
    const int64_t second = 10000000;
    const bool sameTime =
        entry.modified == 0 || entry.modified / second == Ticks(data.ftLastWriteTime) / second;
    return size == entry.bytes && sameTime ? RecordMatch::Matches : RecordMatch::Differs;
}

// A version whose copy this check reads: kept in both, undamaged, a whole copy of its own.
bool IsCheckedVersion(const HistoryEntry& entry) {
    if (entry.place != HistoryEntry::kBoth || entry.Is(HistoryEntry::kDamaged))
        return false;
    if (entry.Is(HistoryEntry::kUnknownOriginal))
        return true;
    return entry.kind == JournalKind::Backup && entry.outcome == RowOutcome::Succeeded &&
           !entry.Is(HistoryEntry::kUnchanged); // an unchanged record's copy is an earlier record's
}

} // namespace

MirrorCheckResult CheckMirror(const CHistory& history, const std::wstring& backupRoot,
                              const std::wstring& mirrorRoot, const BOOL* stop) {
    MirrorCheckResult result;
    std::unordered_set<std::wstring> read; // upper-cased copy paths: each copy once
    for (uint32_t index = 0; index < history.entries.size(); ++index) {
        if (Stopped(stop)) {
            result.stopped = true;
            return result;
        }
        const HistoryEntry& entry = history.entries[index];
        const std::wstring copy = history.CopyPath(entry);
        // Nothing is read through a link on the way to either copy.
        if (!IsCheckedVersion(entry) || !IsSafeCopyPath(copy) || CopyWayHasLink(backupRoot, copy) ||
            CopyWayHasLink(mirrorRoot, copy) || !read.insert(UpperCase(copy)).second)
            continue;
        const std::wstring local = SystemPath(backupRoot + L"\\" + copy),
                           mirror = SystemPath(mirrorRoot + L"\\" + copy);
        if (local.empty() || mirror.empty())
            continue;
        MirrorDifference difference;
        difference.entry = index;
        difference.mirrorMissing = ::GetFileAttributesW(mirror.c_str()) == INVALID_FILE_ATTRIBUTES;
        const bool same =
            !difference.mirrorMissing && (entry.Is(HistoryEntry::kFolder) ? SameFolder(local, mirror, stop)
                                                                          : SameFile(local, mirror, stop));
        if (Stopped(stop)) {
            result.stopped = true;
            return result;
        }
        ++result.checked;
        if (same)
            continue;
        difference.local = MatchOfRecord(entry, local);
        difference.mirror = difference.mirrorMissing ? RecordMatch::Differs : MatchOfRecord(entry, mirror);
        result.differences.push_back(difference);
    }
    return result;
}

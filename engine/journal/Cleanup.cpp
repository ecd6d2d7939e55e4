#include "engine/journal/Cleanup.h"

#include <shellapi.h>

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "engine/journal/CopyRemoval.h"
#include "engine/journal/Manifest.h"
#include "framework/FileFind.h"

namespace {

constexpr uint32_t kNoEntry = std::numeric_limits<uint32_t>::max();

// Which backup of an item stays: its newest succeeded one, else its newest of any outcome.
struct ItemKeep {
    uint32_t entry = kNoEntry;
    bool succeeded = false;
};

// One copy on disk and every entry naming it: it goes only when each of them goes.
struct CopyFate {
    uint32_t newest = kNoEntry; // the entry that stands for the copy (the first seen: newest)
    bool goes = true;
    int64_t oldestCounted = 0; // the oldest whole backup naming it, 0 none
    uint64_t bytes = 0;        // its size: an unchanged item's record names it writing nothing
};

// Only this computer's copies are cleaned: a version the mirror alone holds is neither kept nor
// removed here, so an item's newest local version stays even when the mirror has a newer one.
bool OwnsCopy(const HistoryEntry& entry) {
    return (entry.kind == JournalKind::Backup || entry.Is(HistoryEntry::kUnknownOriginal)) &&
           entry.IsIn(HistoryEntry::kHere);
}

bool IsItemBackup(const HistoryEntry& entry) {
    return entry.kind == JournalKind::Backup && !entry.Is(HistoryEntry::kUnknownOriginal) &&
           !entry.Is(HistoryEntry::kDamaged) && entry.IsIn(HistoryEntry::kHere);
}

// Items by original, case aside; each original text is upper-cased once however many entries share it.
class CItemIndex {
public:
    explicit CItemIndex(const CHistory& history)
        : m_history(history), m_itemOfText(history.texts.Count(), kNoEntry) {}
    uint32_t ItemOf(const HistoryEntry& entry) {
        uint32_t& item = m_itemOfText[entry.original];
        if (item == kNoEntry)
            item = m_itemOfUpper.emplace(UpperCase(m_history.Original(entry)), m_itemOfUpper.size())
                       .first->second;
        return item;
    }
    size_t Count() const { return m_itemOfUpper.size(); }

private:
    const CHistory& m_history;
    std::vector<uint32_t> m_itemOfText;
    std::unordered_map<std::wstring, uint32_t> m_itemOfUpper;
};

// The entry each item keeps (entries come newest first).
std::vector<ItemKeep> KeptBackups(const CHistory& history, CItemIndex& items, std::vector<uint32_t>& itemOf) {
    std::vector<ItemKeep> keep;
    for (uint32_t i = 0; i < history.entries.size(); ++i) {
        const HistoryEntry& entry = history.entries[i];
        if (!IsItemBackup(entry))
            continue;
        itemOf[i] = items.ItemOf(entry);
        if (keep.size() <= itemOf[i])
            keep.resize(itemOf[i] + 1);
        ItemKeep& kept = keep[itemOf[i]];
        const bool succeeded = entry.outcome == RowOutcome::Succeeded;
        if (kept.entry == kNoEntry || (succeeded && !kept.succeeded))
            kept = {i, succeeded};
    }
    return keep;
}

} // namespace

CleanupPlan PlanCleanup(const CHistory& history, int64_t cutoffTicks) {
    CItemIndex items(history);
    std::vector<uint32_t> itemOf(history.entries.size(), kNoEntry);
    const std::vector<ItemKeep> keep = KeptBackups(history, items, itemOf);

    std::vector<CopyFate> copies;
    std::unordered_map<std::wstring, uint32_t> copyIndex;
    copyIndex.reserve(history.entries.size());
    for (uint32_t i = 0; i < history.entries.size(); ++i) {
        const HistoryEntry& entry = history.entries[i];
        // A damaged entry's copy is never touched; a restore's or removal's names another's copy.
        if (!OwnsCopy(entry) && !entry.Is(HistoryEntry::kDamaged))
            continue;
        const auto found = copyIndex.emplace(UpperCase(history.CopyPath(entry)), copies.size());
        if (found.second)
            copies.push_back({i, true, 0});
        CopyFate& fate = copies[found.first->second];
        const bool goes = itemOf[i] != kNoEntry && entry.time < cutoffTicks && keep[itemOf[i]].entry != i;
        fate.goes = fate.goes && goes;
        fate.bytes = std::max(fate.bytes, entry.bytes);
        const bool counted = !entry.Is(HistoryEntry::kDamaged) && (entry.outcome == RowOutcome::Succeeded ||
                                                                   entry.Is(HistoryEntry::kUnknownOriginal));
        if (counted && (fate.oldestCounted == 0 || entry.time < fate.oldestCounted))
            fate.oldestCounted = entry.time;
    }

    CleanupPlan plan;
    for (const CopyFate& fate : copies) {
        if (fate.goes) {
            plan.entries.push_back(fate.newest);
            plan.bytes += fate.bytes;
        } else if (fate.oldestCounted != 0 &&
                   (plan.oldestKept == 0 || fate.oldestCounted < plan.oldestKept)) {
            plan.oldestKept = fate.oldestCounted;
        }
    }
    plan.copies = plan.entries.size();
    return plan;
}

void MeasureRoomFreed(CleanupPlan& plan, const CHistory& history, const std::wstring& backupRoot) {
    std::vector<std::wstring> copies;
    for (uint32_t index : plan.entries)
        if (IsSafeCopyPath(history.CopyPath(history.entries[index])))
            copies.push_back(backupRoot + L"\\" + history.CopyPath(history.entries[index]));
    const StoredSize freed = RoomFreedByRemoving(copies, nullptr);
    plan.frees = freed.bytes;
    plan.keptByLinks = freed.SavedByLinks();
}

bool HasRecycleBin(const std::wstring& backupRoot) {
    const std::wstring plain = PlainPath(SystemPath(backupRoot));
    if (plain.size() < 3 || plain.compare(0, 2, L"\\\\") == 0)
        return false; // a share keeps no Recycle Bin for its clients
    wchar_t volume[MAX_PATH + 1] = L"";
    if (!GetVolumePathNameW(plain.c_str(), volume, MAX_PATH))
        lstrcpynW(volume, plain.substr(0, 3).c_str(), 4);
    // Mapped drives are shares; removable and unknown disks have no Recycle Bin either.
    if (GetDriveTypeW(volume) != DRIVE_FIXED)
        return false;
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    return SUCCEEDED(SHQueryRecycleBinW(volume, &info));
}

namespace {

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
        const size_t end = path.find(L'\\', start);
        parts.push_back(path.substr(start, end - start));
        if (end == std::wstring::npos)
            return parts;
        start = end + 1;
    }
}

DWORD AttributesOf(const std::wstring& path) {
    return GetFileAttributesW(SystemPath(path).c_str());
}

// Whether the copy copyPath (relative) may be removed: a program's copy, in a day and a minute
// folder, reached from backupRoot through no link. ERROR_FILE_NOT_FOUND when it alone is missing.
DWORD CheckCopyPath(const std::wstring& backupRoot, const std::wstring& copyPath) {
    const std::vector<std::wstring> parts = Components(copyPath);
    if (!IsSafeCopyPath(copyPath) || parts.size() != 3 || !IsDayFolderName(parts[0]) ||
        !IsMinuteFolderName(parts[1]))
        return ERROR_INVALID_NAME;
    std::wstring path = backupRoot;
    for (size_t i = 0; i <= parts.size(); ++i) {
        if (i > 0)
            path += L"\\" + parts[i - 1];
        const DWORD attributes = AttributesOf(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return i == parts.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return ERROR_CANT_ACCESS_FILE; // a link could lead anywhere
        if (i < parts.size() && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return ERROR_DIRECTORY;
    }
    return ERROR_SUCCESS;
}

DWORD MoveToRecycleBin(const std::wstring& fullPath) {
    if (fullPath.size() >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE; // the shell's file operations take no longer path
    std::wstring from = fullPath;
    from.push_back(L'\0'); // the list ends in a second null
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    const int result = SHFileOperationW(&operation);
    if (operation.fAnyOperationsAborted)
        return ERROR_CANCELLED;
    if (result != 0)
        return result < 0x70 ? static_cast<DWORD>(result) : ERROR_ACCESS_DENIED; // the shell's own codes
    // The shell's result is not always to be trusted: the copy must be gone.
    return AttributesOf(fullPath) == INVALID_FILE_ATTRIBUTES ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// How many items the Recycle Bin of backupRoot's disk holds; -1 when unknown.
int64_t RecycledCount(const std::wstring& backupRoot) {
    wchar_t volume[MAX_PATH + 1] = L"";
    if (!GetVolumePathNameW(PlainPath(SystemPath(backupRoot)).c_str(), volume, MAX_PATH))
        return -1;
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    return SUCCEEDED(SHQueryRecycleBinW(volume, &info)) ? info.i64NumItems : -1;
}

// The minute folder left empty goes. The day folder keeps its journal, even with no copy left:
// a copy taken back from the Recycle Bin is listed with its origin again.
void RemoveEmptiedFolders(const std::wstring& backupRoot, const std::wstring& copyPath) {
    RemoveDirectoryW(
        SystemPath(backupRoot + L"\\" + WithoutLastComponent(copyPath)).c_str()); // refused unless empty
}

// A removed version's manifest proves nothing kept: it goes for good, with its folders once empty.
void RemoveManifest(const std::wstring& backupRoot, const std::wstring& copyPath) {
    const std::wstring manifest = ExistingManifest(backupRoot, copyPath);
    if (manifest.empty() || !DeleteFileW(manifest.c_str()))
        return;
    const std::wstring minute = WithoutLastComponent(manifest);
    if (RemoveDirectoryW(minute.c_str()))
        RemoveDirectoryW(WithoutLastComponent(minute).c_str());
}

JournalRecord RemovalRecord(const CHistory& history, const HistoryEntry& entry, SYSTEMTIME now) {
    JournalRecord record;
    record.time = now;
    record.kind = JournalKind::Removed;
    record.outcome = RowOutcome::Succeeded;
    record.isFolder = entry.Is(HistoryEntry::kFolder);
    record.bytes = entry.bytes;
    record.files = entry.files;
    record.original = history.Original(entry);
    record.copy = history.CopyPath(entry);
    return record;
}

StatusReport CleanupReport(const CleanupResult& result, bool recycle, bool binRefused) {
    StatusReport report;
    if (binRefused)
        report.push_back(Said(StatusCode::CleanupBinRefused));
    else if (result.stopped)
        report.push_back(Said(StatusCode::CleanupStopped));
    report.push_back(Said(recycle && !binRefused ? StatusCode::CleanupRecycled : StatusCode::CleanupDeleted));
    report.back().count = result.removed;
    report.back().bytes = result.bytes;
    if (result.failed > 0) {
        report.push_back(Said(StatusCode::CleanupFailed));
        report.back().count = result.failed;
        report.back().error = result.firstError;
    }
    return report;
}

} // namespace

CleanupResult RunCleanup(CBackupHost& host, const std::wstring& backupRoot, const CHistory& history,
                         const CleanupPlan& plan, BOOL* stop, SYSTEMTIME now) {
    CleanupResult result;
    const bool recycle = HasRecycleBin(backupRoot);
    bool binChecked = false, binRefused = false;
    for (const uint32_t index : plan.entries) {
        if (stop != nullptr && *stop) {
            result.stopped = true;
            break;
        }
        const HistoryEntry& entry = history.entries.at(index);
        const std::wstring copyPath = history.CopyPath(entry);
        const std::wstring fullPath = backupRoot + L"\\" + copyPath;
        host.ShowCopying(StatusCode::CleaningUp, fullPath);
        DWORD error = CheckCopyPath(backupRoot, copyPath);
        const bool present = error == ERROR_SUCCESS;
        if (present) {
            // The first removal shows whether the bin really takes copies, before any other goes.
            const int64_t binBefore = recycle && !binChecked ? RecycledCount(backupRoot) : -1;
            error = recycle ? MoveToRecycleBin(fullPath) : RemoveCopyForGood(fullPath);
            binRefused = error == ERROR_SUCCESS && binBefore >= 0 && RecycledCount(backupRoot) <= binBefore;
            binChecked = binChecked || error == ERROR_SUCCESS;
        }
        // A copy already gone is recorded as removed too: the history stops listing it.
        if (present || error == ERROR_FILE_NOT_FOUND)
            error = AppendJournalRecord(backupRoot, copyPath.substr(0, copyPath.find(L'\\')),
                                        RemovalRecord(history, entry, now));
        if (error != ERROR_SUCCESS) {
            ++result.failed;
            if (result.firstError == ERROR_SUCCESS)
                result.firstError = error;
            continue;
        }
        ++result.removed;
        result.bytes += present ? entry.bytes : 0;
        RemoveEmptiedFolders(backupRoot, copyPath);
        if (present)
            RemoveManifest(backupRoot, copyPath);
        if (binRefused) {
            result.stopped = true; // removed for good: no other copy may go that way
            break;
        }
    }
    host.SetStatus(CleanupReport(result, recycle, binRefused));
    return result;
}

#include "engine/mirror/MirrorHistory.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"

namespace {

bool Exists(const std::wstring& path) {
    const std::wstring system = SystemPath(path);
    return !system.empty() && ::GetFileAttributesW(system.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What makes two records one version: kind, moment, item and copy path, case aside as the file
// system compares names.
std::wstring VersionKey(const CHistory& history, const HistoryEntry& entry) {
    return std::to_wstring(entry.time) + L'|' + std::to_wstring(static_cast<int>(entry.kind)) + L'|' +
           UpperCase(history.Original(entry)) + L'|' + UpperCase(history.CopyPath(entry));
}

// A local record's copy the local disk no longer holds while the mirror's is there: the mirror's alone.
uint8_t PlaceOfBoth(const CHistory& history, const HistoryEntry& entry, const std::wstring& backupRoot,
                    const std::wstring& mirrorRoot) {
    const std::wstring copy = history.CopyPath(entry);
    if (entry.Is(HistoryEntry::kDamaged) || entry.kind != JournalKind::Backup || !IsSafeCopyPath(copy) ||
        Exists(backupRoot + L"\\" + copy))
        return HistoryEntry::kBoth;
    return Exists(mirrorRoot + L"\\" + copy) ? HistoryEntry::kMirror : HistoryEntry::kBoth;
}

// The mirror's day (read as any backups folder's) merged into the local day at history's entries
// from first on.
void MergeMirrorDay(const CHistory& mirror, const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                    size_t first, CHistory& history) {
    std::unordered_map<std::wstring, size_t> local;
    for (size_t index = first; index < history.entries.size(); ++index)
        local.emplace(VersionKey(history, history.entries[index]), index);
    for (HistoryEntry entry : mirror.entries) {
        // A copy one place reaches through a link is not the other's version: each reads as it is.
        const auto found = local.find(VersionKey(mirror, entry));
        if (found != local.end() &&
            history.entries[found->second].Is(HistoryEntry::kDamaged) == entry.Is(HistoryEntry::kDamaged)) {
            HistoryEntry& both = history.entries[found->second];
            both.place = PlaceOfBoth(history, both, backupRoot, mirrorRoot);
            local.erase(found); // a second record of the same version stays a row of its own
            continue;
        }
        entry.place = HistoryEntry::kMirror;
        entry.original = history.texts.Add(mirror.texts.Text(entry.original));
        entry.copyFolder = history.texts.Add(mirror.texts.Text(entry.copyFolder));
        entry.copyName = history.texts.Add(mirror.texts.Text(entry.copyName));
        history.entries.push_back(entry);
    }
    std::stable_sort(history.entries.begin() + static_cast<std::ptrdiff_t>(first), history.entries.end(),
                     [](const HistoryEntry& a, const HistoryEntry& b) { return a.time > b.time; });
    history.unreadableLines += mirror.unreadableLines;
    history.unreadableJournals += mirror.unreadableJournals;
}

// The day in earlier when it was read with a mirror day that still looks the same.
const CHistory* EarlierWithSameMirrorDay(const CHistory* earlier, const std::wstring& day,
                                         uint64_t signature) {
    if (earlier == nullptr)
        return nullptr;
    const auto found = std::find_if(earlier->days.begin(), earlier->days.end(),
                                    [&](const HistoryDay& d) { return d.name == day; });
    return found != earlier->days.end() && found->mirrorSignature == signature ? earlier : nullptr;
}

} // namespace

std::vector<std::wstring> HistoryDaysOfBoth(const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                                            bool* mirrorReadable) {
    std::vector<std::wstring> days = HistoryDays(backupRoot);
    const std::wstring mirror = SystemPath(mirrorRoot);
    const DWORD attributes = mirror.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(mirror.c_str());
    const bool readable = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (mirrorReadable != nullptr)
        *mirrorReadable = readable;
    if (!readable)
        return days;
    const std::vector<std::wstring> mirrored = HistoryDays(mirrorRoot);
    days.insert(days.end(), mirrored.begin(), mirrored.end());
    std::sort(days.begin(), days.end(), std::greater<std::wstring>());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return days;
}

void ReadHistoryDayOfBoth(const std::wstring& backupRoot, const std::wstring& mirrorRoot,
                          const std::wstring& day, CHistory& history, const CHistory* earlier) {
    // Before reading, as the local one's; no mirror (or one that cannot be reached) is read as empty.
    const uint64_t mirrorSignature = mirrorRoot.empty() ? 0 : DaySignature(mirrorRoot, day);
    CHistory local;
    const CHistory* reusable = EarlierWithSameMirrorDay(earlier, day, mirrorSignature);
    ReadHistoryDay(backupRoot, day, local, reusable);
    HistoryDay& read = local.days.back();
    // Taken from earlier when its local listing is unchanged too: merged then already.
    const bool taken = reusable != nullptr &&
                       std::any_of(reusable->days.begin(), reusable->days.end(), [&](const HistoryDay& d) {
                           return d.name == day && d.signature == read.signature;
                       });
    if (!taken) {
        CHistory mirror;
        if (!mirrorRoot.empty())
            ReadHistoryDay(mirrorRoot, day, mirror);
        MergeMirrorDay(mirror, backupRoot, mirrorRoot, 0, local);
        read.count = local.entries.size();
        read.unreadableLines = local.unreadableLines;
        read.unreadableJournals = local.unreadableJournals;
        local.totals = TotalsFrom(local, 0);
    }
    read.mirrorSignature = mirrorSignature;
    AppendHistory(history, local);
}

std::wstring VersionCopyOnDisk(const CHistory& history, const HistoryEntry& entry,
                               const std::wstring& backupRoot, const std::wstring& mirrorRoot) {
    const std::wstring copy = history.CopyPath(entry);
    if (entry.Is(HistoryEntry::kDamaged) || !IsSafeCopyPath(copy))
        return std::wstring();
    const std::wstring local = backupRoot + L"\\" + copy;
    if (!entry.IsIn(HistoryEntry::kMirror) || mirrorRoot.empty())
        return local;
    const std::wstring mirrored = mirrorRoot + L"\\" + copy;
    if (!entry.IsIn(HistoryEntry::kHere))
        return mirrored;
    return Exists(local) || !Exists(mirrored) ? local : mirrored;
}

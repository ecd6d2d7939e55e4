#include "engine/compare/VersionCompare.h"

#include <algorithm>
#include <memory>

#include "engine/base/BackupPaths.h"
#include "engine/base/Settings.h"
#include "engine/base/StopFlag.h"
#include "engine/base/TemporaryNames.h"
#include "engine/compare/CompareSide.h"
#include "engine/compare/FolderCompareParts.h"
#include "engine/journal/CopyWay.h"

namespace {

// One path of the compare and the manifest entry each side has for it (null: none).
struct Row {
    const std::wstring* key; // upper-cased, as the manifests index it
    const ManifestEntry* side[2];
};

// True for a path the walk's listings would show: no folder on its way nor the file left out by
// Exclude=, and no copy's temporary.
bool TakesPart(const std::wstring& path, const std::vector<std::wstring>& excludes) {
    if (IsTemporaryName(LastComponent(path)))
        return false;
    for (size_t start = 0; !excludes.empty();) {
        const size_t end = path.find(L'\\', start);
        if (IsLeftOut(path.substr(start, end - start), excludes))
            return false;
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return true;
}

// a before b in the walk's order: in each folder its files, by name, before its sub-folders' files,
// the sub-folders by name; a name is compared whole ("D1" before "D10" before "D1A").
bool InWalkOrder(const std::wstring& a, const std::wstring& b) {
    const size_t common = std::min(a.size(), b.size());
    size_t at = 0;
    while (at < common && a[at] == b[at])
        ++at;
    // The first name the two paths differ in starts after the last separator they share.
    const size_t name = at == 0 ? 0 : a.rfind(L'\\', at - 1) + 1;
    const bool aFile = a.find(L'\\', name) == std::wstring::npos,
               bFile = b.find(L'\\', name) == std::wstring::npos;
    if (aFile != bFile)
        return aFile;
    const bool aEnds = at == a.size() || a[at] == L'\\', bEnds = at == b.size() || b[at] == L'\\';
    if (aEnds || bEnds)
        return aEnds && !bEnds; // a name before a longer one it begins
    return a[at] < b[at];
}

FileFacts FactsOf(const ManifestEntry& entry) {
    return {entry.size, entry.modified, entry.attributes};
}

class CVersionList {
public:
    CVersionList(const std::wstring& older, const std::wstring& newer, const FolderCompareOptions& options,
                 FolderComparison& result)
        : m_roots{older, newer}, m_options(options), m_result(result) {}

    // False when either side is no copy below a backups folder: no way to it can be checked.
    bool FindCopies() {
        std::wstring backupRoot;
        for (CompareSide side : {kOlder, kNewer}) {
            if (!SplitCopyPath(m_roots[side], &backupRoot, &m_copies[side]))
                return false;
            m_ways[side] = std::make_unique<CCopyWays>(backupRoot);
        }
        return true;
    }

    void Run(const ManifestIndex& older, const ManifestIndex& newer) {
        for (const Row& row : RowsOf(older, newer)) {
            if (IsStopRequested(m_options.stop))
                return;
            const ManifestEntry* olderEntry = row.side[kOlder];
            const ManifestEntry* newerEntry = row.side[kNewer];
            const FileFacts olderFacts = olderEntry != nullptr ? FactsOf(*olderEntry) : FileFacts(),
                            newerFacts = newerEntry != nullptr ? FactsOf(*newerEntry) : FileFacts();
            CounterpartMatch match = CounterpartMatch::Matches;
            DWORD error = ERROR_SUCCESS;
            if (olderEntry != nullptr && newerEntry != nullptr)
                match = Match(*olderEntry, olderFacts, *newerEntry, newerFacts, &error);
            AddFileEntry(olderEntry != nullptr ? olderEntry->path : newerEntry->path,
                         olderEntry != nullptr ? &olderFacts : nullptr, newerEntry != nullptr ? &newerFacts : nullptr,
                         match, error, m_options.listSame, m_result);
        }
    }

private:
    // Every path that takes part on either side, paired by key, in the walk's order.
    std::vector<Row> RowsOf(const ManifestIndex& older, const ManifestIndex& newer) const {
        std::vector<Row> rows;
        rows.reserve(std::max(older.size(), newer.size()));
        for (const auto& olderFile : older) {
            if (!TakesPart(olderFile.second.path, m_options.excludes))
                continue;
            const auto newerFile = newer.find(olderFile.first);
            const bool paired = newerFile != newer.end() && TakesPart(newerFile->second.path, m_options.excludes);
            rows.push_back({&olderFile.first, {&olderFile.second, paired ? &newerFile->second : nullptr}});
        }
        for (const auto& newerFile : newer) {
            const auto olderFile = older.find(newerFile.first);
            if (TakesPart(newerFile.second.path, m_options.excludes) &&
                (olderFile == older.end() || !TakesPart(olderFile->second.path, m_options.excludes)))
                rows.push_back({&newerFile.first, {nullptr, &newerFile.second}});
        }
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return InWalkOrder(*a.key, *b.key); });
        return rows;
    }

    // By the manifests where they tell; else by the bytes, each file reached through no link.
    CounterpartMatch Match(const ManifestEntry& older, const FileFacts& olderFacts, const ManifestEntry& newer,
                           const FileFacts& newerFacts, DWORD* error) {
        CounterpartMatch match;
        if (MatchUnread(olderFacts, older.hashKnown ? &older : nullptr, newerFacts, newer.hashKnown ? &newer : nullptr,
                        &match))
            return match;
        if (m_ways[kOlder]->HasLink(m_copies[kOlder] + L"\\" + older.path) ||
            m_ways[kNewer]->HasLink(m_copies[kNewer] + L"\\" + newer.path)) {
            *error = kLinkOnTheWay;
            return CounterpartMatch::Unreadable;
        }
        return MatchBytes(m_roots[kOlder] + L"\\" + older.path, m_roots[kNewer] + L"\\" + newer.path,
                          m_options.stop, error);
    }

    const std::wstring m_roots[2];
    const FolderCompareOptions& m_options;
    FolderComparison& m_result;
    std::wstring m_copies[2];                 // each side's copy relative to its backups folder
    std::unique_ptr<CCopyWays> m_ways[2];     // the ways from each side's backups folder
};

} // namespace

bool CompareVersionsFromManifests(const std::wstring& older, const std::wstring& newer,
                                  const ManifestIndex& olderFiles, const ManifestIndex& newerFiles,
                                  const FolderCompareOptions& options, FolderComparison& result) {
    CVersionList list(older, newer, options, result);
    if (!list.FindCopies())
        return false;
    list.Run(olderFiles, newerFiles);
    return true;
}

#include "engine/compare/FolderCompare.h"

#include <algorithm>

#include "engine/base/StopFlag.h"
#include "engine/base/BackupPaths.h"
#include "engine/copy/FileCopy.h"
#include "engine/base/Settings.h"
#include "engine/compare/CompareSide.h"
#include "engine/compare/FolderCompareParts.h"
#include "engine/compare/VersionCompare.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/Journal.h"
#include "engine/journal/RecordedHashes.h"
#include "framework/FileFind.h"

namespace {

// One entry of a folder as its listing gave it; key is its name upper-cased, as the disk compares.
struct Listed {
    std::wstring name, key;
    bool folder = false;
    FileFacts facts;
};

// A drive root without its separator ("\\?\C:") names no folder to open; the root needs it back.
std::wstring ForOpening(const std::wstring& folder) {
    return !folder.empty() && folder.back() == L':' ? folder + L"\\" : folder;
}

bool IsReparse(const Listed& entry) {
    return (entry.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The entries of folder that take part, in key order. False when it cannot be listed.
bool ListEntries(const std::wstring& folder, const FolderCompareOptions& options,
                 std::vector<Listed>* entries, DWORD* error) {
    entries->clear();
    CFileFind finder;
    if (!finder.FindFile((folder + L"\\*").c_str())) {
        *error = GetLastError();
        return *error == ERROR_FILE_NOT_FOUND; // an empty drive root lists nothing, not even "."
    }
    bool more = true;
    while (more) {
        more = finder.FindNextFile() != FALSE; // FALSE still loaded the last entry
        if (finder.IsDots())
            continue;
        Listed entry;
        entry.name = finder.GetFileName();
        entry.folder = finder.IsDirectory() != FALSE;
        if (IsLeftOut(entry.name, options.excludes) || (!entry.folder && IsTemporaryName(entry.name)))
            continue;
        entry.key = UpperCase(entry.name);
        entry.facts = {finder.GetLength(), finder.GetLastWriteTime(), finder.GetAttributes()};
        entries->push_back(std::move(entry));
    }
    if (finder.FailedWithError()) {
        *error = finder.GetReadAheadError();
        return false;
    }
    std::stable_sort(entries->begin(), entries->end(),
                     [](const Listed& a, const Listed& b) { return a.key < b.key; });
    return true;
}

// The walk over both trees, folder pair by folder pair, from a stack of its own (a deep tree never
// deepens the call stack). A folder held by one side only is walked on that side alone.
class CFolderWalk {
public:
    CFolderWalk(const std::wstring& older, const std::wstring& newer, const FolderCompareOptions& options,
                const ManifestIndex* const hashes[2], FolderComparison& result)
        : m_roots{older, newer}, m_options(options), m_result(result), m_hashes{hashes[0], hashes[1]},
          m_isCopy{IsVersionCopy(older), IsVersionCopy(newer)} {
        if (options.backupRoot.empty())
            return;
        const std::wstring backupRoot = WithoutTrailingSeparators(SystemPath(options.backupRoot));
        m_guardedPath = UpperCase(backupRoot);
        m_guardedKnown = ReadFileIdentity(ForOpening(backupRoot), &m_guarded);
    }

    void Run() {
        Pending roots{{std::wstring(), std::wstring()},
                      {true, true},
                      {IsLink(m_roots[0]), IsLink(m_roots[1])},
                      kNoParent};
        m_pending.push_back(std::move(roots));
        while (!m_pending.empty()) {
            if (IsStopRequested(m_options.stop)) {
                m_result.outcome = FolderCompareOutcome::Stopped;
                return;
            }
            Pending folder = std::move(m_pending.back());
            m_pending.pop_back();
            CompareFolder(folder);
        }
    }

private:
    static constexpr size_t kNoParent = static_cast<size_t>(-1);
    struct Pending {
        std::wstring relative[2]; // on each side (the names may differ in case); empty: the roots
        bool held[2];             // which sides hold the folder
        bool linked[2];           // reached through a link or junction (this folder or one above it)
        size_t parent;            // its parent's place in m_entered
    };
    // A folder pair entered, and its sides' identities once they were needed.
    enum class Identity : unsigned char { NotRead, Known, Unknown };
    struct Entered {
        Pending folder;
        Identity read[2];
        FileIdentity identity[2];
    };

    // A version's copy (backups\day\minute\name, here or in the mirror) holds no link the program
    // made: one found in it was planted there, and is neither entered nor read through.
    static bool IsVersionCopy(const std::wstring& root) {
        return CopyPathInItsBackupsFolder(WithoutTrailingSeparators(root)) != WithoutTrailingSeparators(root);
    }
    bool IsPlantedLink(CompareSide side, const Listed* entry) const {
        return entry != nullptr && m_isCopy[side] && IsReparse(*entry);
    }

    static bool IsLink(const std::wstring& folder) {
        const DWORD attributes = GetFileAttributesW(ForOpening(folder).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    std::wstring PathOf(CompareSide side, const std::wstring& relative) const {
        return relative.empty() ? m_roots[side] : m_roots[side] + L"\\" + relative;
    }
    static std::wstring Joined(const std::wstring& relative, const std::wstring& name) {
        return relative.empty() ? name : relative + L"\\" + name;
    }
    // Read once, when a folder reached through a link must be told apart from it.
    bool IdentityOf(Entered& entered, CompareSide side, FileIdentity* identity) {
        if (entered.read[side] == Identity::NotRead)
            entered.read[side] = ReadFileIdentity(ForOpening(PathOf(side, entered.folder.relative[side])),
                                                  &entered.identity[side])
                                     ? Identity::Known
                                     : Identity::Unknown;
        *identity = entered.identity[side];
        return entered.read[side] == Identity::Known;
    }

    // False for a folder that must not be entered: the backups folder, or one already on the way down.
    // Without a link on the way a folder's path is its own: the walk can neither come back to an
    // ancestor nor meet the backups folder under another name, so only below a link are identities read.
    bool Enter(const Pending& folder, size_t* entered) {
        m_entered.push_back({folder, {Identity::NotRead, Identity::NotRead}, {}});
        for (CompareSide side : {kOlder, kNewer}) {
            if (!folder.held[side])
                continue;
            if (!folder.linked[side]) {
                if (!m_guardedPath.empty() && UpperCase(PathOf(side, folder.relative[side])) == m_guardedPath)
                    return Refuse();
                continue;
            }
            FileIdentity identity, above;
            if (!IdentityOf(m_entered.back(), side, &identity))
                continue;
            if (m_guardedKnown && identity == m_guarded)
                return Refuse();
            for (size_t up = folder.parent; up != kNoParent; up = m_entered[up].folder.parent)
                if (IdentityOf(m_entered[up], side, &above) && above == identity)
                    return Refuse();
        }
        *entered = m_entered.size() - 1;
        return true;
    }
    bool Refuse() {
        m_entered.pop_back();
        return false;
    }

    void CompareFolder(const Pending& folder) {
        size_t entered = 0;
        if (!Enter(folder, &entered))
            return;
        std::vector<Listed> lists[2];
        for (CompareSide side : {kOlder, kNewer}) {
            DWORD error = ERROR_SUCCESS;
            if (folder.held[side] &&
                !ListEntries(PathOf(side, folder.relative[side]), m_options, &lists[side], &error)) {
                FailFolder(folder.relative[side], side, error);
                return;
            }
        }
        const std::vector<Listed>& older = lists[kOlder];
        const std::vector<Listed>& newer = lists[kNewer];
        std::vector<Pending> folders;
        size_t o = 0, n = 0;
        while (o < older.size() || n < newer.size()) {
            if (IsStopRequested(m_options.stop))
                return;
            const int order = o == older.size()   ? 1
                              : n == newer.size() ? -1
                                                  : older[o].key.compare(newer[n].key);
            const Listed* olderEntry = order <= 0 ? &older[o++] : nullptr;
            const Listed* newerEntry = order >= 0 ? &newer[n++] : nullptr;
            // A file on one side and a folder on the other are two entries, each held by one side.
            if (olderEntry != nullptr && newerEntry != nullptr && olderEntry->folder != newerEntry->folder) {
                Take(folder, entered, olderEntry, nullptr, folders);
                Take(folder, entered, nullptr, newerEntry, folders);
            } else {
                Take(folder, entered, olderEntry, newerEntry, folders);
            }
        }
        // Walked in name order: the stack gives back the last pushed first.
        m_pending.insert(m_pending.end(), std::make_move_iterator(folders.rbegin()),
                         std::make_move_iterator(folders.rend()));
    }

    // One name of the folder: a sub-folder to walk later, or a file decided now.
    void Take(const Pending& folder, size_t entered, const Listed* older, const Listed* newer,
              std::vector<Pending>& folders) {
        const std::wstring olderRelative =
            older != nullptr ? Joined(folder.relative[kOlder], older->name) : L"";
        const std::wstring newerRelative =
            newer != nullptr ? Joined(folder.relative[kNewer], newer->name) : L"";
        const bool planted = IsPlantedLink(kOlder, older) || IsPlantedLink(kNewer, newer);
        if ((older != nullptr ? older : newer)->folder) {
            if (planted) {
                FailFolder(older != nullptr ? olderRelative : newerRelative, kOlder, kLinkOnTheWay);
                return;
            }
            const bool olderLinked = older != nullptr && (folder.linked[kOlder] || IsReparse(*older));
            const bool newerLinked = newer != nullptr && (folder.linked[kNewer] || IsReparse(*newer));
            folders.push_back({{olderRelative, newerRelative},
                               {older != nullptr, newer != nullptr},
                               {olderLinked, newerLinked},
                               entered});
            return;
        }
        CounterpartMatch match = CounterpartMatch::Matches;
        DWORD error = ERROR_SUCCESS;
        if (older != nullptr && newer != nullptr && planted) {
            match = CounterpartMatch::Unreadable;
            error = kLinkOnTheWay;
        } else if (older != nullptr && newer != nullptr) {
            match = MatchFiles(olderRelative, older->facts, newerRelative, newer->facts, &error);
        }
        AddFileEntry(older != nullptr ? olderRelative : newerRelative, older != nullptr ? &older->facts : nullptr,
                     newer != nullptr ? &newer->facts : nullptr, match, error, m_options.listSame, m_result);
    }

    // The file's hash from side's manifest, when it lists the file as the listing found it.
    const ManifestEntry* Proof(CompareSide side, const std::wstring& relative, const FileFacts& facts) const {
        if (m_hashes[side]->empty())
            return nullptr;
        const auto entry = m_hashes[side]->find(UpperCase(relative));
        return entry != m_hashes[side]->end() && entry->second.hashKnown &&
                       entry->second.size == facts.size &&
                       CompareFileTime(&entry->second.modified, &facts.modified) == 0
                   ? &entry->second
                   : nullptr;
    }

    // Two files by their manifests' hashes where both prove them, else by size and time; the bytes
    // decide what neither can.
    CounterpartMatch MatchFiles(const std::wstring& olderRelative, const FileFacts& olderFacts,
                                const std::wstring& newerRelative, const FileFacts& newerFacts,
                                DWORD* error) {
        CounterpartMatch match;
        if (MatchUnread(olderFacts, Proof(kOlder, olderRelative, olderFacts), newerFacts,
                        Proof(kNewer, newerRelative, newerFacts), &match))
            return match;
        return MatchBytes(PathOf(kOlder, olderRelative), PathOf(kNewer, newerRelative), m_options.stop, error);
    }

    // A folder that could not be listed: the roots end the compare, a sub-folder is listed as such.
    void FailFolder(const std::wstring& relative, CompareSide side, DWORD error) {
        if (relative.empty()) {
            m_result.outcome = side == kOlder ? FolderCompareOutcome::OlderUnreadable
                                              : FolderCompareOutcome::NewerUnreadable;
            m_result.error = error;
            return;
        }
        FolderEntry entry;
        entry.path = relative;
        entry.folder = true;
        entry.state = FolderEntryState::Unreadable;
        entry.error = error;
        CountEntry(std::move(entry), m_options.listSame, m_result);
    }

    const std::wstring m_roots[2];
    const FolderCompareOptions& m_options;
    FolderComparison& m_result;
    std::wstring m_guardedPath; // the backups folder upper-cased; empty: none
    bool m_guardedKnown = false;
    FileIdentity m_guarded;
    std::vector<Entered> m_entered;
    std::vector<Pending> m_pending;
    const ManifestIndex* const m_hashes[2]; // each side's trusted manifest; empty: none
    const bool m_isCopy[2]; // which sides are versions' copies
};

// The root in SystemPath's form, or why it is no folder to compare.
FolderCompareOutcome CheckRoot(const std::wstring& root, bool older, std::wstring* systemPath, DWORD* error) {
    *systemPath = WithoutTrailingSeparators(SystemPath(root));
    const DWORD attributes =
        systemPath->empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(ForOpening(*systemPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = systemPath->empty() ? ERROR_BAD_PATHNAME : GetLastError();
        const bool missing = *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND;
        return older ? (missing ? FolderCompareOutcome::OlderMissing : FolderCompareOutcome::OlderUnreadable)
                     : (missing ? FolderCompareOutcome::NewerMissing : FolderCompareOutcome::NewerUnreadable);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = ERROR_DIRECTORY;
        return older ? FolderCompareOutcome::OlderUnreadable : FolderCompareOutcome::NewerUnreadable;
    }
    return FolderCompareOutcome::Done;
}

} // namespace

FolderComparison CompareFolders(const std::wstring& older, const std::wstring& newer,
                                const FolderCompareOptions& options) {
    FolderComparison result;
    std::wstring roots[2];
    result.outcome = CheckRoot(older, true, &roots[0], &result.error);
    if (result.outcome == FolderCompareOutcome::Done)
        result.outcome = CheckRoot(newer, false, &roots[1], &result.error);
    if (result.outcome != FolderCompareOutcome::Done)
        return result;
    // Each side's manifest: the one given, else its journal's when the side is a proven version.
    CRecordedHashes recorded;
    ManifestIndex read[2];
    const ManifestIndex* hashes[2] = {options.olderHashes, options.newerHashes};
    for (int side = 0; side < 2; ++side)
        if (hashes[side] == nullptr) {
            read[side] = recorded.TrustedManifestOf(roots[side]);
            hashes[side] = &read[side];
        }
    const bool listed = options.listFromManifests && !hashes[0]->empty() && !hashes[1]->empty() &&
                        CompareVersionsFromManifests(roots[0], roots[1], *hashes[0], *hashes[1], options, result);
    if (!listed)
        CFolderWalk(roots[0], roots[1], options, hashes, result).Run();
    if (IsStopRequested(options.stop))
        result.outcome = FolderCompareOutcome::Stopped;
    return result;
}

bool MatchUnread(const FileFacts& older, const ManifestEntry* olderProof, const FileFacts& newer,
                 const ManifestEntry* newerProof, CounterpartMatch* match) {
    const bool proven = olderProof != nullptr && newerProof != nullptr;
    if (proven && olderProof->hash == newerProof->hash)
        *match = CounterpartMatch::Matches;
    else if (older.size != newer.size)
        *match = CounterpartMatch::Differs;
    else if (!proven && CompareFileTime(&older.modified, &newer.modified) == 0)
        *match = CounterpartMatch::Matches; // as the unchanged check of a backup takes it
    else
        return false;
    return true;
}

void AddFileEntry(std::wstring path, const FileFacts* older, const FileFacts* newer, CounterpartMatch match,
                  DWORD error, bool listSame, FolderComparison& result) {
    FolderEntry entry;
    entry.path = std::move(path);
    if (older != nullptr)
        entry.older = *older;
    if (newer != nullptr)
        entry.newer = *newer;
    entry.error = error;
    if (older == nullptr || newer == nullptr)
        entry.state = older == nullptr ? FolderEntryState::Added : FolderEntryState::Removed;
    else if (match == CounterpartMatch::Stopped)
        return;
    else
        entry.state = match == CounterpartMatch::Matches   ? FolderEntryState::Same
                      : match == CounterpartMatch::Differs ? FolderEntryState::Changed
                                                           : FolderEntryState::Unreadable;
    CountEntry(std::move(entry), listSame, result);
}

void CountEntry(FolderEntry entry, bool listSame, FolderComparison& result) {
    FolderCompareCounts& counts = result.counts;
    switch (entry.state) {
    case FolderEntryState::Changed:
        ++counts.changed;
        break;
    case FolderEntryState::Added:
        ++counts.added;
        break;
    case FolderEntryState::Removed:
        ++counts.removed;
        break;
    case FolderEntryState::Same:
        ++counts.same;
        if (!listSame)
            return;
        break;
    case FolderEntryState::Unreadable:
        ++counts.unreadable;
        break;
    }
    result.entries.push_back(std::move(entry));
}

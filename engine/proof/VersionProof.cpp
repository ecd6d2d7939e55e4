// A version proven in both places. A version made before hashes has nothing to be proven against:
// its two copies are compared instead, and where they agree, the hash they agree on is kept.
#include "engine/proof/VersionProof.h"

#include <algorithm>
#include <functional>
#include <map>

#include "engine/base/BackupPaths.h"
#include "engine/base/StopFlag.h"
#include "engine/base/TemporaryNames.h"
#include "engine/journal/CopyWay.h"
#include "framework/FileFind.h"

namespace {

// The files below folder (SystemPath's form) by upper-cased relative path, links and the program's
// temporaries left out; false when a folder could not be listed or holds a link (what lies behind
// one is no part of a copy: such a copy cannot be vouched for).
bool ListFiles(const std::wstring& folder, const std::wstring& relative, std::map<std::wstring, ManifestEntry>& files) {
    CFileFind find;
    BOOL more = find.FindFile((folder + L"\\*").c_str());
    if (!more)
        return false;
    while (more) {
        more = find.FindNextFile();
        const std::wstring name = find.GetFileName();
        if (find.IsDots() || IsTemporaryName(name))
            continue;
        if (find.MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        if (find.IsDirectory()) {
            if (!ListFiles(folder + L"\\" + name, path, files))
                return false;
            continue;
        }
        ManifestEntry entry;
        entry.path = path;
        entry.size = find.GetLength();
        entry.modified = find.GetLastWriteTime();
        entry.attributes = find.GetAttributes();
        files.emplace(UpperCase(path), std::move(entry));
    }
    return !find.FailedWithError();
}

// Both hashes of one file, when both could be read and agree.
bool SameContent(const std::wstring& here, const std::wstring& mirror, CReadOnce& once, const BOOL* stop,
                 VersionProof& proof, ContentHash* hash) {
    ContentHash other;
    return once.HashOf(here, stop, hash, &proof.place[0].bytesRead) == ERROR_SUCCESS &&
           once.HashOf(mirror, stop, &other, &proof.place[1].bytesRead) == ERROR_SUCCESS && *hash == other;
}

// A folder version's two copies, file by file: the same files, each of the same bytes. When they
// agree, both places get the manifest of what they hold and *hash is that manifest's.
bool FoldersAgree(const std::wstring* roots, const std::wstring& copy, CReadOnce& once, const BOOL* stop,
                  VersionProof& proof, ContentHash* hash) {
    std::map<std::wstring, ManifestEntry> files[2];
    for (size_t place = 0; place < 2; ++place)
        if (!ListFiles(SystemPath(roots[place] + L"\\" + copy), std::wstring(), files[place]))
            return false;
    if (files[0].size() != files[1].size())
        return false;
    std::vector<ManifestEntry> entries;
    for (auto here = files[0].begin(), mirror = files[1].begin(); here != files[0].end(); ++here, ++mirror) {
        ManifestEntry& entry = here->second;
        if (here->first != mirror->first || entry.size != mirror->second.size ||
            !SameContent(SystemPath(roots[0] + L"\\" + copy + L"\\" + entry.path),
                         SystemPath(roots[1] + L"\\" + copy + L"\\" + mirror->second.path), once, stop, proof,
                         &entry.hash))
            return false;
        entry.hashKnown = true;
        entries.push_back(std::move(entry));
    }
    ContentHash mirrored;
    return WriteManifest(roots[0], copy, entries, hash) == ERROR_SUCCESS &&
           WriteManifest(roots[1], copy, entries, &mirrored) == ERROR_SUCCESS && *hash == mirrored;
}

// A version made before hashes, held in both places: compared, and the hash they agree on kept.
void CompareBothPlaces(const std::wstring* roots, const std::wstring& copy, bool folder, CCheckLedger& ledger,
                       CReadOnce& once, const BOOL* stop, VersionProof& proof) {
    for (size_t place = 0; place < 2; ++place)
        if (CopyWayHasLink(roots[place], copy))
            return; // not comparable: each place reads as what ProveCopy found
    proof.compared = true;
    ContentHash hash;
    proof.agreed = folder ? FoldersAgree(roots, copy, once, stop, proof, &hash)
                          : SameContent(SystemPath(roots[0] + L"\\" + copy), SystemPath(roots[1] + L"\\" + copy),
                                        once, stop, proof, &hash);
    if (proof.agreed)
        ledger.RecordAgreedHash(copy, hash);
}

// Another record of the history names entry's copy in place: a second backup of one item within a
// minute replaces the first one's copy here (the later record's is the one this folder holds), while
// the mirror never replaces a name and holds whichever record it copied first. Only later records
// are looked for when laterOnly; either way, within the day the copy path names.
bool CopyPathShared(const CHistory& history, const HistoryEntry& entry, HistoryEntry::Place place, bool laterOnly) {
    const std::less<const HistoryEntry*> before;
    const HistoryEntry* first = history.entries.data();
    const HistoryEntry* end = first + history.entries.size();
    if (before(&entry, first) || !before(&entry, end))
        return false; // not one of history's entries
    const int64_t kTicksPerDay = 864000000000;
    const uint64_t folder = history.CopyFolderKey(entry);
    const auto sameCopy = [&](const HistoryEntry& other) {
        // The mirror's copy may be matched with either record when the history is read: any other
        // record naming the path makes it uncertain.
        return (other.IsIn(place) || place == HistoryEntry::kMirror) && other.copyName == entry.copyName &&
               HasCopyToProve(other) &&
               history.CopyFolderKey(other) == folder;
    };
    for (const HistoryEntry* later = &entry; later-- != first && later->time - entry.time <= kTicksPerDay;)
        if (sameCopy(*later)) // newer records come first
            return true;
    for (const HistoryEntry* earlier = &entry + 1; !laterOnly && earlier != end; ++earlier) {
        if (entry.time - earlier->time > kTicksPerDay)
            break;
        if (sameCopy(*earlier))
            return true;
    }
    return false;
}

} // namespace

bool HasCopyToProve(const HistoryEntry& entry) {
    return entry.kind == JournalKind::Backup && entry.outcome == RowOutcome::Succeeded &&
           !entry.Is(HistoryEntry::kUnchanged) && !entry.Is(HistoryEntry::kDamaged) &&
           !entry.Is(HistoryEntry::kUnknownOriginal);
}

VersionProof ProveVersion(const CHistory& history, const HistoryEntry& entry, const std::wstring& backupRoot,
                          const std::wstring& mirrorRoot, CCheckLedger& ledger, CReadOnce& once, const BOOL* stop) {
    VersionProof proof;
    if (!HasCopyToProve(entry))
        return proof;
    const std::wstring copy = history.CopyPath(entry);
    const bool folder = entry.Is(HistoryEntry::kFolder);
    ContentHash expected = entry.hash;
    const bool known = entry.Is(HistoryEntry::kHashKnown) || ledger.AgreedHash(copy, &expected);
    std::wstring roots[2] = {entry.IsIn(HistoryEntry::kHere) ? backupRoot : std::wstring(),
                             entry.IsIn(HistoryEntry::kMirror) ? mirrorRoot : std::wstring()};
    // A copy here is the latest of the records naming it; which record a shared copy in the mirror
    // is cannot be told: neither is proven (nor healed) against another record's hash.
    if (CopyPathShared(history, entry, HistoryEntry::kHere, true))
        roots[0].clear();
    if (CopyPathShared(history, entry, HistoryEntry::kMirror, false))
        roots[1].clear();
    for (size_t place = 0; place < 2; ++place)
        if (!roots[place].empty())
            proof.place[place] = ProveCopy(roots[place], copy, folder, expected, known, once, stop);
    // A place whose manifest was lost or damaged is proven against the other place's, and gets it
    // back (only a manifest of the journal's hash is copied).
    for (size_t place = 0; place < 2 && known && folder; ++place)
        if (proof.place[place].state == ProofState::Unproven && !roots[1 - place].empty()) {
            proof.place[place] = ProveCopyWith(roots[place], roots[1 - place], copy, folder, expected, known,
                                               once, stop);
            if (proof.place[place].state != ProofState::Unproven)
                HealManifest(roots[1 - place], roots[place], copy, expected);
        }
    if (!known && !roots[0].empty() && !roots[1].empty())
        CompareBothPlaces(roots, copy, folder, ledger, once, stop, proof);
    const int64_t now = CheckMoment();
    for (size_t place = 0; place < 2; ++place) {
        if (proof.place[place].error == ERROR_REQUEST_ABORTED || IsStopRequested(stop))
            return proof; // stopped: nothing found is the last word
    }
    for (size_t place = 0; place < 2; ++place)
        if (proof.place[place].state != ProofState::Absent)
            ledger.Record(copy, static_cast<ProofPlace>(place), proof.place[place], now);
    return proof;
}

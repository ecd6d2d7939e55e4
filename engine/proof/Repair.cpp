// 修復, one damaged file at a time: its good bytes found (the other place, then the original),
// written beside it under a temporary name and proven twice (as written, then read back), renamed
// over it, and every other version's name of the same file linked to the healed one.
#include "engine/proof/Repair.h"

#include <algorithm>

#include "engine/base/BackupPaths.h"
#include "engine/base/FileFacts.h"
#include "engine/base/FolderTree.h"
#include "engine/base/TemporaryNames.h"
#include "engine/hash/ContentCopy.h"
#include "engine/journal/CopyWay.h"
#include "framework/FileHandle.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;

std::wstring Inside(const std::wstring& copy, const std::wstring& relative) {
    return relative.empty() ? copy : copy + L"\\" + relative;
}

// What one damaged file must become, as the journal and the trusted manifest say (never the
// finding's own word, which may come from the ledger).
struct GoodFile {
    std::wstring relative; // inside the version; empty for a file version
    ContentHash hash;
    ULONGLONG size = 0;
    int64_t modified = 0;
};

// Puts a rename over path, a read-only name included (the copies keep their originals' attributes).
DWORD RenameOver(const std::wstring& from, const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (MoveFileExW(from.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(path.c_str(), attributes);
    return error;
}

class CHealer {
public:
    CHealer(const CHistory& history, const HistoryEntry& entry, const std::wstring* roots, const VersionProof& proof,
            const BOOL* stop)
        : m_history(history), m_entry(entry), m_roots(roots), m_proof(proof), m_stop(stop),
          m_copy(history.CopyPath(entry)) {}

    RepairedFile Heal(ProofPlace place, const GoodFile& good) {
        RepairedFile result{place, good.relative, RepairOutcome::NoGoodCopy, place, false, 0, ERROR_SUCCESS};
        const size_t here = static_cast<size_t>(place), there = 1 - here;
        const std::wstring relative = Inside(m_copy, good.relative);
        if (CopyWayHasLink(m_roots[here], relative)) {
            result.outcome = RepairOutcome::Failed;
            result.error = kLinkOnTheWay;
            return result;
        }
        const std::wstring target = SystemPath(m_roots[here] + L"\\" + relative);
        const std::vector<std::wstring> others = OtherNames(here, good.relative, target);
        DWORD error = ERROR_FILE_NOT_FOUND;
        if (GoodThere(there, good.relative)) {
            error = PutInPlace(SystemPath(m_roots[there] + L"\\" + relative), target, good);
            result.from = static_cast<ProofPlace>(there);
        }
        if (error != ERROR_SUCCESS && error != ERROR_REQUEST_ABORTED && OriginalUnchanged(good)) {
            error = PutInPlace(SystemPath(Inside(m_history.Original(m_entry), good.relative)), target, good);
            result.fromOriginal = error == ERROR_SUCCESS;
        }
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_FILE_CORRUPT)
            return result; // no good bytes anywhere: nothing was written over
        result.outcome = error == ERROR_SUCCESS ? RepairOutcome::Healed : RepairOutcome::Failed;
        result.error = error;
        for (const std::wstring& other : others)
            if (error == ERROR_SUCCESS && (error = LinkOver(target, other)) == ERROR_SUCCESS)
                ++result.otherNames;
        if (error != ERROR_SUCCESS) {
            result.outcome = RepairOutcome::Failed;
            result.error = error;
        }
        return result;
    }

private:
    // The other place's copy of the file can give the good bytes: it was read and not found damaged.
    bool GoodThere(size_t there, const std::wstring& relative) const {
        const PlaceProof& proof = m_proof.place[there];
        if (m_roots[there].empty() || (proof.state != ProofState::Good && proof.state != ProofState::Damaged))
            return false;
        return std::none_of(proof.findings.begin(), proof.findings.end(), [&](const ProofFinding& finding) {
            return finding.path.empty() || UpperCase(finding.path) == UpperCase(relative);
        }) && !CopyWayHasLink(m_roots[there], Inside(m_copy, relative));
    }

    // The original still holds what was copied: its size and last-write time as recorded, to the
    // second a journal line keeps (its bytes are proven as they are copied).
    bool OriginalUnchanged(const GoodFile& good) const {
        FileFacts facts;
        const std::wstring original = Inside(m_history.Original(m_entry), good.relative);
        return IsFullOriginalPath(m_history.Original(m_entry)) &&
               ReadFileFacts(SystemPath(original), &facts) && facts.size == good.size &&
               static_cast<int64_t>((static_cast<uint64_t>(facts.modified.dwHighDateTime) << 32) |
                                    facts.modified.dwLowDateTime) / kTicksPerSecond ==
                   good.modified / kTicksPerSecond;
    }

    // Writes source beside target under a temporary name, proven as written and read back, then
    // renames it over target. ERROR_FILE_CORRUPT when the bytes were not the good ones.
    DWORD PutInPlace(const std::wstring& source, const std::wstring& target, const GoodFile& good) const {
        const std::wstring folder = WithoutLastComponent(target);
        DWORD error = MakeFolderTree(PlainPath(folder));
        if (error != ERROR_SUCCESS)
            return error;
        const std::wstring temporary = folder + L"\\" + TemporaryName();
        CopiedContent copied;
        error = CopyFileContent(source, temporary, m_stop, &copied, true, [&](HANDLE) {
            return copied.hash == good.hash ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_FILE_CORRUPT);
        });
        if (error != ERROR_SUCCESS)
            return error == ERROR_PATH_NOT_FOUND ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : error;
        CopiedContent readBack;
        error = HashFileContent(temporary, m_stop, &readBack);
        if (error == ERROR_SUCCESS && readBack.hash != good.hash)
            error = ERROR_FILE_CORRUPT;
        if (error == ERROR_SUCCESS)
            error = RenameOver(temporary, target);
        if (error != ERROR_SUCCESS)
            RemoveTemporary(temporary);
        return error;
    }

    // The other versions of the same item in this place whose copy of the file is the damaged file
    // itself (a link to it): each must be given the healed file too.
    std::vector<std::wstring> OtherNames(size_t place, const std::wstring& relative, const std::wstring& target) const {
        std::vector<std::wstring> names;
        FileIdentity damaged;
        CFileHandle file(OpenCopyFile(target, &damaged));
        if (!file.IsOpen())
            return names; // missing: no other name can be known
        CCopyWays ways(m_roots[place]);
        const HistoryEntry::Place where = place == 0 ? HistoryEntry::kHere : HistoryEntry::kMirror;
        for (const HistoryEntry& other : m_history.entries) {
            if (&other == &m_entry || other.original != m_entry.original || !HasCopyToProve(other) ||
                !other.IsIn(where) || other.Is(HistoryEntry::kFolder) != m_entry.Is(HistoryEntry::kFolder))
                continue;
            const std::wstring copy = Inside(m_history.CopyPath(other), relative);
            FileIdentity identity;
            if (ways.HasLink(copy))
                continue;
            const std::wstring path = SystemPath(m_roots[place] + L"\\" + copy);
            CFileHandle name(OpenCopyFile(path, &identity));
            if (name.IsOpen() && identity == damaged && UpperCase(path) != UpperCase(target))
                names.push_back(path);
        }
        return names;
    }

    // Gives name the healed file: a link made beside it, renamed over it.
    static DWORD LinkOver(const std::wstring& healed, const std::wstring& name) {
        const std::wstring temporary = WithoutLastComponent(name) + L"\\" + TemporaryName();
        if (!CreateHardLinkW(temporary.c_str(), healed.c_str(), nullptr))
            return GetLastError();
        const DWORD error = RenameOver(temporary, name);
        if (error != ERROR_SUCCESS)
            DeleteFileW(temporary.c_str());
        return error;
    }

    const CHistory& m_history;
    const HistoryEntry& m_entry;
    const std::wstring* m_roots;
    const VersionProof& m_proof;
    const BOOL* m_stop;
    const std::wstring m_copy;
};

// What a finding's file must become, as the journal and the trusted manifest say; false for a
// finding that names no file the version holds (or a folder where a file was): it is left as found.
bool GoodFileOf(const ProofFinding& finding, const HistoryEntry& entry, const ContentHash& hash,
                const std::vector<ManifestEntry>& manifest, GoodFile* good) {
    if (!entry.Is(HistoryEntry::kFolder)) {
        *good = {std::wstring(), hash, entry.size, entry.modified};
        return finding.path.empty();
    }
    const std::wstring upper = UpperCase(finding.path);
    const auto listed = std::find_if(manifest.begin(), manifest.end(), [&](const ManifestEntry& file) {
        return file.hashKnown && UpperCase(file.path) == upper;
    });
    if (finding.path.empty() || listed == manifest.end())
        return false;
    *good = {listed->path, listed->hash, listed->size,
             static_cast<int64_t>((static_cast<uint64_t>(listed->modified.dwHighDateTime) << 32) |
                                  listed->modified.dwLowDateTime)};
    return true;
}

} // namespace

bool RepairResult::AllHealed() const {
    return std::all_of(files.begin(), files.end(),
                       [](const RepairedFile& file) { return file.outcome == RepairOutcome::Healed; });
}

RepairResult RepairVersion(const CHistory& history, const HistoryEntry& entry, const std::wstring& backupRoot,
                           const std::wstring& mirrorRoot, const VersionProof& proof, CCheckLedger& ledger,
                           CReadOnce& once, const BOOL* stop) {
    RepairResult result;
    const std::wstring copy = history.CopyPath(entry);
    ContentHash hash = entry.hash;
    if (!HasCopyToProve(entry) || !(entry.Is(HistoryEntry::kHashKnown) || ledger.AgreedHash(copy, &hash)))
        return result; // nothing says what the good bytes are
    const std::wstring roots[2] = {entry.IsIn(HistoryEntry::kHere) ? backupRoot : std::wstring(),
                                   entry.IsIn(HistoryEntry::kMirror) ? mirrorRoot : std::wstring()};
    std::vector<ManifestEntry> manifest;
    if (entry.Is(HistoryEntry::kFolder) && !ReadProvenManifest(roots[0], copy, hash, &manifest) &&
        !ReadProvenManifest(roots[1], copy, hash, &manifest))
        return result;
    CHealer healer(history, entry, roots, proof, stop);
    for (size_t place = 0; place < 2; ++place) {
        const PlaceProof& found = proof.place[place];
        if (found.state != ProofState::Damaged || roots[place].empty())
            continue;
        PlaceProof after;
        for (const ProofFinding& finding : found.findings) {
            GoodFile good;
            if (GoodFileOf(finding, entry, hash, manifest, &good)) {
                result.files.push_back(healer.Heal(static_cast<ProofPlace>(place), good));
                if (result.files.back().outcome == RepairOutcome::Healed)
                    continue;
            }
            after.findings.push_back(finding);
        }
        after.state = after.findings.empty() ? ProofState::Good : ProofState::Damaged;
        ledger.Record(copy, static_cast<ProofPlace>(place), after, CheckMoment());
    }
    once.Forget();
    return result;
}

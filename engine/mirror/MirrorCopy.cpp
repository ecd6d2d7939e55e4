// The copy of one version into the mirror: the name it takes there, the bytes (a folder's unchanged
// files linked to the mirror's own previous copy), and what a failure comes to.
#include "engine/mirror/MirrorShared.h"

#include "engine/base/FolderTree.h"
#include "engine/copy/FileCopy.h"
#include "engine/copy/FolderCopy.h"
#include "engine/journal/CopyRemoval.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/History.h"
#include "engine/mirror/MirrorPlace.h"

namespace {

// Files of a folder version copied at once: the disk's and the share's waits overlap.
const unsigned kMirrorCopiers = 4;
// The most "name (n)" tried in one minute folder before the version counts as failed.
const unsigned kMostNumberedNames = 1000;

bool IsFullDiskError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// Counts what a folder copy writes; shows nothing.
class CQuietHost : public CBackupHost {
public:
    void SetStatus(const StatusReport&) override {}
    void ShowCopying(StatusCode, const std::wstring&) override {}
    void CountCopied(ULONGLONG) override {}
    void AppendRow(const BackupRow&) override {}
};

} // namespace

CMirror::Shared::Outcome CMirror::Shared::CopyOne(const MirrorPending& next) {
    const MirrorDayScan& day = days[next.day];
    JournalRecord record;
    if (!ReadRecordAt(JournalOf(backupRoot, day.name), next.offset, next.version, &record) ||
        !IsMirroredKind(record) || !HasMinuteShape(record.copy))
        return Outcome::Skipped; // the journal changed under us: its next scan tells
    const uint64_t key = VersionKey(record);
    if (mirroredKeys.count(key) != 0)
        return Outcome::Skipped;
    const std::wstring source = SystemPath(backupRoot + L"\\" + record.copy);
    const DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != record.isFolder ||
        CopyWayHasLink(backupRoot, record.copy))
        return Outcome::Skipped; // the local copy is gone (the cleanup) or behind a link: nothing to mirror
    JournalRecord mirrored = record;
    const Outcome outcome = record.isFolder ? CopyFolderVersion(record, source, mirrored)
                                            : CopyFileVersion(record, source, mirrored);
    if (outcome != Outcome::Copied)
        return outcome;
    ProveMirroredVersion(backupRoot, record, mirror, mirrored); // its manifest there, or no proof
    const DWORD error = AppendJournalRecord(mirror, day.name, mirrored);
    if (error != ERROR_SUCCESS)
        return Classify(error, source); // the copy stays under its name; its record is written next time
    mirroredKeys.insert(key);
    mirrorCopies.Remember(
        record.original, record.isFolder,
        {mirrored.copy, mirrored.bytes, mirrored.modified, false, mirrored.files + mirrored.linked});
    return Outcome::Copied;
}

DWORD CMirror::Shared::FreeName(const std::wstring& minuteCopy, const std::wstring& name, bool isFolder,
                                const std::wstring& source, std::wstring* chosen, bool* whole) {
    *whole = false;
    if (CopyWayHasLink(mirror, minuteCopy))
        return kLinkOnTheWay;
    const DWORD made = MakeFolderTree(mirror + L"\\" + minuteCopy);
    if (made != ERROR_SUCCESS)
        return made;
    const std::wstring minute = SystemPath(mirror + L"\\" + minuteCopy);
    for (unsigned number = 1; number <= kMostNumberedNames; ++number) {
        const std::wstring candidate = number == 1 ? name : NumberedName(name, number, isFolder);
        const DWORD attributes = GetFileAttributesW((minute + L"\\" + candidate).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                return error;
            *chosen = candidate;
            return ERROR_SUCCESS;
        }
        FileFacts there, wanted;
        if (!isFolder && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ReadFileFacts(minute + L"\\" + candidate, &there) && ReadFileFacts(source, &wanted) &&
            there.size == wanted.size && CompareFileTime(&there.modified, &wanted.modified) == 0 &&
            there.attributes == wanted.attributes) {
            *chosen = candidate;
            *whole = true;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_EXISTS;
}

CMirror::Shared::Outcome CMirror::Shared::CopyFileVersion(const JournalRecord& record,
                                                          const std::wstring& source,
                                                          JournalRecord& mirrored) {
    const std::wstring minuteCopy = WithoutLastComponent(record.copy);
    const std::wstring minute = SystemPath(mirror + L"\\" + minuteCopy);
    std::wstring name;
    bool whole = false;
    DWORD error = FreeName(minuteCopy, LastComponent(record.copy), false, source, &name, &whole);
    if (error == ERROR_SUCCESS && !whole) {
        RemoveLeftoverTemporaries(minute);
        error = CopyProvenFile(record, source, minute + L"\\" + name);
    }
    if (error != ERROR_SUCCESS)
        return Classify(error, source);
    FileFacts facts;
    if (ReadFileFacts(source, &facts))
        mirrored.bytes = facts.size; // a file's record gives its size
    mirrored.files = 1;
    mirrored.linked = 0;
    mirrored.copy = minuteCopy + L"\\" + name;
    return Outcome::Copied;
}

CMirror::Shared::Outcome CMirror::Shared::CopyFolderVersion(const JournalRecord& record,
                                                            const std::wstring& source,
                                                            JournalRecord& mirrored) {
    const std::wstring minuteCopy = WithoutLastComponent(record.copy);
    const std::wstring minute = SystemPath(mirror + L"\\" + minuteCopy);
    std::wstring name;
    bool whole = false;
    DWORD error = FreeName(minuteCopy, LastComponent(record.copy), true, source, &name, &whole);
    const std::wstring temporary = minute + L"\\" + TemporaryName();
    if (error == ERROR_SUCCESS && !CreateDirectoryW(temporary.c_str(), nullptr))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        return Classify(error, source);
    if (!pool)
        pool.reset(new CCopyPool(kMirrorCopiers));
    CQuietHost quiet;
    CCountingHost counting(quiet);
    CFolderCopy copy(counting, SystemPath(mirror), temporary, pool.get(), &stop,
                     CopyDirection::IntoTemporaryFolder);
    // Without a manifest whole and proven by the journal, the files are copied unchecked, as before hashes.
    if (record.hashKnown)
        copy.CheckAgainst(ReadTrustedManifest(backupRoot, record.copy, record.hash),
                          SystemPath(record.original));
    PreviousCopy previous;
    // The mirror's own earlier copy (never a local one: the mirror holds its own bytes), not behind a link.
    if (links && mirrorCopies.Find(record.original, true, &previous) &&
        !CopyWayHasLink(mirror, previous.copy))
        copy.LinkUnchangedTo(SystemPath(mirror + L"\\" + previous.copy));
    const std::wstring final = minute + L"\\" + name;
    if (!copy.Run(record.original, source, temporary))
        error = copy.FirstError() != ERROR_SUCCESS ? copy.FirstError() : ERROR_OPERATION_ABORTED;
    else if (!MoveFileExW(temporary.c_str(), final.c_str(), 0)) // never over a name there
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        if (RemoveCopyForGood(temporary) != ERROR_SUCCESS)
            leftovers.push_back(temporary);
        return Classify(error, source);
    }
    CopyFolderTimesAndAttributes(source, final);
    mirrored.bytes = counting.Bytes();
    mirrored.files = counting.Files();
    mirrored.linked = copy.LinkedCount();
    mirrored.copy = minuteCopy + L"\\" + name;
    return Outcome::Copied;
}

DWORD CMirror::Shared::CopyProvenFile(const JournalRecord& record, const std::wstring& source,
                                      const std::wstring& target) {
    const auto copyFrom = [&](const std::wstring& from, const ContentCheck& check) {
        CopiedContent written;
        DWORD differs = ERROR_SUCCESS;
        const auto matches = [&] {
            return (differs = check ? check(written) : ERROR_SUCCESS) == ERROR_SUCCESS;
        };
        const DWORD error = CopyFileIntoBackup(from, target, SystemPath(mirror), &stop, matches, &written);
        return differs != ERROR_SUCCESS ? differs : error;
    };
    if (!record.hashKnown) // an earlier program's version: nothing to check it against
        return copyFrom(source, nullptr);
    const ExpectedContent expected{record.sizeKnown ? record.size : record.bytes, record.modified,
                                   record.hash, true};
    return CopyProvenContent(source, SystemPath(record.original), expected, copyFrom);
}

CMirror::Shared::Outcome CMirror::Shared::Classify(DWORD error, const std::wstring& source) {
    if (Quitting())
        return Outcome::Stopped;
    if (error == kDamagedCopy)
        return Outcome::Damaged;
    if (IsFullDiskError(error))
        return Outcome::DiskFull;
    if (ReachMirrorFolder(mirror) != ERROR_SUCCESS)
        return Outcome::Unreachable;
    if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Outcome::Skipped; // removed locally meanwhile
    SetLastError(error);
    return Outcome::Failed;
}

void CMirror::Shared::RemoveLeftovers() {
    std::vector<std::wstring> still;
    for (const std::wstring& folder : leftovers)
        if (RemoveCopyForGood(folder) != ERROR_SUCCESS &&
            GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
            still.push_back(folder);
    leftovers.swap(still);
}

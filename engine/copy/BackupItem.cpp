#include "engine/copy/BackupItem.h"

#include <atomic>
#include <cwchar>
#include <vector>

#include "engine/base/FolderTree.h"
#include "engine/base/Settings.h"
#include "engine/copy/CopyPool.h"
#include "engine/copy/FileCopy.h"
#include "engine/copy/FolderCopy.h"
#include "engine/copy/PreviousCopy.h"
#include "engine/journal/CopyRemoval.h"
#include "engine/journal/Journal.h"
#include "engine/journal/Manifest.h"
#include "framework/FileHandle.h"

// The working texts of one item and what became of it.
struct ItemBackup {
    std::wstring path;
    std::wstring destination; // the time-stamped folder, then the folder item's copy
    std::wstring name;        // a file item's name in that folder
    BackupRow row;
    bool succeeded = false;
    bool stopped = false;
    bool busy = false;              // a watched file moved while it was read: no version yet
    unsigned failedEntries = 0;     // of a folder item
    unsigned long long leftOut = 0; // a folder item's entries not copied, as the patterns say
    bool rootUnusable = false;      // the backups folder itself cannot be made or written
    StatusReport renamed;           // a folder item's entries kept under changed names, for the status
    DWORD error = ERROR_SUCCESS;
    FILETIME modified{};                // a file item's last-write time
    bool linking = false;               // a folder item linked what its previous copy holds unchanged
    unsigned long long linked = 0;      // files made as links (or left in place, see inPlace)
    unsigned long long linkedBytes = 0; // what they hold
    bool inPlace = false; // the previous copy is the same minute's, replaced: its unchanged files stay
    unsigned long long previousFiles = 0; // in the previous copy linked to
    bool linkRefused = false;             // and some were copied because the disk refused the link
    unsigned long long copied = 0;        // files written
    CopiedContent content;                // a file item's copy, as written (hashed when hashes are on)
    std::vector<ManifestEntry> manifest;  // a folder item's files, when hashes are on
    std::vector<std::pair<size_t, std::wstring>> unproven; // entries of it whose source is still to read
};

namespace {

// Which entry was kept under which name, with how many more when several.
StatusReport RenamedReport(const CFolderCopy& copy) {
    StatusPart part = Said(copy.RenamedCount() > 1 ? StatusCode::RenamedSeveral : StatusCode::Renamed,
                           copy.FirstRenamedSource());
    part.other = copy.FirstRenamedAs();
    part.count = copy.RenamedCount() - 1;
    return {part};
}

StatusReport FailureReport(const ItemBackup& item, const std::wstring& backupRoot) {
    StatusPart part = Said(item.failedEntries > 0 ? StatusCode::BackupFailedEntries
                           : item.rootUnusable    ? StatusCode::BackupFailedInFolder
                                                  : StatusCode::BackupFailed,
                           item.path);
    part.other = backupRoot;
    part.error = item.error;
    part.count = item.failedEntries;
    return {part};
}

// The system's error a report names first; ERROR_SUCCESS when it names none.
DWORD FirstError(const StatusReport& report) {
    for (const StatusPart& part : report)
        if (part.error != ERROR_SUCCESS)
            return part.error;
    return ERROR_SUCCESS;
}

StatusReport SuccessReport(const ItemBackup& item) {
    StatusReport report = item.renamed;
    if (item.leftOut > 0) {
        report.push_back(Said(StatusCode::LeftOut, item.path));
        report.back().count = item.leftOut;
    }
    // How the version was made: what changed was copied, the rest linked. A drop into the same
    // minute's copy links nothing and ends as drops do; a watched save says what it kept there.
    if (item.linking && (!item.inPlace || item.row.automatic)) {
        report.push_back(
            Said(item.linkRefused ? StatusCode::LinkedSomeCopied : StatusCode::Linked, item.path));
        report.back().count = item.row.outcome == RowOutcome::Succeeded ? item.copied : 0;
        report.back().second = item.linked;
    }
    return report;
}

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// True when another program has the file open for writing: it cannot be opened while denying writers.
bool IsHeldForWriting(const std::wstring& source) {
    CFileHandle file(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.IsOpen() && GetLastError() == ERROR_SHARING_VIOLATION;
}

// The journal keeps a last-write time to the second: a copy's own time is compared at that precision.
bool SameSecond(const FILETIME& a, const FILETIME& b) {
    const auto seconds = [](const FILETIME& time) {
        return ((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000000;
    };
    return seconds(a) == seconds(b);
}

bool SameFacts(const FileFacts& a, const FileFacts& b) {
    return a.size == b.size && CompareFileTime(&a.modified, &b.modified) == 0;
}

// The item's folder in the backups, with its missing parents. A root that is not a full path
// would put the backups wherever the current folder is: nothing is made for it. When the root
// itself cannot be written, the status names it: the fault is the folder's, not the item's.
DWORD MakeDestination(ItemBackup& item, const std::wstring& backupRoot) {
    if (!IsFullPath(backupRoot)) {
        item.rootUnusable = true;
        return ERROR_BAD_PATHNAME;
    }
    const DWORD error = MakeFolderTree(item.destination);
    const DWORD rootError = error == ERROR_SUCCESS ? ERROR_SUCCESS : ProbeWritableFolder(backupRoot);
    item.rootUnusable = rootError != ERROR_SUCCESS;
    return item.rootUnusable ? rootError : error; // the root's own reason, not a missing parent's
}

// A new minute's copy of a watched folder that holds links only: the earlier version keeps each file.
void RemoveNewLinkedCopy(const std::wstring& copy) {
    RemoveCopyForGood(SystemPath(copy));
    RemoveDirectoryW(SystemPath(WithoutLastComponent(copy)).c_str()); // the minute folder, when left empty
}

} // namespace

CBackupEngine::CBackupEngine(std::wstring programFolder, unsigned copiers, std::wstring backupRoot,
                             std::vector<std::wstring> leftOutPatterns)
    : m_programFolder(std::move(programFolder)),
      m_backupRoot(backupRoot.empty() ? m_programFolder + L"\\backups" : std::move(backupRoot)),
      m_copiers(copiers), m_leftOutPatterns(std::move(leftOutPatterns)),
      m_previous(new CPreviousCopies(m_backupRoot)) {
    const TallowboxSettings settings =
        m_programFolder.empty() ? TallowboxSettings() : ReadSettings(m_programFolder);
    m_linking = settings.links;
    m_hashing = settings.hashes;
}

CBackupEngine::~CBackupEngine() = default;

void CBackupEngine::BeginRun() {
    m_runSourceOfCopy.clear();
    m_previous->Forget(); // another program may have backed up since
}

void CBackupEngine::RequestStop() {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_stop), TRUE);
}

void CBackupEngine::ClearStop() {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_stop), FALSE);
}

bool CBackupEngine::IsStopRequested() const {
    return *static_cast<const volatile BOOL*>(&m_stop) != FALSE;
}

void CBackupEngine::ListAsStopped(CBackupHost& host, const std::wstring& path, SYSTEMTIME time) {
    if (path.empty())
        return;
    BackupRow row;
    row.time = time;
    row.originalPath = path;
    row.backupPath = m_backupRoot + FormatTimeStampText(time) + L"\\" + LastComponent(path);
    row.outcome = RowOutcome::Stopped;
    JournalRecord record = RecordFor(row, time);
    Report(host, row, &record, {Said(StatusCode::BackupStopped, path)});
}

std::wstring CBackupEngine::ClaimName(const std::wstring& folder, const std::wstring& name,
                                      const std::wstring& source, bool isFolder) {
    const std::wstring sourceKey = UpperCase(source);
    for (unsigned number = 1;; ++number) {
        const std::wstring candidate = number == 1 ? name : NumberedName(name, number, isFolder);
        const std::wstring targetKey = UpperCase(SystemPath(folder + L"\\" + candidate));
        if (targetKey == sourceKey)
            continue; // an earlier copy dropped again: never copied onto itself
        // Given to another source in this run: kept, even if only a case-sensitive disk tells
        // the two sources apart.
        const auto givenInRun = m_runSourceOfCopy.find(targetKey);
        if (givenInRun != m_runSourceOfCopy.end() && givenInRun->second != source)
            continue;
        // A name no copy since this program started holds is free: an earlier copy under it, of an
        // earlier start or another program, counts as this source's and is replaced.
        const auto taken = m_sourceOfCopy.emplace(targetKey, sourceKey);
        if (taken.second || taken.first->second == sourceKey) {
            m_runSourceOfCopy[targetKey] = source;
            return candidate;
        }
    }
}

bool CBackupEngine::BackUp(CBackupHost& host, const std::wstring& path, SYSTEMTIME time) {
    const BackupResult result = BackUpVersion(host, path, time, BackupTrigger::User);
    return result == BackupResult::Copied || result == BackupResult::Unchanged;
}

BackupResult CBackupEngine::BackUpVersion(CBackupHost& host, const std::wstring& path, SYSTEMTIME time,
                                          BackupTrigger trigger) {
    return BackUpItem(host, path, time, true, trigger);
}

bool CBackupEngine::FindUnchangedCopy(const std::wstring& path, const std::wstring& source,
                                      const FileFacts& sourceFacts, PreviousCopy* previous) {
    if (!m_previous->Find(path, false, previous))
        return false;
    const std::wstring copy = SystemPath(m_backupRoot + L"\\" + previous->copy);
    FileFacts copyFacts;
    if (!ReadFileFacts(copy, &copyFacts))
        return false;
    // A copy opened in place and saved no longer has what its record says: it stands for nothing.
    const bool asRecorded = SameSecond(copyFacts.modified, previous->modified) &&
                            (previous->unchanged || copyFacts.size == previous->bytes);
    if (!asRecorded || !MatchesCounterpart(source, sourceFacts, copy, copyFacts, &m_stop))
        return false;
    previous->modified = copyFacts.modified; // the record of this moment names the copy as it is
    return true;
}

void CBackupEngine::ReportUnchanged(CBackupHost& host, const BackupRow& described,
                                    const PreviousCopy& previous, ULONGLONG size, SYSTEMTIME time) {
    BackupRow row = described;
    row.backupPath = m_backupRoot + L"\\" + previous.copy;
    row.unchanged = true;
    JournalRecord record = RecordFor(row, time);
    record.modified = previous.modified;
    record.size = size; // nothing written, yet the copy it names holds the item
    record.sizeKnown = true;
    record.hash = previous.hash; // and so does its proof
    record.hashKnown = previous.hashKnown;
    Report(host, row, &record, {Said(StatusCode::Unchanged, row.originalPath)});
}

void CBackupEngine::BackUpFolder(CBackupHost& host, ItemBackup& item, const std::wstring& source,
                                 bool leaveOut) {
    const std::wstring name = FolderItemName(item.path);
    if (name.empty()) {
        item.error = GetLastError();
    } else {
        const std::wstring minute = item.destination;
        item.destination += L"\\" + ClaimName(minute, name, WithoutTrailingSeparators(source), true);
        item.error = MakeDestination(item, m_backupRoot);
    }
    if (name.empty() || item.error != ERROR_SUCCESS)
        return;
    // Entries are joined to it with one separator of their own; a drive root keeps its
    // separator until here, so it never names the drive's current folder instead.
    const std::wstring destination = SystemPath(item.destination);
    if (m_copiers > 1 && !m_pool)
        m_pool.reset(new CCopyPool(m_copiers));
    CFolderCopy copy(host, SystemPath(m_backupRoot), destination, m_pool.get(), &m_stop,
                     CopyDirection::IntoBackup, leaveOut ? &m_leftOutPatterns : nullptr);
    PreviousCopy previous;
    if (m_previous->Find(item.path, true, &previous)) {
        const std::wstring previousPath = SystemPath(m_backupRoot + L"\\" + previous.copy);
        // The same minute's copy of the item is being replaced: what it holds unchanged stays as it
        // is (no link is made for that, so Link=no keeps it too).
        item.inPlace = UpperCase(previousPath) == UpperCase(destination);
        if (item.inPlace)
            copy.KeepUnchangedIn(destination);
        else if (m_linking)
            copy.LinkUnchangedTo(previousPath);
        item.linking = item.inPlace || m_linking;
        item.previousFiles = previous.files;
    }
    if (m_hashing) // what links to the previous copy takes its hash from that copy's manifest
        copy.Prove(item.linking && previous.hashKnown
                       ? ReadTrustedManifest(m_backupRoot, previous.copy, previous.hash)
                       : ManifestIndex());
    item.succeeded =
        copy.Run(WithoutTrailingSeparators(item.path), WithoutTrailingSeparators(source), destination);
    item.stopped = copy.Stopped();
    item.failedEntries = copy.FailedCount();
    item.error = copy.FirstError();
    item.leftOut = copy.LeftOutCount();
    item.linked = copy.LinkedCount();
    item.linkedBytes = copy.LinkedBytes();
    item.linkRefused = copy.LinkRefused();
    item.manifest = copy.TakeManifest();
    item.unproven = copy.TakeUnproven();
    if (copy.RenamedCount() > 0)
        item.renamed = RenamedReport(copy);
}

void CBackupEngine::BackUpFile(CCountingHost& host, ItemBackup& item, const std::wstring& source,
                               const FileFacts& facts, bool watched) {
    item.error = MakeDestination(item, m_backupRoot);
    if (item.error != ERROR_SUCCESS)
        return;
    item.name = ClaimName(item.destination, item.name, source, false);
    const std::wstring folder = SystemPath(item.destination);
    RemoveLeftoverTemporaries(folder);
    host.ShowCopying(StatusCode::BackingUp, item.path);
    auto stillWhole = [&source, &facts]() {
        FileFacts after;
        return ReadFileFacts(source, &after) && SameFacts(after, facts);
    };
    // A file version's copy is on the disk before the journal names it (a folder's files are not:
    // that would cost a flush a file; its manifest's hashes find what a power cut spoils).
    item.error = CopyFileIntoBackup(source, folder + L"\\" + item.name, SystemPath(m_backupRoot), &m_stop,
                                    watched ? std::function<bool()>(stillWhole) : nullptr,
                                    m_hashing ? &item.content : nullptr, true);
    item.succeeded = item.error == ERROR_SUCCESS;
    item.busy = watched && item.error == ERROR_BUSY;
    item.stopped = !item.succeeded && IsStopRequested();
    if (item.succeeded)
        host.CountCopied(facts.size);
}

BackupResult CBackupEngine::BackUpItem(CBackupHost& outerHost, const std::wstring& path, SYSTEMTIME time,
                                       bool leaveOut, BackupTrigger trigger) {
    if (path.empty())
        return BackupResult::Copied; // an empty pair of quotes names nothing
    if (IsStopRequested()) {
        ListAsStopped(outerHost, path, time);
        return BackupResult::Stopped;
    }
    const bool watched = trigger == BackupTrigger::Watch;
    CCountingHost host(outerHost);
    ItemBackup item;
    item.path = path;
    item.name = LastComponent(path);
    item.row.time = time;
    item.row.originalPath = path;
    item.row.automatic = watched;
    item.destination = m_backupRoot + FormatTimeStampText(time);
    const std::wstring source = SystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool readable =
        !m_programFolder.empty() && GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data);
    const DWORD attributes = readable ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
    if (watched && !m_programFolder.empty() && !readable && IsMissingError(GetLastError()))
        return BackupResult::Missing;
    FileFacts facts;
    facts.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.modified = data.ftLastWriteTime;
    facts.attributes = attributes;
    if (readable && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        item.modified = data.ftLastWriteTime;
    if (m_programFolder.empty()) {
        item.error = ERROR_PATH_NOT_FOUND;
    } else if (attributes == INVALID_FILE_ATTRIBUTES) {
        item.error = GetLastError(); // unreadable is not a folder: nothing is made for it
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        BackUpFolder(host, item, source, leaveOut);
        // Every file linked, none copied, as many as before: the watched folder did not change.
        if (watched && item.succeeded && item.linking && host.Files() == 0 &&
            item.linked == item.previousFiles) {
            if (!item.inPlace) // the same minute's copy is the version kept, not a new one
                RemoveNewLinkedCopy(item.destination);
            return BackupResult::Unchanged;
        }
    } else {
        // A file being written is no version yet: the watcher tries again once it is quiet.
        if (watched && IsHeldForWriting(source))
            return BackupResult::Busy;
        PreviousCopy previous;
        if (FindUnchangedCopy(path, source, facts, &previous)) {
            if (!watched)
                ReportUnchanged(outerHost, item.row, previous, facts.size, time);
            return BackupResult::Unchanged;
        }
        BackUpFile(host, item, source, facts, watched);
        if (item.busy)
            return BackupResult::Busy;
    }

    item.row.isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    item.row.backupPath = item.row.isFolder ? item.destination : item.destination + L"\\" + item.name;
    item.row.outcome = item.stopped     ? RowOutcome::Stopped
                       : item.succeeded ? RowOutcome::Succeeded
                                        : RowOutcome::Failed;
    item.copied = host.Files();
    JournalRecord record = RecordFor(item.row, time);
    record.bytes = host.Bytes();
    record.files = host.Files();
    record.linked = item.linked;
    record.size = host.Bytes() + item.linkedBytes;
    record.sizeKnown = true;
    record.modified = item.modified;
    record.leftOut = item.leftOut;
    if (item.succeeded && m_hashing)
        Prove(item, record);
    if (item.stopped) {
        Report(host, item.row, &record, {Said(StatusCode::BackupStopped, path)});
        return BackupResult::Stopped;
    }
    if (item.succeeded)
        m_previous->Remember(path, item.row.isFolder,
                             {record.copy, record.bytes, record.modified, false, record.files + record.linked,
                              record.hash, record.hashKnown});
    // A backups folder that cannot be written cannot hold the record either: said once, by the failure.
    Report(host, item.row, item.rootUnusable ? nullptr : &record,
           item.succeeded ? SuccessReport(item) : FailureReport(item, m_backupRoot));
    return item.succeeded ? BackupResult::Copied : BackupResult::Failed;
}

void CBackupEngine::Prove(ItemBackup& item, JournalRecord& record) {
    if (!record.isFolder) {
        record.hash = item.content.hash;
        record.hashKnown = true;
        return;
    }
    // Linked files whose earlier copy had no proof: their sources, read once; unreadable, not yet checked.
    for (const auto& unproven : item.unproven) {
        ManifestEntry& entry = item.manifest[unproven.first];
        CopiedContent read;
        entry.hashKnown =
            HashFileContent(unproven.second, &m_stop, &read) == ERROR_SUCCESS && read.size == entry.size;
        entry.hash = read.hash;
    }
    // The manifest is whole under its name before the line that names the version. One that cannot
    // be written leaves the version as good as one made before hashes: not yet checked.
    record.hashKnown =
        WriteManifest(m_backupRoot, record.copy, std::move(item.manifest), &record.hash) == ERROR_SUCCESS;
}

JournalRecord CBackupEngine::RecordFor(const BackupRow& row, SYSTEMTIME time) const {
    JournalRecord record;
    record.time = time;
    record.kind = row.kind == RowKind::Restore ? JournalKind::Restore : JournalKind::Backup;
    record.outcome = row.outcome;
    record.isFolder = row.isFolder;
    record.original = row.originalPath;
    record.copy = RelativeToRoot(m_backupRoot, row.backupPath);
    // A version put back from the mirror is named as the mirror names it, never by a full path
    // (which a journal refuses as a copy path).
    if (row.kind == RowKind::Restore && IsFullPath(record.copy))
        record.copy = CopyPathInItsBackupsFolder(record.copy);
    record.unchanged = row.unchanged;
    record.automatic = row.automatic;
    return record;
}

void CBackupEngine::Report(CBackupHost& host, const BackupRow& row, JournalRecord* record,
                           StatusReport status) {
    if (row.outcome == RowOutcome::Failed) {
        // The row and its record keep why: the list shows it as the row's tip, the history beside it.
        BackupRow failed = row;
        failed.failure = status;
        host.AppendRow(failed);
        if (record != nullptr)
            record->error = FirstError(status);
    } else {
        host.AppendRow(row);
    }
    // The row stands whatever becomes of its record: the backup itself is not undone by this.
    const DWORD error = record != nullptr && IsFullPath(m_backupRoot)
                            ? AppendJournalRecord(m_backupRoot, DayFolderName(record->time), *record)
                            : ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) {
        status.push_back(Said(StatusCode::JournalUnwritten));
        status.back().error = error;
    }
    host.SetStatus(status);
    // After the row's own words, so what the mirror says of the version comes after them.
    if (error == ERROR_SUCCESS && m_versionSink && record != nullptr && record->kind == JournalKind::Backup &&
        record->outcome == RowOutcome::Succeeded && !record->unchanged)
        m_versionSink->VersionRecorded(DayFolderName(record->time));
}

bool BackupItemBelow(CBackupHost& host, LPCWSTR path, SYSTEMTIME time, const std::wstring& programFolder) {
    CBackupEngine engine(programFolder);
    return engine.BackUp(host, path != nullptr ? path : L"", time);
}

int BackupItem(CBackupHost& host, LPCWSTR path, SYSTEMTIME time) {
    BackupItemBelow(host, path, time, GetModuleFolder());
    return 0;
}

bool CopyFolder(CBackupHost& host, const std::wstring& source, const std::wstring& destination) {
    CFolderCopy copy(host, SystemPath(GetModuleFolder() + L"\\backups"), SystemPath(destination));
    return copy.Run(WithoutTrailingSeparators(source), WithoutTrailingSeparators(SystemPath(source)),
                    SystemPath(destination));
}

#include "engine/copy/Restore.h"

#include "engine/base/FolderTree.h"
#include "engine/copy/FileCopy.h"
#include "engine/copy/FolderCopy.h"
#include "engine/journal/CopyWay.h"
#include "engine/journal/Journal.h"

namespace {

// Never a path's text ('<' is no file name character): the owner of a copy being restored.
const wchar_t* const kCopyBeingRestored = L"<restore>";

// Passes everything on but the status text, which it keeps: a failed safety backup's reason
// becomes part of the restore's own status.
class CStatusKeepingHost : public CBackupHost {
public:
    explicit CStatusKeepingHost(CBackupHost& host) : m_host(host) {}
    void SetStatus(const StatusReport& report) override { m_status = report; }
    void ShowCopying(StatusCode activity, const std::wstring& path) override {
        m_host.ShowCopying(activity, path);
    }
    void CountCopied(ULONGLONG bytes) override { m_host.CountCopied(bytes); }
    void AppendRow(const BackupRow& row) override { m_host.AppendRow(row); }
    const StatusReport& Status() const { return m_status; }

private:
    CBackupHost& m_host;
    StatusReport m_status;
};

// The restore's row: from which copy to which place.
BackupRow RestoreRowFor(const BackupRow& backup, SYSTEMTIME time, RowOutcome outcome) {
    BackupRow row;
    row.time = time;
    row.originalPath = backup.originalPath;
    row.backupPath = backup.backupPath;
    row.isFolder = backup.isFolder;
    row.kind = RowKind::Restore;
    row.outcome = outcome;
    return row;
}

// Whether the row's copy may be read: there, and not reached through a link planted on its way.
// ERROR_SUCCESS or why not.
DWORD CopyToRead(const std::wstring& backupRoot, const BackupRow& backup) {
    if (CopyPathHasLink(backupRoot, backup.backupPath))
        return kLinkOnTheWay;
    const std::wstring from = SystemPath(backup.backupPath);
    if (from.empty() || GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES)
        return from.empty() ? ERROR_BAD_PATHNAME : GetLastError();
    return ERROR_SUCCESS;
}

StatusReport RestoreFailure(const std::wstring& path, DWORD error, unsigned failedEntries) {
    StatusPart part =
        Said(failedEntries > 0 ? StatusCode::RestoreFailedEntries : StatusCode::RestoreFailed, path);
    part.error = error;
    part.count = failedEntries;
    return {part};
}

// What putting a copy back came to.
struct PutBackResult {
    DWORD error = ERROR_SUCCESS; // the first error
    unsigned failedEntries = 0;  // of a folder
    bool stopped = false;
};

// Puts the row's copy in place of its original: a file through the safe replace, a folder file
// by file with its missing sub-folders made; nothing at the original is ever deleted.
PutBackResult PutBack(CBackupHost& host, const BackupRow& backup, const std::wstring& backupRoot,
                      BOOL* stop) {
    const std::wstring from = SystemPath(backup.backupPath);
    const std::wstring to = WithoutTrailingSeparators(SystemPath(backup.originalPath));
    const std::wstring plainTarget = WithoutTrailingSeparators(PlainPath(backup.originalPath));
    PutBackResult result;
    if (backup.isFolder) {
        result.error = MakeFolderTree(plainTarget);
        if (result.error != ERROR_SUCCESS)
            return result;
        CFolderCopy copy(host, backupRoot, to, nullptr, stop, CopyDirection::Restore);
        copy.Run(WithoutTrailingSeparators(backup.originalPath), WithoutTrailingSeparators(from), to);
        result.stopped = copy.Stopped();
        result.failedEntries = copy.FailedCount();
        result.error = copy.FirstError();
        return result;
    }
    result.error = MakeFolderTree(WithoutLastComponent(plainTarget));
    if (result.error != ERROR_SUCCESS)
        return result;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &data);
    host.ShowCopying(StatusCode::Restoring, backup.originalPath);
    result.error = PutFileBack(from, to, stop);
    result.stopped = result.error != ERROR_SUCCESS && *static_cast<volatile BOOL*>(stop) != FALSE;
    if (result.error == ERROR_SUCCESS)
        host.CountCopied((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return result;
}

} // namespace

bool CanRestoreElsewhere(const BackupRow& row) {
    return row.kind == RowKind::Backup && row.outcome == RowOutcome::Succeeded && !row.damaged &&
           !row.backupPath.empty();
}

bool CanRestore(const BackupRow& row) {
    return CanRestoreElsewhere(row) && !row.originalPath.empty();
}

bool CBackupEngine::Restore(CBackupHost& host, const BackupRow& backup, SYSTEMTIME time) {
    if (!CanRestore(backup))
        return false; // no whole copy to put back: nothing is touched, no row
    const std::wstring& original = backup.originalPath;
    CCountingHost counting(host);
    const auto finish = [&](RowOutcome outcome, const StatusReport& status) {
        const BackupRow row = RestoreRowFor(backup, time, outcome);
        JournalRecord record = RecordFor(row, time);
        record.bytes = counting.Bytes();
        record.files = counting.Files();
        Report(host, row, &record, status);
        return outcome == RowOutcome::Succeeded;
    };
    const StatusReport stopped = {Said(StatusCode::RestoreStopped, original)};
    if (IsStopRequested())
        return finish(RowOutcome::Stopped, stopped);
    const std::wstring from = SystemPath(backup.backupPath);
    if (const DWORD error = CopyToRead(m_backupRoot, backup))
        return finish(RowOutcome::Failed, RestoreFailure(original, error, 0));

    if (GetFileAttributesW(SystemPath(original).c_str()) != INVALID_FILE_ATTRIBUTES) {
        // The safety backup of this minute must land beside the copy being put back, never on it.
        m_sourceOfCopy[UpperCase(from)] = kCopyBeingRestored;
        CStatusKeepingHost keeping(host);
        const BackupResult safety = BackUpItem(keeping, original, time, false, BackupTrigger::User);
        if (safety != BackupResult::Copied &&
            safety != BackupResult::Unchanged) { // whole: all may be replaced
            if (IsStopRequested())
                return finish(RowOutcome::Stopped, stopped);
            StatusReport refused = keeping.Status();
            refused.push_back(Said(StatusCode::RestoreNotDone));
            return finish(RowOutcome::Failed, refused);
        }
    }

    const PutBackResult result = PutBack(counting, backup, SystemPath(m_backupRoot), &m_stop);
    if (result.stopped)
        return finish(RowOutcome::Stopped, stopped);
    if (result.error != ERROR_SUCCESS || result.failedEntries > 0)
        return finish(RowOutcome::Failed, RestoreFailure(original, result.error, result.failedEntries));
    return finish(RowOutcome::Succeeded, {});
}

namespace {

// Copies the backup under the first free name in folder: its own, then "name (2)"... Only a
// name that nothing holds is ever written: a file by a copy that fails when the name exists, a
// folder by a creation that does.
PutBackResult CopyUnderFreeName(CBackupHost& host, const BackupRow& backup, const std::wstring& folder,
                                const std::wstring& backupRoot, BOOL* stop, std::wstring* written) {
    const std::wstring from = SystemPath(backup.backupPath);
    const std::wstring name = LastComponent(
        WithoutTrailingSeparators(backup.originalPath.empty() ? backup.backupPath : backup.originalPath));
    PutBackResult result;
    for (unsigned number = 1; number < 10000; ++number) {
        *written = WithoutTrailingSeparators(folder) + L"\\" +
                   (number == 1 ? name : NumberedName(name, number, backup.isFolder));
        const std::wstring to = SystemPath(*written);
        if (backup.isFolder) {
            if (!CreateDirectoryW(to.c_str(), nullptr)) {
                result.error = GetLastError();
                if (result.error == ERROR_ALREADY_EXISTS)
                    continue;
                return result;
            }
            CFolderCopy copy(host, backupRoot, to, nullptr, stop, CopyDirection::Restore);
            copy.Run(*written, WithoutTrailingSeparators(from), to);
            result.stopped = copy.Stopped();
            result.failedEntries = copy.FailedCount();
            result.error = copy.FirstError();
            return result;
        }
        host.ShowCopying(StatusCode::Restoring, *written);
        if (CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, stop, COPY_FILE_FAIL_IF_EXISTS)) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &data);
            host.CountCopied((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
            result.error = ERROR_SUCCESS;
            return result;
        }
        result.error = GetLastError();
        if (result.error != ERROR_FILE_EXISTS && result.error != ERROR_ALREADY_EXISTS) {
            result.stopped = *static_cast<volatile BOOL*>(stop) != FALSE;
            return result;
        }
    }
    return result;
}

} // namespace

bool CBackupEngine::RestoreElsewhere(CBackupHost& host, const BackupRow& backup, const std::wstring& folder,
                                     SYSTEMTIME time) {
    if (!CanRestoreElsewhere(backup) || folder.empty())
        return false;
    CCountingHost counting(host);
    std::wstring written = folder;
    const auto finish = [&](RowOutcome outcome, const StatusReport& status) {
        BackupRow row = RestoreRowFor(backup, time, outcome);
        row.restoredTo = written;
        JournalRecord record = RecordFor(row, time);
        record.target = written;
        record.bytes = counting.Bytes();
        record.files = counting.Files();
        Report(host, row, &record, status);
        return outcome == RowOutcome::Succeeded;
    };
    const auto stopped = [&written] {
        return StatusReport{Said(StatusCode::RestoreElsewhereStopped, written)};
    };
    if (IsStopRequested())
        return finish(RowOutcome::Stopped, stopped());
    if (const DWORD error = CopyToRead(m_backupRoot, backup))
        return finish(RowOutcome::Failed, RestoreFailure(written, error, 0));
    const PutBackResult result =
        CopyUnderFreeName(counting, backup, folder, SystemPath(m_backupRoot), &m_stop, &written);
    if (result.stopped)
        return finish(RowOutcome::Stopped, stopped());
    if (result.error != ERROR_SUCCESS || result.failedEntries > 0)
        return finish(RowOutcome::Failed, RestoreFailure(written, result.error, result.failedEntries));
    return finish(RowOutcome::Succeeded, {});
}

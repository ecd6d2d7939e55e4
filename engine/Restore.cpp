#include "engine/Restore.h"

#include "engine/FileCopy.h"
#include "engine/FolderCopy.h"
#include "engine/FolderTree.h"

const wchar_t* const kRestoreMark = L"(復元)";

namespace {

// Never a path's text ('<' is no file name character): the owner of a copy being restored.
const wchar_t* const kCopyBeingRestored = L"<restore>";

// Passes everything on but the status text, which it keeps: a failed safety backup's reason
// becomes part of the restore's own status.
class CStatusKeepingHost : public CBackupHost {
public:
    explicit CStatusKeepingHost(CBackupHost& host) : m_host(host) {}
    void SetStatusText(const std::wstring& text) override { m_status = text; }
    void ShowCopying(const std::wstring& text) override { m_host.ShowCopying(text); }
    void CountCopied(ULONGLONG bytes) override { m_host.CountCopied(bytes); }
    void AppendRow(const BackupRow& row) override { m_host.AppendRow(row); }
    const std::wstring& Status() const { return m_status; }

private:
    CBackupHost& m_host;
    std::wstring m_status;
};

// The restore's row: from which copy (the source column) to which place (the destination).
BackupRow RestoreRowFor(const BackupRow& backup, SYSTEMTIME time, RowOutcome outcome) {
    BackupRow row;
    row.date = FormatDateText(time);
    row.time = FormatTimeText(time);
    row.name = backup.isFolder ? L"(フォルダ)" : LastComponent(backup.originalPath);
    row.source = backup.backupPath;
    row.destination = kRestoreMark + backup.originalPath;
    if (outcome == RowOutcome::Failed)
        row.destination = kFailedMark + row.destination;
    else if (outcome == RowOutcome::Stopped)
        row.destination = kStoppedMark + row.destination;
    row.originalPath = backup.originalPath;
    row.backupPath = backup.backupPath;
    row.isFolder = backup.isFolder;
    row.kind = RowKind::Restore;
    row.outcome = outcome;
    return row;
}

std::wstring RestoreFailureText(const std::wstring& path, DWORD error, unsigned failedEntries) {
    std::wstring reason = SystemMessage(error);
    if (failedEntries > 0)
        reason = std::to_wstring(failedEntries) + L"件失敗。最初の原因: " + reason;
    return path + L"を元に戻せませんでした（" + reason + L"）";
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
    ShowRestoring(host, backup.originalPath);
    result.error = PutFileBack(from, to, stop);
    result.stopped = result.error != ERROR_SUCCESS && *static_cast<volatile BOOL*>(stop) != FALSE;
    if (result.error == ERROR_SUCCESS)
        host.CountCopied((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return result;
}

} // namespace

std::wstring PlainPath(const std::wstring& path) {
    const std::wstring full = SystemPath(path);
    if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + full.substr(8);
    if (full.compare(0, 4, L"\\\\?\\") == 0)
        return full.substr(4);
    return full;
}

bool CanRestore(const BackupRow& row) {
    return row.kind == RowKind::Backup && row.outcome == RowOutcome::Succeeded && !row.backupPath.empty() &&
           !row.originalPath.empty();
}

DWORD PutFileBack(const std::wstring& from, const std::wstring& to, BOOL* stop) {
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return CopyFileIntoBackup(from, to, std::wstring(), stop); // no root: no attribute is cleared
}

void ShowRestoring(CBackupHost& host, const std::wstring& path) {
    host.ShowCopying(path + L"を元に戻しています...");
}

bool CBackupEngine::Restore(CBackupHost& host, const BackupRow& backup, SYSTEMTIME time) {
    if (!CanRestore(backup))
        return false; // no whole copy to put back: nothing is touched, no row
    const std::wstring& original = backup.originalPath;
    const auto finish = [&](RowOutcome outcome, const std::wstring& status) {
        host.AppendRow(RestoreRowFor(backup, time, outcome));
        host.SetStatusText(status);
        return outcome == RowOutcome::Succeeded;
    };
    const std::wstring stoppedText = original + L"の復元を中止しました";
    if (IsStopRequested())
        return finish(RowOutcome::Stopped, stoppedText);
    const std::wstring from = SystemPath(backup.backupPath);
    if (from.empty() || GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES)
        return finish(RowOutcome::Failed, RestoreFailureText(original, GetLastError(), 0));

    if (GetFileAttributesW(SystemPath(original).c_str()) != INVALID_FILE_ATTRIBUTES) {
        // The safety backup of this minute must land beside the copy being put back, never on it.
        m_sourceOfCopy[UpperCase(from)] = kCopyBeingRestored;
        CStatusKeepingHost keeping(host);
        if (!BackUpItem(keeping, original, time, false)) { // whole: all of it may be replaced
            if (IsStopRequested())
                return finish(RowOutcome::Stopped, stoppedText);
            return finish(RowOutcome::Failed, keeping.Status() + L"。元に戻していません");
        }
    }

    const PutBackResult result = PutBack(host, backup, SystemPath(m_backupRoot), &m_stop);
    if (result.stopped)
        return finish(RowOutcome::Stopped, stoppedText);
    if (result.error != ERROR_SUCCESS || result.failedEntries > 0)
        return finish(RowOutcome::Failed, RestoreFailureText(original, result.error, result.failedEntries));
    return finish(RowOutcome::Succeeded, L"ready");
}

// Backing up one item: a file, or a folder with its whole tree, copied below the backup root
// into the folder of the batch's day and minute, with its progress shown in the status line
// and one row appended to the list. The engine holds no window: the view that shows the
// status line and the list implements CBackupHost and hands itself in.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/BackupPaths.h"

class CCopyPool;
struct JournalRecord;

// The engine's calls come from the thread that runs the item; ShowCopying and CountCopied also
// from the threads that copy a folder's files side by side.
class CBackupHost {
public:
    virtual ~CBackupHost() = default;
    // Pane 0 of the status bar, after its row: "ready", which entry was kept under a changed name,
    // or why the item failed or stopped.
    virtual void SetStatusText(const std::wstring& text) = 0;
    // A file is about to be copied: "<path>をバックアップ中です...".
    virtual void ShowCopying(const std::wstring& text) = 0;
    // A file of the running item was copied, of this many bytes.
    virtual void CountCopied(ULONGLONG bytes) = 0;
    // Appends a row at the end of the list.
    virtual void AppendRow(const BackupRow& row) = 0;
};

// Passes everything on, counting the files and bytes copied (from any copying thread).
class CCountingHost : public CBackupHost {
public:
    explicit CCountingHost(CBackupHost& host) : m_host(host) {}
    void SetStatusText(const std::wstring& text) override { m_host.SetStatusText(text); }
    void ShowCopying(const std::wstring& text) override { m_host.ShowCopying(text); }
    void CountCopied(ULONGLONG bytes) override;
    void AppendRow(const BackupRow& row) override { m_host.AppendRow(row); }
    ULONGLONG Files() const { return m_files.load(); }
    ULONGLONG Bytes() const { return m_bytes.load(); }

private:
    CBackupHost& m_host;
    std::atomic<ULONGLONG> m_files{0};
    std::atomic<ULONGLONG> m_bytes{0};
};

// The backups of one running program: its backup root, and which source each name in a
// minute's folder was copied from, so that a different source of the same name in the same
// minute is kept beside the first ("same (2).txt") instead of replacing it. Within one run (a
// drop, the command line, a restore's safety backup) sources are told apart exactly as given,
// so two that only a case-sensitive disk tells apart are both kept too. One thread uses it.
class CBackupEngine {
public:
    // copiers: how many files a folder item copies at once (1: one after another). backupRoot:
    // where the backups go (empty: programFolder\backups); one that is not a full path is never
    // written. leftOutPatterns: names of entries inside a folder item that are not copied.
    explicit CBackupEngine(std::wstring programFolder, unsigned copiers = 1,
                           std::wstring backupRoot = std::wstring(),
                           std::vector<std::wstring> leftOutPatterns = {});
    ~CBackupEngine();
    CBackupEngine(const CBackupEngine&) = delete;
    CBackupEngine& operator=(const CBackupEngine&) = delete;

    // Starts a run: call it before the first item of each batch. A new engine starts one itself.
    // A name a run gave one source is never given another source of the same run.
    void BeginRun();

    // Backs up path (a file or a folder, any name and any length the platform allows) into the
    // backups tree for the batch's time, then appends its row and shows "ready" (or, for a folder
    // whose entries the backup's disk takes for one name, which was kept under "name (2)"); an item that
    // did not back up completely gets a row whose destination starts with "(失敗)" and a status
    // text that says why. An empty path is skipped. True when backed up completely (or skipped).
    // Inside a folder item, entries matching the patterns are left out and the status says how many.
    bool BackUp(CBackupHost& host, const std::wstring& path, SYSTEMTIME time);
    // The row and status of an item stopped before it began: "(中止)" before its destination.
    void ListAsStopped(CBackupHost& host, const std::wstring& path, SYSTEMTIME time);
    // Puts the backup of a succeeded backup row back where its item came from, after backing up
    // what is there now (engine/Restore.cpp); appends the restore's row. True when restored.
    bool Restore(CBackupHost& host, const BackupRow& row, SYSTEMTIME time);
    // Copies the row's backup into folder under the item's own name, "name (2)" when that is
    // taken: nothing there is ever replaced (engine/Restore.cpp). True when copied whole.
    bool RestoreElsewhere(CBackupHost& host, const BackupRow& row, const std::wstring& folder,
                          SYSTEMTIME time);

    // Every backup, restore and removal is recorded in the journal of its day. Each row is
    // appended, then its record (when given); status is shown, with why the record could not be
    // written.
    void Report(CBackupHost& host, const BackupRow& row, const JournalRecord* record,
                const std::wstring& status);
    // The record of a row: what it is, how it ended, its item and its copy below the root.
    JournalRecord RecordFor(const BackupRow& row, SYSTEMTIME time) const;

    // From any thread: the running item stops at once (the file being copied is abandoned, its
    // earlier copy kept) and is listed as stopped, as is every later item until ClearStop.
    void RequestStop();
    void ClearStop();
    bool IsStopRequested() const;
    // The flag the copies watch, for work that runs on the engine's thread (the cleanup).
    BOOL* StopFlag() { return &m_stop; }

    const std::wstring& BackupRoot() const { return m_backupRoot; }

private:
    // BackUp, leaving out the patterns' entries or, for what a restore is about to replace, none.
    bool BackUpItem(CBackupHost& host, const std::wstring& path, SYSTEMTIME time, bool leaveOut);
    // The name the item's copy gets in folder: name itself, unless this program copied another
    // source there under it, then the first of "name (2)", "name (3)"... that is free or source's own.
    std::wstring ClaimName(const std::wstring& folder, const std::wstring& name, const std::wstring& source,
                           bool isFolder);

    const std::wstring m_programFolder;
    const std::wstring m_backupRoot;
    const unsigned m_copiers;
    const std::vector<std::wstring> m_leftOutPatterns;
    std::unique_ptr<CCopyPool> m_pool;                   // made at the first folder item
    BOOL m_stop = FALSE;                                 // read by the platform's copy, so a plain BOOL
    std::map<std::wstring, std::wstring> m_sourceOfCopy; // upper-cased target path -> upper-cased source
    // The same for the running batch alone, with each source as given (case kept).
    std::unordered_map<std::wstring, std::wstring> m_runSourceOfCopy;
};

// BackupItemBelow with the running executable's folder.
int BackupItem(CBackupHost& host, LPCWSTR path, SYSTEMTIME time);

// One item backed up by an engine of its own for programFolder: the earlier copies in the
// minute's folder count as made by another run (the same name is replaced). Tests use it to
// keep their backups in a temporary folder. True when backed up completely (or skipped as empty).
bool BackupItemBelow(CBackupHost& host, LPCWSTR path, SYSTEMTIME time, const std::wstring& programFolder);

// Copies the content tree of folder source into the existing folder destination, showing a
// progress text before each file. Never enters the program's backup root, the destination
// itself, or a folder it is already inside (a link back up the tree). True when every file
// and sub-folder was copied.
bool CopyFolder(CBackupHost& host, const std::wstring& source, const std::wstring& destination);

// Shows "<path>をバックアップ中です...".
void ShowBackingUp(CBackupHost& host, const std::wstring& path);

// The system's own message for an error code, on one line.
std::wstring SystemMessage(DWORD error);

// "(失敗)": the start of the destination text of an item that did not back up completely.
extern const wchar_t* const kFailedMark;
// "(中止)": the start of the destination text of an item stopped by the user.
extern const wchar_t* const kStoppedMark;

// Backing up one item: a file, or a folder with its whole tree, copied below the backup root
// into the folder of the batch's day and minute, with its progress shown in the status line
// and one row appended to the list. The engine holds no window and no words: the view that
// shows the status line and the list implements CBackupHost, hands itself in and words the
// rows and reports it is given.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/BackupHost.h"
#include "engine/base/BackupPaths.h"

class CCopyPool;
class CPreviousCopies;
struct FileFacts;
struct ItemBackup;
struct JournalRecord;
struct PreviousCopy;

// Told of every version whose journal record has just been written (its copy whole below the
// backups folder): a file or folder copied, never an unchanged moment, a restore or a failure.
// Called from the thread that backs up; a sink answers at once (the mirror only takes note).
class CVersionSink {
public:
    virtual ~CVersionSink() = default;
    virtual void VersionRecorded(const std::wstring& dayFolder) = 0;
};

// Who asked for a backup: the user (a drop, the command line, a paste, Send To, a restore's
// safety backup), or the watcher after a watched item changed.
enum class BackupTrigger : unsigned char { User, Watch };
// What BackUpVersion came to. Busy: another program is writing the item (a watched item is tried
// again later); Missing: the item is gone. Unchanged: an earlier copy still holds it exactly.
enum class BackupResult : unsigned char { Copied, Unchanged, Failed, Stopped, Busy, Missing };

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
    // backups tree for the batch's time, then appends its row and reports nothing (or, for a folder
    // whose entries the backup's disk takes for one name, which was kept under "name (2)"); an item
    // that did not back up completely gets a failed row and a report that says why. An empty path
    // is skipped. True when backed up completely (or skipped). Inside a folder item, entries
    // matching the patterns are left out and the report says how many. A file item that has not
    // changed since its newest copy is not copied again: its row is marked unchanged and names that
    // copy; a folder item's unchanged files are hard links to the files of its newest copy (copied
    // instead where the disk refuses a link).
    bool BackUp(CBackupHost& host, const std::wstring& path, SYSTEMTIME time);
    // BackUp for a trigger. For Watch: a missing item, a file another program is writing (or that
    // changed while it was copied: that copy is removed), and an unchanged item (a folder whose
    // files all linked, as many as before: its new folder is removed) make no row and no record
    // (Missing, Busy, Unchanged); any other version's row and record are marked automatic.
    BackupResult BackUpVersion(CBackupHost& host, const std::wstring& path, SYSTEMTIME time,
                               BackupTrigger trigger);
    // The row and report of an item stopped before it began.
    void ListAsStopped(CBackupHost& host, const std::wstring& path, SYSTEMTIME time);
    // Puts the backup of a succeeded backup row back where its item came from, after backing up
    // what is there now (engine/copy/Restore.cpp); appends the restore's row. True when restored.
    bool Restore(CBackupHost& host, const BackupRow& row, SYSTEMTIME time);
    // Copies the row's backup into folder under the item's own name, "name (2)" when that is
    // taken: nothing there is ever replaced (engine/copy/Restore.cpp). True when copied whole.
    bool RestoreElsewhere(CBackupHost& host, const BackupRow& row, const std::wstring& folder,
                          SYSTEMTIME time);

    // Every backup, restore and removal is recorded in the journal of its day. Each row is
    // appended, then its record (when given); the report is given, with why the record could not
    // be written. A failed row carries the report, and its record the error the report names.
    void Report(CBackupHost& host, const BackupRow& row, JournalRecord* record, StatusReport status);
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
    // Before the first item: who hears of each version recorded (none: nobody).
    void SetVersionSink(std::shared_ptr<CVersionSink> sink) { m_versionSink = std::move(sink); }

private:
    // BackUp, leaving out the patterns' entries or, for what a restore is about to replace, none.
    BackupResult BackUpItem(CBackupHost& host, const std::wstring& path, SYSTEMTIME time, bool leaveOut,
                            BackupTrigger trigger);
    // A folder item, copied into item.destination's minute, linking what its previous copy holds.
    void BackUpFolder(CBackupHost& host, ItemBackup& item, const std::wstring& source, bool leaveOut);
    // facts: the source's as read before the copy; with watched, a copy during which they moved
    // is abandoned (item.busy) and the minute's earlier copy kept.
    void BackUpFile(CCountingHost& host, ItemBackup& item, const std::wstring& source, const FileFacts& facts,
                    bool watched);
    // True when the file item's previous copy still holds exactly what source holds.
    bool FindUnchangedCopy(const std::wstring& path, const std::wstring& source, const FileFacts& sourceFacts,
                           PreviousCopy* previous);
    // The row and record of a file item not copied again: they name its previous copy, of size bytes.
    void ReportUnchanged(CBackupHost& host, const BackupRow& described, const PreviousCopy& previous,
                         ULONGLONG size, SYSTEMTIME time);
    // Gives a succeeded version's record its proof: a file's hash, or a folder's manifest, written.
    void Prove(ItemBackup& item, JournalRecord& record);
    // The name the item's copy gets in folder: name itself, unless this program copied another
    // source there under it, then the first of "name (2)", "name (3)"... that is free or source's own.
    std::wstring ClaimName(const std::wstring& folder, const std::wstring& name, const std::wstring& source,
                           bool isFolder);

    const std::wstring m_programFolder;
    const std::wstring m_backupRoot;
    const unsigned m_copiers;
    const std::vector<std::wstring> m_leftOutPatterns;
    bool m_linking = true;                               // Tallowbox.ini's Link=: no turns links off
    bool m_hashing = true;                               // Hash=: no makes versions without proofs
    std::unique_ptr<CPreviousCopies> m_previous;         // the journals' copies, read once a run
    std::unique_ptr<CCopyPool> m_pool;                   // made at the first folder item
    BOOL m_stop = FALSE;                                 // read by the platform's copy, so a plain BOOL
    std::map<std::wstring, std::wstring> m_sourceOfCopy; // upper-cased target path -> upper-cased source
    // The same for the running batch alone, with each source as given (case kept).
    std::unordered_map<std::wstring, std::wstring> m_runSourceOfCopy;
    std::shared_ptr<CVersionSink> m_versionSink;
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

// CBackupWorker: runs the backups on a thread of its own, so the window stays live during long
// copies. Batches (a drop, the command line, rows to restore, a task) run one after another in the order
// given, each with its own time stamp; the worker never touches a window: rows and status reports
// are posted to the view, and the progress is left in a slot the view reads on its own timer.
// A stop ends the running item at once and lists every item still waiting as stopped.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/copy/BackupItem.h"

// Messages posted to the view: lParam owns a heap BackupRow / StatusReport the view deletes.
#define WM_BACKUP_ROW (WM_APP + 40)
#define WM_BACKUP_STATUS (WM_APP + 41)
#define WM_BACKUP_IDLE (WM_APP + 42)
// Posted to the same window when work was queued: the progress is shown from then on.
#define WM_BACKUP_QUEUED (WM_APP + 43)

// What the running item has done so far, for the status line.
struct BackupProgress {
    StatusCode activity = StatusCode::BackingUp; // what is done to path
    std::wstring path;                           // the latest file worked on; empty: none yet
    unsigned files = 0;
    ULONGLONG bytes = 0;
    unsigned long changes = 0; // counts every change, so a reader sees whether anything moved
};

class CBackupWorker {
public:
    // Rows and texts are posted to view; folder items copy up to copiers files at once into
    // backupRoot (empty: programFolder\backups), leaving out entries named by leftOutPatterns.
    CBackupWorker(HWND view, const std::wstring& programFolder, unsigned copiers,
                  const std::wstring& backupRoot = std::wstring(),
                  const std::vector<std::wstring>& leftOutPatterns = {},
                  std::shared_ptr<CVersionSink> versionSink = nullptr);
    // Stops what runs, then waits a bounded time for the thread; one stuck in a blocked call is
    // left to end with the process (it shares what it uses with nobody that goes away).
    ~CBackupWorker();
    CBackupWorker(const CBackupWorker&) = delete;
    CBackupWorker& operator=(const CBackupWorker&) = delete;

    void Queue(std::vector<std::wstring> paths, SYSTEMTIME time);
    // Puts each row's backup back, in order, after backing up what is there now (time stamps
    // those backups and the restore rows).
    void QueueRestore(std::vector<BackupRow> rows, SYSTEMTIME time);
    // Other work on the backups (a restore to another place, the cleanup), in turn with the
    // batches: run on the worker's thread with its engine, which it may stop.
    using Task = std::function<void(CBackupEngine& engine, CBackupHost& host)>;
    void QueueTask(Task task);
    // The running batch stops at once; every batch waiting is listed as stopped.
    void StopAll();
    bool IsBusy() const;
    // Waits until every batch queued so far is done.
    void WaitUntilIdle(DWORD timeoutMs) const;
    BackupProgress Progress() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

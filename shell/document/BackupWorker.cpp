#include "shell/document/BackupWorker.h"

#include "engine/base/CheckPause.h"

#include <chrono>

// Everything the thread uses: owned together by the worker object and the thread, so neither
// outlives what it reads.
struct CBackupWorker::Shared : public CBackupHost {
    // Paths to back up, or rows whose backups are to be put back.
    struct Batch {
        std::vector<std::wstring> paths;
        std::vector<BackupRow> restores;
        SYSTEMTIME time;
        bool stopped = false;
        CBackupWorker::Task task;
    };

    Shared(HWND target, const std::wstring& programFolder, unsigned copiers, const std::wstring& backupRoot,
           const std::vector<std::wstring>& leftOutPatterns, std::shared_ptr<CVersionSink> versionSink)
        : view(target), engine(programFolder, copiers, backupRoot, leftOutPatterns) {
        engine.SetVersionSink(std::move(versionSink));
    }

    // The engine's host: reports and rows travel to the view as posted messages.
    void SetStatus(const StatusReport& report) override { Post(WM_BACKUP_STATUS, new StatusReport(report)); }
    void AppendRow(const BackupRow& row) override { Post(WM_BACKUP_ROW, new BackupRow(row)); }
    void ShowCopying(StatusCode activity, const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        progress.activity = activity;
        progress.path = path;
        ++progress.changes;
    }
    void CountCopied(ULONGLONG bytes) override {
        std::lock_guard<std::mutex> lock(mutex);
        ++progress.files;
        progress.bytes += bytes;
        ++progress.changes;
    }

    template <typename T> void Post(UINT message, T* owned) {
        if (!::PostMessageW(view, message, 0, reinterpret_cast<LPARAM>(owned)))
            delete owned; // the window is gone
    }

    void ResetProgress() {
        std::lock_guard<std::mutex> lock(mutex);
        progress.path.clear(); // an item that copies nothing never shows the one before's file
        progress.files = 0;
        progress.bytes = 0;
        ++progress.changes;
    }

    void Run();
    void RunBatch(const Batch& batch);

    const HWND view;
    CBackupEngine engine; // used by the thread alone, but for its stop flag
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> batches;
    bool running = false; // a batch is being backed up
    bool quitting = false;
    bool finished = false;
    BackupProgress progress;
};

void CBackupWorker::Shared::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return quitting || !batches.empty(); });
        if (batches.empty())
            break;
        Batch batch = std::move(batches.front());
        batches.pop_front();
        running = true;
        // Under the lock that StopAll takes: a stop asked for from here on reaches this batch.
        engine.ClearStop();
        if (batch.stopped)
            engine.RequestStop();
        lock.unlock();
        RunBatch(batch);
        lock.lock();
        running = false;
        if (batches.empty())
            ::PostMessageW(view, WM_BACKUP_IDLE, 0, 0);
        changed.notify_all();
    }
    finished = true;
    changed.notify_all();
}

// The background check yields to every batch (a backup, a restore, a cleanup, a task).
void CBackupWorker::Shared::RunBatch(const Batch& batch) {
    const CCheckPause::CHold hold;
    engine.BeginRun(); // one batch is one run: its names never replace each other
    for (const std::wstring& path : batch.paths) {
        ResetProgress();
        engine.BackUp(*this, path, batch.time);
    }
    for (const BackupRow& row : batch.restores) {
        ResetProgress();
        engine.Restore(*this, row, batch.time);
    }
    if (batch.task) {
        ResetProgress();
        batch.task(engine, *this);
    }
}

CBackupWorker::CBackupWorker(HWND view, const std::wstring& programFolder, unsigned copiers,
                             const std::wstring& backupRoot, const std::vector<std::wstring>& leftOutPatterns,
                             std::shared_ptr<CVersionSink> versionSink)
    : m_shared(std::make_shared<Shared>(view, programFolder, copiers, backupRoot, leftOutPatterns,
                                        std::move(versionSink))) {
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = std::thread([shared] { shared->Run(); });
}

CBackupWorker::~CBackupWorker() {
    StopAll();
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->quitting = true;
    m_shared->changed.notify_all();
    const bool ended = m_shared->changed.wait_for(lock, std::chrono::milliseconds(800),
                                                  [this] { return m_shared->finished; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // blocked in the system: it ends with the process
}

void CBackupWorker::Queue(std::vector<std::wstring> paths, SYSTEMTIME time) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->batches.push_back({std::move(paths), {}, time, false, {}});
    m_shared->changed.notify_all();
}

void CBackupWorker::QueueRestore(std::vector<BackupRow> rows, SYSTEMTIME time) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->batches.push_back({{}, std::move(rows), time, false, {}});
    m_shared->changed.notify_all();
}

void CBackupWorker::QueueTask(Task task) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    Shared::Batch batch{{}, {}, {}, false, std::move(task)};
    m_shared->batches.push_back(std::move(batch));
    m_shared->changed.notify_all();
}

void CBackupWorker::StopAll() {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    for (Shared::Batch& batch : m_shared->batches)
        batch.stopped = true;
    if (m_shared->running)
        m_shared->engine.RequestStop();
}

bool CBackupWorker::IsBusy() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->running || !m_shared->batches.empty();
}

void CBackupWorker::WaitUntilIdle(DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return !m_shared->running && m_shared->batches.empty(); });
}

BackupProgress CBackupWorker::Progress() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->progress;
}

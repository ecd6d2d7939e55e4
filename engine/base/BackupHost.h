// What the engine reports to while it backs up: the status line, the progress and the list. The
// window that shows them implements CBackupHost; the copies below the item backup (FolderCopy)
// see only this interface, so they need nothing else of the engine. Everything travels as facts
// (StatusReport, BackupRow): the window words them.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "engine/base/BackupPaths.h"
#include "engine/base/StatusReport.h"

// The engine's calls come from the thread that runs the item; ShowCopying and CountCopied also
// from the threads that copy a folder's files side by side.
class CBackupHost {
public:
    virtual ~CBackupHost() = default;
    // Pane 0 of the status bar, after its row: what became of the item (empty: "ready").
    virtual void SetStatus(const StatusReport& report) = 0;
    // A file is about to be worked on: activity (BackingUp, Restoring, ...) and its path.
    virtual void ShowCopying(StatusCode activity, const std::wstring& path) = 0;
    // A file of the running item was copied, of this many bytes.
    virtual void CountCopied(ULONGLONG bytes) = 0;
    // Appends a row at the end of the list.
    virtual void AppendRow(const BackupRow& row) = 0;
};

// Passes everything on, counting the files and bytes copied (from any copying thread).
class CCountingHost : public CBackupHost {
public:
    explicit CCountingHost(CBackupHost& host) : m_host(host) {}
    void SetStatus(const StatusReport& report) override { m_host.SetStatus(report); }
    void ShowCopying(StatusCode activity, const std::wstring& path) override {
        m_host.ShowCopying(activity, path);
    }
    void CountCopied(ULONGLONG bytes) override;
    void AppendRow(const BackupRow& row) override { m_host.AppendRow(row); }
    ULONGLONG Files() const { return m_files.load(); }
    ULONGLONG Bytes() const { return m_bytes.load(); }

private:
    CBackupHost& m_host;
    std::atomic<ULONGLONG> m_files{0};
    std::atomic<ULONGLONG> m_bytes{0};
};

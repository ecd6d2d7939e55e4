// What the engine reports to while it backs up: the status line, the progress and the list. The
// window that shows them implements CBackupHost; the copies below the item backup (FolderCopy)
// see only this interface, so they need nothing else of the engine.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "engine/BackupPaths.h"

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

// Shows "<path>をバックアップ中です...", and "<path>を元に戻しています..." for a restore.
void ShowBackingUp(CBackupHost& host, const std::wstring& path);
void ShowRestoring(CBackupHost& host, const std::wstring& path);

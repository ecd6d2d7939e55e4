// CTallowboxDoc: the program's document, the one object every window shares. It holds the
// settings (the program's folder, the backups folder in use, the Exclude= patterns) and the
// backup worker; the view and the history talk to it, never to each other. It accepts any path
// without opening it and is never modified.
#pragma once

#include "framework/Document.h"
#include "shell/BackupWorker.h"

#include <memory>
#include <string>
#include <vector>

class CTallowboxDoc : public CDocument {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    // Reads the settings of the program's folder.
    CTallowboxDoc();
    ~CTallowboxDoc() override;

    void Serialize(CArchive& ar) override;
    BOOL OnNewDocument() override;
    BOOL OnOpenDocument(LPCSTR lpszPathName) override;

    const std::wstring& ProgramFolder() const { return m_programFolder; }
    // The backups folder in use (Tallowbox.ini, or a fall-back).
    const std::wstring& BackupRoot() const { return m_backupRoot; }
    const std::vector<std::wstring>& LeftOutPatterns() const { return m_leftOutPatterns; }
    // Said once at start: where the backups go and why, a settings file not read whole. Often empty.
    const std::wstring& StartNotice() const { return m_startNotice; }

    // Starts the backup worker, which posts its rows and texts to window (the view) and is told
    // WM_BACKUP_QUEUED whenever work is queued; EndWork stops it before that window goes.
    void StartWork(HWND window);
    void EndWork();

    // Queues one batch: every path, in order, with one time stamp.
    void QueueBackup(std::vector<std::wstring> paths, SYSTEMTIME time);
    // Puts rows back: to their originals (folder empty) or into folder.
    void QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder);
    void QueueTask(CBackupWorker::Task task);
    // Esc or closing: the running copy stops, waiting batches are listed as stopped.
    void StopBackups();
    bool IsBackingUp() const;
    BackupProgress Progress() const;

    // Tests only: the folder whose Tallowbox.ini is read and below which "backups" lies, instead
    // of the executable's folder. Takes effect for documents made afterwards.
    static void OverrideProgramFolder(const std::wstring& folder) { s_programFolderOverride = folder; }

private:
    void Queued();

    std::wstring m_programFolder;
    std::wstring m_backupRoot;
    std::vector<std::wstring> m_leftOutPatterns;
    std::wstring m_startNotice;
    HWND m_window = nullptr;                 // where the worker's results go
    std::unique_ptr<CBackupWorker> m_worker; // made with the window it posts to

    static std::wstring s_programFolderOverride;
};

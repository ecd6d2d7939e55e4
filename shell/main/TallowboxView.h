// CTallowboxView: the form with the backup list. It is the program's drop target, runs the
// command-line batch at its initial update and keeps the list stretched to the window. The
// backups run on the document's worker; the view shows what the worker posts (rows and status
// texts) and, on a timer while a copy runs, the file being copied and the counts. Each row leads
// back to its backup: shown in the shell, its path copied, or put back (restore).
#pragma once

#include "engine/copy/BackupItem.h"
#include "shell/document/BackupWorker.h"
#include "shell/rows/RowCommands.h"
#include "shell/watch/TrayIcon.h"
#include "framework/ListCtrl.h"
#include "framework/View.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

class CTallowboxDoc;

class CTallowboxView : public CFormView, private CRowListHost {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    CTallowboxView();
    ~CTallowboxView() override;

    // The document every window shares (settings, worker); made before the view.
    CTallowboxDoc& Doc() const;
    std::wstring GetBackupRoot() const;
    CListCtrl& GetListCtrl() { return m_list; }

    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnInitialUpdate() override;
    void OnDpiChanged(UINT oldDpi, UINT newDpi) override;
    void HandleDropFiles(HDROP hDropInfo);
    // Ctrl+V: the files on the clipboard are backed up as a drop of them would be.
    void PasteFiles();
    // The main window's own keys (Esc stops a copy, Ctrl+V pastes, Ctrl+H opens the history);
    // TRUE when the key was taken.
    BOOL TranslateShortcut(const MSG& msg);

    // Pane 0 of the status bar, and the counts pane.
    void SetStatusText(const std::wstring& text) override;
    // The same for a text that names path: too long for the pane, the path is shortened first.
    void SetStatusText(const std::wstring& text, const std::wstring& path);
    void AppendRow(const BackupRow& row);

    // Queues one batch for the worker: every path, in order, with one time stamp.
    void QueueBackup(std::vector<std::wstring> paths, SYSTEMTIME time);
    // Esc or closing: the running copy stops, waiting batches are listed as stopped.
    void StopBackups();
    bool IsBackingUp() const;

    // The row commands (the row menu, double-click, Enter, Ctrl+C), shared with the history.
    CRowCommands& RowCommands() { return m_rowCommands; }
    // Queues a restore of rows (to their originals, or into folder) on the worker.
    void QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder) override;

    // The main window went out of sight: its icon stands for it in the notification area.
    CTrayIcon& TrayIcon() { return m_trayIcon; }

protected:
    enum { IDD = 101 };

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSize(UINT nType, int cx, int cy);
    void OnDestroy();

private:
    void InsertColumns();
    void CaptureLayout();
    // Stretches the list to the view's size, the margins kept at the right and bottom.
    void PlaceList();
    void BackupCommandLine();
    void OnBackupRow(LPARAM lParam);
    void OnBackupStatus(LPARAM lParam);
    void OnCheckFinding(LPARAM lParam);
    void OnBackupIdle();
    // A failed row's tip says why it failed, as the status line did.
    bool OnGetInfoTip(NMLVGETINFOTIPW& tip) const;
    void ShowProgress();
    // The list's side of the row commands.
    std::vector<BackupRow> SelectedRows(bool focusedFirst) const override;
    std::wstring BackupRoot() const override { return GetBackupRoot(); }
    std::wstring MomentText(const BackupRow& row) const override;
    void ShowVersions(const BackupRow& row) override;
    void QueueTask(CBackupWorker::Task task) override;
    std::wstring DiffToolPattern() const override;
    std::vector<std::wstring> LeftOutPatterns() const override;
    bool IsWatched(const std::wstring& path) const override;
    WatchRefusal ToggleWatch(const std::wstring& path) override;
    // A watched item's version is done, or the watches changed (posted by the document).
    void OnWatchVersion(WPARAM wParam, LPARAM lParam);
    // Says text (when there is any) and lets the frame show the watches' and the mirror's states.
    void ShowStateText(const std::wstring& text);
    void OnWatchesChanged();
    void StartProgress();
    // Shows the worker's texts and rows until every queued batch is done, answering other
    // programs' messages meanwhile: the command line's items are all listed before the window
    // first shows.
    void WaitForBackups();

    CListCtrl m_list;
    CRect m_rcList;
    CRect m_rcView;
    int m_bLayoutReady = 0;
    UINT m_nDpi = 96; // the scale the columns and margins are laid out for
    CTrayIcon m_trayIcon;
    unsigned long m_shownChanges = 0; // the progress last shown
    std::vector<BackupRow> m_rows;    // what each list item stands for, by index
    CRowCommands m_rowCommands{*this};
};

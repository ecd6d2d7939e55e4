// CTallowboxDoc: the program's document, the one object every window shares. It holds the
// settings (the program's folder, the backups folder in use, the Exclude= patterns), the backup
// worker, the watcher of the backups folder's watch list and the background check's thread; the
// view, the history and the watch
// list talk to it, never to each other. It accepts any path without opening it and is never
// modified.
#pragma once

#include "engine/base/CheckPause.h"
#include "engine/mirror/Mirror.h"
#include "engine/mirror/MirrorPlace.h"
#include "engine/watch/WatchHost.h"
#include "engine/watch/Watcher.h"
#include "engine/base/Settings.h"
#include "framework/Document.h"
#include "shell/document/BackgroundChecker.h"
#include "shell/document/BackupWorker.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Posted to the document's window. A watched item's version is done: wParam the BackupResult,
// lParam owns what OnVersionOutcome reads. The watches or their states changed.
#define WM_WATCH_VERSION (WM_APP + 44)
#define WM_WATCHES_CHANGED (WM_APP + 45)
// The newest version of watched items, read from the journals: lParam owns what OnLastVersions reads.
#define WM_WATCH_LAST_VERSIONS (WM_APP + 46)
// The mirror's state changed: lParam owns the MirrorState OnMirrorState reads.
#define WM_MIRROR_STATE (WM_APP + 72)
// What the checks of the copies found changed (Tallowbox-checks.tsv was appended to): posted with
// no parameters to the main window, which passes it on to the history, or to the history itself;
// the history reads the ledger again and shows its 確認 column anew.
#define WM_CHECKS_CHANGED (WM_APP + 73)

// "E:\x cannot be the mirror folder: it lies inside a watched item", in the screens' language.
std::wstring MirrorRefusalText(MirrorFolderRefusal refusal, const std::wstring& folder);

class CTallowboxDoc : public CDocument, private CWatchHost, private CMirrorHost {
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
    // The mirror folder (MirrorFolder=), a full path without trailing separators; empty: none,
    // also for a setting that is not a full path or that overlaps the backups folder.
    const std::wstring& MirrorRoot() const { return m_mirrorRoot; }
    // DiffTool=: another program's command line for comparing two files; empty: none.
    const std::wstring& DiffToolPattern() const { return m_diffTool; }
    // Said once at start: where the backups go and why, a settings file not read whole. Often empty.
    const StatusReport& StartNotice() const { return m_startNotice; }

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

    // ---- Watching (TallowboxDocWatch.cpp) ----
    // Resumes every watch of the list (after StartWork; a second call does nothing): versions go on
    // the worker, the watched items' last versions arrive as WM_WATCH_LAST_VERSIONS. EndWork ends it.
    void StartWatching();
    size_t WatchCount() const;
    bool IsWatched(const std::wstring& path) const;
    // Watches path, or stops watching it when it is watched; why it cannot be watched, if so.
    WatchRefusal ToggleWatch(const std::wstring& path);
    void StopWatching(const std::wstring& path);
    std::vector<WatchInfo> WatchStates() const;
    // The minute of the item's newest version; false when none is known yet.
    bool LastVersion(const std::wstring& path, SYSTEMTIME* time) const;
    // On the window's thread, for WM_WATCH_VERSION: what the status line says of it (often nothing).
    std::wstring OnVersionOutcome(WPARAM result, LPARAM outcomeOwned);
    // On the window's thread, for WM_WATCH_LAST_VERSIONS.
    void OnLastVersions(LPARAM foundOwned);

    // ---- The mirror (TallowboxDocMirror.cpp) ----
    // Starts copying to MirrorFolder= (after StartWatching: the program that watches the backups
    // folder is the one that mirrors it). A refused setting is said and nothing is copied.
    void StartMirror();
    bool HasMirror() const { return !m_mirrorFolder.empty(); }
    const std::wstring& MirrorFolder() const { return m_mirrorFolder; }
    // The picker's choice: refused (nothing written), or written to Tallowbox.ini (*writeError says
    // why it could not be) and the mirror restarted on it.
    MirrorFolderRefusal SetMirrorFolder(const std::wstring& folder, DWORD* writeError);
    // Removes MirrorFolder= from Tallowbox.ini and stops copying; the mirror's copies stay.
    DWORD StopMirroring();
    // Looks at the mirror again now (今すぐ写す, a drive arrived, the minute timer).
    void RetryMirror();
    // On the window's thread, for WM_MIRROR_STATE: what the status line says (empty: nothing new).
    std::wstring OnMirrorState(LPARAM stateOwned);
    // What the notification icon's tip adds while the mirror is behind; empty when it is not.
    std::wstring MirrorTip() const;

    // ---- The background check (TallowboxDocCheck.cpp) ----
    // Starts the check's thread (after StartWork), when CheckDays= is not 0 and the backups folder
    // is there; its first round begins a little later. Again: started anew (the mirror changed).
    // EndWork stops it.
    void StartCheck();
    bool IsChecking() const { return m_checker != nullptr; }
    // New versions were made: a sleeping check looks at them.
    void WakeCheck();
    // On the window's thread, for WM_CHECK_FINDING: what the status line and the balloon say.
    std::wstring OnCheckFinding(LPARAM findingOwned);
    // Tests only: the first round's delay after StartCheck (a little after the start by default).
    static void OverrideCheckStartDelay(DWORD ms) { s_checkStartDelayMs = ms; }

    // The folder whose Tallowbox.ini is read and below which "backups" lies: the executable's.
    static std::wstring ProgramFolderInUse();
    // Tests only: that folder instead of the executable's. Takes effect for documents (and
    // applications) started afterwards.
    static void OverrideProgramFolder(const std::wstring& folder) { s_programFolderOverride = folder; }

private:
    void Queued();
    void EndWatching();
    void WatchesChanged();
    // Item (upper-cased) to the minute of its newest version.
    using LastVersions = std::map<std::wstring, SYSTEMTIME>;
    void LookUpLastVersions(std::vector<std::wstring> paths);
    // CWatchHost, from the watcher's thread.
    void ItemSettled(const std::wstring& path) override;
    void WatchStatesChanged() override;
    // CMirrorHost, from the mirror's thread.
    void MirrorStateChanged(const MirrorState& state) override;
    void EndMirror();
    void EndCheck();

    std::wstring m_programFolder;
    std::wstring m_backupRoot;
    std::wstring m_mirrorRoot;
    std::vector<std::wstring> m_leftOutPatterns;
    std::wstring m_diffTool;
    StatusReport m_startNotice;
    HWND m_window = nullptr;                 // where the worker's results go
    std::unique_ptr<CBackupWorker> m_worker; // made with the window it posts to
    DWORD m_settleMs = 2000;                 // WatchDelay=
    std::shared_ptr<CWatcher> m_watcher;     // the window's thread's
    // Set once before the watcher starts and never again, so its thread may read it while the
    // window's thread lets the watcher go: the versions queued on the worker see it weakly.
    std::weak_ptr<CWatcher> m_versionsWatcher;
    // The window's thread alone: the items whose lock was said, the versions made (keys upper-cased).
    std::set<std::wstring> m_saidLocked;
    LastVersions m_lastVersions;
    std::wstring m_mirrorFolder; // MirrorFolder=, as the mirror uses it; empty: none
    bool m_links = true;         // Link=
    // Told by the worker of each version; shared with the mirror of the moment.
    std::shared_ptr<CMirrorInbox> m_mirrorInbox = std::make_shared<CMirrorInbox>();
    std::unique_ptr<CMirror> m_mirror;
    // The mirror's thread's alone: held while it copies, so the background check waits.
    std::unique_ptr<CCheckPause::CHold> m_mirrorCopying;
    MirrorState m_mirrorState; // the window's thread's, as last posted
    std::wstring m_mirrorSaid; // the status line's last word on the mirror

    DWORD m_checkDays = kDefaultCheckDays; // CheckDays=
    std::unique_ptr<CBackgroundChecker> m_checker;

    static std::wstring s_programFolderOverride;
    static DWORD s_checkStartDelayMs;
};

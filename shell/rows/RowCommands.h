// The commands on a list's backup rows, one implementation for every list that shows them (the
// main window's and the history's): show the backup (Enter, double-click, the menu's default),
// look at a version, show the original, copy the backups' paths (Ctrl+C), the versions of the
// item, restore, and restore to another place; the row menu that offers them (right-click,
// Shift+F10, the menu key) and the keys. The list that owns the rows implements CRowListHost.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/copy/BackupItem.h"
#include "engine/watch/WatchList.h"

struct CompareRequest;

// What the commands need of the list they serve.
class CRowListHost {
public:
    virtual ~CRowListHost() = default;
    // The rows selected, in list order; the focused one first when focusedFirst.
    virtual std::vector<BackupRow> SelectedRows(bool focusedFirst = false) const = 0;
    virtual void SetStatusText(const std::wstring& text) = 0;
    // The row's moment as the list shows it ("date time"), for the questions that name it.
    virtual std::wstring MomentText(const BackupRow& row) const = 0;
    // The backups folder in use: the commands never show anything of a backup outside it.
    virtual std::wstring BackupRoot() const = 0;
    // The mirror folder, a backups folder too, whose copies the commands may show and open; empty: none.
    virtual std::wstring MirrorRoot() const { return std::wstring(); }
    // Queues the rows' restore on the backup worker: to their originals, or into folder.
    virtual void QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder) = 0;
    // Lists every version of the row's item.
    virtual void ShowVersions(const BackupRow& row) = 0;
    // Whether the item at path is watched; watches it, or stops, and says why it cannot be watched.
    virtual bool IsWatched(const std::wstring& path) const = 0;
    virtual WatchRefusal ToggleWatch(const std::wstring& path) = 0;
    // Queues work on the backup worker (the window stays live, Esc stops it): looking at a version.
    virtual void QueueTask(std::function<void(CBackupEngine& engine, CBackupHost& host)> task) = 0;
    // The settings a compare follows: DiffTool= (empty: the program's own window) and Exclude=.
    virtual std::wstring DiffToolPattern() const { return std::wstring(); }
    virtual std::vector<std::wstring> LeftOutPatterns() const { return {}; }
    // 修復, offered by a list that knows what the checks found (the history): whether it offers
    // it at all, whether the focused row is a version found damaged, and healing that version.
    virtual bool OffersRepair() const { return false; }
    virtual bool CanRepairFocused() const { return false; }
    virtual void RepairFocused() {}
};

class CRowCommands {
public:
    explicit CRowCommands(CRowListHost& host) : m_host(host) {}
    CRowCommands(const CRowCommands&) = delete;
    CRowCommands& operator=(const CRowCommands&) = delete;

    // The list control, once it exists.
    void SetList(HWND list) { m_list = list; }

    // Enter, Ctrl+C and the menu key on the list; TRUE when taken.
    BOOL HandleListKey(const MSG& msg);
    // A double-click on a row shows its backup; true when the notification was the list's.
    bool HandleListNotify(const NMHDR* header);
    // The row menu at a screen point, or at the focused row for (-1, -1) (keyboard).
    void ShowMenu(int x, int y);
    void Run(UINT command);

    void ShowBackups();
    void OpenVersion();
    // 比較: one version against the item as it is now, or two versions of one item, the older
    // first: in the compare windows, or a file in the program DiffTool= names.
    void Compare();
    void ShowOriginals();
    void CopyBackupPaths();
    void ShowVersions();
    void Restore();
    void RestoreElsewhere();
    // 修復: the focused version proven again and healed from a good copy (the host's work).
    void Repair();
    // 見張る: the focused row's item is watched, or no longer; a refusal is said and nothing watched.
    void ToggleWatch();

    // How the rows reach the shell and the user; tests put recorders here.
    using ItemShower = void (*)(const std::wstring& folder, const std::vector<std::wstring>& items);
    using Asker = int (*)(HWND owner, const std::wstring& text, UINT type); // MessageBox's answer
    using MenuTracker = UINT (*)(HMENU menu, int x, int y, HWND owner);     // command chosen, or 0
    using FileOpener = void (*)(const std::wstring& file); // with its usual program, from the worker
    using FolderPicker = bool (*)(HWND owner, std::wstring* folder); // false: cancelled
    static ItemShower s_pfnShowItems;
    static Asker s_pfnAsk;
    static MenuTracker s_pfnTrackMenu;
    static FileOpener s_pfnOpenFile;
    static FolderPicker s_pfnPickFolder;
    // Starts another program with a command line; ERROR_SUCCESS or why it could not be started.
    using ProgramStarter = DWORD (*)(const std::wstring& commandLine);
    static ProgramStarter s_pfnStartProgram;

private:
    HWND Owner() const;
    // The backups folder (local or mirror) that path lies in, plain form: the limit of what is shown.
    std::wstring RootHolding(const std::wstring& backupPath) const;
    // Opens each item's folder once, with its items selected.
    void ShowInShell(const std::vector<std::wstring>& items);
    void EnableMenuItems(HMENU popup, const std::vector<BackupRow>& rows) const;
    // The two sides of a compare of rows (one version, or two of one item); false when they have none.
    bool MakeCompareRequest(const std::vector<BackupRow>& rows, CompareRequest* request) const;
    void StartDiffTool(const CompareRequest& request, const std::wstring& pattern);
    // The warning for rows the last check found damaged where they would be read from; empty: none.
    std::wstring DamagedWarning(const std::vector<BackupRow>& rows) const;

    CRowListHost& m_host;
    HWND m_list = nullptr;
};

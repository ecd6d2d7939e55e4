// CHistoryWnd: the history window (履歴). A resizable, modeless window beside the main one that
// lists every recorded backup and restore below the backups folder, newest first, and the copies
// no journal names; a search box filters it as you type, and a row's versions command narrows it
// to one item. The rows offer the same commands as the main list (CRowCommands); restores run on
// the document's backup worker. The history is read on a thread of its own (CHistoryLoader)
// and arrives day by day, so the first rows show long before a year of backups is read; the list
// is virtual: it answers each row from the history's compact records. Its code, by concern:
// HistoryWnd.cpp the window, HistoryReading.cpp the reading, HistoryListNotify.cpp the list,
// HistoryChecks.cpp what the checks of the copies found (the 確認 column, its tip, 修復 of a row).
#pragma once

#include "engine/journal/History.h"
#include "engine/proof/CheckLedger.h"
#include "shell/common/ToolWnd.h"
#include "shell/rows/RowCommands.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

class CVersionCheckWnd;
class CSearchResultsWnd;
class CTallowboxDoc;

// Messages the loader posts to the window: a part of the history (lParam owns a CHistory) and
// the end of the reading; wParam is the reading's number, so a part of an earlier one is dropped.
#define WM_HISTORY_PART (WM_APP + 50)
#define WM_HISTORY_DONE (WM_APP + 51)
#define WM_HISTORY_STORED (WM_APP + 52) // lParam: a CHistory holding only what the disk holds
#define WM_HISTORY_MIRROR (WM_APP + 53) // lParam: non-zero when the mirror could not be read
// What the checks found, read on a thread of its own (lParam owns a CCheckLedger), and the end of a
// row's 修復 (lParam owns a RowRepair).
#define WM_HISTORY_LEDGER (WM_APP + 56)
#define WM_HISTORY_REPAIRED (WM_APP + 57)

// Reads the history of a backups folder on a thread of its own and posts it to a window in parts.
// The days earlier holds as read from a folder that has not changed since are taken from it.
// With a mirror folder, the versions of both places are read as one history.
class CHistoryLoader {
public:
    CHistoryLoader(HWND target, std::wstring backupRoot, WPARAM generation,
                   std::shared_ptr<const CHistory> earlier = nullptr,
                   std::wstring mirrorRoot = std::wstring());
    // Stops the reading and waits a bounded time; a thread stuck in the file system is left to
    // end by itself (it shares what it uses with nobody that goes away).
    ~CHistoryLoader();
    CHistoryLoader(const CHistoryLoader&) = delete;
    CHistoryLoader& operator=(const CHistoryLoader&) = delete;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

class CHistoryWnd : public CToolWnd, private CRowListHost {
public:
    explicit CHistoryWnd(CTallowboxDoc& doc);
    ~CHistoryWnd() override;

    // Makes the window, owned by owner, and starts reading the history.
    BOOL Create(CWnd* owner);
    // Narrows the list to the records of one original path (the search box shows the path).
    void ShowVersionsOf(const std::wstring& originalPath);
    // The backups changed (a batch ended): the history is read again, only the days that changed
    // from the disk; the list keeps showing the history as it was until the new one is whole,
    // then shows it with the same rows selected and the same row at the top.
    void Reload();

    BOOL PreTranslateMessage(MSG* pMsg) override;

    // For tests: what the list shows, and whether the reading is done.
    size_t ShownCount() const { return m_shown.size(); }
    const CHistory& History() const { return *m_history; }
    bool IsLoaded() const { return m_loaded; }
    CRowCommands& RowCommands() { return m_commands; }
    CVersionCheckWnd* VersionCheck() const { return m_versionCheck.get(); }
    // What the checks found as last read (null until read), and whether a reading of it is due.
    const CCheckLedger* Ledger() const { return m_ledger.get(); }
    bool IsLedgerRead() const { return m_ledger && !m_ledgerJob; }
    CSearchResultsWnd* SearchResults() const { return m_searchResults.get(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override; // with 内容 checked, Enter searches inside the versions listed
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // CRowListHost
    std::vector<BackupRow> SelectedRows(bool focusedFirst) const override;
    void SetStatusText(const std::wstring& text) override;
    std::wstring MomentText(const BackupRow& row) const override;
    std::wstring BackupRoot() const override;
    std::wstring MirrorRoot() const override;
    void QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder) override;
    void ShowVersions(const BackupRow& row) override { ShowVersionsOf(row.originalPath); }
    bool IsWatched(const std::wstring& path) const override;
    WatchRefusal ToggleWatch(const std::wstring& path) override;
    void QueueTask(std::function<void(CBackupEngine& engine, CBackupHost& host)> task) override;
    std::wstring DiffToolPattern() const override;
    std::vector<std::wstring> LeftOutPatterns() const override;
    bool OffersRepair() const override { return true; }
    bool CanRepairFocused() const override;
    void RepairFocused() override;

    void Layout() override;
    void OnHistoryPart(WPARAM generation, LPARAM lParam);
    void OnHistoryDone(WPARAM generation);
    void OnHistoryStored(WPARAM generation, LPARAM lParam);
    // The history read again takes the place of the one shown.
    void ShowReadAgain();
    // The rows selected, focused and at the top, kept across a reading: saved from the history
    // shown, then selected, focused and scrolled to in the one read again.
    struct ViewState;
    ViewState SaveViewState() const;
    void RestoreViewState(const ViewState& state);
    // The search box changed: the list shows what matches now.
    void OnSearchChanged();
    void ApplyFilter(bool onlyNarrower);
    void ShowRowsUnselected();
    void ShowSummary();
    void OnCleanup();
    // The mirror's part: where each version is, the copy on disk its commands use, the check.
    BackupRow RowOnDisk(const HistoryEntry& entry) const;
    void PlaceMirrorCheckButton();
    void OnMirrorRead(WPARAM generation, LPARAM unreachable);
    void OnVersionCheck();
    // What the checks found (HistoryChecks.cpp): the ledger read again on a thread of its own
    // (once more when asked while reading), the 確認 column, the tip of a damaged version.
    void ReadLedger();
    void OnLedgerRead(LPARAM lParam);
    bool MarkOf(const HistoryEntry& entry, CheckMark* mark) const;
    std::wstring CheckedText(const HistoryEntry& entry) const;
    bool OnGetInfoTip(NMLVGETINFOTIPW* tip) const;
    int FocusedItem() const;
    void OnRowRepaired(LPARAM lParam);
    void OnGetDispInfo(NMLVDISPINFOW* info);
    std::wstring CellText(const HistoryEntry& entry, int column) const;
    std::wstring SearchText() const;

    CTallowboxDoc& m_doc;
    CRowCommands m_commands{*this};
    std::shared_ptr<CHistory> m_history =
        std::make_shared<CHistory>();         // only its measure of the disk changes once read
    std::shared_ptr<CHistory> m_readingAgain; // a reload's history until it is whole; else null
    std::vector<uint32_t> m_shown;            // entries the list shows, in order
    std::wstring m_query;                     // the text the list is filtered by
    std::wstring m_exactOriginal;             // narrowed to one item's versions
    std::unique_ptr<CHistoryLoader> m_loader;
    WPARAM m_generation = 0;
    bool m_loaded = false;
    std::wstring m_cellText; // the text handed to the list for the row it asked about
    bool m_mirrorUnreachable = false;
    std::unique_ptr<CVersionCheckWnd> m_versionCheck;
    std::shared_ptr<const CCheckLedger> m_ledger; // the window's thread's; null until read
    std::unique_ptr<CWindowWork> m_ledgerJob;     // reading it; null when none runs
    bool m_ledgerStale = false;                   // asked again while it was read
    std::unique_ptr<CSearchResultsWnd> m_searchResults;
};

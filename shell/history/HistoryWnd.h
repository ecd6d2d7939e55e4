// CHistoryWnd: the history window (履歴). A resizable, modeless window beside the main one that
// lists every recorded backup and restore below the backups folder, newest first, and the copies
// no journal names; a search box filters it as you type, and a row's versions command narrows it
// to one item. The rows offer the same commands as the main list (CRowCommands); restores run on
// the document's backup worker. The history is read on a thread of its own (CHistoryLoader)
// and arrives day by day, so the first rows show long before a year of backups is read; the list
// is virtual: it answers each row from the history's compact records. Its code, by concern:
// HistoryWnd.cpp the window, HistoryReading.cpp the reading, HistoryListNotify.cpp the list.
#pragma once

#include "engine/journal/History.h"
#include "shell/common/ToolWnd.h"
#include "shell/rows/RowCommands.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

class CMirrorCheckWnd;
class CSearchResultsWnd;
class CTallowboxDoc;

// Messages the loader posts to the window: a part of the history (lParam owns a CHistory) and
// the end of the reading; wParam is the reading's number, so a part of an earlier one is dropped.
#define WM_HISTORY_PART (WM_APP + 50)
#define WM_HISTORY_DONE (WM_APP + 51)
#define WM_HISTORY_STORED (WM_APP + 52) // lParam: a CHistory holding only what the disk holds
#define WM_HISTORY_MIRROR (WM_APP + 53) // lParam: non-zero when the mirror could not be read

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
    CMirrorCheckWnd* MirrorCheck() const { return m_mirrorCheck.get(); }
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
    void OnMirrorCheck();
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
    std::unique_ptr<CMirrorCheckWnd> m_mirrorCheck;
    std::unique_ptr<CSearchResultsWnd> m_searchResults;
};

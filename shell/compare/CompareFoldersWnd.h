// CCompareFoldersWnd: the folder list of a compare (フォルダの比較). A resizable, modeless window of
// its own class ("TallowboxCompareFolders") listing the files that differ between a folder version
// and the folder now, or two versions: each file's relative path, changed / added / deleted, and
// both sides' sizes and times; the counts in a summary line (a static control other programs
// read); a check box lists the same files too. The folders are compared on a thread of its own
// (Esc stops it). A double-click on a changed file opens the two-texts window for that pair.
//
// Like the two-texts window it owns itself: made by Open, its object deleted when it is destroyed.
#pragma once

#include "engine/compare/FolderCompare.h"
#include "shell/compare/CompareWnd.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

// The folder compare's result arrives: lParam owns a FolderComparison (null: it could not be made).
#define WM_COMPARE_FOLDERS_DONE (WM_APP + 71)

class CCompareFoldersWnd : public CToolWnd {
public:
    static CCompareFoldersWnd* Open(HWND owner, const CompareRequest& request);

    BOOL PreTranslateMessage(MSG* pMsg) override;

    // For tests: whether the compare arrived, and the entries the list shows.
    bool IsDone() const { return m_done; }
    const FolderComparison* Comparison() const { return m_comparison.get(); }
    size_t ShownCount() const { return m_shown.size(); }

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    explicit CCompareFoldersWnd(const CompareRequest& request);

    void Layout() override;
    void OnCompareDone(LPARAM lParam);
    // The rows the list shows: what differs, and the same files when the box is checked.
    void ShowEntries();
    void ShowSummary();
    void OnGetDispInfo(NMLVDISPINFOW* info);
    std::wstring CellText(const FolderEntry& entry, int column) const;
    // A double-click on a changed file: its two sides in the two-texts window.
    void OpenPair(int item);

    const CompareRequest m_request;
    std::unique_ptr<FolderComparison> m_comparison;
    std::vector<uint32_t> m_shown; // entries the list shows, in order
    bool m_done = false;
    std::wstring m_cellText; // the text handed to the list for the row it asked about
};

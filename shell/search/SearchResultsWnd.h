// CSearchResultsWnd: the results of a search inside every version (内容の検索). A resizable,
// modeless window beside the history: a virtual list of the items whose content held the text (the
// item, the first and the last version holding it, the version where it went, the matching line),
// filled as the search goes on a thread of its own (CContentSearchJob, the tool window's job), and
// below it how far the search got and what it counted. Esc stops the search, and once it has ended
// closes the window; closing stops it within a bound (CToolWnd). Enter, a double-click or the
// row's menu opens 比較 between the last version holding the text and the first without it (the
// file as it is now when every version still holds it), at the change that holds the matching line.
#pragma once

#include "shell/common/ToolWnd.h"
#include "shell/search/ContentSearchJob.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

struct CompareRequest;

class CSearchResultsWnd : public CToolWnd {
public:
    // The search looks for text in the history's entries within (newest first), in the backups
    // folder and the mirror (mirrorRoot empty: none).
    CSearchResultsWnd(std::shared_ptr<const CHistory> history, std::vector<uint32_t> within, std::wstring text,
                      std::wstring backupRoot, std::wstring mirrorRoot);

    // Makes the window, owned by owner, and starts the search.
    BOOL Create(CWnd* owner);

    // For tests: the list, the items found (in the list's order), the counts, whether it ended.
    HWND List() const { return m_list; }
    const std::vector<ContentHit>& Hits() const { return m_hits; }
    const ContentSearchCounts& Counts() const { return m_counts; }
    bool IsDone() const { return m_done; }
    // Opens the compare of the row's item; false (with a beep) when it has nothing to compare.
    bool CompareRow(size_t row);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout() override;
    void OnBatch(LPARAM lParam);
    void ShowSummary();
    void OnGetDispInfo(NMLVDISPINFOW* info);
    std::wstring CellText(const ContentHit& hit, int column) const;
    std::wstring VersionText(uint32_t entry) const;
    void ShowMenu(int x, int y);
    int FocusedRow() const;
    bool MakeCompareRequest(const ContentHit& hit, CompareRequest* request) const;

    std::shared_ptr<const CHistory> m_history;
    std::vector<uint32_t> m_within;
    const std::wstring m_text, m_backupRoot, m_mirrorRoot;
    std::vector<ContentHit> m_hits; // by their ids: the order they were found in
    ContentSearchCounts m_counts;
    ContentSearchOutcome m_outcome = ContentSearchOutcome::Done;
    bool m_done = false;
};

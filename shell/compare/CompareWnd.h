// CCompareWnd: the two-texts window (比較). A resizable, modeless window of its own class
// ("TallowboxCompareTexts") that shows an older file beside a newer one: a version against the
// file as it is now, or two versions of one item. The files are read and compared on a thread of
// its own (CWindowJob), so a large file never freezes a window; Esc stops it, closing stops it
// within a bound. The summary line is a static control, so other programs read it; F8 and
// Shift+F8 (or the buttons) go to the next and the previous difference.
//
// Each window owns itself: it is made by Open and deletes its object when it is destroyed (by the
// user, or with the window that owns it).
#pragma once

#include "engine/compare/FileCompare.h"
#include "shell/common/ToolWnd.h"
#include "shell/compare/DiffPanes.h"

#include <memory>
#include <string>
#include <vector>

// The file compare's result arrives: lParam owns a FileComparison (null: it could not be made).
#define WM_COMPARE_FILES_DONE (WM_APP + 70)

// One side of a compare: the path it is read from, the header that names it (a version's moment,
// or the current file), and whether it is the item as it is now (a missing one is said so).
struct CompareSide {
    std::wstring path;
    std::wstring header;
    bool current = false;
};

// What a compare window is asked to show: the older side left, the newer right.
struct CompareRequest {
    CompareSide older, newer;
    std::wstring itemName;              // the title's
    std::vector<std::wstring> excludes; // Exclude= (two folders)
    std::wstring backupRoot;            // never entered by a folder compare
    uint32_t olderLine = UINT32_MAX;    // the change holding this older line is shown first
};

class CCompareWnd : public CToolWnd {
public:
    // Opens the window (owned by owner's top-level window) and starts the compare; nullptr when
    // the window could not be made.
    static CCompareWnd* Open(HWND owner, const CompareRequest& request);

    BOOL PreTranslateMessage(MSG* pMsg) override;

    // For tests and the benchmark: whether the compare arrived, and what it found.
    bool IsDone() const { return m_done; }
    const FileComparison* Comparison() const { return m_comparison.get(); }
    size_t TopRow() const { return m_panes.TopRow(); }
    bool GoToPlace(bool next);

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    explicit CCompareWnd(const CompareRequest& request);

    void Layout() override;
    void StartCompare();
    void OnCompareDone(LPARAM lParam);
    std::wstring SummaryText() const;

    const CompareRequest m_request;
    CDiffPanes m_panes;
    std::shared_ptr<const FileComparison> m_comparison;
    bool m_done = false;
};

// The window classes of the compare windows (the dialog templates name them), registered once.
bool RegisterCompareClasses();

// Words shared by the compare windows: a file's size and last-write time as the lists show them.
std::wstring FactsTimeText(const FILETIME& written);
